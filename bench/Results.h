#pragma once
// Collects what Google Benchmark measured and prints the comparison, one line per case:
//
//   name ours_ms baseline_ms ratio target status
//
// Times are the median over the repetitions of the CPU time per iteration of the measuring
// thread (user and kernel: reads from the OS page cache and WAL writes count). CPU time rather
// than wall time because the machines this runs on are shared: time spent waiting for other
// processes is nobody's cost, and would otherwise land at random on one side of a comparison.
// The sync cases are the exception (CaseClock::wall): their work runs on the ensemble's worker
// thread and waits for files to reach the disk, so only the wall clock sees all of it.
// ratio = ours / baseline; status is "ok" when ratio <= target, "MISSED" otherwise. A case that
// did not run (filtered out) or failed says so in the status column.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Cases.h"

namespace jw::bench {

class ResultCollector : public benchmark::BenchmarkReporter {
  public:
    // With `verbose`, every repetition's times go to standard error as they arrive; otherwise
    // one dot per repetition shows progress.
    explicit ResultCollector(bool verbose) : verbose_(verbose) {}

    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

    // The median over the repetitions of the time per iteration, in milliseconds.
    std::optional<double> medianMilliseconds(const std::string& benchmark,
                                             CaseClock clock = CaseClock::cpu) const;
    std::optional<std::string> error(const std::string& benchmark) const;
    // Per benchmark and clock (CPU, wall): repetitions, min, median, max, as comment lines.
    void printSpread(std::ostream& out) const;

  private:
    struct Samples {
        std::vector<double> cpu;   // ms per iteration, one per repetition
        std::vector<double> wall;  // the same repetitions by the wall clock
    };
    bool verbose_;
    std::map<std::string, Samples> samples_;
    std::map<std::string, std::string> errors_;
};

struct MemoryResult {
    std::string name;
    bool measured = false;
    std::optional<std::uint64_t> peakBytes;  // nothing: the probe failed
    double budgetBytes = 100e6;
    // Sizes other than a peak (a file's, a folder's) are printed the same way against a
    // reference size and a target ratio, in `unitBytes` (a folder's per object: the objects);
    // a target of 0 prints the size alone, as a reference.
    double target = 1.0;
    double unitBytes = 1e6;
};

// Prints a header comment, the case lines in caseTable() order (a line's baseline time is the
// sum of its baseline and its addedToBaseline benchmark), then one line per memory result:
//   <name> <peak / unitBytes> - <peak / budget> <target> <status>
// `differentOrders` names cases whose two sides did not show the same rows in the same order;
// their status is "MISMATCH" whatever the times.
void printComparison(std::ostream& out, const ResultCollector& results,
                     const std::vector<std::string>& differentOrders,
                     const std::vector<MemoryResult>& memory);

}  // namespace jw::bench
