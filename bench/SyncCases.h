#pragma once
// The sync engine's cases, measured like the others (see Cases.h), on a cloud folder on disk
// (FolderCloudFileSystem, so every file is written and synced as the application writes it):
//
// - sync_import: a device attached to a folder that holds what another device wrote when it
//   attached the 100,000-item store merges it all: lists every device's files, reads, checks
//   and parses each file, applies every list and item and records what it applied. Against
//   inserting the same rows with the SQLite C API, in one transaction, into an empty store of
//   the same layout (its member-count triggers included).
// - sync_attach: attaching a copy of the 100,000-item store to an empty folder: registering,
//   recording a snapshot of every object, and exporting it in change files. Against reading
//   every row of both tables and writing them to one file (synced to disk, as ours are).
// - check_item_attached_save: check_item/ours on a copy of the store attached to a folder,
//   the merge each save starts (the export of its change) waited for with the timer paused:
//   the main thread's side of a save while attached (also the baseline of
//   check_item_on_screen_attached). Against check_item/ours with no ensemble.
// - check_item_attached_burst: the same checks in bursts of 100 as fast as they come, every
//   change exported before a burst counts as done. Against check_item/ours, per check.
// - sync_import_floor, sync_attach_floor: ours against the physical floor, the same rows
//   written into tables with no key, index or trigger (reference lines, no target).
// Not timed, measured on the first repetition of sync_attach/ours and sync_import/ours (the
// engine closed, so the WAL is back in the file):
// - store_file_after_attach, store_file_after_import: the store file's size (MB), against the
//   size of what it holds: a copy of it with every sync table dropped but the stamps (and the
//   devices they name), vacuumed, so that it holds the same rows and stamps with no free
//   pages and nothing else of the engine's. Target 1.3.
// - store_stamp_bytes_after_import: what the stamps take per object, the vacuumed copy above
//   less the same copy without the stamps, divided by the objects (bytes; a reference line).
// - sync_attach_folder_bytes_per_object: the cloud folder after attaching the 100,000-item
//   store (the one sync_import reads), in bytes per object of the store, against 150.
//
// A store or folder a timed step changes is made afresh for each iteration with the timer
// paused.

#include <optional>
#include <vector>

#include "Cases.h"
#include "Results.h"

namespace jw {
class ThreadRunLoop;
}

namespace jw::bench {

// The main run loop of the benchmarks that sync: one real loop on the benchmark thread,
// installed as the main run loop the first time it is asked for.
ThreadRunLoop& benchMainLoop();

std::vector<CaseLine> syncCaseTable();

// Prepares the stores and folders the cases start from (an attach of `large` is made once for
// sync_import's folder) and registers the cases. Installs a main run loop for the ensembles'
// completions. The environment must outlive the run.
void registerSyncCases(const Environment& environment);

// The store size lines (see above), after the benchmarks ran; NOT-RUN where their case did not.
std::vector<MemoryResult> syncSizeResults();

}  // namespace jw::bench
