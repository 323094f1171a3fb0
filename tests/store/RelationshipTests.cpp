// Relationships: a to-one change keeps both inverse to-manys in step at once, member counts
// are known without reading members, and a to-many read whole always agrees with its count.

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

class Relationships : public StoreTest {
  protected:
    std::set<std::string> bodiesOf(const ManagedObject& list) {
        std::set<std::string> out;
        for (auto* item : list.toMany(listItems)) {
            out.insert(stringOf(item->value("body")).value_or("<absent>"));
        }
        return out;
    }
};

TEST_F(Relationships, MovingAnItemUpdatesBothListsAtOnce) {
    auto home = newList("Home");
    auto work = newList("Work");
    auto pens = newItem(home.get(), "Pens");
    newItem(home.get(), "Paper");
    context().save();
    pens->setToOne(forList, work.get());
    EXPECT_EQ(bodiesOf(*home), std::set<std::string>{"Paper"});
    EXPECT_EQ(bodiesOf(*work), std::set<std::string>{"Pens"});
    EXPECT_EQ(home->toManyCount(listItems), 1u);
    pens->setToOne(forList, nullptr);
    EXPECT_EQ(work->toManyCount(listItems), 0u);
    pens->setToOne(forList, home.get());
    context().save();
    relaunch();

    // The list left is reached only through the item, unread: it counts as updated and keeps
    // its saved values.
    auto item = fetchOne(context(), "Item", "body", text("Pens"));
    auto other = fetchOne(context(), "List", "name", text("Work"));
    ManagedObject* previous = item->toOne(forList);
    ASSERT_NE(previous, nullptr);
    item->setToOne(forList, other.get());
    EXPECT_TRUE(other->isUpdated() && previous->isUpdated()) << "their listItems changed";
    EXPECT_EQ(previous->value("name"), text("Home"));
    EXPECT_EQ(bodiesOf(*previous), std::set<std::string>{"Paper"});
    context().save();
    EXPECT_FALSE(previous->isUpdated());
    EXPECT_EQ(previous->value("name"), text("Home"));
}

TEST_F(Relationships, AnObjectCannotBeRelatedToAnotherContextsObject) {
    auto list = newList("Home");
    context().save();
    auto other = openContainer();
    auto item = other->viewContext().insertNewObject("Item");
    EXPECT_THROW(item->setToOne(forList, list.get()), std::logic_error);
    EXPECT_EQ(item->toOne(forList), nullptr);
    EXPECT_EQ(list->toManyCount(listItems), 0u);
}

TEST_F(Relationships, DeletingAListWithUnsavedItemsCountsNothingTwice) {
    auto home = newList("Home");
    auto work = newList("Work");
    newItem(home.get(), "saved");
    context().save();
    auto moved = newItem(work.get(), "moved in");
    newItem(home.get(), "unsaved");
    moved->setToOne(forList, home.get());
    EXPECT_EQ(home->toManyCount(listItems), 3u);
    EXPECT_EQ(work->toManyCount(listItems), 0u);

    context().deleteObject(*home);
    EXPECT_EQ(home->toManyCount(listItems), 0u);
    EXPECT_TRUE(moved->isDeleted());
    context().save();
    EXPECT_EQ(work->toManyCount(listItems), 0u);
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"Item\""), 0);
    EXPECT_EQ(raw.integer("SELECT \"_count_listItems\" FROM \"List\" WHERE \"name\" = 'Work'"), 0);
}

TEST_F(Relationships, ListsCanPointAtListsAndAtThemselves) {
    const auto& smartInListOf = model->requireEntity("List").requireRelationship("smartInListOf");
    const auto& smartInLists = model->requireEntity("List").requireRelationship("smartInLists");
    auto parent = newList("Parent");
    auto child = newList("Child");
    auto selfish = newList("Selfish");
    child->setToOne(smartInListOf, parent.get());
    selfish->setToOne(smartInListOf, selfish.get());
    EXPECT_EQ(parent->toManyCount(smartInLists), 1u);
    EXPECT_EQ(selfish->toManyCount(smartInLists), 1u);
    context().save();
    relaunch();

    auto reloadedSelfish = fetchOne(context(), "List", "name", text("Selfish"));
    EXPECT_EQ(reloadedSelfish->toOne(smartInListOf), reloadedSelfish.get());
    EXPECT_EQ(reloadedSelfish->toManyCount(smartInLists), 1u);
    ASSERT_EQ(reloadedSelfish->toMany(smartInLists).size(), 1u);
    EXPECT_EQ(reloadedSelfish->toMany(smartInLists)[0], reloadedSelfish.get());
    context().deleteObject(*reloadedSelfish);
    auto reloadedParent = fetchOne(context(), "List", "name", text("Parent"));
    context().deleteObject(*reloadedParent);
    auto reloadedChild = fetchOne(context(), "List", "name", text("Child"));
    EXPECT_EQ(reloadedChild->toOne(smartInListOf), nullptr) << "nullified";
    context().save();
    relaunch();
    EXPECT_EQ(strings(context().executeFetchRequest(FetchRequest::forEntity("List")), "name"),
              std::vector<std::string>{"Child"});
}

// Random inserts, moves, deletes, saves and relaunches over a few lists. After every step each
// list's count, read without its members (when they are not loaded) and with them, matches
// what the test knows. Lists are reached in different ways after each relaunch (fetched, as
// bare references, through their items) so that counts are read on objects in every state.
TEST_F(Relationships, CountsAndMembersAgreeUnderRandomChanges) {
    constexpr int kLists = 4;
    std::vector<std::int64_t> listKeys;
    for (int l = 0; l < kLists; ++l) {
        newList(fmt::format("L{}", l), l);
    }
    context().save();
    for (const auto& list : context().executeFetchRequest(
             FetchRequest::forEntity("List").sortedBy("sortNumber", true))) {
        listKeys.push_back(list->objectID().key);
    }

    std::map<std::string, int> expected;  // item body -> list index, -1 for none
    std::vector<std::shared_ptr<ManagedObject>> lists;
    std::map<std::string, std::shared_ptr<ManagedObject>> items;
    std::mt19937 random(20270115);
    const auto& listEntity = model->requireEntity("List");

    auto reachLists = [&](int way) {
        lists.clear();
        items.clear();
        for (auto key : listKeys) {
            lists.push_back(context().objectWithID(ObjectID{&listEntity, key}));
        }
        if (way == 1) {  // read every list's row
            for (auto& list : lists) {
                list->value("name");
            }
        }
        for (auto& item : context().executeFetchRequest(FetchRequest::forEntity("Item"))) {
            items[stringOf(item->value("body")).value()] = item;
        }
        if (way == 2) {  // load the members of half the lists
            for (int l = 0; l < kLists; l += 2) {
                lists[l]->toMany(listItems);
            }
        }
    };
    auto check = [&](int step) {
        std::vector<std::size_t> counts(kLists, 0);
        std::vector<std::set<std::string>> members(kLists);
        for (const auto& [body, l] : expected) {
            if (l >= 0) {
                ++counts[l];
                members[l].insert(body);
            }
        }
        for (int l = 0; l < kLists; ++l) {
            ASSERT_EQ(lists[l]->toManyCount(listItems), counts[l]) << "step " << step << " L" << l;
        }
        // Now and then, read the members of one list whole (it stays loaded afterwards).
        if (random() % 4 == 0) {
            const int l = int(random() % kLists);
            ASSERT_EQ(bodiesOf(*lists[l]), members[l]) << "step " << step << " L" << l;
            ASSERT_EQ(lists[l]->toManyCount(listItems), counts[l]) << "step " << step;
        }
    };

    reachLists(0);
    int nextItem = 0;
    for (int step = 0; step < 400; ++step) {
        const int action = int(random() % 100);
        std::vector<std::string> bodies;
        for (const auto& [body, l] : expected) {
            bodies.push_back(body);
        }
        auto pickItem = [&]() -> std::string { return bodies[random() % bodies.size()]; };

        if (action < 30 || bodies.empty()) {
            const int l = int(random() % (kLists + 1)) - 1;
            const std::string body = fmt::format("i{}", nextItem++);
            items[body] = newItem(l >= 0 ? lists[l].get() : nullptr, body);
            expected[body] = l;
        } else if (action < 60) {
            const auto body = pickItem();
            const int l = int(random() % (kLists + 1)) - 1;
            items[body]->setToOne(forList, l >= 0 ? lists[l].get() : nullptr);
            expected[body] = l;
        } else if (action < 75) {
            const auto body = pickItem();
            context().deleteObject(*items[body]);
            items.erase(body);
            expected.erase(body);
        } else if (action < 85) {
            context().save();
        } else if (action < 90) {
            // A move away and back, and an insert deleted at once: no net change.
            const auto body = pickItem();
            const int l = expected[body];
            items[body]->setToOne(forList, lists[(l + 1 + kLists) % kLists].get());
            items[body]->setToOne(forList, l >= 0 ? lists[l].get() : nullptr);
            auto transient = newItem(lists[random() % kLists].get(), "transient");
            context().deleteObject(*transient);
        } else {
            context().save();
            relaunch();
            reachLists(int(random() % 3));
        }
        check(step);
        if (HasFatalFailure()) {
            return;
        }
    }
}

}  // namespace
}  // namespace jw::store::test
