/*
 * memory.cpp - memory contexts: every allocation the driver and the host make belongs to the
 * context it came from (kwshr_allocate, kwshr_free, kwshr_reallocate, kwshr_duplicateString and
 * the host-side kwhost_ context calls). A context owns a table of its live allocations, so it can
 * report them, catch a free of a pointer it never handed out, fail the n-th allocation on request
 * and release everything left when it is destroyed. Invariant: `live` holds exactly the blocks
 * handed out and not yet freed, and liveBytes is the sum of their sizes.
 */
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>

#include <fmt/format.h>

#include "internal.h"

struct KwMemoryContext {
    std::string name;
    std::mutex mutex;
    std::unordered_map<void*, size_t> live;  // block -> size asked for
    int64_t liveBytes = 0;
    int64_t totalAllocations = 0;
    int64_t failedAllocations = 0;
    int64_t foreignFrees = 0;
    int64_t failCountdown = 0;  // 0: off; n: the n-th allocation from now fails
};

namespace shr {
namespace {

/* Counts one allocation attempt against the failure knob; true when this one must fail.
 * The knob fires once and then turns itself off. Called with the context's mutex held. */
bool knobFires(KwMemoryContext& ctx) {
    if (ctx.failCountdown <= 0) {
        return false;
    }
    if (--ctx.failCountdown > 0) {
        return false;
    }
    ++ctx.failedAllocations;
    return true;
}

void* allocateLocked(KwMemoryContext& ctx, size_t size) {
    if (knobFires(ctx)) {
        return nullptr;
    }
    // A zero-byte request still gets a block of its own, so that every answer can be freed.
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        return nullptr;
    }
    try {
        ctx.live.emplace(memory, size);
    } catch (...) {
        std::free(memory);
        return nullptr;
    }
    ++ctx.totalAllocations;
    ctx.liveBytes += static_cast<int64_t>(size);
    return memory;
}

void traceForeign(const char* operation, const KwMemoryContext& ctx, const void* memory) {
    traceLine(fmt::format("kwshr: {} of {} which context '{}' did not hand out; ignored", operation, memory,
                          ctx.name));
}

}  // namespace

bool contextOwns(KWCTX ctx, const void* memory) {
    if (ctx == nullptr || memory == nullptr) {
        return false;
    }
    std::lock_guard lock(ctx->mutex);
    return ctx->live.count(const_cast<void*>(memory)) != 0;
}

void freeIfOwned(KWCTX ctx, void* memory) {
    if (contextOwns(ctx, memory)) {
        kwshr_free(ctx, memory);
    }
}

}  // namespace shr

extern "C" {

void* kwshr_allocate(KWCTX ctx, size_t size, int32_t /*flags: no flag changes how memory is taken*/) {
    if (ctx == nullptr) {
        shr::traceLine("kwshr_allocate: no memory context");
        return nullptr;
    }
    std::lock_guard lock(ctx->mutex);
    return shr::allocateLocked(*ctx, size);
}

void kwshr_free(KWCTX ctx, void* memory) {
    if (ctx == nullptr || memory == nullptr) {
        return;
    }
    {
        std::lock_guard lock(ctx->mutex);
        auto found = ctx->live.find(memory);
        if (found != ctx->live.end()) {
            ctx->liveBytes -= static_cast<int64_t>(found->second);
            ctx->live.erase(found);
            std::free(memory);
            return;
        }
        ++ctx->foreignFrees;
    }
    shr::traceForeign("kwshr_free", *ctx, memory);
}

void* kwshr_reallocate(KWCTX ctx, void* memory, size_t newSize, int32_t flags) {
    if (memory == nullptr) {
        return kwshr_allocate(ctx, newSize, flags);
    }
    if (ctx == nullptr) {
        shr::traceLine("kwshr_reallocate: no memory context");
        return nullptr;
    }
    std::unique_lock lock(ctx->mutex);
    auto found = ctx->live.find(memory);
    if (found == ctx->live.end()) {
        lock.unlock();
        shr::traceForeign("kwshr_reallocate", *ctx, memory);
        return nullptr;
    }
    if (shr::knobFires(*ctx)) {
        return nullptr;
    }
    void* moved = std::realloc(memory, newSize == 0 ? 1 : newSize);
    if (moved == nullptr) {
        return nullptr;
    }
    // Re-key the existing table entry; moving the node allocates nothing, so this cannot fail.
    auto node = ctx->live.extract(found);
    ctx->liveBytes += static_cast<int64_t>(newSize) - static_cast<int64_t>(node.mapped());
    node.key() = moved;
    node.mapped() = newSize;
    ctx->live.insert(std::move(node));
    ++ctx->totalAllocations;
    return moved;
}

char* kwshr_duplicateString(KWCTX ctx, const char* text, int32_t flags) {
    if (text == nullptr) {
        return nullptr;
    }
    size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(kwshr_allocate(ctx, length + 1, flags));
    if (copy != nullptr) {
        std::memcpy(copy, text, length + 1);
    }
    return copy;
}

KWCTX kwhost_createContext(const char* name) {
    return shr::guarded<KWCTX>(nullptr, [&] {
        auto* ctx = new KwMemoryContext;
        ctx->name = name != nullptr ? name : "";
        return ctx;
    });
}

int64_t kwhost_destroyContext(KWCTX ctx) {
    if (ctx == nullptr) {
        return 0;
    }
    int64_t leftOver = 0;
    {
        std::lock_guard lock(ctx->mutex);
        leftOver = static_cast<int64_t>(ctx->live.size());
        for (auto& [memory, size] : ctx->live) {
            std::free(memory);
        }
        ctx->live.clear();
    }
    delete ctx;
    return leftOver;
}

void kwhost_contextStats(KWCTX ctx, KwContextStats* stats) {
    if (stats == nullptr) {
        return;
    }
    *stats = KwContextStats{};
    if (ctx == nullptr) {
        return;
    }
    std::lock_guard lock(ctx->mutex);
    stats->liveAllocations = static_cast<int64_t>(ctx->live.size());
    stats->liveBytes = ctx->liveBytes;
    stats->totalAllocations = ctx->totalAllocations;
    stats->failedAllocations = ctx->failedAllocations;
    stats->foreignFrees = ctx->foreignFrees;
}

void kwhost_failAllocation(KWCTX ctx, int64_t n) {
    if (ctx == nullptr) {
        return;
    }
    std::lock_guard lock(ctx->mutex);
    ctx->failCountdown = n > 0 ? n : 0;
}

}  // extern "C"
