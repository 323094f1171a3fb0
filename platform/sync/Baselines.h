#pragma once
// Which baselines count, and what they allow, in the cloud folder as one device sees it: a
// copy that a file-sync service fills late, out of order and sometimes cut short, and empties
// late. The rules keep, at every moment, everything each device has exported recoverable from
// the folder itself (its true state, whatever any device sees):
//
// - A baseline counts only when it is in the folder as this device sees it: described by its
//   writer (its registration, or this device's own record) and listed in the writer's
//   baselines folder. A registration alone proves nothing: the file may not have arrived, or
//   may be gone.
// - Baselines are ranked by the number of files they hold, then their writer, then their
//   sequence: one strict order, the same on every device.
// - A writer removes its own baseline only when another baseline that counts holds all it
//   holds and ranks above it. So the best ranked baseline ever written is never removed, and
//   whatever a removed baseline held is held by one still in the folder (the chain of
//   replacements only climbs the ranks, and ends at one that is there).
// - A device removes its own change file n only when a baseline that counts holds it (and
//   every device in touch has applied it). With the rule above, some baseline in the folder
//   holds every removed file for good.
// - A device that finds another device's next file missing, or there but unreadable, catches
//   up from the counting baseline that reaches furthest into that device's files; when none
//   reaches the gap yet, it waits (and says so) instead of skipping past it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "CloudLayout.h"

namespace jw::sync {

using Coverage = std::map<std::string, std::int64_t>;  // device -> files 1..n

struct BaselineRef {
    std::string device;  // its writer
    BaselineInfo info;
};

// The files a coverage holds, all devices together.
std::int64_t totalFiles(const Coverage& coverage);
// Whether `a` holds every file `b` holds.
bool dominates(const Coverage& a, const Coverage& b);
// The strict order above: files held, then writer, then sequence.
bool ranksAbove(const BaselineRef& a, const BaselineRef& b);

// The best ranked of `present`; none when empty.
std::optional<BaselineRef> topRanked(const std::vector<BaselineRef>& present);
// Whether `baseline`'s writer may remove it: another of `present` holds all it holds and
// ranks above it.
bool isSuperseded(const BaselineRef& baseline, const std::vector<BaselineRef>& present);
// How far into `device`'s files the baselines of `present` reach (0: not at all).
std::int64_t coveredThrough(const std::vector<BaselineRef>& present, const std::string& device);
// The baseline of `present` that reaches furthest into `device`'s files, provided it reaches
// file `from`; of several that reach as far, the best ranked.
std::optional<BaselineRef> reachingFurthest(const std::vector<BaselineRef>& present,
                                            const std::string& device, std::int64_t from);

}  // namespace jw::sync
