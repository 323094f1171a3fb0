// Commit hooks: whoever keeps a record of local changes hears every save to a store file,
// inside the save's transaction, and what it writes commits or rolls back with the data.

#include <fmt/format.h>

#include <map>

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

    std::int64_t logRows() {
        RawDatabase raw(storeFile());
        return raw.integer("SELECT COUNT(*) FROM \"hook_log\"");
    }

    static const CommittedChange* find(const CommittedChanges& changes, const GlobalID& id) {
        for (const auto& c : changes.changes) {
            if (c.globalID == id) {
                return &c;
            }
        }
        return nullptr;
    }

    std::vector<CommittedChanges> heard;
    bool failNext = false;
};

TEST_F(CommitHooks, HearEveryInsertUpdateAndRemovalOfASave) {
    recordSaves();
    const auto& item = model->requireEntity("Item");
    auto home = newList("Home");
    auto milk = newItem(home.get(), "Milk", 3);
    context().save();
    ASSERT_EQ(heard.size(), 1u);
    ASSERT_EQ(heard[0].changes.size(), 2u);
    const auto* inserted = find(heard[0], milk->globalID());
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(inserted->kind, CommittedChange::Kind::insert);
    EXPECT_EQ(inserted->entity, &item);
    EXPECT_EQ(inserted->key, milk->objectID().key) << "the new, permanent key";
    EXPECT_EQ(inserted->attributes.size(), item.attributes.size()) << "an insert lists everything";
    ASSERT_EQ(inserted->toOnes.size(), 1u);
    EXPECT_EQ(inserted->toOnes[0].second, std::optional<GlobalID>(home->globalID()));

    auto work = newList("Work");
    context().save();
    heard.clear();
    milk->setValue("note", text("semi-skimmed"));
    milk->setToOne(forList, work.get());
    context().save();
    ASSERT_EQ(heard.size(), 1u);
    ASSERT_EQ(heard[0].changes.size(), 1u) << "the lists' rows did not change";
    const auto& update = heard[0].changes[0];
    EXPECT_EQ(update.kind, CommittedChange::Kind::update);
    EXPECT_EQ(update.globalID, milk->globalID());
    ASSERT_EQ(update.attributes.size(), 1u) << "an update lists only what changed";
    EXPECT_EQ(update.attributes[0].first, item.requireAttribute("note").index);
    EXPECT_EQ(update.attributes[0].second, text("semi-skimmed"));
    ASSERT_EQ(update.toOnes.size(), 1u);
    EXPECT_EQ(update.toOnes[0].second, std::optional<GlobalID>(work->globalID()));

    heard.clear();
    const GlobalID homeID = home->globalID();
    context().deleteObject(*home);
    context().save();
    ASSERT_EQ(heard.size(), 1u);
    ASSERT_EQ(heard[0].changes.size(), 1u);
    EXPECT_EQ(heard[0].changes[0].kind, CommittedChange::Kind::remove);
    EXPECT_EQ(heard[0].changes[0].globalID, homeID);
    EXPECT_EQ(logRows(), 4);
}

TEST_F(CommitHooks, AFailingHookFailsTheSaveAndTheRetryWritesEverything) {
    recordSaves();
    auto home = newList("Home");
    newItem(home.get(), "Milk");
    failNext = true;
    EXPECT_THROW(context().save(), StoreError);
    EXPECT_EQ(logRows(), 0) << "the hook's own write rolled back";
    {
        RawDatabase raw(storeFile());
        EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"List\""), 0);
    }
    EXPECT_TRUE(context().hasChanges());
    EXPECT_TRUE(home->objectID().isTemporary());

    context().save();
    EXPECT_EQ(logRows(), 1);
    EXPECT_EQ(heard.size(), 2u);
    relaunch();
    EXPECT_EQ(context().executeFetchRequest(FetchRequest::forEntity("Item")).size(), 1u);
}

TEST_F(CommitHooks, EveryConnectionToTheFileCallsTheHookAndNoOtherFileDoes) {
    recordSaves();
    auto other = openContainer();
    newList(other->viewContext(), "From elsewhere");
    other->viewContext().save();
    EXPECT_EQ(heard.size(), 1u);

    auto scratch = openContainer("Scratch");
    newList(scratch->viewContext(), "Scratch");
    scratch->viewContext().save();
    EXPECT_EQ(heard.size(), 1u);

    setCommitHook(storeFile(), {});
    newList("Unheard");
    context().save();
    EXPECT_EQ(heard.size(), 1u);
}

}  // namespace
}  // namespace jw::store::test
