#pragma once
// Peak memory of a separate process that opens the store and one list as the application does
// (the programs jotwell_bench_memory and, with its window, jotwell_bench_window_memory, next to
// jotwell_bench). Measured as the child's maximum
// resident set size, which the kernel reports when the child is reaped.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace jw::bench {

struct MemoryProbe {
    std::filesystem::path program;  // jotwell_bench_memory
    std::filesystem::path dataDirectory;
    std::filesystem::path resourceDirectory;
    std::int64_t listKey = 0;
    std::size_t expectedItems = 0;  // the probe fails unless it showed exactly this many
    std::vector<std::string> moreArguments = {};  // after those above
};

// The largest peak resident size over `runs` runs of the probe, in bytes; nothing (and a
// message on standard error) when the probe could not run or failed.
std::optional<std::uint64_t> peakResidentBytes(const MemoryProbe& probe, int runs);

// The program next to the running executable.
std::filesystem::path siblingProgram(const std::string& name);

}  // namespace jw::bench
