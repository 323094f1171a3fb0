#include "Operations.h"

#include <algorithm>

#include "platform/foundation/Clock.h"

namespace jw::model {

namespace {

std::optional<Date> now() {
    return currentClock().now();
}

template <typename T>
std::shared_ptr<T> insert(JWDatabase& db, const char* entity) {
    return std::static_pointer_cast<T>(db.viewContext().insertNewObject(entity));
}

}  // namespace

std::shared_ptr<List> newList(JWDatabase& db, const std::string& name) {
    if (name.empty()) {
        return nullptr;
    }
    auto list = insert<List>(db, "List");
    list->setName(name);
    list->setCreated(now());
    db.saveContext(false);
    return list;
}

bool renameList(JWDatabase& db, List& list, const std::string& name) {
    if (name.empty()) {
        return false;
    }
    list.setName(name);
    db.saveContext(false);
    return true;
}

void deleteList(JWDatabase& db, List& list) {
    db.viewContext().deleteObject(list);
    db.saveContext(false);
}

bool renumberAfterMove(std::vector<store::ManagedObject*>& shown, std::size_t from,
                       std::size_t to) {
    if (from >= shown.size() || to >= shown.size()) {
        return false;
    }
    auto* moved = shown[from];
    shown.erase(shown.begin() + std::ptrdiff_t(from));
    shown.insert(shown.begin() + std::ptrdiff_t(to), moved);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto& attribute = shown[i]->entity().requireAttribute("sortNumber");
        shown[i]->setValueAt(attribute.index, std::int64_t(i));
    }
    return true;
}

std::shared_ptr<Item> newItem(JWDatabase& db, List& list, const std::string& text) {
    if (text.empty()) {
        return nullptr;
    }
    auto item = insert<Item>(db, "Item");
    item->setBody(text);
    item->setCreated(now());
    item->setForList(&list);
    db.saveContext(false);
    return item;
}

void editItemText(JWDatabase& db, Item& item, const std::string& text) {
    item.setBody(text);
    db.saveContext(false);
}

void recountDone(List& list) {
    const auto items = list.listItems();
    const auto done =
        std::count_if(items.begin(), items.end(), [](const Item* item) { return item->isDone(); });
    list.setDoneCount(std::int32_t(done));
}

void toggleItem(JWDatabase& db, Item& item) {
    const bool done = !item.isDone();
    item.setIsDone(done);
    item.setDoneDate(done ? now() : std::nullopt);
    if (List* list = item.forList()) {
        recountDone(*list);
    }
    db.saveContext(false);
}

void resetChecked(JWDatabase& db, List* list, const std::vector<Item*>& shown) {
    for (Item* item : shown) {
        if (item->isDone()) {
            item->setIsDone(false);
            item->setDoneDate(std::nullopt);
        }
    }
    if (list) {
        recountDone(*list);
    }
    db.saveContext(false);
}

void deleteChecked(JWDatabase& db, List* list, const std::vector<Item*>& shown) {
    for (Item* item : shown) {
        if (item->isDone()) {
            db.viewContext().deleteObject(*item);
        }
    }
    if (list) {
        recountDone(*list);
    }
    db.saveContext(false);
}

void deleteItem(JWDatabase& db, Item& item) {
    db.viewContext().deleteObject(item);
    db.saveContext(false);
}

void chooseSortMode(List* list, std::int16_t mode) {
    if (list) {
        list->setSortMode(mode);
    }
}

void chooseTheme(JWDatabase& db, List* list, const std::string& themeName) {
    if (list) {
        list->setThemeKey(themeName);
    }
    db.saveContext(false);
}

void moveItem(JWDatabase& db, Item& item, List& target) {
    item.setForList(&target);
    db.saveContext(false);
}

std::shared_ptr<Item> copyItem(JWDatabase& db, const Item& source, List& target) {
    auto copy = insert<Item>(db, "Item");
    copy->setBody(source.body());
    copy->setCreated(now());
    copy->setForList(&target);
    db.saveContext(false);
    return copy;
}

}  // namespace jw::model
