#include "Ordering.h"

#include <algorithm>
#include <numeric>

#include "Entities.h"
#include "JWListSortMode.h"

namespace jw::model {

store::FetchRequest itemsFetchRequest(const List* list, JWListFilter filter) {
    auto request = Item::fetchRequest();
    request.fetchBatchSize = kFetchBatchSize;
    if (!list) {
        request.sortedBy("created", false);
        return request;
    }
    request.whereRelated("forList", list);
    if (filter != JWListFilter::none) {
        request.where("isDone", filter == JWListFilter::checked);
    }
    request.sortDescriptors = itemSortDescriptors(list->sortMode());
    return request;
}

store::FetchRequest listsFetchRequest(bool manualSortLists) {
    auto request = List::fetchRequest();
    request.fetchBatchSize = kFetchBatchSize;
    if (manualSortLists) {
        request.sortedBy("sortNumber", true);
    }
    request.sortedBy("name", true);
    return request;
}

store::FetchRequest listPickerFetchRequest() {
    return listsFetchRequest(false);
}

namespace {

// <0, 0, >0 with absent values first.
template <typename T>
int compareOptional(const std::optional<T>& a, const std::optional<T>& b) {
    if (!a || !b) {
        return a.has_value() == b.has_value() ? 0 : (a ? 1 : -1);
    }
    return *a < *b ? -1 : (*b < *a ? 1 : 0);
}

template <typename T>
int compareScalar(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

std::vector<std::size_t> shownItemOrder(std::int64_t sortMode, JWListFilter filter,
                                        const std::vector<ItemFacts>& items) {
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (filterShows(filter, items[i].isDone)) {
            shown.push_back(i);
        }
    }
    const auto mode = effectiveSortMode(sortMode);
    auto keyOrder = [mode](const ItemFacts& a, const ItemFacts& b) {
        // Each entry: comparison result, already signed for its direction.
        const int newestFirst = -compareOptional(a.created, b.created);
        switch (mode) {
            case JWListSortMode::alphabetical:
                if (int c = compareOptional(a.body, b.body)) {
                    return c;
                }
                return newestFirst;
            case JWListSortMode::checkedFirst:
            case JWListSortMode::checkedLast: {
                const int done = compareScalar(a.isDone, b.isDone);
                if (done) {
                    return mode == JWListSortMode::checkedFirst ? -done : done;
                }
                if (int c = -compareOptional(a.doneDate, b.doneDate)) {
                    return c;
                }
                return newestFirst;
            }
            case JWListSortMode::manual:
                if (int c = compareScalar(a.sortNumber, b.sortNumber)) {
                    return c;
                }
                return newestFirst;
            case JWListSortMode::latestCreated:
                break;
        }
        return newestFirst;
    };
    std::sort(shown.begin(), shown.end(), [&](std::size_t x, std::size_t y) {
        const int c = keyOrder(items[x], items[y]);
        return c != 0 ? c < 0 : items[x].globalID < items[y].globalID;
    });
    return shown;
}

}  // namespace jw::model
