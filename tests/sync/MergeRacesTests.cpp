// The engine applies other devices' changes on its own connection while the main context goes
// on with what it last heard; the context hears of a merge only when the main run loop gets to
// the merged-changes notification. These examples save from a context that is one merge
// behind, and check that every device still ends with the same store and no row points at an
// object that is gone.

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using model::Item;
using model::List;
using testing::SimulatedDevice;

// Three devices sharing the lists "Old" and "New".
class MergeRaces : public testing::SharedCloudTest {
  protected:
    MergeRaces() : a(addDevice("a")), b(addDevice("b")), c(addDevice("c")) {
        model::newList(*a.db, "Old");
        model::newList(*a.db, "New");
        settle();
        mergeEverywhere();
    }
    // Merges on the engine's side only: the main context is not told yet.
    void mergeBehindTheContext(SimulatedDevice& device) {
        device.db->merge();
        device.ensemble().waitUntilIdle();
    }

    SimulatedDevice& a;
    SimulatedDevice& b;
    SimulatedDevice& c;
};

TEST_F(MergeRaces, AnItemSavedIntoAListAMergeHasJustRemovedGoesWithTheList) {
    auto stale = testing::listNamed(*b.db, "Old");
    ASSERT_TRUE(stale);
    model::deleteList(*a.db, *testing::listNamed(*a.db, "Old"));
    settle();
    cloud_.deliverAll();
    mergeBehindTheContext(b);  // the list is gone from b's store, not from its context
    model::newItem(*b.db, *stale, "milk");
    stale.reset();
    settle();

    EXPECT_FALSE(testing::itemWithBody(*b.db, "milk")) << "the item went the way of its list";
    mergeEverywhere();
    EXPECT_FALSE(testing::itemWithBody(*a.db, "milk"));
    expectSameStoresEverywhere();
}

TEST_F(MergeRaces, AnItemAMergeAddedToAListTheContextDeletesGoesWithTheList) {
    model::newItem(*a.db, *testing::listNamed(*a.db, "Old"), "nails");
    settle();
    cloud_.deliverAll();
    mergeBehindTheContext(b);  // the item is in b's store; b's context knows nothing of it
    model::deleteList(*b.db, *testing::listNamed(*b.db, "Old"));
    settle();

    EXPECT_FALSE(testing::itemWithBody(*b.db, "nails"));
    mergeEverywhere();
    EXPECT_FALSE(testing::itemWithBody(*a.db, "nails"));
    EXPECT_FALSE(testing::listNamed(*a.db, "Old"));
    expectSameStoresEverywhere();
}

TEST_F(MergeRaces, AnEditToAnItemSetAsideMeanwhileComesBackWithIt) {
    // c puts an item in a list that a, not having heard of the item, removes. b hears of both
    // and sets the item aside, while its context, a merge behind, edits the item. Then c, not
    // having heard of the removal, moves the item to another list: it comes back there,
    // everywhere, with b's edit.
    model::newItem(*c.db, *testing::listNamed(*c.db, "Old"), "bread");
    settle();
    cloud_.deliverAll();
    b.db->merge();
    settle();  // b's context now has the item; a has not merged it
    auto item = testing::itemWithBody(*b.db, "bread");
    ASSERT_TRUE(item);
    model::deleteList(*a.db, *testing::listNamed(*a.db, "Old"));
    settle();

    // b hears of the removal (its store sets the item aside); its context edits the item.
    cloud_.deliverAll();
    mergeBehindTheContext(b);
    model::editItemText(*b.db, *item, "rye bread");
    item.reset();
    settle();
    EXPECT_FALSE(testing::itemWithBody(*b.db, "rye bread")) << "set aside with its list gone";

    // c moves it out of the removed list before hearing of the removal.
    model::moveItem(*c.db, *testing::itemWithBody(*c.db, "bread"),
                    *testing::listNamed(*c.db, "New"));
    settle();
    mergeEverywhere();
    for (auto& device : devices_) {
        auto back = testing::itemWithBody(*device->db, "rye bread");
        ASSERT_TRUE(back) << device->name;
        ASSERT_TRUE(back->forList()) << device->name;
        EXPECT_EQ(back->forList()->name(), "New") << device->name;
    }
    expectSameStoresEverywhere();
}

}  // namespace
}  // namespace jw::sync
