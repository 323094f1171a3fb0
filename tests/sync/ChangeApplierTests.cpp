// Applying other devices' changes to a store: the rules that make every device end up with the
// same store whatever order changes arrive in and however often. Each test applies hand-made
// changes to a fresh store on the engine's own terms (a store connection, the sync tables, one
// transaction) and reads the result back with raw SQL.

#include <fmt/format.h>

#include <numeric>
#include <random>
#include <ranges>

#include "SyncTestSupport.h"
#include "platform/sync/ChangeApplier.h"

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

using testing::at;

ObjectChange listCreated(int n, const Stamp& stamp, const std::string& name) {
    return testing::changeOf("List", listID(n), stamp, {},
                             {{"name", name}, {"created", json{{"t", 1'800'000'000.0 + n}}}});
}
ObjectChange itemCreated(int n, const Stamp& stamp, const std::string& body, int list) {
    return testing::changeOf("Item", itemID(n), stamp, {},
                             {{"body", body}, {"isDone", false}, {"forList", listID(list)}});
}
ObjectChange changed(const std::string& entity, const std::string& id, const Stamp& stamp,
                     const std::string& key, const json& value) {
    return testing::changeOf(entity, id, {}, {}, {{key, value}}, stamp);
}
ObjectChange itemChanged(int n, const Stamp& stamp, const std::string& key, const json& value) {
    return changed("Item", itemID(n), stamp, key, value);
}
ObjectChange movedTo(int item, const Stamp& stamp, int list) {
    return itemChanged(item, stamp, "forList", listID(list));
}
ObjectChange removedObject(const std::string& entity, const std::string& id, const Stamp& stamp) {
    return testing::changeOf(entity, id, {}, stamp);
}

class ChangeApplierTest : public ::testing::Test {
  protected:
    ChangeApplierTest()
        : connection_(std::make_unique<store::StoreConnection>(dir_.path() / "store.sqlite",
                                                               testing::jotwellModel())) {
        SyncTables::create(connection_->database());
    }

    store::SqliteDatabase& db() { return connection_->database(); }

    // Applies the changes in one committed transaction, prepared as a file's are; answers what
    // the applier reports.
    store::ContextDidSaveNotification apply(const std::vector<ObjectChange>& changes) {
        ChangeApplier applier(*connection_);
        store::SqliteTransaction transaction(db());
        applier.prepare(changes);
        for (const auto& change : changes) {
            applier.apply(change);
        }
        transaction.commit();
        return applier.takeNotification();
    }

    // Applies the changes in the given order and answers the store and the engine's record
    // as they then are, leaving the store as it was. Every other call prepares the applier
    // first, so that an order compared with the one before it is also the other way of
    // looking things up.
    std::vector<std::string> outcome(const std::vector<ObjectChange>& changes,
                                     const std::vector<std::size_t>& order) {
        ChangeApplier applier(*connection_);
        store::SqliteTransaction transaction(db());  // never committed
        if ((prepareNext_ = !prepareNext_)) {
            std::vector<ObjectChange> ordered;
            for (auto i : order) {
                ordered.push_back(changes[i]);
            }
            applier.prepare(ordered);
        }
        for (auto i : order) {
            applier.apply(changes[i]);
        }
        auto lines = testing::dumpDatabase(db());
        for (auto& line : testing::dumpSyncRecord(db())) {
            lines.push_back(std::move(line));
        }
        return lines;
    }

    // A new empty store, named after the case that uses it.
    void freshStore(const std::string& name) {
        connection_ = std::make_unique<store::StoreConnection>(
            dir_.path() / (name.substr(0, 20) + ".sqlite"), testing::jotwellModel());
        SyncTables::create(db());
    }

    // The store in short, by global identifier: "L1 One, I1 milk [x] in L1", an item waiting
    // for its list "in -".
    std::string contents() {
        auto shortID = [](const std::string& id) {
            const int n = std::stoi(id.substr(id.size() - 3));
            return (n >= 200 ? "I" : "L") + std::to_string(n % 100);
        };
        std::map<std::string, std::string> lines;
        store::SqliteStatement lists(db().handle(), "SELECT \"_gid\", \"name\" FROM \"List\"");
        while (lists.step()) {
            const auto id = testing::globalIDOf(lists, 0).toString();
            lines[id] = shortID(id) + " " + lists.columnText(1);
        }
        store::SqliteStatement items(
            db().handle(),
            "SELECT i.\"_gid\", i.\"body\", i.\"isDone\", l.\"_gid\" FROM "
            "\"Item\" i LEFT JOIN \"List\" l ON l.\"_key\" = i.\"forList\"");
        while (items.step()) {
            const auto id = testing::globalIDOf(items, 0).toString();
            lines[id] =
                shortID(id) + " " + items.columnText(1) + (items.columnInt(2) ? " [x]" : "") +
                " in " +
                (items.columnIsNull(3) ? "-" : shortID(testing::globalIDOf(items, 3).toString()));
        }
        return test::joined(std::views::values(lines), ", ");
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
    bool prepareNext_ = false;
};

// Idempotence and order ----------------------------------------------------------------------

// Each case: changes that give the same store and record in every order and applied again,
// and the store they give.
struct OrderCase {
    const char* name;
    std::vector<ObjectChange> changes;
    const char* expected;
};

TEST_F(ChangeApplierTest, AnyOrderAndApplyingAgainGiveTheStoreTheStampsCallFor) {
    const OrderCase cases[] = {
        {"what waits for its object or list, and a removal of what never came, once",
         {listCreated(1, at(1), "Groceries"), itemCreated(1, at(2), "milk", 1),
          itemChanged(1, at(5, "B"), "isDone", true),
          itemChanged(2, at(6, "B"), "body", "waits for its item"),
          itemCreated(3, at(3), "bread", 2),  // its list comes later
          removedObject("Item", itemID(4), at(7))},
         "L1 Groceries, I1 milk [x] in L1, I3 bread in -"},
        // A later rename does not undo a removal; an item added to a list being removed goes.
        {"concurrent edits, a rename after a removal, an item added to a removed list",
         {listCreated(1, at(1), "Groceries"), itemCreated(1, at(2), "milk", 1),
          itemChanged(1, at(6, "B"), "body", "oat milk"),
          itemChanged(1, at(6, "C"), "body", "soy milk"),  // same counter: device C wins
          itemChanged(1, at(4, "C"), "isDone", true), listCreated(2, at(3, "B"), "Hardware"),
          itemCreated(2, at(5, "B"), "nails", 2),
          changed("List", listID(2), at(8, "C"), "name", "DIY"),
          removedObject("List", listID(2), at(7)), itemCreated(3, at(9, "C"), "bulbs", 2)},
         "L1 Groceries, I1 soy milk [x] in L1"},
        // B put the item in list 2, C then moved it to list 3, while A removed list 2.
        {"an item moved out of a removed list ends where the greater stamp puts it",
         {listCreated(1, at(1), "One"), listCreated(2, at(2), "Two"),
          listCreated(3, at(3), "Three"), itemCreated(1, at(4), "milk", 1),
          movedTo(1, at(6, "B"), 2), movedTo(1, at(8, "C"), 3),
          itemChanged(1, at(7, "B"), "isDone", true), removedObject("List", listID(2), at(5))},
         "L1 One, L3 Three, I1 milk [x] in L3"},
        {"an item whose last move was into a removed list goes with it",
         {listCreated(1, at(1), "One"), listCreated(2, at(2), "Two"),
          itemCreated(1, at(3), "milk", 1), movedTo(1, at(4, "C"), 1), movedTo(1, at(6, "B"), 2),
          removedObject("List", listID(2), at(5))},
         "L1 One"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshStore(c.name);
        expectOrderDoesNotMatter(c.changes);
        apply(c.changes);
        const auto once = outcome({}, {});
        apply(c.changes);
        for (const auto& change : c.changes) {
            apply({change});
        }
        EXPECT_EQ(outcome({}, {}), once) << "applying again changed something";
        EXPECT_EQ(contents(), c.expected);
    }
}

// Changes applied in batches, one transaction each ---------------------------------------------

// Each case: batches of changes, and after each the store and what the applier reported
// ({+inserted ~updated -deleted}; a list whose items changed is updated), " / " between
// batches.
struct BatchCase {
    const char* name;
    std::vector<std::vector<ObjectChange>> batches;
    const char* expected;
};

TEST_F(ChangeApplierTest, BatchesEndWithTheStoreTheirStampsCallFor) {
    const BatchCase cases[] = {
        {"a removal is not undone by an older or a newer update, nor by the creation again",
         {{listCreated(1, at(1), "One"), itemCreated(1, at(2), "milk", 1)},
          {removedObject("Item", itemID(1), at(5))},
          {itemChanged(1, at(3, "B"), "body", "older"), itemChanged(1, at(9, "B"), "body", "newer"),
           itemCreated(1, at(2), "milk", 1)}},
         "L1 One, I1 milk in L1 {+2 ~0 -0} / L1 One {+0 ~1 -1} / L1 One {+0 ~0 -0}"},
        {"an item whose list is removed goes with it, and so does one arriving afterwards",
         {{listCreated(1, at(1), "One"), listCreated(2, at(2), "Two"),
           itemCreated(1, at(3), "milk", 1), itemCreated(2, at(4), "eggs", 1),
           itemCreated(3, at(5), "nails", 2)},
          {removedObject("List", listID(1), at(6, "B"))},
          {itemCreated(4, at(7, "C"), "late", 1)}},
         "L1 One, L2 Two, I1 milk in L1, I2 eggs in L1, I3 nails in L2 {+5 ~0 -0} / "
         "L2 Two, I3 nails in L2 {+0 ~0 -3} / L2 Two, I3 nails in L2 {+0 ~0 -0}"},
        {"an item arriving before its list is put in it when it comes",
         {{itemCreated(1, at(3, "B"), "milk", 1)}, {listCreated(1, at(1), "One")}},
         "I1 milk in - {+1 ~0 -0} / L1 One, I1 milk in L1 {+1 ~1 -0}"},
        {"a later move ends the wait for a list that has not arrived; the older value stays lost",
         {{listCreated(2, at(1), "Two"), itemCreated(1, at(3, "B"), "milk", 1)},
          {movedTo(1, at(5, "C"), 2)},
          {listCreated(1, at(2), "One")}},
         "L2 Two, I1 milk in - {+2 ~0 -0} / L2 Two, I1 milk in L2 {+0 ~2 -0} / "
         "L1 One, L2 Two, I1 milk in L2 {+1 ~0 -0}"},
    };
    for (const auto& c : cases) {
        freshStore(c.name);
        std::string got;
        for (const auto& batch : c.batches) {
            const auto note = apply(batch);
            got += (got.empty() ? "" : " / ") + contents() + " {+" +
                   std::to_string(note.inserted.size()) + " ~" +
                   std::to_string(note.updated.size()) + " -" +
                   std::to_string(note.deleted.size()) + "}";
        }
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

// What the applier refuses ------------------------------------------------------------------------

TEST_F(ChangeApplierTest, ChangesNamingWhatTheModelDoesNotKnowAreRefused) {
    std::vector<ObjectChange> refused(4, listCreated(1, at(1), "One"));
    refused[0].entity = "Folderr";
    refused[1].values["colour"] = {"red", std::nullopt};
    refused[2].values["listItems"] = {json::array(), std::nullopt};
    refused[3].globalID = "not-an-id";
    refused.push_back(itemChanged(1, at(2), "isDone", "yes"));
    refused.push_back(itemChanged(1, at(2), "forList", 12));
    refused.push_back(itemChanged(1, at(2), "forList", "list one"));
    // Also for an object not here yet: were it kept until the item arrives, the item's own
    // (good) file would fail with it.
    refused.push_back(itemChanged(1, at(9, "B"), "created", "yesterday"));
    ChangeApplier applier(*connection_);
    store::SqliteTransaction transaction(db());
    applier.prepare(refused);  // leaves refusing to apply()
    for (const auto& change : refused) {
        EXPECT_THROW(applier.apply(change), std::invalid_argument) << meaningOf(change);
    }
}

// The engine's tables as stores of the first layout have them ----------------------------------

TEST_F(ChangeApplierTest, AStoreWhoseStampsNameTheirDevicesByTextKeepsEveryStampWhenOpened) {
    apply({listCreated(1, at(1), "One"), itemCreated(1, at(2, "B"), "milk", 1),
           itemChanged(1, at(5, "C"), "isDone", true), listCreated(2, at(3, "C"), "Two")});
    const auto before = testing::dumpSyncRecord(db());
    db().execute(
        "CREATE TABLE \"old\" (\"gid\" BLOB NOT NULL, \"key\" TEXT NOT NULL, \"counter\" INTEGER "
        "NOT NULL, \"device\" TEXT NOT NULL, PRIMARY KEY (\"gid\", \"key\")) WITHOUT ROWID;"
        "INSERT INTO \"old\" SELECT s.\"gid\", s.\"key\", s.\"counter\", d.\"device\" FROM "
        "\"_sync_stamps\" s JOIN \"_sync_devices\" d ON d.\"number\" = s.\"device\";"
        "DROP TABLE \"_sync_stamps\"; DROP TABLE \"_sync_devices\";"
        "ALTER TABLE \"old\" RENAME TO \"_sync_stamps\";");
    SyncTables::create(db());
    EXPECT_EQ(testing::dumpSyncRecord(db()), before);
    apply({itemChanged(1, at(6, "D"), "body", "oat milk"), listCreated(3, at(7, "B"), "Three")});
    EXPECT_EQ(contents(), "L1 One, L2 Two, L3 Three, I1 oat milk [x] in L1");
}

}  // namespace
}  // namespace jw::sync
