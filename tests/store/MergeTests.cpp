// Merging what another connection to the same store file saved: its inserts, updates and
// deletes arrive in this context (and its controllers) as ordinary changes, this context's
// own unsaved edits survive, and member counts stay right.

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "platform/store/FetchedResultsController.h"
#include "platform/store/StoreConnection.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/store/TableMirror.h"

namespace jw::store::test {
namespace {

// "Here" is the fixture's main context; "there" is a second container on the same file, as
// the sync engine's connection would be.
class Merging : public StoreTest {
  protected:
    Merging() : there(openContainer()) {
        saveToken = there->viewContext().addSaveObserver(
            [this](const ContextDidSaveNotification& note) { notes.push_back(note); });
        observeHere();
    }

    void observeHere() {
        changeToken = context().addChangeObserver(
            [this](const ObjectsDidChange& change) { reports.push_back(change); });
    }
    // A relaunch here (there stays open); the new context is observed too.
    void relaunch() {
        StoreTest::relaunch();
        observeHere();
    }

    ManagedObjectContext& elsewhere() { return there->viewContext(); }

    // Saves there, then merges every notification here.
    void saveThereAndMerge(bool somethingToSave = true) {
        elsewhere().save();
        if (somethingToSave) {
            ASSERT_FALSE(notes.empty());
        }
        reports.clear();
        for (const auto& note : notes) {
            context().mergeChangesFromContextDidSaveNotification(note);
        }
        notes.clear();
    }

    std::shared_ptr<ManagedObject> overThere(const std::string& entity, const std::string& key,
                                             const Value& value) {
        return fetchOne(elsewhere(), entity, key, value);
    }
    std::shared_ptr<ManagedObject> here(const std::string& entity, const std::string& key,
                                        const Value& value) {
        return fetchOne(context(), entity, key, value);
    }

    // Home with h0..h2 (sort numbers 0, 10, 20) and Work with w0..w1 (5, 15), saved here.
    void makeLists() {
        auto home = newList("Home", 0);
        auto work = newList("Work", 1);
        for (int i = 0; i < 3; ++i) {
            newItem(home.get(), fmt::format("h{}", i), i * 10);
        }
        for (int i = 0; i < 2; ++i) {
            newItem(work.get(), fmt::format("w{}", i), i * 10 + 5);
        }
        context().save();
    }
    // Every list and item as this context sees it, by global identifier: what two contexts
    // on the same saved store must agree on.
    std::map<std::string, std::string> canonicalRows(ManagedObjectContext& c) {
        std::map<std::string, std::string> rows;
        for (const auto& list : c.executeFetchRequest(FetchRequest::forEntity("List"))) {
            rows[list->globalID().toString()] = fmt::format(
                "{} with {}", describeValue(list->value("name")), list->toManyCount(listItems));
        }
        for (const auto& item : c.executeFetchRequest(FetchRequest::forEntity("Item"))) {
            const auto* list = item->toOne(forList);
            rows[item->globalID().toString()] = fmt::format(
                "{} {} {} in {}", describeValue(item->value("body")),
                describeValue(item->value("note")), describeValue(item->value("sortNumber")),
                list ? list->globalID().toString() : "none");
        }
        return rows;
    }
    // Saves here, merges the saves' notifications elsewhere, and expects here, elsewhere and
    // a fresh reader of the file to agree on every row.
    void saveHereAndCompare(std::vector<ContextDidSaveNotification>& notesHere) {
        context().save();
        for (const auto& note : notesHere) {
            elsewhere().mergeChangesFromContextDidSaveNotification(note);
        }
        notesHere.clear();
        const auto mine = canonicalRows(context());
        EXPECT_EQ(mine, canonicalRows(elsewhere()));
        auto reader = openContainer();
        EXPECT_EQ(mine, canonicalRows(reader->viewContext()));
    }
    FetchRequest itemsOf(ManagedObject* list) {
        return FetchRequest::forEntity("Item")
            .whereRelated("forList", list)
            .sortedBy("sortNumber", true);
    }

    std::unique_ptr<PersistentContainer> there;
    std::vector<ContextDidSaveNotification> notes;
    std::vector<ObjectsDidChange> reports;
    ManagedObjectContext::ObserverToken saveToken, changeToken;
};

// Writes down the kinds of change a controller's delegate hears: "insert h-new".
struct CountingDelegate : FetchedResultsControllerDelegate {
    void controllerDidChangeObject(FetchedResultsController&, ManagedObject& object,
                                   const IndexPath*, ChangeType type, const IndexPath*) override {
        const char* kinds[] = {"insert", "delete", "move", "update"};
        heard += std::string(heard.empty() ? "" : " ") + kinds[int(type) - 1] + " " +
                 stringOf(object.value("body")).value_or("?");
    }
    std::string heard;
};

// What a merge did here. `shown`: every list in order with its member count (read before
// its members) and its members ("h0~note*stars"), then whether anything is left to save.
// `reported`: the change report, "+" inserted, "-" deleted, "~" updated with the changed keys;
// this context's own unsaved changes are processed, and reported, with the merge.
// `rows`: what a controller showing Home's items shows, and what it told its delegate.
class MergeCases;
struct MergeCase {
    const char* name;
    bool relaunched;  // this context has not read a list's members before the merge
    std::function<void(MergeCases&)> here, there;
    const char* shown;
    const char* reported;
    const char* rows;
};
void PrintTo(const MergeCase& c, std::ostream* out) {
    *out << c.name;
}

class MergeCases : public Merging, public ::testing::WithParamInterface<MergeCase> {
  public:
    std::shared_ptr<ManagedObject> mine(const char* body) {
        return here("Item", "body", text(body));
    }
    std::shared_ptr<ManagedObject> myList(const char* name) {
        return here("List", "name", text(name));
    }
    std::shared_ptr<ManagedObject> theirs(const std::string& entity, const char* value) {
        return overThere(entity, entity == "Item" ? "body" : "name", text(value));
    }
    ManagedObjectContext& there() { return elsewhere(); }
    ManagedObjectContext& hereContext() { return context(); }
    using Merging::newItem;
    const RelationshipDescription& forListRelationship() { return forList; }

    std::string shown() {
        std::string out;
        for (const auto& list : context().executeFetchRequest(
                 FetchRequest::forEntity("List").sortedBy("sortNumber", true))) {
            out += *stringOf(list->value("name")) + " " +
                   std::to_string(list->toManyCount(listItems)) + ":";
            auto members = list->toMany(listItems);
            std::sort(members.begin(), members.end(), [](auto* l, auto* r) {
                const int bySortNumber =
                    compareValues(l->value("sortNumber"), r->value("sortNumber"));
                return bySortNumber ? bySortNumber < 0
                                    : compareValues(l->value("body"), r->value("body")) < 0;
            });
            for (auto* item : members) {
                out += " " + stringOf(item->value("body")).value_or("?");
                if (auto note = stringOf(item->value("note"))) {
                    out += "~" + *note;
                }
                if (item->value("stars") != integer(0)) {
                    out += "*" + describeValue(item->value("stars"));
                }
            }
            out += " | ";
        }
        return out + (context().hasChanges() ? "unsaved" : "saved");
    }
    std::string reported() {
        const auto label = [](ManagedObject& o) {
            return *stringOf(o.value(o.entity().name == "Item" ? "body" : "name"));
        };
        std::set<std::string> inserted, deleted, updated;  // each in name order
        for (const auto& report : reports) {
            for (const auto& o : report.inserted) {
                inserted.insert("+" + label(*o));
            }
            for (const auto& o : report.deleted) {
                deleted.insert("-" + label(*o));
                EXPECT_TRUE(o->isDeleted());
                EXPECT_EQ(context().existingObjectWithURI(o->uriRepresentation()), nullptr);
            }
            for (const auto& u : report.updated) {
                std::string keys;
                const auto& entity = u.object->entity();
                for (std::size_t key = 0; key < 64; ++key) {
                    if (u.changedKeys.test(key)) {
                        keys += (keys.empty() ? "" : " ") +
                                (key < 32 ? entity.attributes[key].name
                                          : entity.relationships[key - 32].name);
                    }
                }
                updated.insert("~" + label(*u.object) + "{" + keys + "}");
            }
        }
        std::string out;
        for (const auto* part : {&inserted, &deleted, &updated}) {
            for (const auto& entry : *part) {
                out += (out.empty() ? "" : " ") + entry;
            }
        }
        return out;
    }
};

TEST_P(MergeCases, ShowReportAndSaveWhatBothSidesDid) {
    const MergeCase& c = GetParam();
    makeLists();
    if (c.relaunched) {
        relaunch();
    } else {
        shown();  // reads every list's members
    }
    FetchedResultsController controller(itemsOf(here("List", "name", text("Home")).get()),
                                        sharedContext());
    controller.performFetch();
    CountingDelegate delegate;
    controller.setDelegate(&delegate);

    if (c.here) {
        c.here(*this);
    }
    c.there(*this);
    saveThereAndMerge();
    EXPECT_EQ(shown(), c.shown);
    EXPECT_EQ(reported(), c.reported);
    std::string rows;
    for (const auto& body : strings(controller.fetchedObjects(), "body")) {
        rows += body + " ";
    }
    EXPECT_EQ(rows + "(" + delegate.heard + ")", c.rows);

    context().save();
    relaunch();
    const std::string expected = c.shown;
    EXPECT_EQ(shown(), expected.substr(0, expected.rfind('|')) + "| saved") << "as saved";
}

using Step = std::function<void(MergeCases&)>;

const MergeCase kMergeCases[] = {
    {"AnInsertJoinsListAndRows", true, nullptr,
     Step([](MergeCases& m) { m.newItem(m.there(), m.theirs("List", "Home").get(), "h-new", 15); }),
     "Home 4: h0 h1 h-new h2 | Work 2: w0 w1 | saved", "+h-new ~Home{listItems}",
     "h0 h1 h-new h2 (insert h-new)"},
    {"AnInsertJoinsLoadedMembers", false, nullptr,
     Step([](MergeCases& m) { m.newItem(m.there(), m.theirs("List", "Work").get(), "w-new"); }),
     "Home 3: h0 h1 h2 | Work 3: w-new w0 w1 | saved", "+w-new ~Work{listItems}", "h0 h1 h2 ()"},
    {"AnUpdateChangesValuesAndMovesTheRow", false, nullptr, Step([](MergeCases& m) {
         auto h0 = m.theirs("Item", "h0");
         h0->setValue("sortNumber", integer(99));
         h0->setValue("note", text("from elsewhere"));
     }),
     "Home 3: h1 h2 h0~from elsewhere | Work 2: w0 w1 | saved", "~h0{note sortNumber}",
     "h1 h2 h0 (move h0)"},
    {"AMoveMovesBetweenLists", false, nullptr, Step([](MergeCases& m) {
         m.theirs("Item", "h1")->setToOne(m.forListRelationship(), m.theirs("List", "Work").get());
     }),
     "Home 2: h0 h2 | Work 3: w0 h1 w1 | saved", "~Home{listItems} ~Work{listItems} ~h1{forList}",
     "h0 h2 (delete h1)"},
    {"ADeleteRemovesTheObject", true, nullptr,
     Step([](MergeCases& m) { m.there().deleteObject(*m.theirs("Item", "h1")); }),
     "Home 2: h0 h2 | Work 2: w0 w1 | saved", "-h1 ~Home{listItems}", "h0 h2 (delete h1)"},
    {"ADeletedListTakesItsItems", false, nullptr,
     Step([](MergeCases& m) { m.there().deleteObject(*m.theirs("List", "Work")); }),
     "Home 3: h0 h1 h2 | saved", "-Work -w0 -w1", "h0 h1 h2 ()"},
    {"CountsStayRightForMembersNeverRead", true, nullptr, Step([](MergeCases& m) {
         auto work = m.theirs("List", "Work");
         m.theirs("Item", "h0")->setToOne(m.forListRelationship(), work.get());
         m.there().deleteObject(*m.theirs("Item", "h1"));
         m.newItem(m.there(), work.get(), "w-new");
     }),
     "Home 1: h2 | Work 4: h0 w-new w0 w1 | saved",
     "+w-new -h1 ~Home{listItems} ~Work{listItems} ~h0{forList}", "h2 (delete h0 delete h1)"},
    {"UnsavedEditsHereStandAndTheRestMerges", false, Step([](MergeCases& m) {
         auto h0 = m.mine("h0");
         h0->setValue("body", text("mine"));
         h0->setValue("stars", integer(3));
     }),
     Step([](MergeCases& m) {
         auto h0 = m.theirs("Item", "h0");
         h0->setValue("body", text("theirs"));
         h0->setValue("note", text("their note"));
     }),
     "Home 3: mine~their note*3 h1 h2 | Work 2: w0 w1 | unsaved", "~mine{body note stars}",
     "mine h1 h2 (update mine)"},
    {"AnUnsavedMoveHereStands", false, Step([](MergeCases& m) {
         m.mine("h0")->setToOne(m.forListRelationship(), m.myList("Work").get());
     }),
     Step([](MergeCases& m) { m.theirs("Item", "h0")->setValue("note", text("noted")); }),
     "Home 2: h1 h2 | Work 3: h0~noted w0 w1 | unsaved",
     "~Home{listItems} ~Work{listItems} ~h0{note forList}", "h1 h2 (delete h0)"},
    {"AnItemDeletedHereStaysDeleted", false,
     Step([](MergeCases& m) { m.hereContext().deleteObject(*m.mine("h1")); }),
     Step(
         [](MergeCases& m) { m.theirs("Item", "h1")->setValue("note", text("edited elsewhere")); }),
     "Home 2: h0 h2 | Work 2: w0 w1 | unsaved", "-h1 ~Home{listItems}", "h0 h2 (delete h1)"},
};

INSTANTIATE_TEST_SUITE_P(Merging, MergeCases, ::testing::ValuesIn(kMergeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Merging, AnInsertReadHereBeforeTheMergeStillReachesControllers) {
    makeLists();
    auto home = here("List", "name", text("Home"));
    FetchedResultsController controller(itemsOf(home.get()), sharedContext());
    controller.performFetch();
    CountingDelegate delegate;
    controller.setDelegate(&delegate);

    newItem(elsewhere(), overThere("List", "name", text("Home")).get(), "h-new", 15);
    elsewhere().save();
    // The notification is still on its way when something here reads the store.
    EXPECT_EQ(context().executeFetchRequest(itemsOf(home.get())).size(), 4u);
    ASSERT_EQ(notes.size(), 1u);
    context().mergeChangesFromContextDidSaveNotification(notes[0]);

    EXPECT_EQ(strings(controller.fetchedObjects(), "body"),
              (std::vector<std::string>{"h0", "h1", "h-new", "h2"}));
    EXPECT_EQ(delegate.heard, "insert h-new");
}

TEST_F(Merging, AFolderDeletedElsewhereLeavesItsListsOutsideAnyFolderHere) {
    auto folder = context().insertNewObject("Folder");
    folder->setValue("name", text("Folder"));
    auto home = newList("Home");
    home->setToOne(inFolder, folder.get());
    context().save();
    EXPECT_EQ(folder->toMany(folderLists).size(), 1u);

    elsewhere().deleteObject(*overThere("Folder", "name", text("Folder")));
    saveThereAndMerge();
    EXPECT_TRUE(folder->isDeleted());
    EXPECT_EQ(home->toOne(inFolder), nullptr);
    EXPECT_FALSE(home->isDeleted());
    EXPECT_FALSE(context().hasChanges());
}

// Conflicts between an unsaved change here and a save elsewhere touching the same item: the
// change here stands, and every list's count follows what this context will save.
class MergingConflicts : public Merging {
  protected:
    void SetUp() override {
        makeLists();
        newList("Third", 2);
        context().save();
        relaunch();
        home = here("List", "name", text("Home"));
        work = here("List", "name", text("Work"));
        third = here("List", "name", text("Third"));
        h0 = here("Item", "body", text("h0"));
        EXPECT_EQ(home->toManyCount(listItems), 3u);
        EXPECT_EQ(work->toManyCount(listItems), 2u);
        EXPECT_EQ(third->toManyCount(listItems), 0u);
    }

    // Each list's count, first without reading its members, then after reading them.
    void expectCounts(std::size_t homeCount, std::size_t workCount, std::size_t thirdCount) {
        EXPECT_EQ(home->toManyCount(listItems), homeCount);
        EXPECT_EQ(work->toManyCount(listItems), workCount);
        EXPECT_EQ(third->toManyCount(listItems), thirdCount);
        EXPECT_EQ(home->toMany(listItems).size(), homeCount);
        EXPECT_EQ(work->toMany(listItems).size(), workCount);
        EXPECT_EQ(third->toMany(listItems).size(), thirdCount);
    }
    // Saves elsewhere with one more item in every list, so that this context rereads every
    // list's count from the store, and merges.
    void addOneEverywhereSaveAndMerge() {
        for (const char* name : {"Home", "Work", "Third"}) {
            newItem(elsewhere(), overThere("List", "name", text(name)).get(),
                    std::string("extra in ") + name);
        }
        saveThereAndMerge();
    }

    std::shared_ptr<ManagedObject> home, work, third, h0;
};

// h0 (in Home) changed here and elsewhere at once: what happens to it, and each list's count
// ("Home Work Third") before and after the save.
struct ConflictCase {
    const char* name;
    const char* here;   // "delete", or "move <list>"
    const char* there;  // "delete", "delete+add", or "move <list>"
    const char* expected;
};
void PrintTo(const ConflictCase& c, std::ostream* out) {
    *out << c.name;
}

const ConflictCase kConflictCases[] = {
    {"DeletedHereMovedElsewhere", "delete", "move Work", "deleted 3 3 1"},
    {"MovedHereDeletedElsewhere", "move Work", "delete", "deleted 3 3 1"},
    {"DeletedHereAndElsewhere", "delete", "delete+add", "deleted 4 3 1"},
    {"MovedHereAndElsewhere", "move Work", "move Third", "in Work 3 4 1"},
    {"MovedTheSameWayBoth", "move Work", "move Work", "in Work 3 4 1"},
};

class Conflicts : public MergingConflicts, public ::testing::WithParamInterface<ConflictCase> {
  protected:
    std::string counts() {
        std::string text;
        for (auto* list : {&home, &work, &third}) {
            const auto count = (*list)->toManyCount(listItems);
            EXPECT_EQ((*list)->toMany(listItems).size(), count) << "read members and count agree";
            text += " " + std::to_string(count);
        }
        return text;
    }
    std::string fate() {
        auto* list = !h0 || h0->isDeleted() ? nullptr : h0->toOne(forList);
        return list ? "in " + *stringOf(list->value("name")) : "deleted";
    }
};

TEST_P(Conflicts, TheChangeHereStandsAndCountsFollow) {
    const std::string hereOp = GetParam().here;
    const std::string thereOp = GetParam().there;
    if (hereOp == "delete") {
        context().deleteObject(*h0);
    } else {
        h0->setToOne(forList, here("List", "name", text(hereOp.substr(5))).get());
    }
    auto theirs = overThere("Item", "body", text("h0"));
    if (thereOp.starts_with("delete")) {
        elsewhere().deleteObject(*theirs);
    } else {
        theirs->setToOne(forList, overThere("List", "name", text(thereOp.substr(5))).get());
    }
    if (thereOp == "delete+add") {
        newItem(elsewhere(), overThere("List", "name", text("Home")).get(), "h-new");
    }
    addOneEverywhereSaveAndMerge();
    EXPECT_EQ(fate() + counts(), GetParam().expected);
    context().save();
    relaunch();
    home = here("List", "name", text("Home"));
    work = here("List", "name", text("Work"));
    third = here("List", "name", text("Third"));
    const auto found =
        context().executeFetchRequest(FetchRequest::forEntity("Item").where("body", text("h0")));
    h0 = found.empty() ? nullptr : found.front();
    EXPECT_EQ(fate() + counts(), GetParam().expected) << "as saved";
}

INSTANTIATE_TEST_SUITE_P(MergingConflicts, Conflicts, ::testing::ValuesIn(kConflictCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MergingConflicts, AnItemAddedElsewhereToAListDeletedHereGoesWithTheList) {
    auto work0 = here("Item", "body", text("w0"));
    context().deleteObject(*work);
    EXPECT_TRUE(work0->isDeleted());
    newItem(elsewhere(), overThere("List", "name", text("Work")).get(), "late");
    overThere("Item", "body", text("h1"))
        ->setToOne(forList, overThere("List", "name", text("Work")).get());
    saveThereAndMerge();

    // The deletion here cascades to what arrived in the list meanwhile.
    EXPECT_TRUE(
        context()
            .executeFetchRequest(FetchRequest::forEntity("Item").where("body", text("late")))
            .empty());
    EXPECT_TRUE(context()
                    .executeFetchRequest(FetchRequest::forEntity("Item").where("body", text("h1")))
                    .empty());
    context().save();
    for (const auto& item : context().executeFetchRequest(FetchRequest::forEntity("Item"))) {
        if (auto* list = item->toOne(forList)) {
            EXPECT_EQ(list->managedObjectContext(), &context());
            EXPECT_FALSE(list->isDeleted());
        }
    }
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"Item\" WHERE \"forList\" IS NOT NULL AND "
                          "\"forList\" NOT IN (SELECT \"_key\" FROM \"List\")"),
              0)
        << "no item may name a list that is gone";
    expectCounts(2, 0, 0);
}

TEST_F(MergingConflicts, AListDeletedHereWhileADeletionOfItsItemIsOnItsWayTakesTheItemToo) {
    // Read here, then deleted elsewhere; the notification has not been merged yet, so the
    // store no longer lists the item in Work but this context still files it there.
    auto w0 = here("Item", "body", text("w0"));
    elsewhere().deleteObject(*overThere("Item", "body", text("w0")));
    elsewhere().save();
    ASSERT_FALSE(notes.empty());

    context().deleteObject(*work);
    EXPECT_TRUE(w0->isDeleted()) << "the item still filed in the list goes with it";
    context().save();
    work.reset();
    w0.reset();
    for (const auto& note : notes) {
        context().mergeChangesFromContextDidSaveNotification(note);  // must not touch the list
    }
    notes.clear();
    EXPECT_TRUE(context()
                    .executeFetchRequest(FetchRequest::forEntity("Item").where("body", text("w1")))
                    .empty());
    EXPECT_EQ(home->toManyCount(listItems), 3u);
}

TEST_F(Merging, AContextOnItsOwnConnectionMergesLikeAContainer) {
    makeLists();
    auto worker = std::make_shared<ManagedObjectContext>(
        std::make_shared<StoreConnection>(storeFile(), model));
    std::vector<ContextDidSaveNotification> workerNotes;
    auto token = worker->addSaveObserver(
        [&](const ContextDidSaveNotification& note) { workerNotes.push_back(note); });
    auto home = here("List", "name", text("Home"));
    EXPECT_EQ(home->toManyCount(listItems), 3u);

    auto workerHome = fetchOne(*worker, "List", "name", text("Home"));
    for (int i = 0; i < 5; ++i) {
        newItem(*worker, workerHome.get(), fmt::format("bulk{}", i), 100 + i);
    }
    workerHome->setValue("name", text("Home (synced)"));
    worker->save();
    ASSERT_EQ(workerNotes.size(), 1u);
    EXPECT_EQ(workerNotes[0].inserted.size(), 5u);
    context().mergeChangesFromContextDidSaveNotification(workerNotes[0]);

    EXPECT_EQ(home->value("name"), text("Home (synced)"));
    EXPECT_EQ(home->toManyCount(listItems), 8u);
    EXPECT_EQ(context().executeFetchRequest(itemsOf(home.get())).size(), 8u);
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(Merging, AConnectionWithItsOwnCopyOfTheModelMergesToo) {
    makeLists();
    auto home = here("List", "name", text("Home"));
    EXPECT_EQ(home->toManyCount(listItems), 3u);

    auto copy = loadListModel();
    ASSERT_NE(copy.get(), model.get());
    auto worker = std::make_shared<ManagedObjectContext>(
        std::make_shared<StoreConnection>(storeFile(), copy));
    std::vector<ContextDidSaveNotification> workerNotes;
    auto token = worker->addSaveObserver(
        [&](const ContextDidSaveNotification& note) { workerNotes.push_back(note); });
    auto workerHome = fetchOne(*worker, "List", "name", text("Home"));
    auto item = worker->insertNewObject("Item");
    item->setValue("body", text("from the copy"));
    item->setToOne(copy->requireEntity("Item").requireRelationship("forList"), workerHome.get());
    worker->deleteObject(*fetchOne(*worker, "Item", "body", text("h0")));
    workerHome->setValue("sortNumber", integer(7));
    worker->save();
    ASSERT_EQ(workerNotes.size(), 1u);
    context().mergeChangesFromContextDidSaveNotification(workerNotes[0]);

    EXPECT_EQ(home->value("sortNumber"), integer(7));
    EXPECT_EQ(home->toManyCount(listItems), 3u);
    EXPECT_EQ(strings(context().executeFetchRequest(itemsOf(home.get())), "body"),
              (std::vector<std::string>{"from the copy", "h1", "h2"}));
    EXPECT_EQ(&here("Item", "body", text("from the copy"))->entity(),
              &model->requireEntity("Item"));
}

// Both connections change the same lists at random; every save on one side is merged into the
// other. Here, a controller's table stays in step after every merge, counts match the members,
// and whenever both sides are saved they and a fresh reader see the same store.
TEST_F(Merging, TwoConnectionsChangingAtRandomStayInStep) {
    constexpr int kLists = 3;
    for (int l = 0; l < kLists; ++l) {
        auto list = newList(fmt::format("L{}", l), l);
        for (int i = 0; i < 8; ++i) {
            newItem(list.get(), fmt::format("seed {}.{}", l, i), i);
        }
    }
    context().save();
    std::vector<ContextDidSaveNotification> notesHere;
    auto hereToken = context().addSaveObserver(
        [&](const ContextDidSaveNotification& note) { notesHere.push_back(note); });

    auto listsOf = [&](ManagedObjectContext& c) {
        return c.executeFetchRequest(FetchRequest::forEntity("List").sortedBy("sortNumber", true));
    };
    auto listsHere = listsOf(context());
    FetchedResultsController controller(itemsOf(listsHere[0].get()), sharedContext());
    controller.performFetch();
    TableMirror table(controller);
    controller.setDelegate(&table);
    listsHere[1]->toMany(listItems);  // one list's members loaded here, the others counted

    std::mt19937 random(77);
    int created = 0;
    // One random change in a context; `noteOnly` edits only notes (this side's own attribute).
    auto change = [&](ManagedObjectContext& c, bool noteOnly) {
        auto lists = listsOf(c);
        auto items = c.executeFetchRequest(FetchRequest::forEntity("Item"));
        const int action = int(random() % 100);
        if (items.empty() || action < 20) {
            newItem(c, lists[random() % lists.size()].get(), fmt::format("new {}", created++),
                    int(random() % 10));
        } else if (noteOnly || action < 40) {
            items[random() % items.size()]->setValue("note",
                                                     text(fmt::format("n{}", random() % 5)));
        } else if (action < 55) {
            c.deleteObject(*items[random() % items.size()]);
        } else if (action < 75) {
            items[random() % items.size()]->setToOne(forList, lists[random() % lists.size()].get());
        } else {
            items[random() % items.size()]->setValue("sortNumber", integer(int(random() % 10)));
        }
    };

    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(fmt::format("round {}", round));
        const int thereChanges = 1 + int(random() % 4);
        for (int k = 0; k < thereChanges; ++k) {
            change(elsewhere(), false);
        }
        if (random() % 2) {
            change(context(), random() % 2);  // an unsaved change here, merged over
        }
        saveThereAndMerge(/*somethingToSave=*/false);
        context().processPendingChanges();  // the end of the run-loop event
        ASSERT_FALSE(HasFailure());
        EXPECT_EQ(strings(controller.fetchedObjects(), "body"),
                  strings(context().executeFetchRequest(controller.fetchRequest()), "body"));
        for (const auto& list : listsHere) {
            const auto members = context().executeFetchRequest(
                FetchRequest::forEntity("Item").whereRelated("forList", list.get()));
            EXPECT_EQ(list->toManyCount(listItems), members.size())
                << describeValue(list->value("name"));
        }
        EXPECT_EQ(listsHere[1]->toMany(listItems).size(), listsHere[1]->toManyCount(listItems));
        if (round % 5 == 4) {
            saveHereAndCompare(notesHere);
        }
        ASSERT_FALSE(HasFailure());
    }
    EXPECT_GT(table.batches, 10);
}

// Lists come and go elsewhere while items change on both sides; this side merges with unsaved
// changes of its own and saves now and then. Nothing may dangle: counts, members, a table of
// every item and a fresh reader agree throughout.
TEST_F(Merging, ListsComingAndGoingElsewhereLeaveNothingDangling) {
    for (int l = 0; l < 3; ++l) {
        auto list = newList(fmt::format("L{}", l), l);
        for (int i = 0; i < 5; ++i) {
            newItem(list.get(), fmt::format("seed {}.{}", l, i), i);
        }
    }
    context().save();
    std::vector<ContextDidSaveNotification> notesHere;
    auto hereToken = context().addSaveObserver(
        [&](const ContextDidSaveNotification& note) { notesHere.push_back(note); });
    std::unique_ptr<FetchedResultsController> controller;
    std::unique_ptr<TableMirror> table;
    int batches = 0;
    auto showEveryItem = [&] {
        if (table) {
            batches += table->batches;
        }
        controller = std::make_unique<FetchedResultsController>(
            FetchRequest::forEntity("Item").sortedBy("sortNumber", true).sortedBy("body", true),
            sharedContext());
        controller->performFetch();
        table = std::make_unique<TableMirror>(*controller);
        controller->setDelegate(table.get());
    };
    showEveryItem();

    std::mt19937 random(1234);
    int created = 0;
    auto listsOf = [](ManagedObjectContext& c) {
        return c.executeFetchRequest(FetchRequest::forEntity("List").sortedBy("sortNumber", true));
    };
    auto pick = [&](const auto& objects) { return objects[random() % objects.size()]; };
    // Elsewhere: anything, lists included.
    auto changeThere = [&] {
        auto& c = elsewhere();
        auto lists = listsOf(c);
        auto items = c.executeFetchRequest(FetchRequest::forEntity("Item"));
        const int action = int(random() % 100);
        if (lists.size() < 2 || action < 8) {
            newList(c, fmt::format("L{}", created++), int(random() % 10));
        } else if (action < 14) {
            c.deleteObject(*pick(lists));
        } else if (items.empty() || action < 40) {
            newItem(c, pick(lists).get(), fmt::format("there {}", created++), int(random() % 10));
        } else if (action < 55) {
            c.deleteObject(*pick(items));
        } else if (action < 75) {
            pick(items)->setToOne(forList, random() % 5 ? pick(lists).get() : nullptr);
        } else {
            pick(items)->setValue("sortNumber", integer(int(random() % 10)));
        }
    };
    // Here: items only, left unsaved until the next save here.
    auto changeHere = [&] {
        auto& c = context();
        auto lists = listsOf(c);
        auto items = c.executeFetchRequest(FetchRequest::forEntity("Item"));
        const int action = int(random() % 100);
        if (items.empty() || action < 30) {
            newItem(c, lists.empty() ? nullptr : pick(lists).get(),
                    fmt::format("here {}", created++), int(random() % 10));
        } else if (action < 50) {
            c.deleteObject(*pick(items));
        } else if (action < 75 && !lists.empty()) {
            pick(items)->setToOne(forList, pick(lists).get());
        } else {
            pick(items)->setValue("note", text(fmt::format("n{}", random() % 5)));
        }
    };

    for (int round = 0; round < 80; ++round) {
        SCOPED_TRACE(fmt::format("round {}", round));
        for (int k = 1 + int(random() % 3); k > 0; --k) {
            changeThere();
        }
        for (int k = int(random() % 3); k > 0; --k) {
            changeHere();
        }
        saveThereAndMerge(/*somethingToSave=*/false);
        context().processPendingChanges();
        ASSERT_FALSE(HasFailure());

        for (const auto& list : listsOf(context())) {
            const auto members = context().executeFetchRequest(
                FetchRequest::forEntity("Item").whereRelated("forList", list.get()));
            ASSERT_EQ(list->toManyCount(listItems), members.size());
            if (integerOf(list->value("sortNumber")) % 2 != 0) {
                continue;  // these lists' members stay unread (until a relaunch)
            }
            ASSERT_EQ(list->toMany(listItems).size(), members.size());
            for (auto* member : list->toMany(listItems)) {
                ASSERT_FALSE(member->isDeleted());
                ASSERT_EQ(member->toOne(forList), list.get());
            }
        }
        for (const auto& item : context().executeFetchRequest(FetchRequest::forEntity("Item"))) {
            if (auto* list = item->toOne(forList)) {
                ASSERT_FALSE(list->isDeleted()) << "an item of a deleted list";
                ASSERT_EQ(list->managedObjectContext(), &context());
            }
        }
        if (round % 4 == 3) {
            saveHereAndCompare(notesHere);
            ASSERT_FALSE(HasFailure());
            if (round % 8 == 7) {
                controller.reset();
                relaunch();  // every list unread again
                hereToken = context().addSaveObserver(
                    [&](const ContextDidSaveNotification& note) { notesHere.push_back(note); });
                showEveryItem();
            }
        }
    }
    batches += table->batches;
    EXPECT_GT(batches, 20);
}

}  // namespace
}  // namespace jw::store::test
