#pragma once
// The order of the lists screen, and the setting that chooses it. The user default
// "ManualSortLists" says whether the lists are shown in the order the user dragged them into
// (by sortNumber, then name) or by name; absent reads as false, and nothing registers a default.
// Lists can be dragged into another order only while it is true. The lists screen and
// jotwell-cli both go by these; neither reads the key itself.
//
// Switching order renumbers nothing: sortNumber values survive a stay in alphabetical order.
// Main thread only, like the user defaults.

#include <memory>
#include <vector>

#include "platform/foundation/UserDefaults.h"
#include "platform/store/FetchRequest.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"

namespace jw::model {

inline constexpr const char* manualSortListsKey = "ManualSortLists";

// True when the lists are in manual order (and may be dragged).
bool manualSortLists(const UserDefaults& settings = UserDefaults::standard());
void setManualSortLists(bool manual, UserDefaults& settings = UserDefaults::standard());

// The lists screen's fetch, in the order the setting says at this moment.
store::FetchRequest listsScreenFetchRequest(
    const UserDefaults& settings = UserDefaults::standard());

// Every list, in the lists screen's order.
std::vector<std::shared_ptr<List>> listsInScreenOrder(
    JWDatabase& db, const UserDefaults& settings = UserDefaults::standard());

// Moves `list` to `position` (from 0) of the lists screen's order, renumbering every list's
// sortNumber to its new place, and saves. Only lists in manual order may be moved: false, and
// nothing changes, when the lists are in alphabetical order, when `position` is past the last
// list, or when `list` is not among them.
bool moveListInScreenOrder(JWDatabase& db, List& list, std::size_t position,
                           const UserDefaults& settings = UserDefaults::standard());

}  // namespace jw::model
