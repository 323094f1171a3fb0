#pragma once
// The diagnostic sink. Silent by default; with JOTWELL_DEBUG=1 in the environment (read once,
// at the first line logged) each line goes to standard error. Tests may install a sink to read
// the lines. Thread-safe: the sink is called for one line at a time, never concurrently, so it
// needs no locking of its own. A line a sink logs itself goes to the default destination.

#include <functional>
#include <string_view>

namespace jw {

void debugLog(std::string_view line);

using DebugLogSink = std::function<void(std::string_view)>;
// Replaces the sink (an empty function restores the default); returns the previous one.
DebugLogSink setDebugLogSink(DebugLogSink sink);

}  // namespace jw
