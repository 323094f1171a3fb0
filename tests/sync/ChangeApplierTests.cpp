// Applying other devices' changes to a store: the rules that make every device end up with the
// same store whatever order changes arrive in and however often. Each test applies hand-made
// changes to a fresh store on the engine's own terms (a store connection, the sync tables, one
// transaction) and reads the result back with raw SQL.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "SyncTestSupport.h"
#include "platform/store/Sqlite.h"
#include "platform/store/StoreConnection.h"
#include "platform/sync/ChangeApplier.h"
#include "platform/sync/SyncTables.h"

namespace jw::sync {
namespace {

using nlohmann::json;
using testing::meaningOf;

// Readable, fixed identifiers: lists are ...-1xx, items ...-2xx.
std::string listID(int n) {
    return fmt::format("00000000-0000-4000-8000-000000000{:03}", 100 + n);
}
std::string itemID(int n) {
    return fmt::format("00000000-0000-4000-8000-000000000{:03}", 200 + n);
}

Stamp at(std::int64_t counter, const char* device = "A") {
    return Stamp{counter, device};
}

ObjectChange listCreated(int n, const Stamp& stamp, const std::string& name) {
    ObjectChange c;
    c.entity = "List";
    c.globalID = listID(n);
    c.created = stamp;
    c.values["name"] = {name, std::nullopt};
    c.values["created"] = {json{{"t", 1'800'000'000.0 + n}}, std::nullopt};
    return c;
}

ObjectChange itemCreated(int n, const Stamp& stamp, const std::string& body, int list) {
    ObjectChange c;
    c.entity = "Item";
    c.globalID = itemID(n);
    c.created = stamp;
    c.values["body"] = {body, std::nullopt};
    c.values["isDone"] = {false, std::nullopt};
    c.values["forList"] = {listID(list), std::nullopt};
    return c;
}

ObjectChange changed(const std::string& entity, const std::string& id, const Stamp& stamp,
                     const std::string& key, json value) {
    ObjectChange c;
    c.entity = entity;
    c.globalID = id;
    c.values[key] = {std::move(value), stamp};
    return c;
}

ObjectChange itemChanged(int n, const Stamp& stamp, const std::string& key, json value) {
    return changed("Item", itemID(n), stamp, key, std::move(value));
}

ObjectChange movedTo(int item, const Stamp& stamp, int list) {
    return itemChanged(item, stamp, "forList", listID(list));
}

ObjectChange removedObject(const std::string& entity, const std::string& id, const Stamp& stamp) {
    ObjectChange c;
    c.entity = entity;
    c.globalID = id;
    c.removed = stamp;
    return c;
}

class ChangeApplierTest : public ::testing::Test {
  protected:
    ChangeApplierTest()
        : connection_(std::make_unique<store::StoreConnection>(dir_.path() / "store.sqlite",
                                                               testing::jotwellModel())) {
        SyncTables::create(connection_->database());
    }

    store::SqliteDatabase& db() { return connection_->database(); }

    // Applies the changes in one committed transaction; answers what the applier reports.
    store::ContextDidSaveNotification apply(const std::vector<ObjectChange>& changes) {
        ChangeApplier applier(*connection_);
        store::SqliteTransaction transaction(db());
        for (const auto& change : changes) {
            applier.apply(change);
        }
        transaction.commit();
        return applier.takeNotification();
    }

    // Applies the changes in the given order and answers the store and the engine's record
    // as they then are, leaving the store as it was.
    std::vector<std::string> outcome(const std::vector<ObjectChange>& changes,
                                     const std::vector<std::size_t>& order) {
        ChangeApplier applier(*connection_);
        store::SqliteTransaction transaction(db());  // never committed
        for (auto i : order) {
            applier.apply(changes[i]);
        }
        auto lines = testing::dumpDatabase(db());
        for (auto& line : testing::dumpSyncRecord(db())) {
            lines.push_back(std::move(line));
        }
        return lines;
    }

    std::vector<std::string> store() { return testing::dumpDatabase(db()); }
    std::vector<std::string> record() { return testing::dumpSyncRecord(db()); }

    // The stored line of an object, or "" when it is not stored.
    std::string lineOf(const std::string& id) {
        for (const auto& line : store()) {
            if (line.starts_with(id)) {
                return line;
            }
        }
        return "";
    }
    bool stored(const std::string& id) { return !lineOf(id).empty(); }
    bool has(const std::string& id, const std::string& keyAndValue) {
        return lineOf(id).find(" " + keyAndValue) != std::string::npos;
    }

    // Every order of `changes` (or, past 7 of them, a few hundred random ones plus the given
    // and the reversed order) gives the same store and record as the given order.
    void expectOrderDoesNotMatter(const std::vector<ObjectChange>& changes) {
        std::vector<std::size_t> order(changes.size());
        std::iota(order.begin(), order.end(), 0);
        const auto expected = outcome(changes, order);
        auto check = [&](const std::vector<std::size_t>& o) {
            const auto got = outcome(changes, o);
            if (got != expected) {
                std::string text;
                for (auto i : o) {
                    text += "\n  " + meaningOf(changes[i]);
                }
                ADD_FAILURE() << "applied in this order:" << text << "\nthe store differs:\n"
                              << testing::diffOf(expected, got);
                return false;
            }
            return true;
        };
        if (changes.size() <= 7) {
            while (std::next_permutation(order.begin(), order.end())) {
                if (!check(order))
                    return;
            }
            return;
        }
        std::reverse(order.begin(), order.end());
        if (!check(order))
            return;
        std::mt19937 rng(42);
        for (int round = 0; round < 300; ++round) {
            std::shuffle(order.begin(), order.end(), rng);
            if (!check(order))
                return;
        }
    }

    testing::ScratchDir dir_;
    std::unique_ptr<store::StoreConnection> connection_;
};

// Idempotence and order ----------------------------------------------------------------------

TEST_F(ChangeApplierTest, ApplyingChangesTwiceIsApplyingThemOnce) {
    const std::vector<ObjectChange> changes = {
        listCreated(1, at(1), "Groceries"),
        itemCreated(1, at(2), "milk", 1),
        itemChanged(1, at(5, "B"), "isDone", true),
        itemChanged(2, at(6, "B"), "body", "waits for its item"),
        itemCreated(3, at(3), "bread", 2),  // its list comes later
        removedObject("Item", itemID(4), at(7)),
    };
    apply(changes);
    const auto once = store();
    const auto onceRecord = record();
    apply(changes);
    EXPECT_EQ(store(), once);
    EXPECT_EQ(record(), onceRecord);
    for (const auto& change : changes) {
        apply({change});
    }
    EXPECT_EQ(store(), once);
    EXPECT_EQ(record(), onceRecord);
}

TEST_F(ChangeApplierTest, TheSameChangesInAnyOrderGiveTheSameStore) {
    const std::vector<ObjectChange> changes = {
        listCreated(1, at(1), "Groceries"),
        itemCreated(1, at(2), "milk", 1),
        itemChanged(1, at(6, "B"), "body", "oat milk"),
        itemChanged(1, at(6, "C"), "body", "soy milk"),  // same counter: device C wins
        itemChanged(1, at(4, "C"), "isDone", true),
        listCreated(2, at(3, "B"), "Hardware"),
        itemCreated(2, at(5, "B"), "nails", 2),
        changed("List", listID(2), at(8, "C"), "name", "DIY"),
        removedObject("List", listID(2), at(7)),
        itemCreated(3, at(9, "C"), "bulbs", 2),  // added to a list being removed
    };
    expectOrderDoesNotMatter(changes);

    apply(changes);
    EXPECT_TRUE(has(itemID(1), "body=\"soy milk\""));
    EXPECT_TRUE(has(itemID(1), "isDone=true"));
    EXPECT_TRUE(has(itemID(1), "forList=\"" + listID(1) + "\""));
    EXPECT_FALSE(stored(listID(2))) << "a later rename does not undo a removal";
    EXPECT_FALSE(stored(itemID(2)));
    EXPECT_FALSE(stored(itemID(3)));
}

TEST_F(ChangeApplierTest, AnItemMovedOutOfARemovedListEndsUpWhereTheGreaterStampPutsIt) {
    // Device B put the item in list 2, device C then moved it to list 3, while device A
    // removed list 2: the item belongs to list 3, whichever of these a device hears of first.
    const std::vector<ObjectChange> changes = {
        listCreated(1, at(1), "One"),
        listCreated(2, at(2), "Two"),
        listCreated(3, at(3), "Three"),
        itemCreated(1, at(4), "milk", 1),
        movedTo(1, at(6, "B"), 2),
        movedTo(1, at(8, "C"), 3),
        itemChanged(1, at(7, "B"), "isDone", true),
        removedObject("List", listID(2), at(5)),
    };
    expectOrderDoesNotMatter(changes);
    apply(changes);
    EXPECT_TRUE(has(itemID(1), "forList=\"" + listID(3) + "\""));
    EXPECT_TRUE(has(itemID(1), "isDone=true")) << "what came while it was away is kept";
}

TEST_F(ChangeApplierTest, AnItemWhoseLastMoveWasIntoARemovedListGoesWithIt) {
    const std::vector<ObjectChange> changes = {
        listCreated(1, at(1), "One"),     listCreated(2, at(2), "Two"),
        itemCreated(1, at(3), "milk", 1), movedTo(1, at(4, "C"), 1),
        movedTo(1, at(6, "B"), 2),        removedObject("List", listID(2), at(5)),
    };
    expectOrderDoesNotMatter(changes);
    apply(changes);
    EXPECT_FALSE(stored(itemID(1)));
    EXPECT_TRUE(stored(listID(1)));
}

// Removals ---------------------------------------------------------------------------------------

TEST_F(ChangeApplierTest, ARemovalIsNotUndoneByAnOlderOrANewerUpdate) {
    apply({listCreated(1, at(1), "One"), itemCreated(1, at(2), "milk", 1)});
    apply({removedObject("Item", itemID(1), at(5))});
    ASSERT_FALSE(stored(itemID(1)));
    apply({itemChanged(1, at(3, "B"), "body", "older"), itemChanged(1, at(9, "B"), "body", "newer"),
           itemCreated(1, at(2), "milk", 1)});
    EXPECT_FALSE(stored(itemID(1)));
    const auto kept = record();
    EXPECT_NE(std::find(kept.begin(), kept.end(), "removed " + itemID(1) + " Item 5/A"), kept.end())
        << "the removal is kept";
}

TEST_F(ChangeApplierTest, AnObjectRemovedBeforeItArrivesNeverAppears) {
    apply({removedObject("List", listID(1), at(9, "B"))});
    apply({listCreated(1, at(1), "One"), changed("List", listID(1), at(12), "name", "later")});
    EXPECT_FALSE(stored(listID(1)));
}

TEST_F(ChangeApplierTest, AnItemWhoseListIsRemovedGoesWithIt) {
    apply({listCreated(1, at(1), "One"), listCreated(2, at(2), "Two"),
           itemCreated(1, at(3), "milk", 1), itemCreated(2, at(4), "eggs", 1),
           itemCreated(3, at(5), "nails", 2)});
    const auto note = apply({removedObject("List", listID(1), at(6, "B"))});
    EXPECT_FALSE(stored(listID(1)));
    EXPECT_FALSE(stored(itemID(1)));
    EXPECT_FALSE(stored(itemID(2)));
    EXPECT_TRUE(stored(itemID(3))) << "another list's item stays";
    EXPECT_EQ(note.deleted.size(), 3u) << "the list and its two items";
    // An item of the removed list that arrives afterwards does not appear either.
    apply({itemCreated(4, at(7, "C"), "late", 1)});
    EXPECT_FALSE(stored(itemID(4)));
}

TEST_F(ChangeApplierTest, AnItemWaitingForAListThatArrivesRemovedGoesWithIt) {
    apply({itemCreated(1, at(3, "B"), "milk", 1)});
    ASSERT_TRUE(stored(itemID(1))) << "kept while its list is on the way";
    apply({removedObject("List", listID(1), at(4))});
    EXPECT_FALSE(stored(itemID(1)));
    apply({listCreated(1, at(1), "One")});
    EXPECT_FALSE(stored(listID(1)));
    EXPECT_FALSE(stored(itemID(1)));
}

// Changes ahead of what they change ---------------------------------------------------------------

TEST_F(ChangeApplierTest, AnUpdateArrivingBeforeItsObjectIsKeptAndAppliedWhenItComes) {
    auto note = apply(
        {itemChanged(1, at(7, "B"), "body", "edited"), itemChanged(1, at(2, "C"), "isDone", true)});
    EXPECT_FALSE(stored(itemID(1)));
    EXPECT_TRUE(note.inserted.empty() && note.updated.empty());

    note = apply({listCreated(1, at(1), "One"), itemCreated(1, at(5), "milk", 1)});
    EXPECT_TRUE(has(itemID(1), "body=\"edited\"")) << "the newer update wins over the creation";
    EXPECT_TRUE(has(itemID(1), "isDone=false")) << "the older update loses to the creation";
    EXPECT_EQ(note.inserted.size(), 2u);
    // And the stamps are the winners': an update between the two does not win.
    apply({itemChanged(1, at(6, "D"), "body", "in between")});
    EXPECT_TRUE(has(itemID(1), "body=\"edited\""));
}

TEST_F(ChangeApplierTest, AnItemArrivingBeforeItsListIsKeptAndPutInItWhenItComes) {
    auto note = apply({itemCreated(1, at(3, "B"), "milk", 1)});
    EXPECT_TRUE(has(itemID(1), "forList=null"));
    EXPECT_EQ(note.inserted.size(), 1u);

    note = apply({listCreated(1, at(1), "One")});
    EXPECT_TRUE(has(itemID(1), "forList=\"" + listID(1) + "\""));
    EXPECT_EQ(note.inserted.size(), 1u);
    EXPECT_EQ(note.updated.size(), 1u) << "the item, now in its list";
}

TEST_F(ChangeApplierTest, ALaterMoveEndsTheWaitForAListThatHasNotArrived) {
    apply({listCreated(2, at(1), "Two"), itemCreated(1, at(3, "B"), "milk", 1)});
    apply({movedTo(1, at(5, "C"), 2)});
    EXPECT_TRUE(has(itemID(1), "forList=\"" + listID(2) + "\""));
    apply({listCreated(1, at(2), "One")});
    EXPECT_TRUE(has(itemID(1), "forList=\"" + listID(2) + "\"")) << "the older value stays lost";
}

// Per-key last writer wins ------------------------------------------------------------------------

TEST_F(ChangeApplierTest, ConcurrentChangesToDifferentKeysAreBothKept) {
    apply({listCreated(1, at(1), "One"), itemCreated(1, at(2), "milk", 1)});
    apply({itemChanged(1, at(5, "B"), "body", "oat milk")});
    apply({itemChanged(1, at(5, "C"), "isDone", true)});
    apply({itemChanged(1, at(4, "D"), "body", "older")});
    EXPECT_TRUE(has(itemID(1), "body=\"oat milk\""));
    EXPECT_TRUE(has(itemID(1), "isDone=true"));
}

// What the applier refuses
// -------------------------------------------------------------------------

TEST_F(ChangeApplierTest, ChangesNamingWhatTheModelDoesNotKnowAreRefused) {
    ChangeApplier applier(*connection_);
    store::SqliteTransaction transaction(db());
    ObjectChange unknownEntity = listCreated(1, at(1), "One");
    unknownEntity.entity = "Folderr";
    EXPECT_THROW(applier.apply(unknownEntity), std::invalid_argument);
    ObjectChange unknownKey = listCreated(1, at(1), "One");
    unknownKey.values["colour"] = {"red", std::nullopt};
    EXPECT_THROW(applier.apply(unknownKey), std::invalid_argument);
    ObjectChange toMany = listCreated(1, at(1), "One");
    toMany.values["listItems"] = {json::array(), std::nullopt};
    EXPECT_THROW(applier.apply(toMany), std::invalid_argument);
    ObjectChange badID = listCreated(1, at(1), "One");
    badID.globalID = "not-an-id";
    EXPECT_THROW(applier.apply(badID), std::invalid_argument);
    EXPECT_THROW(applier.apply(itemChanged(1, at(2), "isDone", "yes")), std::invalid_argument);
    EXPECT_THROW(applier.apply(itemChanged(1, at(2), "forList", 12)), std::invalid_argument);
    EXPECT_THROW(applier.apply(itemChanged(1, at(2), "forList", "list one")),
                 std::invalid_argument);
}

TEST_F(ChangeApplierTest, AMalformedValueForAnObjectNotHereYetIsRefusedAtOnce) {
    // Were it kept until the item arrives, the item's own (good) file would fail with it.
    EXPECT_THROW(apply({itemChanged(1, at(9, "B"), "created", "yesterday")}),
                 std::invalid_argument);
    apply({listCreated(1, at(1), "One"), itemCreated(1, at(2), "milk", 1)});
    EXPECT_TRUE(has(itemID(1), "body=\"milk\""));
}

}  // namespace
}  // namespace jw::sync
