#pragma once
// What the model tests stand on: a manual platform (clock, run loop, defaults), a scratch
// folder holding the store, and a JWDatabase on it that a test can close and open again to
// see exactly what reached the file.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Paths.h"
#include "platform/store/FetchedResultsController.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"
#include "tests/support/TestEnvironment.h"

namespace jw::model::support {

// The folder holding "Jotwell.momd": $JOTWELL_RESOURCE_DIR, else the source tree's.
inline std::filesystem::path modelResourceDirectory() {
    return AppPaths::resolve(std::nullopt).resourceDirectory;
}

template <typename T>
std::vector<std::shared_ptr<T>> objectsAs(
    const std::vector<std::shared_ptr<store::ManagedObject>>& objects) {
    std::vector<std::shared_ptr<T>> out;
    out.reserve(objects.size());
    for (const auto& o : objects) {
        out.push_back(std::static_pointer_cast<T>(o));
    }
    return out;
}

// The plain pointers of shared objects: Item* by default, or ManagedObject* for the calls
// that take any object.
template <typename T = Item, typename Objects>
std::vector<T*> raw(const Objects& objects) {
    std::vector<T*> out;
    for (const auto& o : objects) {
        out.push_back(o.get());
    }
    return out;
}

inline std::vector<std::string> bodiesOf(const std::vector<std::shared_ptr<Item>>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) {
        out.push_back(i->body().value_or("<absent>"));
    }
    return out;
}

inline std::vector<std::string> namesOf(const std::vector<std::shared_ptr<List>>& lists) {
    std::vector<std::string> out;
    for (const auto& l : lists) {
        out.push_back(l->name().value_or("<absent>"));
    }
    return out;
}

class ModelTest : public ::testing::Test {
  protected:
    ModelTest() : db_(openDatabase()) {}

    std::unique_ptr<JWDatabase> openDatabase() {
        return std::make_unique<JWDatabase>(
            JWDatabase::Locations{dir_.path(), modelResourceDirectory()});
    }

    JWDatabase& db() { return *db_; }
    store::ManagedObjectContext& context() { return db_->viewContext(); }
    ManualClock& clock() { return platform_.clock(); }
    jw::test::ManualPlatform& platform() { return platform_; }
    const std::filesystem::path& directory() const { return dir_.path(); }

    // Closes the store without saving; reopen() opens it again.
    void closeDatabase() { db_.reset(); }
    // Closes the store without saving and opens it again: what the file holds, nothing else.
    void reopen() {
        db_.reset();
        db_ = openDatabase();
    }

    std::vector<std::shared_ptr<Item>> fetchItems(const List* list,
                                                  JWListFilter filter = JWListFilter::none) {
        return objectsAs<Item>(context().executeFetchRequest(itemsFetchRequest(list, filter)));
    }
    std::vector<std::shared_ptr<List>> fetchLists(bool manualSortLists = false) {
        return objectsAs<List>(context().executeFetchRequest(listsFetchRequest(manualSortLists)));
    }
    std::shared_ptr<List> fetchListNamed(const std::string& name) {
        for (auto& l : fetchLists()) {
            if (l->name() == name) {
                return l;
            }
        }
        return nullptr;
    }
    std::shared_ptr<Item> fetchItemWithBody(const std::string& body) {
        for (auto& i : fetchItems(nullptr)) {
            if (i->body() == body) {
                return i;
            }
        }
        return nullptr;
    }

    // Items added one second apart, oldest first, so that "newest first" is the reverse.
    std::vector<std::shared_ptr<Item>> addItems(List& list, const std::vector<std::string>& texts) {
        std::vector<std::shared_ptr<Item>> out;
        for (const auto& text : texts) {
            clock().advance(1);
            out.push_back(newItem(db(), list, text));
        }
        return out;
    }

  private:
    jw::test::ManualPlatform platform_;
    jw::test::TempDir dir_;
    std::unique_ptr<JWDatabase> db_;
};

}  // namespace jw::model::support
