/*
 * keyed_sets.cpp - keyed sets: records ordered by a key text compared without regard to ASCII case,
 * found by key (kwshr_findInKeyedSet, kwshr_findNextInKeyedSet) or walked in key order
 * (kwshr_firstInKeyedSet, kwshr_nextInKeyedSet). A set owns its header, its nodes and a copy of
 * each record's key taken at add time, all allocations of its context; the records stay the
 * caller's. Invariant: records of equal keys keep their insertion order, and a unique set never
 * holds two records of equal keys. The ordering is a std::multimap (it keeps equal keys in
 * insertion order) whose allocator takes its memory from the set's context.
 */
#include <map>
#include <new>
#include <string>
#include <string_view>

#include "internal.h"

namespace shr {
namespace {

/* A standard allocator over a memory context, so that a set's nodes and key copies are counted
 * in the context (and fail when its failure knob fires). */
template <typename T>
struct ContextAllocator {
    using value_type = T;
    KWCTX ctx;
    int32_t flags;

    ContextAllocator(KWCTX context, int32_t allocFlags) : ctx(context), flags(allocFlags) {}
    template <typename U>
    ContextAllocator(const ContextAllocator<U>& other) : ctx(other.ctx), flags(other.flags) {}

    T* allocate(size_t n) {
        void* memory = kwshr_allocate(ctx, n * sizeof(T), flags);
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, size_t) { kwshr_free(ctx, memory); }

    template <typename U>
    bool operator==(const ContextAllocator<U>& other) const {
        return ctx == other.ctx;
    }
};

using KeyText = std::basic_string<char, std::char_traits<char>, ContextAllocator<char>>;

struct KeyLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return compareIgnoringCase(a, b) < 0; }
};

using RecordMap = std::multimap<KeyText, void*, KeyLess, ContextAllocator<std::pair<const KeyText, void*>>>;

}  // namespace
}  // namespace shr

struct KwKeyedSet {
    KwKeyedSet(KwKeyFunction keyFunction, bool isUnique, KWCTX context, int32_t allocFlags)
        : key(keyFunction),
          unique(isUnique),
          ctx(context),
          flags(allocFlags),
          records(shr::ContextAllocator<std::pair<const shr::KeyText, void*>>(context, allocFlags)) {}

    KwKeyFunction key;
    bool unique;
    KWCTX ctx;
    int32_t flags;
    shr::RecordMap records;
    shr::RecordMap::iterator walkPos;  // valid when walking
    bool walking = false;
    shr::RecordMap::iterator lastFound;  // valid when found; multimap iterators survive inserts
    bool found = false;
};

namespace shr {
namespace {

void* findFirst(KwKeyedSet& set, std::string_view key) {
    auto at = set.records.lower_bound(key);
    if (at == set.records.end() || !equalIgnoringCase(at->first, key)) {
        set.found = false;
        return nullptr;
    }
    set.lastFound = at;
    set.found = true;
    return at->second;
}

bool addRecord(KwKeyedSet& set, void* record) {
    const char* key = set.key(record);
    if (key == nullptr) {
        traceLine("kwshr_addToKeyedSet: the key function gave no key; record not added");
        return false;
    }
    std::string_view keyView(key);
    if (set.unique && set.records.find(keyView) != set.records.end()) {
        return false;
    }
    try {
        // emplace puts the record after every record of an equal key: insertion order holds.
        set.records.emplace(KeyText(keyView, set.records.get_allocator()), record);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace
}  // namespace shr

extern "C" {

KWSET kwshr_createKeyedSet(int32_t kind, KwKeyFunction key, int32_t unique, int32_t /*reserved*/, KWCTX ctx,
                           int32_t flags) {
    if (kind != KWSHR_KEYED_SET_KIND || key == nullptr) {
        shr::traceLine("kwshr_createKeyedSet: unknown kind or no key function; no set made");
        return nullptr;
    }
    void* memory = kwshr_allocate(ctx, sizeof(KwKeyedSet), flags);
    if (memory == nullptr) {
        return nullptr;
    }
    return new (memory) KwKeyedSet(key, unique != 0, ctx, flags);
}

int32_t kwshr_addToKeyedSet(KWSET set, void* record) {
    if (set == nullptr) {
        shr::traceLine("kwshr_addToKeyedSet: no set");
        return 0;
    }
    return shr::guarded<int32_t>(0, [&] { return shr::addRecord(*set, record) ? 1 : 0; });
}

void* kwshr_findInKeyedSet(KWSET set, const char* key) {
    if (set == nullptr || key == nullptr) {
        return nullptr;
    }
    return shr::findFirst(*set, key);
}

void* kwshr_findNextInKeyedSet(KWSET set, const char* key) {
    if (set == nullptr || key == nullptr) {
        return nullptr;
    }
    // Without an earlier find for this key there is nothing to continue from: start at the first.
    if (!set->found || !shr::equalIgnoringCase(set->lastFound->first, key)) {
        return shr::findFirst(*set, key);
    }
    auto next = std::next(set->lastFound);
    if (next == set->records.end() || !shr::equalIgnoringCase(next->first, key)) {
        return nullptr;  // stays on the last record found, so later calls answer null as well
    }
    set->lastFound = next;
    return next->second;
}

void* kwshr_firstInKeyedSet(KWSET set) {
    if (set == nullptr) {
        return nullptr;
    }
    set->walkPos = set->records.begin();
    set->walking = true;
    return set->walkPos != set->records.end() ? set->walkPos->second : nullptr;
}

void* kwshr_nextInKeyedSet(KWSET set) {
    if (set == nullptr || !set->walking || set->walkPos == set->records.end()) {
        return nullptr;
    }
    ++set->walkPos;
    return set->walkPos != set->records.end() ? set->walkPos->second : nullptr;
}

void kwshr_destroyKeyedSet(KWSET set) {
    if (set == nullptr) {
        return;
    }
    KWCTX ctx = set->ctx;
    set->~KwKeyedSet();
    kwshr_free(ctx, set);
}

}  // extern "C"
