// The row changes the items screen hears from its fetched-results controller when the model
// operations run: a move where an item's place changes, an update where it stays, inserts and
// deletes as items come and go under the filter, and silence for a drag's renumbering made
// while the screen had let go of the controller.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "platform/store/StoreConnection.h"

namespace jw::model {
namespace {

using support::ModelTest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Writes down what the controller says, one line per callback, e.g. "move a 2->0".
class RowChangeRecorder : public store::FetchedResultsControllerDelegate {
  public:
    std::vector<std::string> lines;

    void controllerWillChangeContent(store::FetchedResultsController&) override {
        lines.push_back("will change");
    }
    void controllerDidChangeObject(store::FetchedResultsController&, store::ManagedObject& object,
                                   const store::IndexPath* indexPath, store::ChangeType type,
                                   const store::IndexPath* newIndexPath) override {
        const auto& item = static_cast<Item&>(object);
        std::string line;
        switch (type) {
            case store::ChangeType::Insert:
                line = "insert";
                break;
            case store::ChangeType::Delete:
                line = "delete";
                break;
            case store::ChangeType::Move:
                line = "move";
                break;
            case store::ChangeType::Update:
                line = "update";
                break;
        }
        line += " " + item.body().value_or("<absent>") + " ";
        line += indexPath ? std::to_string(indexPath->row) : "-";
        line += "->";
        line += newIndexPath ? std::to_string(newIndexPath->row) : "-";
        lines.push_back(line);
    }
    void controllerDidChangeContent(store::FetchedResultsController&) override {
        lines.push_back("did change");
    }
};

class ItemsScreenRows : public ModelTest {
  protected:
    std::shared_ptr<List> list = newList(db(), "Groceries");
    RowChangeRecorder recorder;

    // What the items screen builds on first use: the list's fetch on the main context, with
    // the screen as delegate.
    std::unique_ptr<store::FetchedResultsController> controllerFor(
        List* shown, JWListFilter filter = JWListFilter::none,
        store::FetchedResultsControllerDelegate* delegate = nullptr) {
        auto frc = std::make_unique<store::FetchedResultsController>(
            itemsFetchRequest(shown, filter), db().sharedViewContext());
        frc->performFetch();
        frc->setDelegate(delegate ? delegate : &recorder);
        return frc;
    }

    static std::vector<std::string> rows(const store::FetchedResultsController& frc) {
        return support::bodiesOf(support::objectsAs<Item>(frc.fetchedObjects()));
    }

    std::vector<std::shared_ptr<Item>> withSortMode(std::int16_t mode,
                                                    const std::vector<std::string>& oldestFirst) {
        chooseSortMode(list.get(), mode);
        return addItems(*list, oldestFirst);
    }
};

TEST_F(ItemsScreenRows, CheckingUnderCheckedFirstMovesTheRowToTheTop) {
    auto items = withSortMode(5, {"a", "b", "c"});
    auto frc = controllerFor(list.get());
    ASSERT_THAT(rows(*frc), ElementsAre("c", "b", "a"));
    toggleItem(db(), *items[0]);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "move a 2->0", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("a", "c", "b"));
}

TEST_F(ItemsScreenRows, UncheckingUnderCheckedFirstMovesTheRowBackAmongTheUnchecked) {
    auto items = withSortMode(5, {"a", "b", "c"});
    toggleItem(db(), *items[1]);
    auto frc = controllerFor(list.get());
    ASSERT_THAT(rows(*frc), ElementsAre("b", "c", "a"));
    toggleItem(db(), *items[1]);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "move b 0->1", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("c", "b", "a"));
}

TEST_F(ItemsScreenRows, CheckingUnderCheckedLastMovesTheRowBelowTheUnchecked) {
    auto items = withSortMode(6, {"a", "b", "c"});
    auto frc = controllerFor(list.get());
    toggleItem(db(), *items[2]);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "move c 0->2", "did change"));
}

TEST_F(ItemsScreenRows, CheckingUnderLatestCreatedUpdatesTheRowInPlace) {
    auto items = withSortMode(3, {"a", "b", "c"});
    auto frc = controllerFor(list.get());
    toggleItem(db(), *items[1]);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "update b 1->1", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("c", "b", "a"));
}

TEST_F(ItemsScreenRows, CheckingUnderManualOrderUpdatesTheRowInPlace) {
    auto items = withSortMode(7, {"a", "b", "c"});
    auto frc = controllerFor(list.get());
    toggleItem(db(), *items[2]);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "update c 0->0", "did change"));
}

TEST_F(ItemsScreenRows, CheckingUnderTheUncheckedFilterRemovesTheRow) {
    auto items = withSortMode(3, {"a", "b", "c"});
    auto frc = controllerFor(list.get(), JWListFilter::unchecked);
    toggleItem(db(), *items[1]);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "delete b 1->-", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("c", "a"));
}

TEST_F(ItemsScreenRows, UncheckingUnderTheCheckedFilterRemovesTheRowAndCheckingAddsOne) {
    auto items = withSortMode(3, {"a", "b", "c"});
    toggleItem(db(), *items[0]);
    auto frc = controllerFor(list.get(), JWListFilter::checked);
    ASSERT_THAT(rows(*frc), ElementsAre("a"));
    toggleItem(db(), *items[2]);
    toggleItem(db(), *items[0]);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "insert c -->0", "did change",
                                            "will change", "delete a 1->-", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("c"));
}

TEST_F(ItemsScreenRows, AddingUnderTheUncheckedFilterInsertsTheNewestRowAtTheTop) {
    withSortMode(3, {"a", "b"});
    auto frc = controllerFor(list.get(), JWListFilter::unchecked);
    clock().advance(1);
    newItem(db(), *list, "new");
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "insert new -->0", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("new", "b", "a"));
}

TEST_F(ItemsScreenRows, AddingUnderTheCheckedFilterShowsNothingNew) {
    auto items = withSortMode(3, {"a", "b"});
    toggleItem(db(), *items[0]);
    auto frc = controllerFor(list.get(), JWListFilter::checked);
    clock().advance(1);
    newItem(db(), *list, "new");
    EXPECT_THAT(recorder.lines, IsEmpty());
    EXPECT_THAT(rows(*frc), ElementsAre("a"));
}

TEST_F(ItemsScreenRows, AddingUnderAlphabeticalInsertsAtTheAlphabeticalRow) {
    withSortMode(1, {"Apple", "cherry", "banana"});
    auto frc = controllerFor(list.get());
    ASSERT_THAT(rows(*frc), ElementsAre("Apple", "banana", "cherry"));
    newItem(db(), *list, "Blueberry");
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "insert Blueberry -->1", "did change"));
}

TEST_F(ItemsScreenRows, EditingTextUnderAlphabeticalMovesTheRowAndUnderLatestCreatedUpdatesIt) {
    auto items = withSortMode(1, {"a", "b", "c"});
    auto frc = controllerFor(list.get());
    editItemText(db(), *items[0], "z");
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "move z 0->2", "did change"));

    chooseSortMode(list.get(), 3);
    db().saveContext(false);
    RowChangeRecorder newest;
    auto refetched = controllerFor(list.get(), JWListFilter::none, &newest);
    editItemText(db(), *items[1], "y");
    EXPECT_THAT(newest.lines, ElementsAre("will change", "update y 1->1", "did change"));
}

TEST_F(ItemsScreenRows, DeletingAnItemRemovesItsRow) {
    auto items = withSortMode(3, {"a", "b", "c"});
    auto frc = controllerFor(list.get());
    deleteItem(db(), *items[1]);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "delete b 1->-", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("c", "a"));
}

TEST_F(ItemsScreenRows, DeleteCheckedRemovesEachCheckedRow) {
    auto items = withSortMode(3, {"a", "b", "c", "d"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[2]);
    auto frc = controllerFor(list.get());
    deleteChecked(db(), list.get(), support::raw(support::objectsAs<Item>(frc->fetchedObjects())));
    EXPECT_THAT(recorder.lines,
                ElementsAre("will change", "delete c 1->-", "delete a 3->-", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("d", "b"));
}

TEST_F(ItemsScreenRows, MovingAnItemRemovesItHereAndInsertsItInTheTargetsScreen) {
    auto target = newList(db(), "Target");
    addItems(*target, {"t"});
    auto items = withSortMode(3, {"a", "b"});
    auto source = controllerFor(list.get());
    RowChangeRecorder targetRecorder;
    auto there = controllerFor(target.get(), JWListFilter::none, &targetRecorder);
    moveItem(db(), *items[0], *target);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "delete a 1->-", "did change"));
    // a was created after t, so it is the newest there.
    EXPECT_THAT(targetRecorder.lines, ElementsAre("will change", "insert a -->0", "did change"));
}

TEST_F(ItemsScreenRows, ACopyAppearsAtTheTopOfTheTargetAndTheSourceRowIsUntouched) {
    auto target = newList(db(), "Target");
    addItems(*target, {"t"});
    auto items = withSortMode(3, {"a"});
    toggleItem(db(), *items[0]);
    auto source = controllerFor(list.get());
    RowChangeRecorder targetRecorder;
    auto there = controllerFor(target.get(), JWListFilter::none, &targetRecorder);
    clock().advance(1);
    copyItem(db(), *items[0], *target);
    EXPECT_THAT(recorder.lines, IsEmpty());
    EXPECT_THAT(targetRecorder.lines, ElementsAre("will change", "insert a -->0", "did change"));
}

TEST_F(ItemsScreenRows, ASortModeChoiceChangesNothingUntilTheScreenBuildsANewController) {
    withSortMode(3, {"b", "a", "c"});
    auto frc = controllerFor(list.get());
    chooseSortMode(list.get(), 1);
    context().processPendingChanges();
    EXPECT_THAT(recorder.lines, IsEmpty());
    EXPECT_THAT(rows(*frc), ElementsAre("c", "a", "b"));
    frc->setDelegate(nullptr);
    RowChangeRecorder fresh;
    auto rebuilt = controllerFor(list.get(), JWListFilter::none, &fresh);
    EXPECT_THAT(rows(*rebuilt), ElementsAre("a", "b", "c"));
}

TEST_F(ItemsScreenRows, AnEditMadeDuringAnEventIsReportedWhenTheEventEnds) {
    auto items = withSortMode(3, {"a", "b"});
    auto frc = controllerFor(list.get());
    platform().loop().post([&] { items[0]->setBody("A"); });
    EXPECT_THAT(recorder.lines, IsEmpty());
    platform().loop().drain();
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "update A 1->1", "did change"));
}

// --- Changes saved elsewhere --------------------------------------------------------------------

// Another connection to the same store file, as the sync engine has: what it saves reaches
// the main context only through a merge of its save notification.
class ElsewhereOnTheStore {
  public:
    explicit ElsewhereOnTheStore(JWDatabase& db)
        : context_(std::make_shared<store::ManagedObjectContext>(
              std::make_shared<store::StoreConnection>(
                  db.storeURL(), db.viewContext().connection().sharedModel()))),
          token_(context_->addSaveObserver(
              [this](const store::ContextDidSaveNotification& note) { saved_ = note; })) {}
    ElsewhereOnTheStore(const ElsewhereOnTheStore&) = delete;
    ElsewhereOnTheStore& operator=(const ElsewhereOnTheStore&) = delete;

    std::shared_ptr<Item> item(const Item& sameAs) {
        return std::static_pointer_cast<Item>(
            context_->existingObjectWithGlobalID(sameAs.entity(), sameAs.globalID()));
    }
    // Saves and hands back what the main context is told.
    store::ContextDidSaveNotification save() {
        context_->save();
        return saved_;
    }

  private:
    std::shared_ptr<store::ManagedObjectContext> context_;
    store::ManagedObjectContext::ObserverToken token_;
    store::ContextDidSaveNotification saved_;
};

TEST_F(ItemsScreenRows, AnItemCheckedElsewhereMovesUnderCheckedFirstOnceMerged) {
    auto items = withSortMode(5, {"a", "b", "c"});
    auto frc = controllerFor(list.get());
    ElsewhereOnTheStore elsewhere(db());
    auto theirs = elsewhere.item(*items[0]);
    ASSERT_NE(theirs, nullptr);
    theirs->setIsDone(true);
    theirs->setDoneDate(Date{1'900'000'000.0});
    const auto note = elsewhere.save();
    EXPECT_THAT(recorder.lines, IsEmpty());

    context().mergeChangesFromContextDidSaveNotification(note);
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "move a 2->0", "did change"));
    EXPECT_TRUE(items[0]->isDone());
    EXPECT_EQ(list->doneCount(), 0);  // merges do not recount
}

TEST_F(ItemsScreenRows, AnItemAddedElsewhereIsInsertedOnceMerged) {
    withSortMode(3, {"a", "b"});
    auto frc = controllerFor(list.get());
    ElsewhereOnTheStore elsewhere(db());
    auto theirs = elsewhere.item(*fetchItemWithBody("a"));
    // A new item in the same list, made over there, newest of all.
    auto added =
        std::static_pointer_cast<Item>(theirs->managedObjectContext()->insertNewObject("Item"));
    added->setBody("from elsewhere");
    added->setCreated(Date{1'900'000'000.0});
    added->setForList(theirs->forList());
    context().mergeChangesFromContextDidSaveNotification(elsewhere.save());
    EXPECT_THAT(recorder.lines,
                ElementsAre("will change", "insert from elsewhere -->0", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("from elsewhere", "b", "a"));
    EXPECT_EQ(list->progressInfo("", "").first, "3");
}

// --- A drag's renumbering ------------------------------------------------------------------------

class DragRenumbering : public ItemsScreenRows {
  protected:
    std::vector<std::shared_ptr<Item>> items = withSortMode(7, {"d", "c", "b", "a"});
    std::unique_ptr<store::FetchedResultsController> frc = controllerFor(list.get());

    std::vector<store::ManagedObject*> shown() const {
        std::vector<store::ManagedObject*> out;
        for (const auto& o : frc->fetchedObjects()) {
            out.push_back(o.get());
        }
        return out;
    }
};

TEST_F(DragRenumbering, WithTheDelegateDetachedGivesNoCallbacksAfterReattaching) {
    ASSERT_THAT(rows(*frc), ElementsAre("a", "b", "c", "d"));
    auto objects = shown();
    frc->setDelegate(nullptr);
    ASSERT_TRUE(renumberAfterMove(objects, 3, 0));
    frc->setDelegate(&recorder);
    EXPECT_THAT(recorder.lines, IsEmpty());
    EXPECT_THAT(rows(*frc), ElementsAre("d", "a", "b", "c"));

    db().saveContext(false);  // the next save carries the numbers, still without callbacks
    EXPECT_THAT(recorder.lines, IsEmpty());
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(DragRenumbering, TheScreenHearsLaterChangesAgainOnceReattached) {
    auto objects = shown();
    frc->setDelegate(nullptr);
    renumberAfterMove(objects, 3, 0);
    frc->setDelegate(&recorder);
    toggleItem(db(), *items[0]);  // d, now at the top
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "update d 0->0", "did change"));
}

TEST_F(DragRenumbering, WithTheDelegateAttachedEveryRenumberedRowWouldBeReportedAsAMove) {
    auto objects = shown();
    renumberAfterMove(objects, 3, 0);  // d keeps 0; a, b and c get 1, 2 and 3
    context().processPendingChanges();
    EXPECT_THAT(recorder.lines, ElementsAre("will change", "move a 0->1", "move b 1->2",
                                            "move c 2->3", "did change"));
    EXPECT_THAT(rows(*frc), ElementsAre("d", "a", "b", "c"));
}

}  // namespace
}  // namespace jw::model
