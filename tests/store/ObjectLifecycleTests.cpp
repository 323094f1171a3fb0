// An object's life in a context: insertion, temporary and permanent keys, one object per row,
// reading rows on demand, relationships and delete rules, saving all or nothing, and the
// addresses that name objects (URIs and global identifiers).

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <random>
#include <stdexcept>

#include <uuid/uuid.h>

#include "platform/store/FetchedResultsController.h"
#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

using ::jw::test::PrintTo;
using ObjectLifecycle = StoreTest;

// Misused names and objects: "logic" for a programming error, "store" for a refused fetch.
TEST_F(ObjectLifecycle, UnknownNamesAreRefused) {
    auto item = context().insertNewObject("Item");
    auto other = openContainer();
    auto foreign = newList(other->viewContext(), "Foreign");
    const auto fetch = [&](FetchRequest r) { return [&, r] { context().executeFetchRequest(r); }; };
    FetchedResultsController controller(FetchRequest::forEntity("Item").sortedBy("title", true),
                                        sharedContext());
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"logic", [&] { context().insertNewObject("Note"); }},
        {"logic", [&] { item->value("title"); }},
        {"logic", [&] { item->setValue("title", text("x")); }},
        {"logic", [&] { item->setToOne(listItems, nullptr); }},      // a to-many
        {"logic", [&] { item->setToOne(forList, foreign.get()); }},  // another context's
        {"store", fetch(FetchRequest::forEntity("Note"))},
        {"store", fetch(FetchRequest::forEntity("Item").where("title", text("x")))},
        {"store", fetch(FetchRequest::forEntity("Item").sortedBy("title", true))},
        {"store", fetch(FetchRequest::forEntity("List").whereRelated("listItems", nullptr))},
        {"store", fetch(FetchRequest::forEntity("Item").sortedBy("forList", true))},
        {"store", [&] { controller.performFetch(); }},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::string outcome = "accepted";
        try {
            cases[i].second();
        } catch (const StoreError&) {
            outcome = "store";
        } catch (const std::logic_error&) {
            outcome = "logic";
        }
        EXPECT_EQ(outcome, cases[i].first) << "case " << i;
    }
    // The controller whose fetch failed stands aside from the context's later changes.
    newItem(context(), nullptr, "a");
    EXPECT_NO_THROW(context().processPendingChanges());
    EXPECT_TRUE(controller.fetchedObjects().empty());
}

// One context's life, as run's steps, and what it showed on the way.
struct LifeCase {
    const char* name;
    const char* script;
    const char* shown;
};
class Lives : public StoreTest, public ::testing::WithParamInterface<LifeCase> {};

TEST_P(Lives, ShowTheirStatesAndWhatIsStored) {
    EXPECT_EQ(run(GetParam().script), GetParam().shown);
}

const LifeCase kLives[] = {
    // Setting a value it already has changes nothing; keys are never reused.
    {"InsertedSavedUpdatedDeleted",
     "list Groceries; add Milk Groceries; state Milk; save; state Milk; set Groceries name "
     "Groceries; state Groceries; set Groceries name Shopping; state Groceries; save; state "
     "Groceries; key Groceries; delete Groceries; state Groceries; state Milk; save; state "
     "Groceries; list Second; save; key Second; stored",
     "Milk: inserted temporary | changes; Milk: permanent | clean; Groceries: permanent | clean; "
     "Groceries=Shopping: updated permanent | changes; Groceries=Shopping: permanent | clean; "
     "Groceries #1; Groceries=Shopping: deleted permanent | changes; Milk: deleted permanent | "
     "changes; Groceries=Shopping: deleted permanent detached | clean; Second #2; Second 0: | 0 "
     "items, 0 folders"},
    // A list's deletion takes its items, unsaved ones and ones just moved in too, counting
    // nothing twice; a folder's leaves its lists outside any folder.
    {"DeleteRulesCascadeAndNullify",
     "folder Home; list Kitchen; list Garden; list Doomed; link Kitchen inFolder Home; link Garden "
     "inFolder Home; add Knives Kitchen; add a Doomed; add b Doomed; save; stored; relaunch; add "
     "unsaved Doomed; add moved Garden; move moved Doomed; count Doomed; delete Doomed; state "
     "unsaved; state moved; count Doomed; count Garden; count Home; delete Home; state Kitchen; "
     "save; stored; relaunch; count Garden; count Kitchen",
     "Doomed 2: a b | Garden[Home] 0: | Kitchen[Home] 1: Knives | 3 items, 1 folders; Doomed 4; "
     "unsaved: inserted deleted temporary detached | changes; moved: inserted deleted temporary "
     "detached | changes; Doomed 0; Garden 0; Home 2; Kitchen: updated permanent | changes; Garden "
     "0: | Kitchen 1: Knives | 1 items, 0 folders; Garden 0; Kitchen 1"},
    // A trigger behind the store's back refuses writes to items: the save fails whole, the
    // context keeps every change, and a retry once the trigger is gone writes them.
    {"AFailedSaveWritesNothingAndKeepsTheChangesForARetry",
     "list Kept 1; list Doomed 2; add old Doomed; add moved Kept; save; list Fresh 3; add Milk "
     "Fresh; add Bread Kept; set Kept name Renamed; delete Doomed; refuse INSERT; save; stored; "
     "state Fresh; state Milk; state Kept; state old; count Kept; refuse -; save; save; state "
     "Milk; stored; set moved body again; move moved Fresh; refuse UPDATE; save; save; state "
     "moved; count Fresh; count Kept; refuse -; save; relaunch; stored",
     "save refused; Kept 1: moved | Doomed 1: old | 2 items, 0 folders; Fresh: inserted temporary "
     "| changes; Milk: inserted temporary | changes; Kept=Renamed: updated permanent | changes; "
     "old: deleted permanent | changes; Kept 2; save told 0; Milk: permanent | clean; Renamed 2: "
     "Bread moved | Fresh 1: Milk | 3 items, 0 folders; save refused; save refused; moved=again: "
     "updated permanent | changes; Fresh 2; Kept 1; Renamed 1: Bread | Fresh 2: Milk again | 3 "
     "items, 0 folders"},
    {"ListsCanPointAtListsAndAtThemselves",
     "list Parent; list Child; list Selfish; link Child smartInListOf Parent; link Selfish "
     "smartInListOf Selfish; count Parent smartInLists; count Selfish smartInLists; save; "
     "relaunch; to Selfish smartInListOf; count Selfish smartInLists; delete Selfish; delete "
     "Parent; to Child smartInListOf; save; relaunch; stored",
     "Parent 1; Selfish 1; Selfish.smartInListOf Selfish; Selfish 1; Child.smartInListOf -; Child "
     "0: | 0 items, 0 folders"},
};

INSTANTIATE_TEST_SUITE_P(ObjectLifecycle, Lives, ::testing::ValuesIn(kLives), jw::test::caseName);

// Rows are read on demand: an object reached by its ID is a fault until read, a fetch
// registers only what it finds, and counting members reads none of them. Reached by fetches,
// relationships and addresses an object stays one object: the random merge runs compare
// objects by identity throughout.
TEST_F(ObjectLifecycle, RowsAreReadOnDemand) {
    for (int l = 0; l < 3; ++l) {
        auto list = newList(context(), fmt::format("List {}", l), l + 7);
        for (int i = 0; i < 20; ++i) {
            newItem(context(), list.get(), fmt::format("Item {}.{}", l, i), i);
        }
    }
    context().save();
    const auto first = context().executeFetchRequest(listsByNumber()).at(0)->objectID();
    relaunch();
    EXPECT_EQ(context().registeredObjectCount(), 0u);
    auto fault = context().objectWithID(first);
    EXPECT_EQ(state(*fault, context()), "fault permanent | clean");
    EXPECT_EQ(fault->value("sortNumber"), integer(7));
    EXPECT_EQ(state(*fault, context()), "permanent | clean");
    EXPECT_EQ(context().objectWithID(ObjectID{first.entity, -42}), nullptr);
    EXPECT_EQ(context().objectWithID(ObjectID{nullptr, first.key}), nullptr);
    auto lists = context().executeFetchRequest(listsByNumber());
    EXPECT_EQ(context().registeredObjectCount(), 3u);
    EXPECT_EQ(lists.at(0), fault);
    context().executeFetchRequest(itemsOf(fault.get()));
    EXPECT_EQ(context().registeredObjectCount(), 23u) << "no other list's items";
    EXPECT_EQ(lists[1]->toManyCount(listItems), 20u);
    EXPECT_EQ(context().registeredObjectCount(), 23u) << "counting members reads none of them";
    EXPECT_EQ(lists[1]->toMany(listItems).size(), 20u);
    EXPECT_EQ(context().registeredObjectCount(), 43u);
    // Between events the context lets go of what nobody holds and no kept object points at: a
    // held list keeps its loaded members, an edited item its list and that list's members.
    EXPECT_EQ(context().releaseUnreferencedObjects(), 20u) << "the first list's items";
    lists[2]->toMany(listItems).at(0)->setValue("body", text("edited"));
    lists.clear();
    fault.reset();
    EXPECT_EQ(context().releaseUnreferencedObjects(), 22u) << "two lists, one's members";
    EXPECT_EQ(context().registeredObjectCount(), 21u);
    context().save();
    EXPECT_EQ(context().releaseUnreferencedObjects(), 21u);
    const auto edited = FetchRequest::forEntity("Item").where("body", text("edited"));
    EXPECT_EQ(context().executeFetchRequest(edited).size(), 1u) << "read again as saved";
    // An unsaved move here stands over moves elsewhere; the list the merge names as saved is
    // known only to the move's record of the saved state, and must outlive a release.
    const auto list0 = context().objectWithID(first);
    context().executeFetchRequest(edited).at(0)->setToOne(forList, list0.get());
    for (const std::size_t list : {1, 2}) {
        elsewhere().executeFetchRequest(edited).at(0)->setToOne(
            forList, elsewhere().executeFetchRequest(listsByNumber()).at(list).get());
        mergeElsewhere();
        context().releaseUnreferencedObjects();
    }
    EXPECT_EQ(list0->toManyCount(listItems), 21u) << "the move here stands";
}

// Deleting what was never saved, deleting twice, or another context's object, and editing a
// deleted or detached object: none leaves a trace.
// In a real store (a floor above 0) a release falls due once the objects have doubled, and
// runs a moment after the event that read them, not at its end: a tap that opens a long list
// draws its rows before the walk over every object.
TEST_F(ObjectLifecycle, AReleaseWaitsForAQuietMomentAfterTheEvent) {
    auto list = newList(context(), "List", 1);
    for (int i = 0; i < 30; ++i) {
        newItem(context(), list.get(), fmt::format("Item {}", i), i);
    }
    context().save();
    list.reset();
    relaunch();
    struct Floor {
        Floor() { ManagedObjectContext::setObjectReleaseFloor(10); }
        ~Floor() { ManagedObjectContext::setObjectReleaseFloor(0); }
    } floor;
    platform.loop().post([&] { context().executeFetchRequest(FetchRequest::forEntity("Item")); });
    platform.loop().drain();
    EXPECT_GE(context().registeredObjectCount(), 30u) << "kept past the event's end";
    platform.loop().advance(PersistentContainer::kReleaseAfterSeconds);
    EXPECT_EQ(context().registeredObjectCount(), 0u);
}

TEST_F(ObjectLifecycle, DeletionsThatLeaveNoTrace) {
    run("list Groceries; add Milk Groceries; save");
    auto other = openContainer();
    auto foreign = object("Groceries", &other->viewContext());
    context().deleteObject(*foreign);
    EXPECT_FALSE(foreign->isDeleted());
    EXPECT_FALSE(context().hasChanges() || other->viewContext().hasChanges());
    // Deleting what was never saved, or twice, and editing what was deleted.
    EXPECT_EQ(run("add Bread Groceries; delete Bread; state Bread; delete Milk; delete Milk; set "
                  "Milk body Oat; move Milk Groceries; state Milk; to Milk forList; count "
                  "Groceries; add Kept Groceries; save; stored"),
              "Bread: inserted deleted temporary detached | changes; Milk: deleted permanent | "
              "changes; Milk.forList -; Groceries 0; Groceries 1: Kept | 1 items, 0 folders");
    auto kept = object("Kept");

    // Objects kept beyond their context stay readable, detached; edits to them go nowhere.
    container.reset();
    EXPECT_EQ(kept->managedObjectContext(), nullptr);
    EXPECT_EQ(kept->value("body"), text("Kept"));
    kept->setValue("body", text("Changed after the end"));
    kept->setToOne(forList, nullptr);
    relaunch();
    EXPECT_EQ(stored(), "Groceries 1: Kept | 1 items, 0 folders");
}

// An address (or a global identifier) names its object, saved or not, across launches; anything
// else names nothing: deleted objects (also by another connection), another context's unsaved
// objects, another store's objects, and malformed addresses.
TEST_F(ObjectLifecycle, URIsNameTheirObjectOrNothing) {
    auto list = newList(context(), "Groceries");
    const std::string temporary = list->uriRepresentation();
    const std::string store = context().storeIdentifier();
    EXPECT_EQ(temporary.rfind("jotwell-store://" + store + "/List/t", 0), 0u) << temporary;
    context().save();  // the store's first row, as the other store's below
    auto gone = newList(context(), "Gone");
    auto goneElsewhere = newList(context(), "Gone elsewhere");
    context().save();
    const std::string uri = fmt::format("jotwell-store://{}/List/p{}", store, list->objectID().key);
    EXPECT_EQ(list->uriRepresentation(), uri);
    const std::string goneURI = gone->uriRepresentation();
    const std::string elsewhereURI = goneElsewhere->uriRepresentation();
    const ObjectID goneElsewhereID = goneElsewhere->objectID();
    const GlobalID listGID = list->globalID(), elsewhereGID = goneElsewhere->globalID();
    context().deleteObject(*gone);  // (what a script's state shows checks it is found by neither)
    context().save();
    relaunch();
    const auto known = context().objectWithID(goneElsewhereID);  // registered here, unread
    ASSERT_TRUE(known->isFault());
    auto other = openContainer();
    other->viewContext().deleteObject(*other->viewContext().existingObjectWithURI(elsewhereURI));
    other->viewContext().save();
    auto mine = newList(context(), "Mine");
    auto theirs = newList(other->viewContext(), "Theirs");
    EXPECT_EQ(other->viewContext().existingObjectWithURI(mine->uriRepresentation()), nullptr);

    jw::test::TempDir elsewhere;
    PersistentContainer foreign("Jotwell", model, elsewhere.path());
    foreign.loadPersistentStores([](const StoreError* error) { ASSERT_EQ(error, nullptr); });
    auto foreignList = foreign.viewContext().insertNewObject("List");
    foreign.viewContext().save();
    ASSERT_EQ(foreignList->uriRepresentation().substr(uri.find("/List")),
              uri.substr(uri.find("/List")));
    EXPECT_EQ(foreign.viewContext().existingObjectWithURI(uri), nullptr);

    // A global identifier's text form (a version 4 UUID, read in either case) names its object
    // too.
    const std::string gid = listGID.toString();
    EXPECT_TRUE(gid.size() == 36 && gid[14] == '4') << gid;
    std::string upper = gid;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return std::toupper(c); });
    const std::string prefix = "jotwell-store://" + store;
    const std::pair<std::string, const char*> cases[] = {
        {uri, "Groceries"},
        {mine->uriRepresentation(), "Mine"},
        {goneURI, ""},
        {elsewhereURI, ""},
        {theirs->uriRepresentation(), ""},
        {foreignList->uriRepresentation(), ""},
        {"", ""},
        {"jotwell-store://", ""},
        {"jotwell-store:/" + store + "/List/p1", ""},
        {"other-store://" + store + "/List/p1", ""},
        {prefix, ""},
        {prefix + "/List", ""},
        {prefix + "/List/", ""},
        {prefix + "/List/p", ""},
        {prefix + "/List/1", ""},
        {prefix + "/List/q1", ""},
        {prefix + "/List/p0", ""},
        {prefix + "/List/p-1", ""},
        {prefix + "/List/p1x", ""},
        {prefix + "/List/p1/", ""},
        {prefix + "/List/p99999999999999999999999999", ""},
        {prefix + "/Note/p1", ""},
        {prefix + "/list/p1", ""},
        {prefix + "/Item/p1", ""},  // right store, wrong entity for that key
        {prefix + "/List/p9", ""},  // no such row
        {prefix + "/List/t1", ""},  // no such unsaved object
        {"jotwell-store://" + store.substr(1) + "/List/p1", ""},
        {gid, "Groceries"},
        {upper, "Groceries"},
        {elsewhereGID.toString(), ""},
        {theirs->globalID().toString(), ""},
        {GlobalID::generate().toString(), ""},
        {gid.substr(1), ""},
        {gid + "0", ""},
        {"zzzzzzzz-zzzz-4zzz-8zzz-zzzzzzzzzzzz", ""},
        {gid.substr(0, 8) + gid.substr(9, 1) + "-" + gid.substr(10), ""},  // a dash moved
        {gid.substr(0, 35) + "g", ""},
        // The short form (22 characters of base64url) names it too, and only in full.
        {listGID.toShortString(), "Groceries"},
        {elsewhereGID.toShortString(), ""},
        {listGID.toShortString().substr(1), ""},
        {listGID.toShortString() + "A", ""},
        {listGID.toShortString().substr(0, 21) + "=", ""},
        {std::string(21, '_') + "B", ""},  // low bits set past the sixteenth byte
    };
    for (const auto& [address, expected] : cases) {
        auto found = context().existingObjectWithURI(address);
        if (const auto id = GlobalID::fromString(address)) {
            found = context().existingObjectWithGlobalID(model->requireEntity("List"), *id);
        }
        if (const auto id = GlobalID::fromShortString(address)) {
            EXPECT_EQ(id->toShortString(), address);
            found = context().existingObjectWithGlobalID(model->requireEntity("List"), *id);
        }
        EXPECT_EQ(found ? *stringOf(found->value("name")) : "", expected) << address;
    }
    EXPECT_EQ(context().existingObjectWithGlobalID(model->requireEntity("Item"), listGID), nullptr);
}

// The canonical text form is read and written here, not by libuuid: both ways agree with it,
// for any sixteen bytes.
TEST(GlobalIDText, AgreesWithLibuuid) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        GlobalID id;
        for (auto& byte : id.bytes) {
            byte = static_cast<unsigned char>(random());
        }
        char lower[37];
        char upper[37];
        uuid_unparse_lower(id.bytes.data(), lower);
        uuid_unparse_upper(id.bytes.data(), upper);
        EXPECT_EQ(id.toString(), lower);
        EXPECT_EQ(GlobalID::fromString(upper), id) << upper;
        EXPECT_EQ(GlobalID::fromString(lower), id) << lower;
    }
}

}  // namespace
}  // namespace jw::store::test
