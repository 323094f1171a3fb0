#pragma once
// What the model tests stand on: a manual platform (clock, run loop, defaults), a scratch
// folder holding the store, and a JWDatabase on it that a test can close and open again to
// see exactly what reached the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Paths.h"
#include "platform/store/FetchedResultsController.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"
#include "tests/support/ScriptCase.h"
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

// The lists' names separated by spaces, "<absent>" for none.
inline std::string namesOf(const std::vector<std::shared_ptr<List>>& lists) {
    std::string out;
    for (const auto& l : lists) {
        out += (out.empty() ? "" : " ") + l->name().value_or("<absent>");
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
        const auto lists = fetchLists();
        const auto found = std::find_if(lists.begin(), lists.end(),
                                        [&](const auto& l) { return l->name() == name; });
        return found == lists.end() ? nullptr : *found;
    }
    // The item with this text ("<absent>" for none), in any list.
    Item& item(const std::string& text) {
        for (auto& i : fetchItems(nullptr)) {
            if (i->body().value_or("<absent>") == text) {
                return *i;
            }
        }
        throw std::invalid_argument("no item " + text);
    }

    // Runs model operations separated by spaces on `list` and `other`, items named by their
    // text: "newList:<name>", "rename:<name>", "deleteList", "theme:<key>", "mode:<value>",
    // "new:<text>" (a second later), "edit:<item>:<text>", "toggle:<item>", "delete:<item>",
    // "recount", "reset:<rows>" and "deleteChecked:<rows>" (the rows shown: "all", "unchecked" or
    // texts separated by commas), "drag:<all|unchecked>:<from>:<to>" (the shown rows renumbered
    // as a drag leaves them), "move:<item>" and "copy:<item>" (to `other`); and to set an item
    // up, "number:<item>:<n>", "note:<item>", "stars:<item>:<n>", "noText:<item>", and
    // "doneCount:<n>" (stored as another device could leave it); "noClock" (no current date from
    // then on). A verb ending in "!" ("theme!:Mint", "mode!:5", "reset!:a") is given no list.
    void operate(std::string_view steps, List& list, List& other) {
        std::istringstream in{std::string(steps)};
        for (std::string step; in >> step;) {
            std::vector<std::string> w;  // the verb and its arguments
            for (std::size_t from = 0, to = 0; from <= step.size(); from = to + 1) {
                to = std::min(step.find(':', from), step.size());
                w.push_back(step.substr(from, to - from));
            }
            w.resize(4);
            List* const shown = w[0].ends_with('!') ? nullptr : &list;
            const std::string verb = shown ? w[0] : w[0].substr(0, w[0].size() - 1);
            std::vector<Item*> rows;
            if (w[1] == "all" || w[1] == "unchecked") {
                rows = raw(fetchItems(
                    shown, w[1] == "all" ? JWListFilter::none : JWListFilter::unchecked));
            } else if (verb == "reset" || verb == "deleteChecked") {
                for (std::size_t from = 0, to = 0; from < w[1].size(); from = to + 1) {
                    to = std::min(w[1].find(',', from), w[1].size());
                    rows.push_back(&item(w[1].substr(from, to - from)));
                }
            }
            if (verb == "newList") {
                newList(db(), w[1]);
            } else if (verb == "rename") {
                renameList(db(), list, w[1]);
            } else if (verb == "deleteList") {
                deleteList(db(), list);
            } else if (verb == "drag") {
                auto dragged = raw<store::ManagedObject>(fetchItems(
                    &list, w[1] == "all" ? JWListFilter::none : JWListFilter::unchecked));
                const std::size_t from = std::stoul(w[2]), to = std::stoul(w[3]);
                EXPECT_EQ(renumberAfterMove(dragged, from, to),
                          from < dragged.size() && to < dragged.size())
                    << step;
            } else if (verb == "theme") {
                chooseTheme(db(), shown, w[1]);
            } else if (verb == "mode") {
                chooseSortMode(shown, std::int16_t(std::stoi(w[1])));
            } else if (verb == "new") {
                clock().advance(1);
                newItem(db(), list, w[1]);
            } else if (verb == "edit") {
                editItemText(db(), item(w[1]), w[2]);
            } else if (verb == "toggle") {
                toggleItem(db(), item(w[1]));
            } else if (verb == "delete") {
                deleteItem(db(), item(w[1]));
            } else if (verb == "recount") {
                recountDone(list);
            } else if (verb == "noClock") {
                clock().setFailing(true);
            } else if (verb == "doneCount") {
                list.setDoneCount(std::stoi(w[1]));
                db().saveContext(false);
            } else if (verb == "reset") {
                resetChecked(db(), shown, rows);
            } else if (verb == "deleteChecked") {
                deleteChecked(db(), shown, rows);
            } else if (verb == "move" || verb == "copy") {
                verb == "move" ? moveItem(db(), item(w[1]), other)
                               : void(copyItem(db(), item(w[1]), other));
            } else if (verb == "number") {
                item(w[1]).setSortNumber(std::stoi(w[2]));
            } else if (verb == "note") {
                item(w[1]).setNote("a note");
            } else if (verb == "stars") {
                item(w[1]).setStars(std::int16_t(std::stoi(w[2])));
            } else if (verb == "noText") {
                item(w[1]).setBody(std::nullopt);
            } else {
                ADD_FAILURE() << "no such operation: " << step;
            }
        }
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
