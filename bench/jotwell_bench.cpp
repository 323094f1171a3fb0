// Measures the store and the data model against plain SQLite doing the same work, and prints
// one comparison line per case (see Results.h for the columns, Cases.h for the cases).
//
//   jotwell_bench [--resources=DIR] [--work-dir=DIR] [--keep-stores] [--verbose]
//                 [Google Benchmark flags, e.g. --benchmark_filter=open_list]
//
// The stores are generated once per run (fixed seed) in a new folder under the temporary
// directory, removed at the end unless --keep-stores. Exits 0 whether or not the targets are
// met; 1 when the run itself could not be set up; 2 on unknown arguments.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "Cases.h"
#include "PeakMemory.h"
#include "Results.h"
#include "StoreGenerator.h"
#include "SyncCases.h"
#include "WindowCases.h"
#include "platform/store/Sqlite.h"

namespace {

using namespace jw::bench;

constexpr std::uint64_t kSeed = 20'240'611;
constexpr int kMemoryRuns = 3;

struct Options {
    std::filesystem::path resourceDirectory = JOTWELL_BENCH_RESOURCE_DIR;
    std::filesystem::path workDirectory;  // empty: a new temporary folder
    bool keepStores = false;
    bool verbose = false;
    std::vector<char*> benchmarkArguments;
};

bool takeValue(std::string_view argument, std::string_view flag, std::filesystem::path& out) {
    if (argument.size() > flag.size() + 1 && argument.substr(0, flag.size()) == flag &&
        argument[flag.size()] == '=') {
        out = std::string(argument.substr(flag.size() + 1));
        return true;
    }
    return false;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    options.benchmarkArguments.push_back(argv[0]);
    // Repetitions of all cases are shuffled together, so a slow phase of the machine does not
    // fall on one side of a comparison. A later flag on the command line can turn it off.
    options.benchmarkArguments.push_back(interleave);
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (takeValue(a, "--resources", options.resourceDirectory) ||
            takeValue(a, "--work-dir", options.workDirectory)) {
            continue;
        }
        if (a == "--keep-stores") {
            options.keepStores = true;
        } else if (a == "--verbose") {
            options.verbose = true;
        } else {
            options.benchmarkArguments.push_back(argv[i]);
        }
    }
    return options;
}

std::filesystem::path makeTemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        (std::filesystem::path(base && *base ? base : "/tmp") / "jotwell-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot make a temporary folder from " + pattern);
    }
    return pattern;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    // Before the first connection of any kind, ours or the baselines' (see Sqlite.h).
    jw::store::configureSqlite();
    Options options = parseOptions(argc, argv);
    int benchmarkArgc = int(options.benchmarkArguments.size());
    options.benchmarkArguments.push_back(nullptr);
    benchmark::Initialize(&benchmarkArgc, options.benchmarkArguments.data());
    if (benchmark::ReportUnrecognizedArguments(benchmarkArgc, options.benchmarkArguments.data())) {
        return 2;
    }

    Environment env;
    std::filesystem::path folder;
    std::vector<std::string> differentOrders;
    std::vector<MemoryResult> memory(3);
    memory[0].name = "peak_memory_open_list";
    memory[1].name = "peak_memory_window_open_list";
    memory[1].budgetBytes = 150e6;
    memory[2].name = "peak_memory_open_all_lists";
    memory[2].budgetBytes = 40e6;
    try {
        folder = options.workDirectory.empty() ? makeTemporaryFolder() : options.workDirectory;
        env.resourceDirectory = options.resourceDirectory;
        const auto start = std::chrono::steady_clock::now();
        env.large = generateStore(folder / "large", env.resourceDirectory, StoreShape{}, kSeed);
        env.small = generateStore(folder / "small", env.resourceDirectory,
                                  StoreShape{200, 10'000, 1'000}, kSeed);
        env.checks = copyStore(env.large, folder / "checks");
        env.attached = copyStore(env.large, folder / "attached");
        env.attached.cloudDirectory = folder / "attached-cloud";
        std::filesystem::create_directories(*env.attached.cloudDirectory);
        env.window = copyStore(env.large, folder / "window");
        env.window.cloudDirectory = folder / "window-cloud";
        std::filesystem::create_directories(*env.window.cloudDirectory);
        attachWindowStore(env);
        env.work = folder / "sync";
        std::cerr << "Stores generated in " << folder.string() << " (" << secondsSince(start)
                  << " s)\n";
        differentOrders = casesWithDifferentOrders(env);
        for (const auto& name : differentOrders) {
            std::cerr << name << ": the store and the baseline show different orders\n";
        }
        // Measured first: a probe forked later would start from a larger parent.
        const auto memoryList = env.large.bigListBySortMode.find(1);
        if (memoryList != env.large.bigListBySortMode.end()) {
            memory[0].measured = true;
            memory[0].peakBytes =
                peakResidentBytes(MemoryProbe{siblingProgram("jotwell_bench_memory"),
                                              env.large.directory, env.resourceDirectory,
                                              memoryList->second, env.large.shape.bigListItems},
                                  kMemoryRuns);
            // Every list opened in turn after it.
            memory[2].measured = true;
            memory[2].peakBytes =
                peakResidentBytes(MemoryProbe{siblingProgram("jotwell_bench_memory"),
                                              env.large.directory,
                                              env.resourceDirectory,
                                              memoryList->second,
                                              env.large.shape.bigListItems,
                                              {"--every-list"}},
                                  kMemoryRuns);
            // The same list opened in the application's window, on the attached copy.
            memory[1].measured = true;
            memory[1].peakBytes =
                peakResidentBytes(MemoryProbe{siblingProgram("jotwell_bench_window_memory"),
                                              env.window.directory,
                                              env.resourceDirectory,
                                              env.window.bigListBySortMode.at(1),
                                              env.window.shape.bigListItems,
                                              {env.window.cloudDirectory->string()}},
                                  kMemoryRuns);
        }
        registerCases(env);
    } catch (const std::exception& error) {
        std::cerr << "jotwell_bench: " << error.what() << "\n";
        return 1;
    }

    ResultCollector results(options.verbose);
    const auto start = std::chrono::steady_clock::now();
    benchmark::RunSpecifiedBenchmarks(&results);
    std::cerr << "Benchmarks ran in " << secondsSince(start) << " s\n";

    if (options.verbose) {
        results.printSpread(std::cout);
    }
    for (auto& line : syncSizeResults()) {
        memory.push_back(std::move(line));
    }
    printComparison(std::cout, results, differentOrders, memory);

    if (!options.keepStores && options.workDirectory.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    } else {
        std::cerr << "Stores kept in " << folder.string() << "\n";
    }
    benchmark::Shutdown();
    return 0;
}
