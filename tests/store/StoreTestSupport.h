#pragma once
// What the store's tests share: a scratch folder with the manual platform, containers opened
// on the list model (Folder, List, Item), a raw SQLite handle for looking at (or tampering
// with) a store file behind the store's back, and a few shorthands for values and objects.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/store/ChangeNotifications.h"
#include "platform/store/CommitHooks.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/ObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "platform/store/Sqlite.h"
#include "platform/store/StoreError.h"
#include "tests/support/ScriptCase.h"
#include "tests/support/TestEnvironment.h"

namespace jw::store::test {

// The list model shipped as a resource (JOTWELL_RESOURCE_DIR, or the source tree's copy).
std::shared_ptr<ObjectModel> loadListModel();

// Value shorthands: the variant's converting constructor is easy to get wrong with literals.
inline Value text(std::string_view s) {
    return Value{std::string(s)};
}
inline Value integer(std::int64_t i) {
    return Value{i};
}
inline Value flag(bool b) {
    return Value{b};
}
inline Value date(double seconds) {
    return Value{Date{seconds}};
}
inline Value blob(std::vector<unsigned char> bytes) {
    return Value{Blob{std::move(bytes)}};
}

using jw::test::readFile;

// A plain SQLite connection to a store file, as another program would open it (its journal
// mode left as it is).
class RawDatabase : public SqliteDatabase {
  public:
    explicit RawDatabase(const std::filesystem::path& file) : SqliteDatabase(file, false) {}
    // The first column of the first row as an integer, or as text (0 or empty without a row).
    std::int64_t integer(const std::string& sql) {
        SqliteStatement statement(handle(), sql);
        return statement.step() ? statement.columnInt(0) : 0;
    }
    std::string text(const std::string& sql) {
        SqliteStatement statement(handle(), sql);
        return statement.step() ? statement.columnText(0) : "";
    }
};

// A fixture holding the manual platform, a scratch folder and the list model, with helpers
// to open containers on one store file.
class StoreTest : public ::testing::Test {
  public:
    StoreTest();
    ~StoreTest() override;

    // Loads the container's store: "loaded", "refused: <the error's message>", or, when the
    // completion is not called exactly once, "<n> calls".
    static std::string load(PersistentContainer& c);
    // Opens the store "<folder>/Jotwell.sqlite" in a new container; the test fails if it does
    // not load. Every container shares this fixture's model, as the containers of one program do.
    std::unique_ptr<PersistentContainer> openContainer(const std::string& name = "Jotwell");
    // Drops the main container and opens the file again: a relaunch (objects named so far are
    // forgotten).
    virtual void relaunch();
    ManagedObjectContext& context() { return container->viewContext(); }
    std::shared_ptr<ManagedObjectContext> sharedContext() { return container->sharedViewContext(); }
    std::filesystem::path storeFile() const { return folder.path() / "Jotwell.sqlite"; }

    static std::shared_ptr<ManagedObject> newList(ManagedObjectContext& c, std::string_view name,
                                                  std::int64_t sortNumber = 0);
    static std::shared_ptr<ManagedObject> newItem(ManagedObjectContext& c, ManagedObject* list,
                                                  std::string_view body,
                                                  std::int64_t sortNumber = 0);

    static FetchRequest listsByNumber() {
        return FetchRequest::forEntity("List").sortedBy("sortNumber", true);
    }
    static FetchRequest itemsOf(ManagedObject* list) {
        return FetchRequest::forEntity("Item")
            .whereRelated("forList", list)
            .sortedBy("sortNumber", true);
    }
    // Runs steps separated by ";", each "[there] <verb> <arguments>", on context() or, after
    // "there", on elsewhere(): "list <name> [<sortNumber>]", "add <body> <list> [<sortNumber>]",
    // "folder <name>", "link <name> <to-one> <name>", "move <body> <list>" (to it), "set <name>
    // <key> <value>", "delete <name>", "fetch <list>" (its items), "extra" (an item "extra" in
    // Home, Work and Third), "save", "relaunch", "refuse <INSERT|UPDATE|->" (a trigger behind the
    // store's back refuses writes to Item, or no longer), "hook [fail]" (a commit hook on the
    // store file records what it hears and writes a row of its own per save; "fail": it refuses
    // the first), "unhook". What run returns, "; "-separated: "state <name>", "count <name>
    // [<to-many>]" (its members), "to <name> <to-one>", "key <name>", "stored" (what a fresh
    // reader sees), "heard" (the hook's saves, as heard() prints them), and a save that was
    // refused or told nobody. Objects are named by name or body ("-" is none) and remembered by
    // it, so that a deleted or renamed one can still be named, until a relaunch.
    std::string run(const std::string& script);
    // The object a script named `name` (else the one list, folder or item so named) in `c`, by
    // default context(); the test fails when there is none.
    std::shared_ptr<ManagedObject> object(const std::string& name,
                                          ManagedObjectContext* c = nullptr) {
        return named(c ? *c : context(), name);
    }
    // An object's flags and its context's: "inserted temporary | changes". The test fails
    // unless `c` finds the object by its global identifier and by its address exactly while it
    // is neither deleted nor detached.
    static std::string state(const ManagedObject& o, ManagedObjectContext& c);
    // Every list as `c` sees it, by sort number and name, with its folder, its member count (read
    // before its members) and its members by sort number and body ("h0~note*stars"):
    // "Home[Folder] 2: h0 h1~note | Work 0: | ".
    std::string contents(ManagedObjectContext& c);
    // The contents a fresh reader of the file sees, then the rows of items and folders.
    std::string stored();
    // Every save the hook heard, "; "-separated, each change as "<kind> <name> <values> ->
    // <to-ones>" in name order (the values "all" for an insert, else those that changed), then
    // "[<n> logged]": the rows the hook wrote that were kept. Objects are named as a script
    // named them; a change naming another key than its object's is marked "(wrong key)".
    std::string heard();
    // "There": a context on a connection of its own to the store file, with its own copy of the
    // model, as the sync engine's worker has; opened when first asked for, its saves kept for
    // mergeElsewhere().
    ManagedObjectContext& elsewhere();
    // Saves elsewhere(), then merges here every save made there since the last merge; returns
    // how many were merged. The merged changes are processed at the end of the run-loop event.
    std::size_t mergeElsewhere();

    jw::test::ManualPlatform platform;
    jw::test::TempDir folder;
    std::shared_ptr<ObjectModel> model;
    std::unique_ptr<PersistentContainer> container;
    std::shared_ptr<ManagedObjectContext> other;  // elsewhere()

    // The model's relationships, looked up once.
    const RelationshipDescription& forList;    // Item -> List
    const RelationshipDescription& listItems;  // List ->> Item (cascade)
    const RelationshipDescription& inFolder;   // List -> Folder

  private:
    std::shared_ptr<ManagedObject> named(ManagedObjectContext& c, const std::string& name);
    std::map<std::pair<ManagedObjectContext*, std::string>, std::shared_ptr<ManagedObject>>
        remembered_;
    std::vector<ContextDidSaveNotification> savedElsewhere_;
    std::vector<CommittedChanges> heard_;
    bool hookFails_ = false;
    ManagedObjectContext::ObserverToken elsewhereToken_;
};

// Change reports as one line, "+Home +Milk ~Home[listItems] -Bread": what was inserted, then
// what was updated with the keys that changed, then what was deleted, each part in name order
// (a list by its name, an item by its body). An object updated twice in one report fails.
std::string describeChanges(const std::vector<ObjectsDidChange>& reports);

// Strings of a fetch result's attribute ("<absent>" for no value), for readable comparisons.
template <typename Objects>
std::vector<std::string> strings(const Objects& objects, std::string_view attribute) {
    std::vector<std::string> out;
    for (const auto& object : objects) {
        out.push_back(stringOf(object->value(attribute)).value_or("<absent>"));
    }
    return out;
}

}  // namespace jw::store::test
