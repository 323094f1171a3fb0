#include "tests/store/StoreTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

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

RawDatabase::RawDatabase(const std::filesystem::path& file) {
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db_);
        sqlite3_close(db_);
        throw std::runtime_error("cannot open " + file.string() + ": " + message);
    }
}

RawDatabase::~RawDatabase() {
    sqlite3_close(db_);
}

void RawDatabase::execute(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown";
        sqlite3_free(error);
        throw std::runtime_error(sql + ": " + message);
    }
}

// Runs `sql` and hands its first row's first column to `read` (not called without a row).
template <typename Read>
void firstColumn(sqlite3* db, const std::string& sql, Read read) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    }
    if (sqlite3_step(statement) == SQLITE_ROW) {
        read(statement);
    }
    sqlite3_finalize(statement);
}

std::int64_t RawDatabase::integer(const std::string& sql) {
    std::int64_t result = 0;
    firstColumn(db_, sql, [&](sqlite3_stmt* s) { result = sqlite3_column_int64(s, 0); });
    return result;
}

std::string RawDatabase::text(const std::string& sql) {
    std::string result;
    firstColumn(db_, sql, [&](sqlite3_stmt* s) {
        if (auto* t = sqlite3_column_text(s, 0)) {
            result = reinterpret_cast<const char*>(t);
        }
    });
    return result;
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

std::unique_ptr<PersistentContainer> StoreTest::openContainer(const std::string& name) {
    auto opened = std::make_unique<PersistentContainer>(name, model, folder.path());
    int calls = 0;
    std::string problem;
    opened->loadPersistentStores([&](const StoreError* error) {
        ++calls;
        if (error) {
            problem = error->what();
        }
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(problem, "");
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
    item->setToOne(forList, list);
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
