#include "ListOrder.h"

#include <optional>

#include "Operations.h"
#include "Ordering.h"

namespace jw::model {

bool manualSortLists(const UserDefaults& settings) {
    return settings.boolForKey(manualSortListsKey).value_or(false);
}

void setManualSortLists(bool manual, UserDefaults& settings) {
    settings.setBool(manualSortListsKey, manual);
}

store::FetchRequest listsScreenFetchRequest(const UserDefaults& settings) {
    return listsFetchRequest(manualSortLists(settings));
}

std::vector<std::shared_ptr<List>> listsInScreenOrder(JWDatabase& db,
                                                      const UserDefaults& settings) {
    std::vector<std::shared_ptr<List>> lists;
    for (auto& object : db.viewContext().executeFetchRequest(listsScreenFetchRequest(settings))) {
        lists.push_back(std::static_pointer_cast<List>(object));
    }
    return lists;
}

bool moveListInScreenOrder(JWDatabase& db, List& list, std::size_t position,
                           const UserDefaults& settings) {
    if (!manualSortLists(settings)) {
        return false;
    }
    const auto lists = listsInScreenOrder(db, settings);
    std::vector<store::ManagedObject*> shown;
    std::optional<std::size_t> from;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        shown.push_back(lists[i].get());
        if (lists[i].get() == &list) {
            from = i;
        }
    }
    if (!from || !renumberAfterMove(shown, *from, position)) {
        return false;
    }
    db.saveContext(false);
    return true;
}

}  // namespace jw::model
