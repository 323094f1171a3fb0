#pragma once
// One batch of changes to a table's rows, in the platform's terms: deletions and reloads name
// rows and sections as they were before the batch, insertions as they are after it, and a
// move names both. Applying it means: deletions and reloads first, then insertions, whatever
// order the calls came in. Each list is sorted. `reloadedAll` means the table forgot its rows
// and read them all again (reloadData); the lists are then empty.

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/ui/IndexPath.h"

namespace jw::ui {

struct TableUpdate {
    std::vector<std::size_t> deletedSections{};
    std::vector<std::size_t> insertedSections{};
    std::vector<IndexPath> deletedRows{};
    std::vector<IndexPath> insertedRows{};
    std::vector<IndexPath> reloadedRows{};
    std::vector<std::pair<IndexPath, IndexPath>> movedRows{};
    bool reloadedAll = false;

    bool empty() const {
        return !reloadedAll && deletedSections.empty() && insertedSections.empty() &&
               deletedRows.empty() && insertedRows.empty() && reloadedRows.empty() &&
               movedRows.empty();
    }
};

}  // namespace jw::ui
