/*
 * statement_text.cpp - the statement text builder: the driver writes generated statements line by
 * line at the builder's write position (kwshr_beginStatementText, kwshr_reserveStatementText,
 * kwshr_endStatementLine, kwshr_finishStatementText, kwshr_releaseStatementText). A builder owns
 * its buffer, in which ended lines are NUL-terminated one after another; a finished statement
 * becomes a StatementRecord in the block's statementList, which the host owns from then on.
 * Invariant: bufferStart <= lineStart <= writePos <= bufferStart + capacity, and the driver may
 * rewind writePos and lineStart to bufferStart at any time.
 */
#include <atomic>
#include <climits>
#include <cstring>

#include "internal.h"

namespace shr {
namespace {

constexpr size_t kLineBytes = KW_STATEMENT_LINE_WIDTH + 1;  // a line and its terminating NUL

/* The builder the driver sees comes first, so a StatementBuilder* is a BuilderState*. */
struct BuilderState {
    StatementBuilder builder;
    KWCTX ctx;
    int32_t flags;
    size_t capacity;  // bytes of the buffer at builder.bufferStart
    bool finished;    // a statement was finished since the last line ended: the next restarts the count
};
static_assert(offsetof(BuilderState, builder) == 0, "the public builder must lead the private state");

BuilderState& stateOf(StatementBuilder* builder) {
    return *reinterpret_cast<BuilderState*>(builder);
}

/* Offsets are taken as plain integers: lineEnd may lie past the buffer's end. */
ptrdiff_t offsetIn(const char* base, const char* at) {
    return static_cast<ptrdiff_t>(reinterpret_cast<uintptr_t>(at) - reinterpret_cast<uintptr_t>(base));
}
char* pointerAt(char* base, ptrdiff_t offset) {
    return reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(offset));
}

/* The write position's offset in the buffer, or -1 when the driver has moved it outside. */
ptrdiff_t writeOffset(const BuilderState& state) {
    ptrdiff_t offset = offsetIn(state.builder.bufferStart, state.builder.writePos);
    return (offset < 0 || static_cast<size_t>(offset) > state.capacity) ? -1 : offset;
}

bool grow(BuilderState& state, size_t needed) {
    size_t capacity = state.capacity * 2 > needed ? state.capacity * 2 : needed;
    StatementBuilder& b = state.builder;
    auto* moved = static_cast<char*>(kwshr_reallocate(state.ctx, b.bufferStart, capacity, state.flags));
    if (moved == nullptr) {
        return false;
    }
    ptrdiff_t write = offsetIn(b.bufferStart, b.writePos);
    ptrdiff_t lineStart = offsetIn(b.bufferStart, b.lineStart);
    ptrdiff_t lineEnd = offsetIn(b.bufferStart, b.lineEnd);
    b.bufferStart = moved;
    b.writePos = pointerAt(moved, write);
    b.lineStart = pointerAt(moved, lineStart);
    b.lineEnd = pointerAt(moved, lineEnd);
    state.capacity = capacity;
    return true;
}

bool reserve(BuilderState& state, size_t bytes) {
    ptrdiff_t offset = writeOffset(state);
    if (offset < 0) {
        traceLine("kwshr: statement builder write position lies outside its buffer");
        return false;
    }
    if (bytes > SIZE_MAX / 2 - static_cast<size_t>(offset)) {
        return false;
    }
    size_t needed = static_cast<size_t>(offset) + bytes + 1;
    return needed <= state.capacity || grow(state, needed);
}

int32_t nextStatementHandle() {
    // Process-wide, from 1, wrapping before it would leave 32 bits (the driver keeps it in an int32).
    static std::atomic<int32_t> next{1};
    int32_t handle = next.load();
    while (!next.compare_exchange_weak(handle, handle == INT32_MAX ? 1 : handle + 1)) {
    }
    return handle;
}

/* The statement text: the buffer from its start to the write position, ended lines joined with a
 * newline. A final NUL only ends the last line; text after the last ended line is a line too. */
struct StatementText {
    const char* start;
    size_t length;  // of the joined text
    int32_t lines;
};

StatementText measure(const BuilderState& state, size_t written) {
    const char* start = state.builder.bufferStart;
    bool lastLineEnded = written > 0 && start[written - 1] == '\0';
    StatementText text{start, lastLineEnded ? written - 1 : written, written > 0 ? 1 : 0};
    for (size_t i = 0; i < text.length; ++i) {
        text.lines += start[i] == '\0' ? 1 : 0;
    }
    return text;
}

/* Makes the record and puts it at the end of the block's statement list; undoes everything it
 * did when memory runs out. */
StatementRecord* appendRecord(RequestBlock& block, const StatementText& text) {
    KWCTX ctx = block.memoryContext;
    auto* joined = static_cast<char*>(kwshr_allocate(ctx, text.length + 1, block.allocFlags));
    auto* record =
        static_cast<StatementRecord*>(kwshr_allocate(ctx, sizeof(StatementRecord), block.allocFlags));
    bool madeList = false;
    if (joined != nullptr && record != nullptr && block.statementList == nullptr) {
        block.statementList = kwshr_createList(ctx, block.allocFlags);
        madeList = block.statementList != nullptr;
    }
    if (joined == nullptr || record == nullptr || block.statementList == nullptr ||
        kwshr_appendToList(block.statementList, record) == 0) {
        if (madeList) {
            kwshr_destroyList(block.statementList);
            block.statementList = nullptr;
        }
        kwshr_free(ctx, joined);
        kwshr_free(ctx, record);
        return nullptr;
    }
    for (size_t i = 0; i < text.length; ++i) {
        joined[i] = text.start[i] == '\0' ? '\n' : text.start[i];
    }
    joined[text.length] = '\0';
    *record = StatementRecord{joined, text.lines, nextStatementHandle()};
    return record;
}

int16_t asLineCount(int32_t lines) {
    return static_cast<int16_t>(lines > INT16_MAX ? INT16_MAX : lines);
}

}  // namespace
}  // namespace shr

extern "C" {

StatementBuilder* kwshr_beginStatementText(RequestBlock* block, int32_t lineCapacity) {
    if (block == nullptr) {
        return nullptr;
    }
    KWCTX ctx = block->memoryContext;
    size_t capacity = (lineCapacity > 1 ? static_cast<size_t>(lineCapacity) : 1) * shr::kLineBytes;
    auto* state =
        static_cast<shr::BuilderState*>(kwshr_allocate(ctx, sizeof(shr::BuilderState), block->allocFlags));
    auto* buffer = static_cast<char*>(kwshr_allocate(ctx, capacity, block->allocFlags));
    if (state == nullptr || buffer == nullptr) {
        kwshr_free(ctx, state);
        kwshr_free(ctx, buffer);
        return nullptr;
    }
    std::memset(state, 0, sizeof(*state));
    buffer[0] = '\0';
    StatementBuilder& b = state->builder;
    b.bufferStart = b.writePos = b.lineStart = buffer;
    b.lineEnd = buffer + KW_STATEMENT_LINE_WIDTH;
    state->ctx = ctx;
    state->flags = block->allocFlags;
    state->capacity = capacity;
    return &state->builder;
}

int32_t kwshr_reserveStatementText(RequestBlock* /*block*/, StatementBuilder* builder, size_t bytes) {
    if (builder == nullptr) {
        return 0;
    }
    return shr::reserve(shr::stateOf(builder), bytes) ? 1 : 0;
}

/* `last` marks the statement's final line; the text is taken by the finish, so it changes nothing. */
void kwshr_endStatementLine(RequestBlock* /*block*/, int32_t /*last*/, StatementBuilder* builder) {
    if (builder == nullptr) {
        return;
    }
    shr::BuilderState& state = shr::stateOf(builder);
    if (!shr::reserve(state, 0)) {
        shr::traceLine("kwshr_endStatementLine: no room to end the line; line left open");
        return;
    }
    StatementBuilder& b = state.builder;
    *b.writePos++ = '\0';
    b.lineStart = b.writePos;
    b.lineEnd = b.lineStart + KW_STATEMENT_LINE_WIDTH;
    if (state.finished) {
        b.lineCount = 0;
        state.finished = false;
    }
    b.lineCount = shr::asLineCount(b.lineCount + 1);
}

void kwshr_finishStatementText(RequestBlock* block, StatementBuilder* builder) {
    if (block == nullptr || builder == nullptr) {
        return;
    }
    shr::BuilderState& state = shr::stateOf(builder);
    ptrdiff_t written = shr::writeOffset(state);
    if (written < 0) {
        shr::traceLine("kwshr_finishStatementText: write position lies outside the buffer; nothing finished");
        builder->statementHandle = 0;
        return;
    }
    shr::StatementText text = shr::measure(state, static_cast<size_t>(written));
    StatementRecord* record = shr::appendRecord(*block, text);
    if (record == nullptr) {
        shr::traceLine("kwshr_finishStatementText: out of memory; the statement was not kept");
    }
    builder->statementHandle = record != nullptr ? record->handle : 0;
    builder->lineCount = shr::asLineCount(text.lines);
    state.finished = true;
}

void kwshr_releaseStatementText(RequestBlock* /*block*/, StatementBuilder* builder) {
    if (builder == nullptr) {
        return;
    }
    shr::BuilderState& state = shr::stateOf(builder);
    KWCTX ctx = state.ctx;
    kwshr_free(ctx, builder->bufferStart);
    kwshr_free(ctx, &state);
}

}  // extern "C"
