#pragma once
// The order in which a list's items are shown, stored per list in `sortMode` as a code.
// Codes 1, 3, 5, 6 and 7 have names and menu entries; every other stored value (0 for a list
// on which no order was ever chosen, 2 and 4 which nothing writes, negatives, 8 and more)
// orders like `latestCreated`.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/store/FetchRequest.h"

namespace jw::model {

enum class JWListSortMode : std::int16_t {
    alphabetical = 1,
    latestCreated = 3,
    checkedFirst = 5,
    checkedLast = 6,
    manual = 7,
};

// The five modes in menu order: checked first, checked last, latest created, manual,
// alphabetical.
const std::vector<JWListSortMode>& menuSortModes();

// How a stored value behaves.
JWListSortMode effectiveSortMode(std::int64_t storedValue);
// The mode the menu marks as current: the stored value's own mode for 1, 3, 5, 6 and 7, none
// for 2 and 4, `latestCreated` for anything else and when no list is shown (no value).
std::optional<JWListSortMode> markedSortMode(std::optional<std::int64_t> storedValue);

std::string_view sortModeName(JWListSortMode mode);       // "alphabetical", "latestCreated", ...
std::string_view sortModeMenuLabel(JWListSortMode mode);  // "Sort: Alphabetical", ...

// The item sort keys for a stored value, each breaking the ties of the one before; all end
// with `created` descending.
std::vector<store::SortDescriptor> itemSortDescriptors(std::int64_t storedValue);

}  // namespace jw::model
