#include "Baselines.h"

#include <tuple>

namespace jw::sync {

namespace {

std::int64_t reach(const Coverage& coverage, const std::string& device) {
    const auto it = coverage.find(device);
    return it == coverage.end() ? 0 : it->second;
}

}  // namespace

std::int64_t totalFiles(const Coverage& coverage) {
    std::int64_t sum = 0;
    for (const auto& [device, n] : coverage) {
        sum += n;
    }
    return sum;
}

bool dominates(const Coverage& a, const Coverage& b) {
    for (const auto& [device, n] : b) {
        if (reach(a, device) < n) {
            return false;
        }
    }
    return true;
}

bool ranksAbove(const BaselineRef& a, const BaselineRef& b) {
    return std::forward_as_tuple(totalFiles(a.info.coverage), a.device, a.info.sequence) >
           std::forward_as_tuple(totalFiles(b.info.coverage), b.device, b.info.sequence);
}

std::optional<BaselineRef> topRanked(const std::vector<BaselineRef>& present) {
    const BaselineRef* best = nullptr;
    for (const auto& b : present) {
        if (!best || ranksAbove(b, *best)) {
            best = &b;
        }
    }
    return best ? std::optional<BaselineRef>(*best) : std::nullopt;
}

bool isSuperseded(const BaselineRef& baseline, const std::vector<BaselineRef>& present) {
    for (const auto& other : present) {
        if (ranksAbove(other, baseline) && dominates(other.info.coverage, baseline.info.coverage)) {
            return true;
        }
    }
    return false;
}

std::int64_t coveredThrough(const std::vector<BaselineRef>& present, const std::string& device) {
    std::int64_t through = 0;
    for (const auto& b : present) {
        through = std::max(through, reach(b.info.coverage, device));
    }
    return through;
}

std::optional<BaselineRef> reachingFurthest(const std::vector<BaselineRef>& present,
                                            const std::string& device, std::int64_t from) {
    const BaselineRef* best = nullptr;
    for (const auto& b : present) {
        const auto r = reach(b.info.coverage, device);
        if (r < from) {
            continue;
        }
        const auto bestReach = best ? reach(best->info.coverage, device) : 0;
        if (!best || r > bestReach || (r == bestReach && ranksAbove(b, *best))) {
            best = &b;
        }
    }
    return best ? std::optional<BaselineRef>(*best) : std::nullopt;
}

}  // namespace jw::sync
