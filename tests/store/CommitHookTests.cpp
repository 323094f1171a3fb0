// Commit hooks: whoever keeps a record of local changes hears every save to a store file,
// inside the save's transaction, and what it writes commits or rolls back with the data.

#include <fmt/format.h>

#include <map>
#include <set>

#include "platform/store/CommitHooks.h"
#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

class CommitHooks : public StoreTest {
  protected:
    CommitHooks() {
        RawDatabase raw(storeFile());
        raw.execute("CREATE TABLE \"hook_log\" (\"entry\" TEXT)");
    }
    ~CommitHooks() override { setCommitHook(storeFile(), {}); }

    // Installs a hook that records what it hears and writes one row per save.
    void recordSaves() {
        setCommitHook(storeFile(), [this](SqliteDatabase& db, const CommittedChanges& changes) {
            heard.push_back(changes);
            db.execute(fmt::format("INSERT INTO \"hook_log\" VALUES ('{} changes')",
                                   changes.changes.size()));
            if (failNext) {
                failNext = false;
                throw StoreError("The change log could not be written", "{test: refused}");
            }
        });
    }

    // Every save heard, "; "-separated, each change as "<kind> <name> <values> -> <to-ones>" in
    // name order: the values are "all" for an insert, else those that changed. `known` names
    // the objects (and their keys are checked).
    std::string heardText(const std::vector<std::shared_ptr<ManagedObject>>& known) {
        std::map<GlobalID, ManagedObject*> byID;
        for (const auto& object : known) {
            byID[object->globalID()] = object.get();
        }
        const auto name = [&](const GlobalID& id) -> std::string {
            const auto* o = byID.count(id) ? byID[id] : nullptr;
            return o ? *stringOf(o->value(o->entity().attribute("name") ? "name" : "body")) : "?";
        };
        std::string text;
        for (const auto& save : heard) {
            std::set<std::string> lines;
            for (const auto& c : save.changes) {
                const char* kinds[] = {"insert", "update", "remove"};
                std::string line = std::string(kinds[int(c.kind)]) + " " + name(c.globalID);
                if (byID.count(c.globalID) && byID[c.globalID]->objectID().key != c.key) {
                    line += " (wrong key)";
                }
                if (c.kind == CommittedChange::Kind::insert) {
                    EXPECT_EQ(c.attributes.size(), c.entity->attributes.size());
                    line += " all";
                } else {
                    for (const auto& [index, value] : c.attributes) {
                        line += " " + c.entity->attributes[index].name + "=" + describeValue(value);
                    }
                }
                for (const auto& [slot, target] : c.toOnes) {
                    line += " -> " + (target ? name(*target) : "none");
                }
                lines.insert(line);
            }
            text += fmt::format("{}{}", text.empty() ? "" : "; ", fmt::join(lines, ", "));
        }
        return text;
    }

    std::vector<CommittedChanges> heard;
    bool failNext = false;
};

TEST_F(CommitHooks, HearEveryInsertUpdateAndRemovalOfEverySaveToTheirFile) {
    recordSaves();
    failNext = true;  // a failing hook fails the save, its own write rolled back with the data
    EXPECT_EQ(run("list Home; add Milk Home 3; save; state Milk; save; list Work; save; set Milk "
                  "note semi-skimmed; move Milk Work; save; delete Home; save"),
              "save refused; Milk: inserted temporary | changes");
    auto other = openContainer();  // every connection to the file calls the hook
    auto theirs = newList(other->viewContext(), "Theirs");
    other->viewContext().save();
    auto scratch = openContainer("Scratch");  // and no other file does
    newList(scratch->viewContext(), "Scratch");
    scratch->viewContext().save();
    setCommitHook(storeFile(), {});
    newList(context(), "Unheard");
    context().save();
    EXPECT_EQ(heardText({object("Home"), object("Milk"), object("Work"), theirs}),
              "insert Home all -> none -> none, insert Milk all -> Home; "
              "insert Home all -> none -> none, insert Milk all -> Home; insert Work all -> none "
              "-> none; update Milk note=\"semi-skimmed\" -> Work; remove Home; insert Theirs "
              "all -> none -> none");
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"hook_log\""), 5);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"Item\""), 1) << "the failed save left nothing";
}

}  // namespace
}  // namespace jw::store::test
