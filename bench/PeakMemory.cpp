#include "PeakMemory.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace jw::bench {

namespace {

std::optional<std::uint64_t> runOnce(const MemoryProbe& probe) {
    std::vector<std::string> arguments = {
        probe.program.string(), probe.dataDirectory.string(), probe.resourceDirectory.string(),
        std::to_string(probe.listKey), std::to_string(probe.expectedItems)};
    arguments.insert(arguments.end(), probe.moreArguments.begin(), probe.moreArguments.end());
    std::vector<char*> argv;
    for (const auto& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return std::nullopt;
    }
    if (child == 0) {
        execv(argv[0], argv.data());
        std::perror("execv");
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    // wait4 reports this child's own usage; RUSAGE_CHILDREN would fold in earlier runs.
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("wait4");
        return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0], status);
        return std::nullopt;
    }
    return std::uint64_t(usage.ru_maxrss) * 1024;  // ru_maxrss is in KiB on Linux
}

}  // namespace

std::optional<std::uint64_t> peakResidentBytes(const MemoryProbe& probe, int runs) {
    std::optional<std::uint64_t> peak;
    for (int i = 0; i < runs; ++i) {
        const auto bytes = runOnce(probe);
        if (!bytes) {
            return std::nullopt;
        }
        peak = std::max(peak.value_or(0), *bytes);
    }
    return peak;
}

std::filesystem::path siblingProgram(const std::string& name) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path(name) : self.parent_path() / name;
}

}  // namespace jw::bench
