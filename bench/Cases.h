#pragma once
// The benchmark cases, each measured twice in the same run: "ours" through the store and the
// data model as the screens use them, and "baseline" written directly against the SQLite C API
// doing the same work on the same file. Both sides run a warm-up pass before they are timed,
// so both read from a warm page cache, and both are given the same number of iterations and
// repetitions. Where a case builds a screen's content (opening a list, the lists screen), the
// content is released with the timer paused, on both sides: showing is measured, not teardown.
//
// - open_list_<mode>: a fresh context on an open connection, a fetched-results controller on
//   itemsFetchRequest(list, none), performFetch, every item's body read; against the same
//   SELECT (same WHERE and ORDER BY, ending with "_gid") into plain structs of every column.
// - check_item: toggleItem on an item of the open checked-first list, with a controller and a
//   delegate attached, then processPendingChanges; against UPDATE item, COUNT the list's done
//   items, UPDATE the list's doneCount, in one transaction.
// - lists_screen: a fresh context, a controller on listsFetchRequest(false), performFetch,
//   name and progressInfo("", "") of every list; against a SELECT of key, identifier, name,
//   doneCount and the member count ordered by name, formatting the same counts text.
//   lists_screen_10k is ours on the 10,000-item store, for the scaling line.
//
// The sync engine's cases are in SyncCases.h, the screens' in ScreenCases.h, the Qt window's
// in WindowCases.h.
//
// Benchmark names are "<case>/ours" and "<case>/baseline"; caseTable() lists how each printed
// line is made from them.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "StoreGenerator.h"

namespace jw::model {
class JWDatabase;
}
namespace jw::store {
class FetchedResultsController;
}

namespace jw::bench {

struct Environment {
    std::filesystem::path resourceDirectory;
    GeneratedStore large;        // 100,000 items in 200 lists
    GeneratedStore small;        // 10,000 items in the same 200 lists
    GeneratedStore checks;       // a copy of `large` that the check-an-item case writes to
    GeneratedStore attached;     // another copy, with a cloud folder, for check_item_attached
    GeneratedStore window;       // another, with a cloud folder, for the Qt window's cases
    std::filesystem::path work;  // a scratch folder for the cases that make stores and folders
};

// What the lists screen shows of each list the controller fetched (name and counts text), as
// a byte count, so that neither side can skip the work.
std::size_t bytesOfListsShown(const store::FetchedResultsController& controller);

// Which time a line compares (see Results.h).
enum class CaseClock { cpu, wall };

// One printed line: ours / baseline against a target ratio.
struct CaseLine {
    std::string name;
    std::string oursBenchmark;
    std::string baselineBenchmark;
    double target = 0;  // none (0): a reference line, reported only
    CaseClock clock = CaseClock::cpu;
    // When named, this benchmark's time is added to the baseline's (a cost the baseline side
    // does not have but cannot avoid either, such as a window's own start).
    std::string addedToBaseline = {};
};

// The lines in the order they are printed (peak memory is measured apart, see PeakMemory.h).
std::vector<CaseLine> caseTable();

// Registers every benchmark with Google Benchmark. The environment must outlive the run.
void registerCases(const Environment& environment);

// Reads each big list through the store and through the baseline query and compares the
// orders item by item. Returns the names of the cases whose orders differ (none when all agree).
std::vector<std::string> casesWithDifferentOrders(const Environment& environment);

// The item check_item/ours checks in a copy of `large`: the lowest-keyed item of the big
// checked-first list (whose order moves a checked item).
struct CheckedItem {
    std::int64_t list = 0;
    std::int64_t item = 0;
};
CheckedItem checkedItemOf(const GeneratedStore& store);

// check_item/ours on `store`: toggles the item shown in a controller on its list; `afterSave`,
// when given, runs after each check inside the timing. A store with a cloud folder is opened
// with it (and user defaults of its own).
void checkItemOurs(benchmark::State& state, const Environment& environment,
                   const GeneratedStore& store, CheckedItem checked,
                   const std::function<void(model::JWDatabase&)>& afterSave = nullptr);

// Runs `body` as a benchmark, turning an exception into a reported error.
template <typename Body>
void guarded(benchmark::State& state, Body&& body) {
    try {
        body(state);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
    }
}

// The stored sort mode codes measured, with the names used in case names.
struct SortModeCase {
    std::int16_t code;
    const char* name;
};
const std::vector<SortModeCase>& measuredSortModes();

}  // namespace jw::bench
