#pragma once
// The orderings of the system, stated twice on purpose:
// - as fetch requests, which the store runs (and keeps up to date in fetched-results
//   controllers), and
// - for items, as a plain function over plain values, usable without any store.
// The two must agree; the tests hold them to it. Both end every order with the global
// identifier, so that items equal in every key still have one order on every device.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "JWListFilter.h"
#include "platform/foundation/Date.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/GlobalID.h"

namespace jw::model {

class List;

// Fetches use a batch size of 10000, as the screens ask.
constexpr std::size_t kFetchBatchSize = 10000;

// Items screen: the list's items passing the filter, in the list's order; with no list,
// every item, newest first.
store::FetchRequest itemsFetchRequest(const List* list, JWListFilter filter);
// Lists screen: by sortNumber then name when `manualSortLists`, else by name.
store::FetchRequest listsFetchRequest(bool manualSortLists);
// List picker: always by name.
store::FetchRequest listPickerFetchRequest();

// What the ordering of items needs to know of an item.
struct ItemFacts {
    std::optional<std::string> body;
    std::optional<Date> created;
    std::optional<Date> doneDate;
    bool isDone = false;
    std::int64_t sortNumber = 0;
    store::GlobalID globalID;
};

// The positions in `items` of the items shown under `filter`, in the order of the stored sort
// mode value `sortMode`. Strings compare by code point (case-sensitive, no locale); absent
// values come first in ascending order and last in descending order.
std::vector<std::size_t> shownItemOrder(std::int64_t sortMode, JWListFilter filter,
                                        const std::vector<ItemFacts>& items);

}  // namespace jw::model
