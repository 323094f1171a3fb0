#include "tests/store/StoreTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace jw::store::test {

std::shared_ptr<ObjectModel> loadListModel() {
    const char* configured = std::getenv("JOTWELL_RESOURCE_DIR");
    const std::filesystem::path resources = configured && *configured
                                                ? std::filesystem::path(configured)
                                                : std::filesystem::path(JOTWELL_TEST_RESOURCE_DIR);
    return ObjectModel::fromFile(PersistentContainer::modelURL(resources, "Jotwell"));
}

std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

StoreTest::StoreTest()
    : model(loadListModel()),
      container(),
      forList(model->requireEntity("Item").requireRelationship("forList")),
      listItems(model->requireEntity("List").requireRelationship("listItems")),
      inFolder(model->requireEntity("List").requireRelationship("inFolder")),
      folderLists(model->requireEntity("Folder").requireRelationship("lists")) {
    container = openContainer();
}

std::string StoreTest::load(PersistentContainer& c) {
    int calls = 0;
    std::string outcome = "loaded";
    c.loadPersistentStores([&](const StoreError* error) {
        ++calls;
        outcome = error ? "refused: " + std::string(error->what()) : "loaded";
    });
    return calls == 1 ? outcome : std::to_string(calls) + " calls";
}

std::unique_ptr<PersistentContainer> StoreTest::openContainer(const std::string& name) {
    auto opened = std::make_unique<PersistentContainer>(name, model, folder.path());
    EXPECT_EQ(load(*opened), "loaded");
    return opened;
}

void StoreTest::relaunch() {
    container.reset();
    container = openContainer();
}

std::shared_ptr<ManagedObject> StoreTest::newList(ManagedObjectContext& c, std::string_view name,
                                                  std::int64_t sortNumber) {
    auto list = c.insertNewObject("List");
    list->setValue("name", text(name));
    list->setValue("sortNumber", integer(sortNumber));
    return list;
}

std::shared_ptr<ManagedObject> StoreTest::newItem(ManagedObjectContext& c, ManagedObject* list,
                                                  std::string_view body, std::int64_t sortNumber) {
    auto item = c.insertNewObject("Item");
    item->setValue("body", text(body));
    item->setValue("sortNumber", integer(sortNumber));
    item->setToOne(item->entity().requireRelationship("forList"),
                   list);  // in any copy of the model
    return item;
}

std::shared_ptr<ManagedObject> StoreTest::fetchOne(ManagedObjectContext& c,
                                                   const std::string& entity,
                                                   const std::string& key, const Value& value) {
    auto found = c.executeFetchRequest(FetchRequest::forEntity(entity).where(key, value));
    EXPECT_EQ(found.size(), 1u) << entity << "." << key << " = " << describeValue(value);
    return found.empty() ? nullptr : found.front();
}

std::string describeChanges(const std::vector<ObjectsDidChange>& reports) {
    const auto nameOf = [](const ManagedObject& object) {
        const auto* attribute = object.entity().attribute("name");
        attribute = attribute ? attribute : object.entity().attribute("body");
        return stringOf(object.valueAt(attribute->index)).value_or("?");
    };
    std::set<std::string> inserted, updated, deleted;
    for (const auto& change : reports) {
        std::set<const ManagedObject*> once;
        for (const auto& o : change.inserted) {
            inserted.insert("+" + nameOf(*o));
        }
        for (const auto& u : change.updated) {
            std::string keys;
            for (const auto& a : u.object->entity().attributes) {
                keys += u.changedKeys.test(a.index) ? "," + a.name : "";
            }
            for (const auto& r : u.object->entity().relationships) {
                keys += u.changedKeys.test(32 + r.index) ? "," + r.name : "";
            }
            EXPECT_TRUE(once.insert(u.object.get()).second) << "reported twice";
            updated.insert("~" + nameOf(*u.object) + "[" + keys.substr(1) + "]");
        }
        for (const auto& o : change.deleted) {
            deleted.insert("-" + nameOf(*o));
        }
    }
    std::string text;
    for (const auto* part : {&inserted, &updated, &deleted}) {
        for (const auto& entry : *part) {
            text += (text.empty() ? "" : " ") + entry;
        }
    }
    return text;
}

}  // namespace jw::store::test
