// Merging what another connection to the same store file saved: its inserts, updates and
// deletes arrive in this context (and its controllers) as ordinary changes, this context's
// own unsaved edits survive, and member counts stay right.

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>

#include "platform/store/FetchedResultsController.h"
#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

using ::jw::test::PrintTo;

// A delegate that keeps its own copy of the rows and applies each batch to it as a table view
// would: first every delete and move source by old row (highest first), then every insert and
// move destination by new row (lowest first); updates name rows that stay put. After each
// batch the copy must equal the controller's objects.
class TableMirror : public FetchedResultsControllerDelegate {
  public:
    struct Change {
        ManagedObject* object;
        ChangeType type;
        std::optional<std::size_t> oldRow, newRow;
    };

    explicit TableMirror(FetchedResultsController& controller) { resync(controller); }
    // Starts again from the controller's rows, as a table reloaded.
    void resync(FetchedResultsController& controller) { rows = rowsOf(controller); }
    static std::vector<ManagedObject*> rowsOf(FetchedResultsController& controller) {
        std::vector<ManagedObject*> rows;
        for (const auto& object : controller.fetchedObjects()) {
            rows.push_back(object.get());
        }
        return rows;
    }

    void controllerWillChangeContent(FetchedResultsController&) override {
        EXPECT_FALSE(inBatch) << "a batch began inside a batch";
        inBatch = true;
        batch.clear();
    }

    void controllerDidChangeObject(FetchedResultsController&, ManagedObject& object,
                                   const IndexPath* indexPath, ChangeType type,
                                   const IndexPath* newIndexPath) override {
        EXPECT_TRUE(inBatch) << "a change outside a batch";
        const auto row = [](const IndexPath* path) {
            EXPECT_TRUE(!path || path->section == 0) << "one section";
            return path ? std::optional(path->row) : std::nullopt;
        };
        Change change{&object, type, row(indexPath), row(newIndexPath)};
        EXPECT_EQ(indexPath == nullptr, type == ChangeType::Insert)
            << "every change but an insert names its old row";
        EXPECT_TRUE(type == ChangeType::Update ||
                    (newIndexPath != nullptr) == (type != ChangeType::Delete))
            << "inserts and moves name their new row, deletes none";
        batch.push_back(change);
        moves += type == ChangeType::Move;
    }

    void controllerDidChangeContent(FetchedResultsController& controller) override {
        EXPECT_TRUE(inBatch);
        inBatch = false;
        ++batches;
        apply();
        EXPECT_EQ(rows, rowsOf(controller)) << "the table's rows differ from the controller's";
    }

    void apply() {
        std::vector<std::size_t> removals;
        std::vector<std::pair<std::size_t, ManagedObject*>> insertions;
        std::set<ManagedObject*> seen;
        for (const auto& c : batch) {
            EXPECT_TRUE(seen.insert(c.object).second) << "an object changed twice in one batch";
            if (c.oldRow) {
                ASSERT_LT(*c.oldRow, rows.size()) << "an old row past the end";
                EXPECT_EQ(rows[*c.oldRow], c.object) << "the old row holds another object";
            }
            if (c.type == ChangeType::Delete || c.type == ChangeType::Move) {
                removals.push_back(*c.oldRow);
            }
            if (c.type == ChangeType::Insert || c.type == ChangeType::Move) {
                insertions.emplace_back(*c.newRow, c.object);
            }
        }
        std::sort(removals.rbegin(), removals.rend());
        EXPECT_TRUE(std::adjacent_find(removals.begin(), removals.end()) == removals.end())
            << "a row removed twice";
        for (auto row : removals) {
            rows.erase(rows.begin() + std::ptrdiff_t(row));
        }
        std::sort(insertions.begin(), insertions.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [row, object] : insertions) {
            ASSERT_LE(row, rows.size()) << "an insertion past the end";
            rows.insert(rows.begin() + std::ptrdiff_t(row), object);
        }
        for (const auto& c : batch) {
            if (c.type == ChangeType::Update && c.newRow) {
                ASSERT_LT(*c.newRow, rows.size());
                EXPECT_EQ(rows[*c.newRow], c.object) << "an update's new row holds another object";
            }
        }
    }

    std::vector<ManagedObject*> rows;
    std::vector<Change> batch;
    bool inBatch = false;
    int batches = 0, moves = 0;
};

// "Here" is the fixture's main context; what "there" (elsewhere()) saves merges here as this
// context's objects. Relationships are looked up on each object's entity, as models differ.
class Merging : public StoreTest {
  public:
    Merging() {
        elsewhere();
        observeHere();
    }

    void observeHere() {
        changeToken = context().addChangeObserver(
            [this](const ObjectsDidChange& change) { reports.push_back(change); });
    }
    // A relaunch here (there stays open); the new context is observed too.
    void relaunch() override {
        StoreTest::relaunch();
        observeHere();
    }

    void saveThereAndMerge(bool somethingToSave = true) {
        reports.clear();
        ASSERT_TRUE(mergeElsewhere() > 0 || !somethingToSave);
    }

    // Every list and item as this context sees it, by global identifier: what two contexts
    // on the same saved store must agree on.
    std::map<std::string, std::string> canonicalRows(ManagedObjectContext& c) {
        std::map<std::string, std::string> rows;
        for (const auto& list : c.executeFetchRequest(FetchRequest::forEntity("List"))) {
            rows[list->globalID().toString()] =
                fmt::format("{} with {}", describeValue(list->value("name")),
                            list->toManyCount(list->entity().requireRelationship("listItems")));
        }
        for (const auto& item : c.executeFetchRequest(FetchRequest::forEntity("Item"))) {
            const auto* list = item->toOne(item->entity().requireRelationship("forList"));
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

    std::vector<ObjectsDidChange> reports;
    ManagedObjectContext::ObserverToken changeToken;
};

// What a merge did here. `shown`: every list in order with its member count (read before
// its members) and its members ("h0~note*stars"), then whether anything is left to save.
// `reported`: the change report, "+" inserted, "-" deleted, "~" updated with the changed keys;
// this context's own unsaved changes are processed, and reported, with the merge.
// `rows`: what a controller showing Home's items shows, and the batch it told a table (which
// the table applies and checks).
struct MergeCase {
    const char* name;
    const char* read;    // before the merge: "" nothing (a relaunch), "counts", or "members"
    const char* script;  // run's steps, here and "there"
    const char* shown;
    const char* reported;
    const char* rows;
};
class MergeCases : public Merging, public ::testing::WithParamInterface<MergeCase> {
  public:
    std::string shown() {
        return contents(context()) + (context().hasChanges() ? "unsaved" : "saved");
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
    // Home with h0..h2 (sort numbers 0, 10, 20), Work with w0..w1 (5, 15) and an empty Third.
    run("list Home 0; list Work 1; list Third 2; add h0 Home 0; add h1 Home 10; add h2 Home 20; "
        "add w0 Work 5; add w1 Work 15; save");
    if (c.read == std::string("members")) {
        shown();
    } else {
        relaunch();
        for (const auto& list : c.read == std::string("counts")
                                    ? context().executeFetchRequest(listsByNumber())
                                    : std::vector<std::shared_ptr<ManagedObject>>{}) {
            list->toManyCount(listItems);
        }
    }
    FetchedResultsController controller(itemsOf(object("Home").get()), sharedContext());
    controller.performFetch();
    TableMirror table(controller);
    controller.setDelegate(&table);

    EXPECT_EQ(run(c.script), "");
    saveThereAndMerge();
    EXPECT_EQ(shown(), c.shown);
    EXPECT_EQ(reported(), c.reported);
    std::string rows;
    for (const auto& body : strings(controller.fetchedObjects(), "body")) {
        rows += body + " ";
    }
    std::string heard;
    for (const auto& change : table.batch) {
        const char* kinds[] = {"insert", "delete", "move", "update"};
        heard += std::string(heard.empty() ? "" : " ") + kinds[int(change.type) - 1] + " " +
                 stringOf(change.object->value("body")).value_or("?");
    }
    EXPECT_EQ(rows + "(" + heard + ")", c.rows);

    context().save();
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM \"Item\" WHERE \"forList\" IS NOT NULL AND "
                          "\"forList\" NOT IN (SELECT \"_key\" FROM \"List\")"),
              0)
        << "no item may name a list that is gone";
    relaunch();
    const std::string expected = c.shown;
    EXPECT_EQ(shown(), expected.substr(0, expected.rfind('|')) + "| saved") << "as saved";
}

const MergeCase kMergeCases[] = {
    {"AnInsertJoinsListAndRows", "", "there add h-new Home 15",
     "Home 4: h0 h1 h-new h2 | Work 2: w0 w1 | Third 0: | saved", "+h-new ~Home[listItems]",
     "h0 h1 h-new h2 (insert h-new)"},
    // The insert is saved and read here while its notification is still on its way.
    {"AnInsertReadBeforeTheMergeStillReachesRows", "",
     "there add h-new Home 15; there save; fetch Home",
     "Home 4: h0 h1 h-new h2 | Work 2: w0 w1 | Third 0: | saved", "+h-new ~Home[listItems]",
     "h0 h1 h-new h2 (insert h-new)"},
    {"AnUpdateChangesValuesAndMovesTheRow", "members",
     "there set h0 sortNumber 99; there set h0 note elsewhere",
     "Home 3: h1 h2 h0~elsewhere | Work 2: w0 w1 | Third 0: | saved", "~h0[note,sortNumber]",
     "h1 h2 h0 (move h0)"},
    {"InsertsMovesAndADeletedListReachLoadedMembers", "members",
     "there add t-new Third; there move h1 Third; there delete Work",
     "Home 2: h0 h2 | Third 2: t-new h1 | saved",
     "+t-new ~Home[listItems] ~Third[listItems] ~h1[forList] -Work -w0 -w1", "h0 h2 (delete h1)"},
    {"CountsStayRightForMembersNeverRead", "",
     "there move h0 Work; there delete h1; there add w-new Work",
     "Home 1: h2 | Work 4: h0 w-new w0 w1 | Third 0: | saved",
     "+w-new ~Home[listItems] ~Work[listItems] ~h0[forList] -h1", "h2 (delete h0 delete h1)"},
    {"UnsavedEditsHereStandAndTheRestMerges", "members",
     "set h0 stars 3; set h0 body mine; there set h0 note theirs; there set h0 body "
     "theirs",
     "Home 3: mine~theirs*3 h1 h2 | Work 2: w0 w1 | Third 0: | unsaved", "~mine[body,note,stars]",
     "mine h1 h2 (update mine)"},
    {"AnUnsavedMoveHereStands", "members", "move h0 Work; there set h0 note noted",
     "Home 2: h1 h2 | Work 3: h0~noted w0 w1 | Third 0: | unsaved",
     "~Home[listItems] ~Work[listItems] ~h0[note,forList]", "h1 h2 (delete h0)"},
    {"AnItemDeletedHereStaysDeleted", "members", "delete h1; there set h1 note edited",
     "Home 2: h0 h2 | Work 2: w0 w1 | Third 0: | unsaved", "~Home[listItems] -h1",
     "h0 h2 (delete h1)"},
    // h0 changed here and elsewhere at once, every list's count read but no members: the
    // change here stands, and every count follows what this context will save.
    {"DeletedHereMovedElsewhere", "counts", "delete h0; there move h0 Work; there extra",
     "Home 3: extra h1 h2 | Work 3: extra w0 w1 | Third 1: extra | unsaved",
     "+extra ~Home[listItems] ~Third[listItems] ~Work[listItems] -h0",
     "extra h1 h2 (delete h0 insert extra)"},
    {"MovedHereDeletedElsewhere", "counts", "move h0 Work; there delete h0; there extra",
     "Home 3: extra h1 h2 | Work 3: extra w0 w1 | Third 1: extra | unsaved",
     "+extra ~Home[listItems] ~Third[listItems] ~Work[listItems] -h0",
     "extra h1 h2 (delete h0 insert extra)"},
    {"DeletedHereAndElsewhere", "counts",
     "delete h0; there delete h0; there add h-new Home 5; there extra",
     "Home 4: extra h-new h1 h2 | Work 3: extra w0 w1 | Third 1: extra | unsaved",
     "+extra +h-new ~Home[listItems] ~Third[listItems] ~Work[listItems] -h0",
     "extra h-new h1 h2 (delete h0 insert extra insert h-new)"},
    {"MovedHereAndElsewhere", "counts", "move h0 Work; there move h0 Third; there extra",
     "Home 3: extra h1 h2 | Work 4: extra h0 w0 w1 | Third 1: extra | unsaved",
     "+extra ~Home[listItems] ~Third[listItems] ~Work[listItems] ~h0[forList]",
     "extra h1 h2 (delete h0 insert extra)"},
    {"MovedTheSameWayBoth", "counts", "move h0 Work; there move h0 Work; there extra",
     "Home 3: extra h1 h2 | Work 4: extra h0 w0 w1 | Third 1: extra | unsaved",
     "+extra ~Home[listItems] ~Third[listItems] ~Work[listItems] ~h0[forList]",
     "extra h1 h2 (delete h0 insert extra)"},
    // The deletion here cascades to what arrived in the list meanwhile.
    {"AnItemAddedElsewhereToAListDeletedHereGoesWithIt", "counts",
     "delete Work; there add late Work; there move h1 Work", "Home 2: h0 h2 | Third 0: | unsaved",
     "~Home[listItems] -Work -h1 -late -w0 -w1", "h0 h2 (delete h1)"},
    // Deleted elsewhere but not merged yet, w0 is still filed in Work here: the list's
    // deletion, saved, takes it too, and the merge must not touch the list.
    {"AListDeletedHereWhileADeletionOfItsItemIsOnItsWay", "counts",
     "fetch Work; there delete w0; there save; delete Work; save",
     "Home 3: h0 h1 h2 | Third 0: | saved", "", "h0 h1 h2 ()"},
    {"AFolderDeletedElsewhereLeavesItsListsOutsideAnyFolder", "members",
     "folder F; link Home inFolder F; save; there delete F",
     "Home 3: h0 h1 h2 | Work 2: w0 w1 | Third 0: | saved", "~Home[inFolder] -F", "h0 h1 h2 ()"},
    // Work, reached only through w0 and never read, counts as updated and keeps its values.
    {"AListLeftUnreadCountsAsUpdated", "", "move w0 Home; there set h2 note x",
     "Home 4: h0 w0 h1 h2~x | Work 1: w1 | Third 0: | unsaved",
     "~Home[listItems] ~Work[listItems] ~h2[note] ~w0[forList]",
     "h0 w0 h1 h2 (insert w0 update h2)"},
};

INSTANTIATE_TEST_SUITE_P(Merging, MergeCases, ::testing::ValuesIn(kMergeCases), jw::test::caseName);

// Random edits on both connections (elsewhere lists come and go too, in one run); every save
// elsewhere is merged here, over unsaved changes here. After every round a controller's table
// is in step, counts match members, nothing dangles; whenever both sides are saved they and a
// fresh reader see the same store, and now and then this side relaunches. The runs with no edits
// elsewhere play one context editing under its controller; the batched one a controller over
// faults.
enum class Shown { firstList, everyItem, notDoneByTwoKeys, newestInBatches };
struct RandomMerge {
    const char* name;
    unsigned seed;
    int rounds;
    int editsThere, editsHere;  // at most, in a round
    bool listsComeAndGo;        // elsewhere
    Shown shown;
};
class RandomMerges : public Merging, public ::testing::WithParamInterface<RandomMerge> {};

TEST_P(RandomMerges, StayInStep) {
    const RandomMerge& p = GetParam();
    for (int l = 0; l < 3; ++l) {
        auto list = newList(context(), fmt::format("L{}", l), l);
        for (int i = 0; i < 6; ++i) {
            newItem(context(), list.get(), fmt::format("seed {}.{}", l, i), i);
        }
    }
    context().save();
    std::vector<ContextDidSaveNotification> notesHere;
    ManagedObjectContext::ObserverToken hereToken;
    std::unique_ptr<FetchedResultsController> controller;
    std::unique_ptr<TableMirror> table;
    // Over the batched fetch, a second controller nobody reads: its rows stay keys until a
    // placement passes them, and merged deletes of rows never read must still reach it.
    std::unique_ptr<FetchedResultsController> untouched;
    int batches = 0, moves = 0;
    const auto show = [&] {  // after a relaunch too
        batches += table ? table->batches : 0;
        moves += table ? table->moves : 0;
        hereToken = context().addSaveObserver(
            [&](const ContextDidSaveNotification& note) { notesHere.push_back(note); });
        auto request = FetchRequest::forEntity("Item");
        if (p.shown == Shown::firstList) {
            request = itemsOf(context().executeFetchRequest(listsByNumber()).at(0).get());
        } else if (p.shown == Shown::everyItem) {
            request.sortedBy("sortNumber", true).sortedBy("body", true);
        } else if (p.shown == Shown::notDoneByTwoKeys) {
            request.where("isDone", flag(false))
                .sortedBy("body", false)
                .sortedBy("sortNumber", true);
        } else {
            request.sortedBy("created", false).fetchBatchSize = 3;
        }
        if (request.fetchBatchSize > 0) {
            untouched = std::make_unique<FetchedResultsController>(request, sharedContext());
            untouched->performFetch();
        }
        controller = std::make_unique<FetchedResultsController>(request, sharedContext());
        controller->performFetch();
        controller->performFetch();  // still observes the context once
        table = std::make_unique<TableMirror>(*controller);
        controller->setDelegate(table.get());
    };
    show();

    std::mt19937 random(p.seed);
    int created = 0;
    const auto pick = [&](const auto& objects) { return objects[random() % std::size(objects)]; };
    const Value bodies[] = {text("apple"), text("Apple"), text("b"), Value{}, text("\u00e9")};
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
        } else if (action < 42) {
            pick(items)->setValue("note", text(fmt::format("n{}", random() % 5)));
        } else if (action < 54) {
            c.deleteObject(*pick(items));
        } else if (action < 70) {
            auto item = pick(items);
            item->setToOne(item->entity().requireRelationship("forList"),
                           random() % 5 && !lists.empty() ? pick(lists).get() : nullptr);
        } else if (action < 82) {
            pick(items)->setValue("sortNumber", integer(int(random() % 10)));
        } else if (action < 88) {
            pick(items)->setValue("body", pick(bodies));
        } else if (action < 92) {
            pick(items)->setValue("isDone", flag(random() % 2));
        } else if (action < 96) {
            pick(items)->setValue("created", date(1.8e9 + double(random() % 10)));
        } else {  // no net change: a move away and back, an insert deleted at once
            auto item = pick(items);
            const auto& forList = item->entity().requireRelationship("forList");
            auto* list = item->toOne(forList);
            item->setToOne(forList, lists.empty() ? nullptr : pick(lists).get());
            item->setToOne(forList, list);
            c.deleteObject(*newItem(c, list, "transient"));
        }
    };

    for (int round = 0; round < p.rounds; ++round) {
        SCOPED_TRACE(fmt::format("round {}", round));
        for (int k = int(random() % (p.editsThere + 1)); k > 0; --k) {
            change(elsewhere(), p.listsComeAndGo);
        }
        // Now and then nobody listens for a round: the rows still follow, and the delegate set
        // again hears nothing of what happened meanwhile.
        const bool unheard = round % 5 == 2;
        if (unheard) {
            controller->setDelegate(nullptr);
        }
        for (int k = int(random() % (p.editsHere + 1)); k > 0; --k) {
            change(context(), false);
        }
        // Objects whose sort keys changed, not yet processed, are still found where they show.
        const auto before = controller->fetchedObjects();
        for (std::size_t row = 0; row < before.size(); ++row) {
            ASSERT_EQ(controller->indexPathForObject(*before[row]), (IndexPath{0, row}));
        }
        saveThereAndMerge(/*somethingToSave=*/false);
        const int heard = table->batches;
        if (unheard) {
            controller->setDelegate(table.get());
        }
        // The end of the run-loop event: changes reported, and what nobody holds let go.
        context().processPendingChanges();
        context().releaseUnreferencedObjects();
        if (unheard) {
            EXPECT_EQ(table->batches, heard);
            table->resync(*controller);
        }
        ASSERT_FALSE(HasFailure());
        const auto& rows = controller->fetchedObjects();
        EXPECT_THROW(controller->objectAtIndexPath({0, rows.size()}), std::out_of_range);
        EXPECT_THROW(controller->objectAtIndexPath({1, 0}), std::out_of_range);
        auto unbatched = controller->fetchRequest();
        unbatched.fetchBatchSize = 0;
        EXPECT_EQ(controller->fetchedObjects(), context().executeFetchRequest(unbatched));
        if (untouched) {
            ASSERT_EQ(untouched->numberOfObjects(0), rows.size());
        }
        for (const auto& list : context().executeFetchRequest(listsByNumber())) {
            EXPECT_EQ(list->toManyCount(listItems),
                      context().executeFetchRequest(itemsOf(list.get())).size())
                << describeValue(list->value("name"));
            ASSERT_EQ(controller->indexPathForObject(*list), std::nullopt) << "not an item";
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
            ASSERT_EQ(&item->entity(), &model->requireEntity("Item")) << "this context's model";
            const auto row = std::find(rows.begin(), rows.end(), item);
            ASSERT_EQ(controller->indexPathForObject(*item),
                      row == rows.end()
                          ? std::nullopt
                          : std::optional(IndexPath{0, std::size_t(row - rows.begin())}));
            if (auto* list = item->toOne(forList)) {
                ASSERT_FALSE(list->isDeleted()) << "an item of a deleted list";
                ASSERT_EQ(list->managedObjectContext(), &context());
            }
        }
        if (round % 4 == 3) {
            saveHereAndCompare(notesHere);
            if (round % 8 == 7) {
                std::vector<ObjectID> lists;
                for (const auto& list : context().executeFetchRequest(listsByNumber())) {
                    lists.push_back(list->objectID());
                }
                if (untouched) {
                    ASSERT_EQ(untouched->fetchedObjects(), controller->fetchedObjects());
                }
                controller.reset();
                untouched.reset();
                relaunch();  // every list unread again
                // Reached in turn as bare references (faults), read, or with every other list's
                // members loaded, so that counts are read on lists in every state.
                for (std::size_t l = 0; l < lists.size(); ++l) {
                    auto list = context().objectWithID(lists[l]);
                    if (round % 24 == 15) {
                        list->value("name");
                    } else if (round % 24 == 23 && l % 2 == 0) {
                        list->toMany(listItems);
                    }
                    const auto count = list->toManyCount(listItems);
                    EXPECT_EQ(count, context().executeFetchRequest(itemsOf(list.get())).size());
                }
                show();
            }
        }
        ASSERT_FALSE(HasFailure());
    }
    EXPECT_GT(batches + table->batches, p.rounds / 4);
    if (p.editsThere == 0) {  // long runs of edits here move rows for sure
        EXPECT_GT(moves + table->moves, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Merging, RandomMerges,
                         ::testing::Values(RandomMerge{"ItemsChangeOnBothSides", 77, 60, 3, 2,
                                                       false, Shown::firstList},
                                           RandomMerge{"ListsComeAndGoElsewhere", 1234, 80, 3, 2,
                                                       true, Shown::everyItem},
                                           RandomMerge{"OneContextUnderAListsController", 99, 150,
                                                       0, 6, false, Shown::firstList},
                                           RandomMerge{"OneContextByTwoKeysAndAnAttribute", 2027,
                                                       150, 0, 6, false, Shown::notDoneByTwoKeys},
                                           RandomMerge{"ABatchedFetchFollowsEditsOnBothSides", 77,
                                                       40, 4, 2, false, Shown::newestInBatches}),
                         jw::test::caseName);

}  // namespace
}  // namespace jw::store::test
