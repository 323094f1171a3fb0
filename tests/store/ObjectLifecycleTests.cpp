// An object's life in a context: insertion with defaults, temporary and permanent keys, one
// object per row, reading rows on demand, delete rules, and saving all or nothing.

#include <fmt/format.h>

#include <set>
#include <stdexcept>

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

class ObjectLifecycle : public StoreTest {};

TEST_F(ObjectLifecycle, AnUnknownEntityOrAttributeIsAProgrammingError) {
    EXPECT_THROW(context().insertNewObject("Note"), std::logic_error);
    auto item = context().insertNewObject("Item");
    EXPECT_THROW(item->value("title"), std::logic_error);
    EXPECT_THROW(item->setValue("title", text("x")), std::logic_error);
    EXPECT_THROW(item->setToOne(listItems, nullptr), std::logic_error) << "a to-many relationship";
}

// (What an unsaved object holds before a save is read back by the value tests.)
TEST_F(ObjectLifecycle, SavingGivesPermanentKeysForTemporaryOnesAndKeepsTheObjects) {
    auto list = newList("Groceries");
    auto item = newItem(list.get(), "Milk");
    const GlobalID itemGID = item->globalID();
    EXPECT_TRUE(item->isInserted());
    EXPECT_TRUE(item->objectID().isTemporary());
    EXPECT_LT(item->objectID().key, 0);
    EXPECT_NE(item->objectID(), list->objectID());
    EXPECT_NE(itemGID, list->globalID());
    EXPECT_TRUE(context().hasChanges());
    context().save();

    EXPECT_FALSE(context().hasChanges());
    EXPECT_FALSE(item->isInserted());
    EXPECT_FALSE(item->objectID().isTemporary());
    EXPECT_GT(item->objectID().key, 0);
    EXPECT_GT(list->objectID().key, 0);
    EXPECT_EQ(item->globalID(), itemGID);
    EXPECT_EQ(item->toOne(forList), list.get());

    auto fetched = context().executeFetchRequest(FetchRequest::forEntity("Item"));
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_EQ(fetched[0], item) << "the saved object stays the context's object for its row";

    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer(fmt::format("SELECT \"forList\" FROM \"Item\" WHERE \"_key\" = {}",
                                      item->objectID().key)),
              list->objectID().key);
}

TEST_F(ObjectLifecycle, KeysAreNeverReused) {
    auto first = newList("First");
    context().save();
    const auto firstKey = first->objectID().key;
    context().deleteObject(*first);
    context().save();

    auto second = newList("Second");
    context().save();
    EXPECT_GT(second->objectID().key, firstKey);
}

TEST_F(ObjectLifecycle, HasChangesFollowsEditsAndSaves) {
    auto list = newList("Groceries");
    context().save();
    EXPECT_FALSE(context().hasChanges());

    list->setValue("name", text("Groceries"));
    EXPECT_FALSE(context().hasChanges()) << "setting the same value changes nothing";
    EXPECT_FALSE(list->isUpdated());

    list->setValue("name", text("Shopping"));
    EXPECT_TRUE(context().hasChanges());
    EXPECT_TRUE(list->isUpdated());
    context().save();
    EXPECT_FALSE(context().hasChanges());
    EXPECT_FALSE(list->isUpdated());

    context().deleteObject(*list);
    EXPECT_TRUE(context().hasChanges());
    EXPECT_TRUE(list->isDeleted());
    context().save();
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(list->managedObjectContext(), nullptr) << "a saved deletion detaches the object";
}

TEST_F(ObjectLifecycle, AnObjectIsUniqueInItsContextHoweverItIsReached) {
    auto list = newList("Groceries");
    newItem(list.get(), "Milk", 1);
    newItem(list.get(), "Bread", 2);
    context().save();
    relaunch();

    auto lists = context().executeFetchRequest(FetchRequest::forEntity("List"));
    ASSERT_EQ(lists.size(), 1u);
    ManagedObject* fetchedList = lists[0].get();
    auto items = context().executeFetchRequest(FetchRequest::forEntity("Item")
                                                   .whereRelated("forList", fetchedList)
                                                   .sortedBy("sortNumber", true));
    ASSERT_EQ(items.size(), 2u);
    for (const auto& item : items) {
        EXPECT_EQ(item->toOne(forList), fetchedList);
    }
    std::set<ManagedObject*> members(fetchedList->toMany(listItems).begin(),
                                     fetchedList->toMany(listItems).end());
    EXPECT_EQ(members, (std::set<ManagedObject*>{items[0].get(), items[1].get()}));

    EXPECT_EQ(context().objectWithID(fetchedList->objectID()).get(), fetchedList);
    EXPECT_EQ(context().existingObjectWithURI(items[1]->uriRepresentation()), items[1]);
    EXPECT_EQ(context().existingObjectWithGlobalID(items[0]->entity(), items[0]->globalID()),
              items[0]);
    auto again =
        context().executeFetchRequest(FetchRequest::forEntity("Item").where("body", text("Milk")));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0], items[0]);
}

TEST_F(ObjectLifecycle, ObjectWithIDGivesAnObjectThatReadsItsRowWhenUsed) {
    auto list = newList("Groceries", 7);
    context().save();
    const auto key = list->objectID().key;
    relaunch();

    const auto& listEntity = model->requireEntity("List");
    auto fault = context().objectWithID(ObjectID{&listEntity, key});
    ASSERT_NE(fault, nullptr);
    EXPECT_TRUE(fault->isFault());
    EXPECT_EQ(fault->value("name"), text("Groceries"));
    EXPECT_FALSE(fault->isFault());
    EXPECT_EQ(fault->value("sortNumber"), integer(7));
    EXPECT_EQ(context().objectWithID(ObjectID{&listEntity, key}), fault);

    EXPECT_EQ(context().objectWithID(ObjectID{&listEntity, -42}), nullptr)
        << "an unknown temporary key names nothing";
    EXPECT_EQ(context().objectWithID(ObjectID{nullptr, key}), nullptr);
}

TEST_F(ObjectLifecycle, RowsAreReadOnDemand) {
    std::vector<std::shared_ptr<ManagedObject>> lists;
    for (int l = 0; l < 3; ++l) {
        lists.push_back(newList(fmt::format("List {}", l), l));
        for (int i = 0; i < 20; ++i) {
            newItem(lists.back().get(), fmt::format("Item {}.{}", l, i), i);
        }
    }
    context().save();
    relaunch();
    EXPECT_EQ(context().registeredObjectCount(), 0u);

    auto fetched =
        context().executeFetchRequest(FetchRequest::forEntity("List").sortedBy("sortNumber", true));
    ASSERT_EQ(fetched.size(), 3u);
    EXPECT_EQ(context().registeredObjectCount(), 3u);

    auto firstItems = context().executeFetchRequest(
        FetchRequest::forEntity("Item").whereRelated("forList", fetched[0].get()));
    EXPECT_EQ(firstItems.size(), 20u);
    EXPECT_EQ(context().registeredObjectCount(), 23u)
        << "fetching one list's items registers no other list's items";

    EXPECT_EQ(fetched[1]->toManyCount(listItems), 20u);
    EXPECT_EQ(context().registeredObjectCount(), 23u) << "counting members reads none of them";

    EXPECT_EQ(fetched[1]->toMany(listItems).size(), 20u);
    EXPECT_EQ(context().registeredObjectCount(), 43u);
}

TEST_F(ObjectLifecycle, DeletingAListDeletesItsItemsAndNothingElse) {
    auto doomed = newList("Doomed");
    auto kept = newList("Kept");
    auto a = newItem(doomed.get(), "a");
    auto b = newItem(doomed.get(), "b");
    auto c = newItem(kept.get(), "c");
    context().save();
    auto unsaved = newItem(doomed.get(), "unsaved");

    context().deleteObject(*doomed);
    EXPECT_TRUE(doomed->isDeleted());
    EXPECT_TRUE(a->isDeleted());
    EXPECT_TRUE(b->isDeleted());
    EXPECT_TRUE(unsaved->isDeleted());
    EXPECT_FALSE(c->isDeleted());
    EXPECT_EQ(kept->toManyCount(listItems), 1u);
    EXPECT_EQ(strings(context().executeFetchRequest(FetchRequest::forEntity("Item")), "body"),
              std::vector<std::string>{"c"});

    context().save();
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"Item\""), 1);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"List\""), 1);

    relaunch();
    EXPECT_EQ(strings(context().executeFetchRequest(FetchRequest::forEntity("Item")), "body"),
              std::vector<std::string>{"c"});
}

TEST_F(ObjectLifecycle, DeletingAFolderKeepsItsListsOutsideAnyFolder) {
    auto folderObject = context().insertNewObject("Folder");
    folderObject->setValue("name", text("Home"));
    auto kitchen = newList("Kitchen");
    auto garden = newList("Garden");
    kitchen->setToOne(inFolder, folderObject.get());
    garden->setToOne(inFolder, folderObject.get());
    newItem(kitchen.get(), "Knives");
    context().save();
    relaunch();

    auto home = fetchOne(context(), "Folder", "name", text("Home"));
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(home->toManyCount(folderLists), 2u);
    context().deleteObject(*home);
    auto lists =
        context().executeFetchRequest(FetchRequest::forEntity("List").sortedBy("name", true));
    ASSERT_EQ(lists.size(), 2u);
    for (const auto& list : lists) {
        EXPECT_FALSE(list->isDeleted());
        EXPECT_EQ(list->toOne(inFolder), nullptr);
        EXPECT_TRUE(list->isUpdated());
    }
    context().save();
    relaunch();

    EXPECT_TRUE(context().executeFetchRequest(FetchRequest::forEntity("Folder")).empty());
    auto outside = context().executeFetchRequest(
        FetchRequest::forEntity("List").whereRelated("inFolder", nullptr).sortedBy("name", true));
    EXPECT_EQ(strings(outside, "name"), (std::vector<std::string>{"Garden", "Kitchen"}));
    EXPECT_EQ(outside[1]->toManyCount(listItems), 1u);
}

TEST_F(ObjectLifecycle, AnObjectInsertedAndDeletedBeforeSavingLeavesNoTrace) {
    auto list = newList("Groceries");
    context().save();
    auto item = newItem(list.get(), "Milk");
    const std::string uri = item->uriRepresentation();
    EXPECT_EQ(context().existingObjectWithURI(uri), item);
    EXPECT_EQ(list->toManyCount(listItems), 1u);
    context().deleteObject(*item);
    EXPECT_TRUE(item->isDeleted());
    EXPECT_EQ(list->toManyCount(listItems), 0u);
    EXPECT_TRUE(list->toMany(listItems).empty());
    EXPECT_EQ(item->managedObjectContext(), nullptr) << "never saved, it leaves the context";
    EXPECT_EQ(context().existingObjectWithURI(uri), nullptr);
    EXPECT_EQ(context().existingObjectWithGlobalID(item->entity(), item->globalID()), nullptr);
    context().save();
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"Item\""), 0);
}

TEST_F(ObjectLifecycle, DeletingTwiceOrAnotherContextsObjectDoesNothing) {
    auto list = newList("Groceries");
    context().save();
    auto other = openContainer();
    auto foreign = other->viewContext().existingObjectWithURI(list->uriRepresentation());
    ASSERT_NE(foreign, nullptr);
    ASSERT_NE(foreign, list);

    context().deleteObject(*foreign);
    EXPECT_FALSE(foreign->isDeleted());
    EXPECT_FALSE(context().hasChanges());
    EXPECT_FALSE(other->viewContext().hasChanges());

    context().deleteObject(*list);
    context().deleteObject(*list);
    context().save();
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"List\""), 0);
}

TEST_F(ObjectLifecycle, ADeletedObjectIgnoresEdits) {
    auto list = newList("Groceries");
    auto item = newItem(list.get(), "Milk");
    context().save();
    context().deleteObject(*item);
    item->setValue("body", text("Bread"));
    item->setToOne(forList, list.get());
    EXPECT_EQ(item->value("body"), text("Milk"));
    EXPECT_EQ(item->toOne(forList), nullptr);
    EXPECT_EQ(list->toManyCount(listItems), 0u);
    EXPECT_TRUE(list->toMany(listItems).empty());
}

TEST_F(ObjectLifecycle, SaveObserversHearThePermanentIDsOfWhatWasSaved) {
    auto kept = newList("Kept");
    auto doomed = newList("Doomed");
    context().save();

    std::vector<ContextDidSaveNotification> notes;
    auto token = context().addSaveObserver(
        [&](const ContextDidSaveNotification& note) { notes.push_back(note); });
    auto added = newItem(kept.get(), "Milk");
    kept->setValue("name", text("Renamed"));
    const ObjectID doomedID = doomed->objectID();
    context().deleteObject(*doomed);
    context().save();

    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].inserted, std::vector<ObjectID>{added->objectID()});
    EXPECT_GT(notes[0].inserted[0].key, 0);
    EXPECT_EQ(notes[0].updated, std::vector<ObjectID>{kept->objectID()});
    EXPECT_EQ(notes[0].deleted, std::vector<ObjectID>{doomedID});

    context().save();
    EXPECT_EQ(notes.size(), 1u) << "a save with nothing to write tells nobody";
    token.reset();
    kept->setValue("name", text("Again"));
    context().save();
    EXPECT_EQ(notes.size(), 1u) << "a dropped token stops the notifications";
}

TEST_F(ObjectLifecycle, ObjectsKeptBeyondTheirContextStayReadableButDetached) {
    auto list = newList("Home");
    auto item = newItem(list.get(), "Milk");
    context().save();
    relaunch();
    auto kept = fetchOne(context(), "Item", "body", text("Milk"));
    ASSERT_NE(kept, nullptr);
    ManagedObject* keptList = kept->toOne(forList);
    ASSERT_NE(keptList, nullptr);
    std::shared_ptr<ManagedObject> keptListRef = keptList->shared();

    container.reset();
    EXPECT_EQ(kept->managedObjectContext(), nullptr);
    EXPECT_EQ(kept->value("body"), text("Milk"));
    kept->setValue("body", text("Changed after the end"));  // goes nowhere, breaks nothing
    kept->setToOne(forList, nullptr);
    EXPECT_EQ(keptListRef->managedObjectContext(), nullptr);

    relaunch();
    EXPECT_EQ(strings(context().executeFetchRequest(FetchRequest::forEntity("Item")), "body"),
              std::vector<std::string>{"Milk"});
}

// ---------------------------------------------------------------------------------------------
// Failing saves: a trigger added behind the store's back refuses writes to one table.

class FailingSave : public ObjectLifecycle {
  protected:
    void refuse(const std::string& what, const std::string& table) {
        RawDatabase raw(storeFile());
        raw.execute(fmt::format(
            "CREATE TRIGGER \"refuse_{0}_{1}\" BEFORE {0} ON \"{1}\" BEGIN SELECT RAISE(ABORT, "
            "'refused'); END",
            what, table));
    }
    void allow(const std::string& what, const std::string& table) {
        RawDatabase raw(storeFile());
        raw.execute(fmt::format("DROP TRIGGER \"refuse_{}_{}\"", what, table));
    }
};

TEST_F(FailingSave, NothingIsWrittenAndTheChangesStayForARetry) {
    auto kept = newList("Kept", 1);
    auto doomed = newList("Doomed", 2);
    auto old = newItem(doomed.get(), "old");
    context().save();

    std::vector<ContextDidSaveNotification> notes;
    auto token = context().addSaveObserver(
        [&](const ContextDidSaveNotification& note) { notes.push_back(note); });

    auto fresh = newList("Fresh", 3);
    auto milk = newItem(fresh.get(), "Milk");
    auto bread = newItem(kept.get(), "Bread");
    kept->setValue("name", text("Kept and renamed"));
    context().deleteObject(*doomed);

    refuse("INSERT", "Item");
    EXPECT_THROW(context().save(), StoreError);

    // The store is as it was before the save...
    {
        RawDatabase raw(storeFile());
        EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"List\""), 2);
        EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"Item\""), 1);
        EXPECT_EQ(raw.text("SELECT \"name\" FROM \"List\" WHERE \"sortNumber\" = 1"), "Kept");
    }
    EXPECT_TRUE(notes.empty());
    // ...and the context still holds every unsaved change.
    EXPECT_TRUE(context().hasChanges());
    EXPECT_TRUE(fresh->isInserted());
    EXPECT_TRUE(fresh->objectID().isTemporary());
    EXPECT_TRUE(milk->objectID().isTemporary());
    EXPECT_TRUE(kept->isUpdated());
    EXPECT_TRUE(doomed->isDeleted());
    EXPECT_TRUE(old->isDeleted());
    EXPECT_EQ(kept->toManyCount(listItems), 1u);
    EXPECT_EQ(fresh->toManyCount(listItems), 1u);
    EXPECT_EQ(strings(context().executeFetchRequest(
                          FetchRequest::forEntity("List").sortedBy("sortNumber", true)),
                      "name"),
              (std::vector<std::string>{"Kept and renamed", "Fresh"}));

    allow("INSERT", "Item");
    context().save();
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(notes.size(), 1u);
    EXPECT_GT(milk->objectID().key, 0);

    relaunch();
    auto lists =
        context().executeFetchRequest(FetchRequest::forEntity("List").sortedBy("sortNumber", true));
    EXPECT_EQ(strings(lists, "name"), (std::vector<std::string>{"Kept and renamed", "Fresh"}));
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0]->toManyCount(listItems), 1u);
    EXPECT_EQ(lists[1]->toManyCount(listItems), 1u);
    EXPECT_EQ(strings(lists[0]->toMany(listItems), "body"), std::vector<std::string>{"Bread"});
    EXPECT_EQ(strings(lists[1]->toMany(listItems), "body"), std::vector<std::string>{"Milk"});
    EXPECT_EQ(context().executeFetchRequest(FetchRequest::forEntity("Item")).size(), 2u);
}

TEST_F(FailingSave, AFailedUpdateKeepsTheEditsAndTheRetryWritesThem) {
    auto list = newList("Groceries");
    auto item = newItem(list.get(), "Milk");
    auto other = newList("Other");
    context().save();

    item->setValue("body", text("Oat milk"));
    item->setToOne(forList, other.get());
    refuse("UPDATE", "Item");
    EXPECT_THROW(context().save(), StoreError);
    EXPECT_TRUE(item->isUpdated());
    EXPECT_EQ(item->value("body"), text("Oat milk"));
    EXPECT_EQ(list->toManyCount(listItems), 0u);
    EXPECT_EQ(other->toManyCount(listItems), 1u);
    EXPECT_THROW(context().save(), StoreError) << "still refused, still kept";
    EXPECT_TRUE(context().hasChanges());

    allow("UPDATE", "Item");
    context().save();
    relaunch();
    auto milk = fetchOne(context(), "Item", "body", text("Oat milk"));
    ASSERT_NE(milk, nullptr);
    EXPECT_EQ(milk->toOne(forList)->value("name"), text("Other"));
    EXPECT_EQ(fetchOne(context(), "List", "name", text("Groceries"))->toManyCount(listItems), 0u);
    EXPECT_EQ(fetchOne(context(), "List", "name", text("Other"))->toManyCount(listItems), 1u);
}

// ---------------------------------------------------------------------------------------------
// Addresses: URIs and global identifiers

TEST_F(ObjectLifecycle, AnObjectsURIIsStableAcrossLaunches) {
    auto list = newList("Groceries");
    const std::string temporary = list->uriRepresentation();
    EXPECT_EQ(temporary.rfind("jotwell-store://" + context().storeIdentifier() + "/List/t", 0), 0u)
        << temporary;
    EXPECT_EQ(context().existingObjectWithURI(temporary), list);

    context().save();
    const std::string permanent = list->uriRepresentation();
    EXPECT_EQ(permanent, fmt::format("jotwell-store://{}/List/p{}", context().storeIdentifier(),
                                     list->objectID().key));
    EXPECT_EQ(context().existingObjectWithURI(permanent), list);
    const GlobalID gid = list->globalID();

    relaunch();
    auto found = context().existingObjectWithURI(permanent);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->globalID(), gid);
    EXPECT_EQ(found->value("name"), text("Groceries"));
    EXPECT_EQ(found->uriRepresentation(), permanent);
}

// A deleted object's address names nothing, saved or not, also after a relaunch and when the
// row was deleted by another connection while this context had it registered; an unsaved
// object's address names nothing in another context.
TEST_F(ObjectLifecycle, URIsOfDeletedOrOtherContextsUnsavedObjectsNameNothing) {
    auto list = newList("Groceries");
    auto gone = newList("Gone");
    auto goneElsewhere = newList("Gone elsewhere");
    context().save();
    const std::string listURI = list->uriRepresentation();
    const std::string goneURI = gone->uriRepresentation();
    const std::string elsewhereURI = goneElsewhere->uriRepresentation();
    const auto elsewhereKey = goneElsewhere->objectID().key;
    context().deleteObject(*gone);
    EXPECT_EQ(context().existingObjectWithURI(goneURI), nullptr) << "deleted, not yet saved";
    context().save();
    EXPECT_EQ(context().existingObjectWithURI(goneURI), nullptr);
    relaunch();
    EXPECT_EQ(context().existingObjectWithURI(goneURI), nullptr);
    EXPECT_NE(context().existingObjectWithURI(listURI), nullptr);

    auto known = context().objectWithID(ObjectID{&model->requireEntity("List"), elsewhereKey});
    ASSERT_TRUE(known->isFault());
    auto other = openContainer();
    auto there = other->viewContext().existingObjectWithURI(elsewhereURI);
    ASSERT_NE(there, nullptr);
    other->viewContext().deleteObject(*there);
    other->viewContext().save();
    EXPECT_EQ(context().existingObjectWithURI(elsewhereURI), nullptr);

    auto mine = newList("Mine");
    auto theirs = newList(other->viewContext(), "Theirs");
    EXPECT_NE(mine->uriRepresentation(), theirs->uriRepresentation());
    EXPECT_EQ(other->viewContext().existingObjectWithURI(mine->uriRepresentation()), nullptr);
    EXPECT_EQ(context().existingObjectWithURI(theirs->uriRepresentation()), nullptr);
    EXPECT_EQ(context().existingObjectWithURI(mine->uriRepresentation()), mine);
}

TEST_F(ObjectLifecycle, ForeignAndMalformedURIsNameNothing) {
    auto list = newList("Groceries");
    context().save();
    const auto key = list->objectID().key;
    const std::string store = context().storeIdentifier();

    jw::test::TempDir elsewhere;
    PersistentContainer foreign("Jotwell", model, elsewhere.path());
    foreign.loadPersistentStores([](const StoreError* error) { ASSERT_EQ(error, nullptr); });
    auto foreignList = foreign.viewContext().insertNewObject("List");
    foreign.viewContext().save();
    ASSERT_EQ(foreignList->objectID().key, key) << "both stores number their rows alike";
    EXPECT_EQ(context().existingObjectWithURI(foreignList->uriRepresentation()), nullptr);
    EXPECT_EQ(foreign.viewContext().existingObjectWithURI(list->uriRepresentation()), nullptr);

    const std::string malformed[] = {
        "",
        "jotwell-store://",
        "jotwell-store:/" + store + "/List/p1",
        "other-store://" + store + "/List/p1",
        "jotwell-store://" + store,
        "jotwell-store://" + store + "/List",
        "jotwell-store://" + store + "/List/",
        "jotwell-store://" + store + "/List/p",
        "jotwell-store://" + store + "/List/1",
        "jotwell-store://" + store + "/List/q1",
        "jotwell-store://" + store + "/List/p0",
        "jotwell-store://" + store + "/List/p-1",
        "jotwell-store://" + store + "/List/p1x",
        "jotwell-store://" + store + "/List/p1/",
        "jotwell-store://" + store + "/List/p99999999999999999999999999",
        "jotwell-store://" + store + "/Note/p1",
        "jotwell-store://" + store + "/list/p1",
        "jotwell-store://" + store + "/Item/p1",  // right store, wrong entity for that key
        "jotwell-store://" + store + "/List/p2",  // no such row
        "jotwell-store://" + store + "/List/t1",  // no such unsaved object
        "jotwell-store://" + store.substr(1) + "/List/p1",
    };
    for (const auto& uri : malformed) {
        EXPECT_EQ(context().existingObjectWithURI(uri), nullptr) << uri;
    }
    EXPECT_EQ(
        context().existingObjectWithURI(fmt::format("jotwell-store://{}/List/p{}", store, key)),
        list);
}

TEST_F(ObjectLifecycle, GlobalIDsFindSavedAndUnsavedObjects) {
    const auto& listEntity = model->requireEntity("List");
    auto saved = newList("Saved");
    auto deleted = newList("Deleted");
    context().save();
    const GlobalID savedGID = saved->globalID();
    const GlobalID deletedGID = deleted->globalID();
    context().deleteObject(*deleted);
    auto unsaved = newList("Unsaved");

    EXPECT_EQ(context().existingObjectWithGlobalID(listEntity, unsaved->globalID()), unsaved);
    EXPECT_EQ(context().existingObjectWithGlobalID(listEntity, savedGID), saved);
    EXPECT_EQ(context().existingObjectWithGlobalID(listEntity, deletedGID), nullptr);
    EXPECT_EQ(context().existingObjectWithGlobalID(listEntity, GlobalID::generate()), nullptr);
    EXPECT_EQ(context().existingObjectWithGlobalID(model->requireEntity("Item"), savedGID),
              nullptr);
    context().save();

    relaunch();
    EXPECT_EQ(context().registeredObjectCount(), 0u);
    auto found = context().existingObjectWithGlobalID(listEntity, savedGID);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->value("name"), text("Saved"));
    EXPECT_EQ(context().existingObjectWithGlobalID(listEntity, deletedGID), nullptr);
}

TEST(GlobalIdentifiers, HaveACanonicalTextForm) {
    const GlobalID id = GlobalID::generate();
    const std::string textForm = id.toString();
    EXPECT_EQ(textForm.size(), 36u);
    EXPECT_EQ(textForm[14], '4') << "a version 4 UUID: " << textForm;
    EXPECT_EQ(GlobalID::fromString(textForm), id);
    std::string upper = textForm;
    for (auto& c : upper) {
        c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(GlobalID::fromString(upper), id);
    EXPECT_EQ(GlobalID::fromString(textForm.substr(1)), std::nullopt);
    EXPECT_EQ(GlobalID::fromString(textForm + "0"), std::nullopt);
    EXPECT_EQ(GlobalID::fromString("zzzzzzzz-zzzz-4zzz-8zzz-zzzzzzzzzzzz"), std::nullopt);
    EXPECT_EQ(GlobalID::fromString(""), std::nullopt);
    EXPECT_NE(GlobalID::generate(), id);
}

}  // namespace
}  // namespace jw::store::test
