#include "DebugLog.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace jw {

namespace {

bool debugEnabledByEnvironment() {
    static const bool enabled = [] {
        const char* value = std::getenv("JOTWELL_DEBUG");
        return value != nullptr && std::string_view(value) == "1";
    }();
    return enabled;
}

void writeToStandardError(std::string_view line) {
    if (!debugEnabledByEnvironment()) {
        return;
    }
    // One fwrite per line: stdio locks the stream per call, so lines from different threads
    // never interleave.
    std::string text(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

struct LogState {
    std::mutex mutex;
    DebugLogSink sink;
};

LogState& state() {
    static LogState instance;
    return instance;
}

// Set while this thread is inside a sink, so a sink that logs goes to standard error instead
// of deadlocking on the mutex it already holds.
thread_local bool insideSink = false;

}  // namespace

void debugLog(std::string_view line) {
    if (insideSink) {
        writeToStandardError(line);
        return;
    }
    auto& log = state();
    std::lock_guard lock(log.mutex);
    if (!log.sink) {
        writeToStandardError(line);
        return;
    }
    // Sinks are called under the mutex, one line at a time, so they need no locking of their
    // own to see whole lines in a single order.
    insideSink = true;
    try {
        log.sink(line);
    } catch (...) {
        insideSink = false;
        throw;
    }
    insideSink = false;
}

DebugLogSink setDebugLogSink(DebugLogSink sink) {
    auto& log = state();
    std::lock_guard lock(log.mutex);
    log.sink.swap(sink);
    return sink;
}

}  // namespace jw
