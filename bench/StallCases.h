#pragma once
// How long the sync engine's big jobs hold the main thread and a save's export back, on an
// attached store with the screens' controllers open: one on the lists, one on an open
// 10,000-item list, both on the main context with a delegate.
//
// - stalls_baseline: the 100,000-item store writes a baseline (the whole store) in a merge.
// - stalls_import: another device's 100,000 items arrive in a merge, on a store of its own
//   (60,000 items, its big lists of 10,000).
//
// While the merge runs an item of the open list is checked every 50 ms (each check a save,
// whose own merge exports it). Two figures per job, each on a line of its own:
// - <job>_main_task: the longest event the main run loop ran from the merge's start until
//   every save was exported (ThreadRunLoop's event durations), against 50 ms;
// - <job>_export_wait: the longest time from a save until its records left `_sync_pending`
//   (their file confirmed), watched from a connection of its own, against 200 ms.
// The budgets are printed as the baseline column, so the ratio is against 1.0.

#include <vector>

#include "Cases.h"

namespace jw::bench {

std::vector<CaseLine> stallCaseTable();

void registerStallCases(const Environment& environment);

}  // namespace jw::bench
