#include "ListOrder.h"

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

}  // namespace jw::model
