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
  public:
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

    // The list or item named `name` elsewhere or here.
    std::shared_ptr<ManagedObject> theirs(const std::string& entity, const std::string& name) {
        return fetchOne(elsewhere(), entity, entity == "Item" ? "body" : "name", text(name));
    }
    std::shared_ptr<ManagedObject> mine(const std::string& entity, const std::string& name) {
        return fetchOne(context(), entity, entity == "Item" ? "body" : "name", text(name));
    }
    static FetchRequest listsByNumber() {
        return FetchRequest::forEntity("List").sortedBy("sortNumber", true);
    }
    // Every list's count agrees with a fetch of its members.
    void expectCountsMatchMembers() {
        for (const auto& list : context().executeFetchRequest(listsByNumber())) {
            const auto members = context().executeFetchRequest(
                FetchRequest::forEntity("Item").whereRelated("forList", list.get()));
            EXPECT_EQ(list->toManyCount(listItems), members.size())
                << describeValue(list->value("name"));
        }
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
    using StoreTest::context;
    using StoreTest::forList;
    using StoreTest::newItem;
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
        for (const auto& report : reports) {
            for (const auto& o : report.deleted) {
                EXPECT_TRUE(o->isDeleted());
                EXPECT_EQ(context().existingObjectWithURI(o->uriRepresentation()), nullptr);
            }
        }
        return describeChanges(reports);
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
    FetchedResultsController controller(itemsOf(mine("List", "Home").get()), sharedContext());
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
    {"AnInsertJoinsListAndRows", true, nullptr, Step([](MergeCases& m) {
         m.newItem(m.elsewhere(), m.theirs("List", "Home").get(), "h-new", 15);
     }),
     "Home 4: h0 h1 h-new h2 | Work 2: w0 w1 | saved", "+h-new ~Home[listItems]",
     "h0 h1 h-new h2 (insert h-new)"},
    // The insert is saved and read here while its notification is still on its way.
    {"AnInsertReadBeforeTheMergeStillReachesRows", true, nullptr, Step([](MergeCases& m) {
         m.newItem(m.elsewhere(), m.theirs("List", "Home").get(), "h-new", 15);
         m.elsewhere().save();
         EXPECT_EQ(m.context().executeFetchRequest(m.itemsOf(m.mine("List", "Home").get())).size(),
                   4u);
     }),
     "Home 4: h0 h1 h-new h2 | Work 2: w0 w1 | saved", "+h-new ~Home[listItems]",
     "h0 h1 h-new h2 (insert h-new)"},
    {"AnInsertJoinsLoadedMembers", false, nullptr,
     Step([](MergeCases& m) { m.newItem(m.elsewhere(), m.theirs("List", "Work").get(), "w-new"); }),
     "Home 3: h0 h1 h2 | Work 3: w-new w0 w1 | saved", "+w-new ~Work[listItems]", "h0 h1 h2 ()"},
    {"AnUpdateChangesValuesAndMovesTheRow", false, nullptr, Step([](MergeCases& m) {
         auto h0 = m.theirs("Item", "h0");
         h0->setValue("sortNumber", integer(99));
         h0->setValue("note", text("from elsewhere"));
     }),
     "Home 3: h1 h2 h0~from elsewhere | Work 2: w0 w1 | saved", "~h0[note,sortNumber]",
     "h1 h2 h0 (move h0)"},
    {"AMoveMovesBetweenLists", false, nullptr, Step([](MergeCases& m) {
         m.theirs("Item", "h1")->setToOne(m.forList, m.theirs("List", "Work").get());
     }),
     "Home 2: h0 h2 | Work 3: w0 h1 w1 | saved", "~Home[listItems] ~Work[listItems] ~h1[forList]",
     "h0 h2 (delete h1)"},
    {"ADeleteRemovesTheObject", true, nullptr,
     Step([](MergeCases& m) { m.elsewhere().deleteObject(*m.theirs("Item", "h1")); }),
     "Home 2: h0 h2 | Work 2: w0 w1 | saved", "~Home[listItems] -h1", "h0 h2 (delete h1)"},
    {"ADeletedListTakesItsItems", false, nullptr,
     Step([](MergeCases& m) { m.elsewhere().deleteObject(*m.theirs("List", "Work")); }),
     "Home 3: h0 h1 h2 | saved", "-Work -w0 -w1", "h0 h1 h2 ()"},
    {"CountsStayRightForMembersNeverRead", true, nullptr, Step([](MergeCases& m) {
         auto work = m.theirs("List", "Work");
         m.theirs("Item", "h0")->setToOne(m.forList, work.get());
         m.elsewhere().deleteObject(*m.theirs("Item", "h1"));
         m.newItem(m.elsewhere(), work.get(), "w-new");
     }),
     "Home 1: h2 | Work 4: h0 w-new w0 w1 | saved",
     "+w-new ~Home[listItems] ~Work[listItems] ~h0[forList] -h1", "h2 (delete h0 delete h1)"},
    {"UnsavedEditsHereStandAndTheRestMerges", false, Step([](MergeCases& m) {
         auto h0 = m.mine("Item", "h0");
         h0->setValue("body", text("mine"));
         h0->setValue("stars", integer(3));
     }),
     Step([](MergeCases& m) {
         auto h0 = m.theirs("Item", "h0");
         h0->setValue("body", text("theirs"));
         h0->setValue("note", text("their note"));
     }),
     "Home 3: mine~their note*3 h1 h2 | Work 2: w0 w1 | unsaved", "~mine[body,note,stars]",
     "mine h1 h2 (update mine)"},
    {"AnUnsavedMoveHereStands", false, Step([](MergeCases& m) {
         m.mine("Item", "h0")->setToOne(m.forList, m.mine("List", "Work").get());
     }),
     Step([](MergeCases& m) { m.theirs("Item", "h0")->setValue("note", text("noted")); }),
     "Home 2: h1 h2 | Work 3: h0~noted w0 w1 | unsaved",
     "~Home[listItems] ~Work[listItems] ~h0[note,forList]", "h1 h2 (delete h0)"},
    {"AnItemDeletedHereStaysDeleted", false,
     Step([](MergeCases& m) { m.context().deleteObject(*m.mine("Item", "h1")); }),
     Step(
         [](MergeCases& m) { m.theirs("Item", "h1")->setValue("note", text("edited elsewhere")); }),
     "Home 2: h0 h2 | Work 2: w0 w1 | unsaved", "~Home[listItems] -h1", "h0 h2 (delete h1)"},
};

INSTANTIATE_TEST_SUITE_P(Merging, MergeCases, ::testing::ValuesIn(kMergeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Merging, AFolderDeletedElsewhereLeavesItsListsOutsideAnyFolderHere) {
    auto folder = context().insertNewObject("Folder");
    folder->setValue("name", text("Folder"));
    auto home = newList("Home");
    home->setToOne(inFolder, folder.get());
    context().save();
    EXPECT_EQ(folder->toMany(folderLists).size(), 1u);

    elsewhere().deleteObject(*theirs("Folder", "Folder"));
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
        home = mine("List", "Home");
        work = mine("List", "Work");
        third = mine("List", "Third");
        h0 = mine("Item", "h0");
        // Counted, their members left unread.
        EXPECT_EQ(home->toManyCount(listItems), 3u);
        EXPECT_EQ(work->toManyCount(listItems), 2u);
        EXPECT_EQ(third->toManyCount(listItems), 0u);
    }

    // " Home Work Third": each list's count, read without its members, then checked against
    // the members read whole.
    std::string counts() {
        std::string text;
        for (auto* list : {&home, &work, &third}) {
            const auto count = (*list)->toManyCount(listItems);
            EXPECT_EQ((*list)->toMany(listItems).size(), count) << "read members and count agree";
            text += " " + std::to_string(count);
        }
        return text;
    }
    // Saves elsewhere with one more item in every list, so that this context rereads every
    // list's count from the store, and merges.
    void addOneEverywhereSaveAndMerge() {
        for (const char* name : {"Home", "Work", "Third"}) {
            newItem(elsewhere(), theirs("List", name).get(), std::string("extra in ") + name);
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
        h0->setToOne(forList, mine("List", hereOp.substr(5)).get());
    }
    auto theirH0 = theirs("Item", "h0");
    if (thereOp.starts_with("delete")) {
        elsewhere().deleteObject(*theirH0);
    } else {
        theirH0->setToOne(forList, theirs("List", thereOp.substr(5)).get());
    }
    if (thereOp == "delete+add") {
        newItem(elsewhere(), theirs("List", "Home").get(), "h-new");
    }
    addOneEverywhereSaveAndMerge();
    EXPECT_EQ(fate() + counts(), GetParam().expected);
    context().save();
    relaunch();
    home = mine("List", "Home");
    work = mine("List", "Work");
    third = mine("List", "Third");
    const auto found =
        context().executeFetchRequest(FetchRequest::forEntity("Item").where("body", text("h0")));
    h0 = found.empty() ? nullptr : found.front();
    EXPECT_EQ(fate() + counts(), GetParam().expected) << "as saved";
}

INSTANTIATE_TEST_SUITE_P(MergingConflicts, Conflicts, ::testing::ValuesIn(kConflictCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MergingConflicts, AnItemAddedElsewhereToAListDeletedHereGoesWithTheList) {
    context().deleteObject(*work);
    newItem(elsewhere(), theirs("List", "Work").get(), "late");
    theirs("Item", "h1")->setToOne(forList, theirs("List", "Work").get());
    saveThereAndMerge();
    // The deletion here cascades to what arrived in the list meanwhile.
    EXPECT_EQ(strings(context().executeFetchRequest(
                          FetchRequest::forEntity("Item").sortedBy("body", true)),
                      "body"),
              (std::vector<std::string>{"h0", "h2"}));
    context().save();
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"Item\" WHERE \"forList\" IS NOT NULL AND "
                          "\"forList\" NOT IN (SELECT \"_key\" FROM \"List\")"),
              0)
        << "no item may name a list that is gone";
    EXPECT_EQ(counts(), " 2 0 0");
}

TEST_F(MergingConflicts, AListDeletedHereWhileADeletionOfItsItemIsOnItsWayTakesTheItemToo) {
    // Read here, then deleted elsewhere; the notification has not been merged yet, so the
    // store no longer lists the item in Work but this context still files it there.
    auto w0 = mine("Item", "w0");
    elsewhere().deleteObject(*theirs("Item", "w0"));
    elsewhere().save();
    ASSERT_FALSE(notes.empty());
    context().deleteObject(*work);
    EXPECT_TRUE(w0->isDeleted()) << "the item still filed in the list goes with it";
    context().save();
    work.reset();
    w0.reset();
    saveThereAndMerge(/*somethingToSave=*/false);  // must not touch the list
    EXPECT_EQ(strings(context().executeFetchRequest(
                          FetchRequest::forEntity("Item").sortedBy("body", true)),
                      "body"),
              (std::vector<std::string>{"h0", "h1", "h2"}));
    EXPECT_EQ(home->toManyCount(listItems), 3u);
}

// A context on a connection of its own, with its own copy of the model (as the sync engine's
// worker has), merges like a second container.
TEST_F(Merging, AConnectionWithItsOwnCopyOfTheModelMerges) {
    makeLists();
    auto home = mine("List", "Home");
    EXPECT_EQ(home->toManyCount(listItems), 3u);
    auto copy = loadListModel();
    ASSERT_NE(copy.get(), model.get());
    auto worker = std::make_shared<ManagedObjectContext>(
        std::make_shared<StoreConnection>(storeFile(), copy));
    std::vector<ContextDidSaveNotification> workerNotes;
    auto token = worker->addSaveObserver(
        [&](const ContextDidSaveNotification& note) { workerNotes.push_back(note); });
    auto workerHome = fetchOne(*worker, "List", "name", text("Home"));
    for (int i = 0; i < 2; ++i) {
        auto item = worker->insertNewObject("Item");
        item->setValue("body", text(fmt::format("bulk{}", i)));
        item->setValue("sortNumber", integer(100 + i));
        item->setToOne(copy->requireEntity("Item").requireRelationship("forList"),
                       workerHome.get());
    }
    worker->deleteObject(*fetchOne(*worker, "Item", "body", text("h0")));
    workerHome->setValue("name", text("Home (synced)"));
    worker->save();
    ASSERT_EQ(workerNotes.size(), 1u);
    EXPECT_EQ(workerNotes[0].inserted.size(), 2u);
    context().mergeChangesFromContextDidSaveNotification(workerNotes[0]);

    EXPECT_EQ(home->value("name"), text("Home (synced)"));
    EXPECT_EQ(home->toManyCount(listItems), 4u);
    EXPECT_EQ(strings(context().executeFetchRequest(itemsOf(home.get())), "body"),
              (std::vector<std::string>{"h1", "h2", "bulk0", "bulk1"}));
    EXPECT_EQ(&mine("Item", "bulk0")->entity(), &model->requireEntity("Item"));
    EXPECT_FALSE(context().hasChanges());
}

// Both connections change items at random (elsewhere lists come and go too, in one of the
// runs); every save elsewhere is merged here, over unsaved changes here. After every merge a
// controller's table is in step, counts match members, nothing dangles; whenever both sides
// are saved they and a fresh reader see the same store.
struct RandomMerge {
    const char* name;
    unsigned seed;
    int rounds;
    bool listsComeAndGo;  // elsewhere; this side also relaunches now and then
    bool oneListShown;    // the controller shows the first list's items, else every item
};
void PrintTo(const RandomMerge& c, std::ostream* out) {
    *out << c.name;
}
class RandomMerges : public Merging, public ::testing::WithParamInterface<RandomMerge> {};

TEST_P(RandomMerges, StayInStep) {
    const RandomMerge& p = GetParam();
    for (int l = 0; l < 3; ++l) {
        auto list = newList(fmt::format("L{}", l), l);
        for (int i = 0; i < 6; ++i) {
            newItem(list.get(), fmt::format("seed {}.{}", l, i), i);
        }
    }
    context().save();
    std::vector<ContextDidSaveNotification> notesHere;
    ManagedObjectContext::ObserverToken hereToken;
    std::unique_ptr<FetchedResultsController> controller;
    std::unique_ptr<TableMirror> table;
    int batches = 0;
    const auto show = [&] {  // after a relaunch too
        batches += table ? table->batches : 0;
        hereToken = context().addSaveObserver(
            [&](const ContextDidSaveNotification& note) { notesHere.push_back(note); });
        auto request = p.oneListShown
                           ? itemsOf(context().executeFetchRequest(listsByNumber()).at(0).get())
                           : FetchRequest::forEntity("Item")
                                 .sortedBy("sortNumber", true)
                                 .sortedBy("body", true);
        controller = std::make_unique<FetchedResultsController>(request, sharedContext());
        controller->performFetch();
        table = std::make_unique<TableMirror>(*controller);
        controller->setDelegate(table.get());
    };
    show();

    std::mt19937 random(p.seed);
    int created = 0;
    const auto pick = [&](const auto& objects) { return objects[random() % objects.size()]; };
    const auto change = [&](ManagedObjectContext& c, bool withLists) {
        auto lists = c.executeFetchRequest(listsByNumber());
        auto items = c.executeFetchRequest(FetchRequest::forEntity("Item"));
        const int action = int(random() % 100);
        if (withLists && (lists.size() < 2 || action < 8)) {
            newList(c, fmt::format("L{}", created++), int(random() % 10));
        } else if (withLists && action < 14) {
            c.deleteObject(*pick(lists));
        } else if (items.empty() || action < 30) {
            newItem(c, lists.empty() ? nullptr : pick(lists).get(),
                    fmt::format("new {}", created++), int(random() % 10));
        } else if (action < 45) {
            pick(items)->setValue("note", text(fmt::format("n{}", random() % 5)));
        } else if (action < 58) {
            c.deleteObject(*pick(items));
        } else if (action < 78) {
            pick(items)->setToOne(forList,
                                  random() % 5 && !lists.empty() ? pick(lists).get() : nullptr);
        } else {
            pick(items)->setValue("sortNumber", integer(int(random() % 10)));
        }
    };

    for (int round = 0; round < p.rounds; ++round) {
        SCOPED_TRACE(fmt::format("round {}", round));
        for (int k = 1 + int(random() % 3); k > 0; --k) {
            change(elsewhere(), p.listsComeAndGo);
        }
        for (int k = int(random() % 3); k > 0; --k) {
            change(context(), false);
        }
        saveThereAndMerge(/*somethingToSave=*/false);
        context().processPendingChanges();  // the end of the run-loop event
        ASSERT_FALSE(HasFailure());
        EXPECT_EQ(strings(controller->fetchedObjects(), "body"),
                  strings(context().executeFetchRequest(controller->fetchRequest()), "body"));
        expectCountsMatchMembers();
        for (const auto& list : context().executeFetchRequest(listsByNumber())) {
            if (integerOf(list->value("sortNumber")) % 2 != 0) {
                continue;  // these lists' members stay unread (until a relaunch)
            }
            ASSERT_EQ(list->toMany(listItems).size(), list->toManyCount(listItems));
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
            if (p.listsComeAndGo && round % 8 == 7) {
                controller.reset();
                relaunch();  // every list unread again
                show();
            }
        }
        ASSERT_FALSE(HasFailure());
    }
    EXPECT_GT(batches + table->batches, p.rounds / 4);
}

INSTANTIATE_TEST_SUITE_P(
    Merging, RandomMerges,
    ::testing::Values(RandomMerge{"ItemsChangeOnBothSides", 77, 60, false, true},
                      RandomMerge{"ListsComeAndGoElsewhere", 1234, 80, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jw::store::test
