/*
 * trace.cpp - the trace: kwshr_trace (request code 241, text in `arg`) and the runtime's own fault
 * lines go to an in-memory ring of the most recent lines, which tests and kwsh read
 * (kwhost_traceCount, kwhost_traceLine, kwhost_traceClear), and are appended to the file named by
 * KW_TRACE or kwhost_setTraceFile. It owns the ring and the open trace file; one mutex guards both.
 * Invariant: the ring holds at most kRingLines lines, oldest first, each without a line break,
 * and every line reaches the file in one append.
 */
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "internal.h"
#include "kwconst.h"

namespace shr {
namespace {

constexpr size_t kRingLines = 1024;
static_assert(kRingLines >= 1000, "the trace ring keeps at least the last thousand lines");

struct TraceState {
    std::mutex mutex;
    std::vector<std::string> ring = std::vector<std::string>(kRingLines);
    size_t oldest = 0;  // ring index of the oldest line
    size_t count = 0;
    std::optional<std::string> chosenFile;  // set by kwhost_setTraceFile; else KW_TRACE
    std::string openPath;
    int fd = -1;
};

TraceState& state() {
    static TraceState* trace = new TraceState;  // never destroyed: tracing may run during exit
    return *trace;
}

std::string currentPath(const TraceState& trace) {
    if (trace.chosenFile) {
        return *trace.chosenFile;
    }
    const char* env = std::getenv("KW_TRACE");
    return env != nullptr ? env : "";
}

void closeFile(TraceState& trace) {
    if (trace.fd >= 0) {
        ::close(trace.fd);
    }
    trace.fd = -1;
    trace.openPath.clear();
}

/* Appends the line to the trace file in one write; a file that cannot be opened is skipped. */
void appendToFile(TraceState& trace, const std::string& line) {
    std::string path = currentPath(trace);
    if (path != trace.openPath) {
        closeFile(trace);
        if (!path.empty()) {
            trace.fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
            if (trace.fd >= 0) {
                trace.openPath = path;
            }
        }
    }
    if (trace.fd < 0) {
        return;
    }
    std::string record = line + '\n';
    ssize_t written;
    do {
        written = ::write(trace.fd, record.data(), record.size());
    } while (written < 0 && errno == EINTR);
}

}  // namespace

void traceLine(std::string_view text) noexcept {
    try {
        std::string line(text);
        for (char& c : line) {
            if (c == '\n' || c == '\r') {
                c = ' ';  // one call, one line
            }
        }
        TraceState& trace = state();
        std::lock_guard lock(trace.mutex);
        size_t slot = (trace.oldest + trace.count) % kRingLines;
        if (trace.count == kRingLines) {
            trace.oldest = (trace.oldest + 1) % kRingLines;
        } else {
            ++trace.count;
        }
        trace.ring[slot] = line;
        appendToFile(trace, line);
    } catch (...) {
        // Out of memory while tracing: the line is dropped, the caller goes on.
    }
}

}  // namespace shr

extern "C" {

void kwshr_trace(RequestBlock* block) {
    if (block == nullptr || block->arg == nullptr) {
        return;
    }
    if (block->requestCode != REQ_TRACE) {
        shr::traceLine("kwshr_trace: the block does not carry request code 241; nothing traced");
        return;
    }
    shr::traceLine(static_cast<const char*>(block->arg));
}

int32_t kwhost_traceCount(void) {
    shr::TraceState& trace = shr::state();
    std::lock_guard lock(trace.mutex);
    return static_cast<int32_t>(trace.count);
}

int32_t kwhost_traceLine(int32_t index, char* buffer, int32_t size) {
    shr::TraceState& trace = shr::state();
    std::lock_guard lock(trace.mutex);
    if (index < 0 || static_cast<size_t>(index) >= trace.count) {
        return -1;
    }
    const std::string& line = trace.ring[(trace.oldest + static_cast<size_t>(index)) % shr::kRingLines];
    return shr::copyCut(line, buffer, size);
}

void kwhost_traceClear(void) {
    shr::TraceState& trace = shr::state();
    std::lock_guard lock(trace.mutex);
    trace.oldest = 0;
    trace.count = 0;
}

void kwhost_setTraceFile(const char* path) {
    shr::guardedVoid([&] {
        shr::TraceState& trace = shr::state();
        std::lock_guard lock(trace.mutex);
        shr::closeFile(trace);
        if (path != nullptr) {
            trace.chosenFile = path;
        } else {
            trace.chosenFile.reset();
        }
    });
}

}  // extern "C"
