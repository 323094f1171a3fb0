#include "Results.h"

#include <fmt/format.h>

#include <algorithm>
#include <iostream>

namespace jw::bench {

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const auto n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

bool ResultCollector::ReportContext(const Context& context) {
    std::cerr << "Running on " << context.cpu_info.num_cpus << " CPUs";
    if (context.cpu_info.scaling == benchmark::CPUInfo::ENABLED) {
        std::cerr << " (CPU frequency scaling is on: times may vary)";
    }
    std::cerr << "\n";
    return true;
}

void ResultCollector::ReportRuns(const std::vector<Run>& runs) {
    for (const auto& run : runs) {
        if (run.run_type != Run::RT_Iteration) {
            continue;  // medians are taken here, from the repetitions themselves
        }
        const std::string& name = run.run_name.function_name;
        if (run.error_occurred) {
            errors_[name] = run.error_message;
            std::cerr << "\n" << name << ": " << run.error_message << "\n";
            continue;
        }
        const double iterations = double(std::max<benchmark::IterationCount>(run.iterations, 1));
        auto& samples = samples_[name];
        samples.cpu.push_back(run.cpu_accumulated_time * 1e3 / iterations);
        samples.wall.push_back(run.real_accumulated_time * 1e3 / iterations);
        if (verbose_) {
            std::cerr << fmt::format("{} cpu {:.3f} ms, wall {:.3f} ms, x {}\n", name,
                                     samples.cpu.back(), samples.wall.back(), run.iterations);
        } else {
            std::cerr << '.' << std::flush;
        }
    }
}

void ResultCollector::Finalize() {
    if (!verbose_) {
        std::cerr << "\n";
    }
}

std::optional<double> ResultCollector::medianMilliseconds(const std::string& benchmark,
                                                          CaseClock clock) const {
    auto it = samples_.find(benchmark);
    if (it == samples_.end() || it->second.cpu.empty() || errors_.count(benchmark)) {
        return std::nullopt;
    }
    return median(clock == CaseClock::wall ? it->second.wall : it->second.cpu);
}

std::optional<std::string> ResultCollector::error(const std::string& benchmark) const {
    auto it = errors_.find(benchmark);
    return it == errors_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

void ResultCollector::printSpread(std::ostream& out) const {
    for (const auto& [name, samples] : samples_) {
        for (const auto* values : {&samples.cpu, &samples.wall}) {
            const auto [low, high] = std::minmax_element(values->begin(), values->end());
            out << fmt::format("#   {:<32} {} n={} min={:.3f} median={:.3f} max={:.3f} ms\n", name,
                               values == &samples.cpu ? "cpu " : "wall", values->size(), *low,
                               median(*values), *high);
        }
    }
}

void printComparison(std::ostream& out, const ResultCollector& results,
                     const std::vector<std::string>& differentOrders,
                     const std::vector<MemoryResult>& memory) {
    out << "# name ours_ms baseline_ms ratio target status\n";
    for (const auto& line : caseTable()) {
        const auto ours = results.medianMilliseconds(line.oursBenchmark, line.clock);
        auto baseline = results.medianMilliseconds(line.baselineBenchmark, line.clock);
        bool failed = results.error(line.oursBenchmark) || results.error(line.baselineBenchmark);
        if (!line.addedToBaseline.empty()) {
            const auto added = results.medianMilliseconds(line.addedToBaseline, line.clock);
            baseline = baseline && added ? std::optional<double>(*baseline + *added) : std::nullopt;
            failed = failed || results.error(line.addedToBaseline);
        }
        if (!ours || !baseline) {
            out << fmt::format("{} {} {} - {:.1f} {}\n", line.name,
                               ours ? fmt::format("{:.3f}", *ours) : "-",
                               baseline ? fmt::format("{:.3f}", *baseline) : "-", line.target,
                               failed ? "ERROR" : "NOT-RUN");
            continue;
        }
        const double ratio = *ours / *baseline;
        const bool mismatch = std::find(differentOrders.begin(), differentOrders.end(),
                                        line.name) != differentOrders.end();
        const char* status = mismatch               ? "MISMATCH"
                             : line.target <= 0     ? "reference"
                             : ratio <= line.target ? "ok"
                                                    : "MISSED";
        out << fmt::format("{} {:.3f} {:.3f} {:.2f} {:.1f} {}\n", line.name, *ours, *baseline,
                           ratio, line.target, status);
    }
    for (const auto& probe : memory) {
        if (!probe.measured) {
            out << fmt::format("{} - - - {:.1f} NOT-RUN\n", probe.name, probe.target);
        } else if (!probe.peakBytes) {
            out << fmt::format("{} - - - {:.1f} ERROR\n", probe.name, probe.target);
        } else if (probe.target <= 0) {
            out << fmt::format("{} {:.1f} - - - reference\n", probe.name,
                               double(*probe.peakBytes) / probe.unitBytes);
        } else {
            const double ratio = double(*probe.peakBytes) / probe.budgetBytes;
            out << fmt::format("{} {:.1f} - {:.2f} {:.1f} {}\n", probe.name,
                               double(*probe.peakBytes) / probe.unitBytes, ratio, probe.target,
                               ratio <= probe.target ? "ok" : "MISSED");
        }
    }
}

}  // namespace jw::bench
