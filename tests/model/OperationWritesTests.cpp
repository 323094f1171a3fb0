// What each operation writes, and whether it leaves the main context saved. Most operations
// save at once; a drag's renumbering, a sort-mode choice and a recount of doneCount stay in
// the context and reach the file with whatever save comes next.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ModelTestSupport.h"

namespace jw::model {
namespace {

using support::ModelTest;
using support::raw;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<store::ManagedObject*> asObjects(const std::vector<std::shared_ptr<Item>>& items) {
    std::vector<store::ManagedObject*> out;
    for (const auto& i : items) {
        out.push_back(i.get());
    }
    return out;
}
std::vector<std::int32_t> sortNumbersOf(const std::vector<std::shared_ptr<Item>>& items) {
    std::vector<std::int32_t> out;
    for (const auto& i : items) {
        out.push_back(i->sortNumber());
    }
    return out;
}

class ListOperations : public ModelTest {};

TEST_F(ListOperations, NewListInsertsANamedListCreatedNowAndSaves) {
    clock().advance(42);
    const Date now = clock().current();
    auto list = newList(db(), "Groceries");
    EXPECT_FALSE(context().hasChanges());
    reopen();
    auto stored = fetchListNamed("Groceries");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->created(), now);
}

TEST_F(ListOperations, RenameWritesOnlyTheNameAndSaves) {
    auto list = newList(db(), "Groceries");
    const auto created = list->created();
    clock().advance(60);
    EXPECT_TRUE(renameList(db(), *list, "Market"));
    EXPECT_FALSE(context().hasChanges());
    reopen();
    EXPECT_EQ(fetchListNamed("Groceries"), nullptr);
    auto stored = fetchListNamed("Market");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->created(), created);
}

TEST_F(ListOperations, DeleteRemovesTheListAndSaves) {
    auto list = newList(db(), "Groceries");
    newList(db(), "Hardware");
    deleteList(db(), *list);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_TRUE(list->isDeleted());
    reopen();
    EXPECT_THAT(support::namesOf(fetchLists()), ElementsAre("Hardware"));
}

TEST_F(ListOperations, ReorderingListsRenumbersThemAllButSavesNothing) {
    for (auto name : {"a", "b", "c", "d"}) {
        newList(db(), name);
    }
    auto lists = fetchLists(true);  // all sortNumber 0, so by name: a b c d
    ASSERT_THAT(support::namesOf(lists), ElementsAre("a", "b", "c", "d"));
    std::vector<store::ManagedObject*> shown;
    for (const auto& l : lists) {
        shown.push_back(l.get());
    }
    ASSERT_TRUE(renumberAfterMove(shown, 3, 0));
    EXPECT_TRUE(context().hasChanges());
    EXPECT_THAT(support::namesOf(fetchLists(true)), ElementsAre("d", "a", "b", "c"));
    EXPECT_EQ(fetchListNamed("d")->sortNumber(), 0);
    EXPECT_EQ(fetchListNamed("c")->sortNumber(), 3);

    reopen();  // never saved: the file still holds the old numbers
    EXPECT_THAT(support::namesOf(fetchLists(true)), ElementsAre("a", "b", "c", "d"));
}

TEST_F(ListOperations, ARenumberingRidesOnTheNextSavingOperation) {
    for (auto name : {"a", "b", "c"}) {
        newList(db(), name);
    }
    auto lists = fetchLists(true);
    std::vector<store::ManagedObject*> shown;
    for (const auto& l : lists) {
        shown.push_back(l.get());
    }
    renumberAfterMove(shown, 2, 0);
    newList(db(), "e");  // a new list, saved, keeps sortNumber 0 and sorts by name among ties
    EXPECT_FALSE(context().hasChanges());
    reopen();
    EXPECT_THAT(support::namesOf(fetchLists(true)), ElementsAre("c", "e", "a", "b"));
}

TEST_F(ListOperations, ChoosingAThemeWritesTheKeyAndSaves) {
    auto list = newList(db(), "Groceries");
    chooseTheme(db(), list.get(), "Mint");
    EXPECT_FALSE(context().hasChanges());
    reopen();
    EXPECT_EQ(fetchListNamed("Groceries")->themeKey(), "Mint");
}

TEST_F(ListOperations, ChoosingAThemeWithNoListStillSavesWhatIsPending) {
    auto list = newList(db(), "Groceries");
    chooseSortMode(list.get(), 1);
    ASSERT_TRUE(context().hasChanges());
    chooseTheme(db(), nullptr, "Mint");
    EXPECT_FALSE(context().hasChanges());
    reopen();
    auto stored = fetchListNamed("Groceries");
    EXPECT_EQ(stored->sortMode(), 1);
    EXPECT_EQ(stored->themeKey(), std::nullopt);
}

class SortModeChoice : public ModelTest {};

TEST_F(SortModeChoice, WritesTheCodeButSavesNothing) {
    auto list = newList(db(), "Groceries");
    chooseSortMode(list.get(), 5);
    EXPECT_EQ(list->sortMode(), 5);
    EXPECT_TRUE(context().hasChanges());
    reopen();
    EXPECT_EQ(fetchListNamed("Groceries")->sortMode(), 0);
}

TEST_F(SortModeChoice, ReachesTheFileWithTheNextSave) {
    auto list = newList(db(), "Groceries");
    chooseSortMode(list.get(), 7);
    newItem(db(), *list, "Milk");
    reopen();
    EXPECT_EQ(fetchListNamed("Groceries")->sortMode(), 7);
}

TEST_F(SortModeChoice, AnyStoredValueIsKeptAsWritten) {
    auto list = newList(db(), "Groceries");
    chooseSortMode(list.get(), -1);
    db().saveContext(false);
    reopen();
    EXPECT_EQ(fetchListNamed("Groceries")->sortMode(), -1);
}

TEST_F(SortModeChoice, WithNoListChangesNothing) {
    newList(db(), "Groceries");
    chooseSortMode(nullptr, 5);
    EXPECT_FALSE(context().hasChanges());
}

// --- Items
// ----------------------------------------------------------------------------------------

class ItemOperations : public ModelTest {
  protected:
    std::shared_ptr<List> list = newList(db(), "Groceries");
};

TEST_F(ItemOperations, NewItemWritesTextCreationAndListAndSaves) {
    clock().advance(5);
    const Date now = clock().current();
    newItem(db(), *list, "Milk");
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(list->listItemsCount(), 1u);
    reopen();
    auto stored = fetchItemWithBody("Milk");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->created(), now);
    EXPECT_EQ(stored->forList()->name(), "Groceries");
}

TEST_F(ItemOperations, NewItemLeavesAStaleDoneCountAsItIs) {
    auto items = addItems(*list, {"a", "b"});
    toggleItem(db(), *items[0]);
    deleteItem(db(), *items[0]);
    ASSERT_EQ(list->doneCount(), 1);  // stale: the checked item is gone
    newItem(db(), *list, "c");
    EXPECT_EQ(list->doneCount(), 1);
}

TEST_F(ItemOperations, EditingTextWritesOnlyTheBodyAndSaves) {
    auto item = addItems(*list, {"Milk"})[0];
    toggleItem(db(), *item);
    const auto created = item->created();
    const auto doneDate = item->doneDate();
    clock().advance(30);
    editItemText(db(), *item, "Oat milk");
    EXPECT_FALSE(context().hasChanges());
    reopen();
    auto stored = fetchItemWithBody("Oat milk");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->created(), created);
    EXPECT_TRUE(stored->isDone());
    EXPECT_EQ(stored->doneDate(), doneDate);
}

TEST_F(ItemOperations, CheckingSetsTheDoneDateToNowAndRecountsAndSaves) {
    auto items = addItems(*list, {"a", "b", "c"});
    clock().advance(100);
    const Date checkedAt = clock().current();
    toggleItem(db(), *items[1]);
    EXPECT_TRUE(items[1]->isDone());
    EXPECT_EQ(items[1]->doneDate(), checkedAt);
    EXPECT_EQ(list->doneCount(), 1);
    EXPECT_FALSE(context().hasChanges());
    reopen();
    auto stored = fetchItemWithBody("b");
    EXPECT_TRUE(stored->isDone());
    EXPECT_EQ(stored->doneDate(), checkedAt);
    EXPECT_EQ(fetchListNamed("Groceries")->doneCount(), 1);
}

TEST_F(ItemOperations, UncheckingClearsTheDoneDateAndRecounts) {
    auto item = addItems(*list, {"a"})[0];
    toggleItem(db(), *item);
    toggleItem(db(), *item);
    EXPECT_FALSE(item->isDone());
    EXPECT_EQ(item->doneDate(), std::nullopt);
    EXPECT_EQ(list->doneCount(), 0);
    reopen();
    auto stored = fetchItemWithBody("a");
    EXPECT_FALSE(stored->isDone());
    EXPECT_EQ(stored->doneDate(), std::nullopt);
    EXPECT_EQ(fetchListNamed("Groceries")->doneCount(), 0);
}

TEST_F(ItemOperations, CheckingAgainGivesANewerDoneDate) {
    auto item = addItems(*list, {"a"})[0];
    toggleItem(db(), *item);
    const auto first = item->doneDate();
    toggleItem(db(), *item);
    clock().advance(10);
    toggleItem(db(), *item);
    ASSERT_TRUE(first && item->doneDate());
    EXPECT_EQ(item->doneDate()->secondsSince(*first), 10.0);
}

TEST_F(ItemOperations, CheckingAnItemOfAListWhoseDoneCountWasStaleMakesItExact) {
    auto items = addItems(*list, {"a", "b", "c"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[1]);
    deleteItem(db(), *items[0]);
    ASSERT_EQ(list->doneCount(), 2);
    toggleItem(db(), *items[2]);
    EXPECT_EQ(list->doneCount(), 2);  // b and c, counted afresh
    toggleItem(db(), *items[1]);
    EXPECT_EQ(list->doneCount(), 1);
}

TEST_F(ItemOperations, DeletingOneItemLeavesDoneCountAloneAndSaves) {
    auto items = addItems(*list, {"a", "b"});
    toggleItem(db(), *items[0]);
    deleteItem(db(), *items[0]);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(list->doneCount(), 1);
    reopen();
    auto stored = fetchListNamed("Groceries");
    EXPECT_EQ(stored->doneCount(), 1);
    EXPECT_THAT(support::bodiesOf(fetchItems(stored.get())), ElementsAre("b"));
}

TEST_F(ItemOperations, RecountingCountsEveryDoneItemOfTheListButSavesNothing) {
    auto items = addItems(*list, {"a", "b", "c"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[1]);
    deleteItem(db(), *items[0]);
    ASSERT_EQ(list->doneCount(), 2);
    recountDone(*list);
    EXPECT_EQ(list->doneCount(), 1);
    EXPECT_TRUE(context().hasChanges());
    reopen();
    EXPECT_EQ(fetchListNamed("Groceries")->doneCount(), 2);
}

TEST_F(ItemOperations, ResetCheckedUnchecksTheShownCheckedItemsRecountsAndSaves) {
    auto items = addItems(*list, {"a", "b", "c", "d"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[2]);
    resetChecked(db(), list.get(), raw(fetchItems(list.get())));
    EXPECT_FALSE(context().hasChanges());
    for (const auto& i : items) {
        EXPECT_FALSE(i->isDone());
        EXPECT_EQ(i->doneDate(), std::nullopt);
    }
    EXPECT_EQ(list->doneCount(), 0);
    reopen();
    EXPECT_THAT(fetchItems(fetchListNamed("Groceries").get(), JWListFilter::checked), IsEmpty());
    EXPECT_EQ(fetchListNamed("Groceries")->doneCount(), 0);
}

TEST_F(ItemOperations, ResetCheckedTouchesOnlyTheShownItemsButCountsThemAll) {
    auto items = addItems(*list, {"a", "b", "c"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[1]);
    // Only b is shown (a screen whose rows leave a out); a stays checked but is counted.
    resetChecked(db(), list.get(), {items[1].get()});
    EXPECT_TRUE(items[0]->isDone());
    EXPECT_FALSE(items[1]->isDone());
    EXPECT_EQ(list->doneCount(), 1);
}

TEST_F(ItemOperations, ResetCheckedUnderTheUncheckedFilterChangesNothing) {
    auto items = addItems(*list, {"a", "b"});
    toggleItem(db(), *items[0]);
    const auto doneDate = items[0]->doneDate();
    resetChecked(db(), list.get(), raw(fetchItems(list.get(), JWListFilter::unchecked)));
    EXPECT_TRUE(items[0]->isDone());
    EXPECT_EQ(items[0]->doneDate(), doneDate);
    EXPECT_EQ(list->doneCount(), 1);
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(ItemOperations, DeleteCheckedDeletesTheShownCheckedItemsAndCountsWhatRemains) {
    auto items = addItems(*list, {"a", "b", "c", "d"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[1]);
    toggleItem(db(), *items[3]);
    // The rows shown are a, d and c; b, checked too, is not among them.
    deleteChecked(db(), list.get(), {items[0].get(), items[3].get(), items[2].get()});
    EXPECT_FALSE(context().hasChanges());
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("c", "b"));
    EXPECT_EQ(list->doneCount(), 1);  // b, which was not shown, is still done
    reopen();
    auto stored = fetchListNamed("Groceries");
    EXPECT_EQ(stored->doneCount(), 1);
    EXPECT_EQ(stored->listItemsCount(), 2u);
}

TEST_F(ItemOperations, DeleteCheckedUnderTheUncheckedFilterDeletesNothing) {
    auto items = addItems(*list, {"a", "b"});
    toggleItem(db(), *items[0]);
    deleteChecked(db(), list.get(), raw(fetchItems(list.get(), JWListFilter::unchecked)));
    EXPECT_EQ(list->listItemsCount(), 2u);
    EXPECT_EQ(list->doneCount(), 1);
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(ItemOperations, BulkActionsWithNoListStillActOnTheShownItemsAndSave) {
    auto items = addItems(*list, {"a", "b"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[1]);
    resetChecked(db(), nullptr, {items[0].get()});
    EXPECT_FALSE(items[0]->isDone());
    EXPECT_EQ(list->doneCount(), 2);  // nobody recounted
    deleteChecked(db(), nullptr, raw(fetchItems(nullptr)));
    EXPECT_THAT(support::bodiesOf(fetchItems(nullptr)), ElementsAre("a"));
    EXPECT_FALSE(context().hasChanges());
}

// --- Moving and copying -------------------------------------------------------------------------

class MoveAndCopy : public ModelTest {
  protected:
    std::shared_ptr<List> source = newList(db(), "Source");
    std::shared_ptr<List> target = newList(db(), "Target");
};

TEST_F(MoveAndCopy, MovingChangesOnlyTheListAndSaves) {
    auto item = addItems(*source, {"Milk"})[0];
    toggleItem(db(), *item);
    item->setSortNumber(4);
    db().saveContext(false);
    const auto created = item->created();
    const auto doneDate = item->doneDate();

    moveItem(db(), *item, *target);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(item->forList(), target.get());
    EXPECT_THAT(fetchItems(source.get()), IsEmpty());
    EXPECT_EQ(target->listItemsCount(), 1u);

    reopen();
    auto stored = fetchItemWithBody("Milk");
    EXPECT_EQ(stored->forList()->name(), "Target");
    EXPECT_EQ(stored->created(), created);
    EXPECT_TRUE(stored->isDone());
    EXPECT_EQ(stored->doneDate(), doneDate);
    EXPECT_EQ(stored->sortNumber(), 4);
}

TEST_F(MoveAndCopy, AMovedCheckedItemLeavesTheSourceDoneCountUntilARecount) {
    auto items = addItems(*source, {"Milk", "Bread"});
    toggleItem(db(), *items[0]);
    ASSERT_EQ(source->doneCount(), 1);
    moveItem(db(), *items[0], *target);
    EXPECT_EQ(source->doneCount(), 1);
    EXPECT_EQ(target->doneCount(), 0);
    reopen();
    auto storedSource = fetchListNamed("Source");
    auto storedTarget = fetchListNamed("Target");
    EXPECT_EQ(storedSource->doneCount(), 1);
    recountDone(*storedSource);
    recountDone(*storedTarget);
    EXPECT_EQ(storedSource->doneCount(), 0);
    EXPECT_EQ(storedTarget->doneCount(), 1);
}

TEST_F(MoveAndCopy, ACopyIsANewUncheckedItemCreatedNowWithTheSameText) {
    auto original = addItems(*source, {"Milk"})[0];
    toggleItem(db(), *original);
    original->setSortNumber(9);
    original->setNote("a note");
    original->setStars(2);
    db().saveContext(false);
    clock().advance(300);
    const Date now = clock().current();

    auto copy = copyItem(db(), *original, *target);
    EXPECT_FALSE(context().hasChanges());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), original.get());
    EXPECT_EQ(copy->body(), "Milk");
    EXPECT_EQ(copy->created(), now);
    EXPECT_EQ(copy->forList(), target.get());
    EXPECT_FALSE(copy->isDone());
    EXPECT_EQ(copy->doneDate(), std::nullopt);
    EXPECT_EQ(copy->sortNumber(), 0);
    EXPECT_EQ(copy->note(), std::nullopt);
    EXPECT_EQ(copy->stars(), 0);
    EXPECT_NE(copy->globalID(), original->globalID());
}

TEST_F(MoveAndCopy, TheSourceOfACopyIsUnchanged) {
    auto original = addItems(*source, {"Milk"})[0];
    toggleItem(db(), *original);
    const auto created = original->created();
    const auto doneDate = original->doneDate();
    clock().advance(300);
    copyItem(db(), *original, *target);
    reopen();
    auto sourceItems = fetchItems(fetchListNamed("Source").get());
    ASSERT_EQ(sourceItems.size(), 1u);
    EXPECT_EQ(sourceItems[0]->body(), "Milk");
    EXPECT_TRUE(sourceItems[0]->isDone());
    EXPECT_EQ(sourceItems[0]->created(), created);
    EXPECT_EQ(sourceItems[0]->doneDate(), doneDate);
    EXPECT_EQ(fetchListNamed("Source")->doneCount(), 1);
}

TEST_F(MoveAndCopy, ACopyShowsAsTheNewestItemOfTheTarget) {
    auto original = addItems(*source, {"Milk"})[0];
    addItems(*target, {"older", "newer"});
    clock().advance(1);
    copyItem(db(), *original, *target);
    EXPECT_THAT(support::bodiesOf(fetchItems(target.get())), ElementsAre("Milk", "newer", "older"));
}

TEST_F(MoveAndCopy, CopyingAnItemWithNoTextGivesACopyWithNoText) {
    auto original = addItems(*source, {"x"})[0];
    original->setBody(std::nullopt);
    db().saveContext(false);
    auto copy = copyItem(db(), *original, *target);
    EXPECT_EQ(copy->body(), std::nullopt);
}

TEST_F(MoveAndCopy, CopyingWithinTheSameListGivesTwoItems) {
    auto original = addItems(*source, {"Milk"})[0];
    clock().advance(1);
    copyItem(db(), *original, *source);
    reopen();
    EXPECT_THAT(support::bodiesOf(fetchItems(fetchListNamed("Source").get())),
                ElementsAre("Milk", "Milk"));
}

// --- Renumbering after a drag
// ---------------------------------------------------------------------

class Renumbering : public ModelTest {
  protected:
    std::shared_ptr<List> list = [this] {
        auto l = newList(db(), "Manual");
        chooseSortMode(l.get(), 7);
        return l;
    }();

    // Items shown in manual order with the given texts, top first (added bottom first so
    // that the newest, shown first among equal numbers, is the top one).
    std::vector<std::shared_ptr<Item>> shownItems(const std::vector<std::string>& topFirst) {
        addItems(*list, std::vector<std::string>(topFirst.rbegin(), topFirst.rend()));
        auto shown = fetchItems(list.get());
        EXPECT_EQ(support::bodiesOf(shown), topFirst);
        return shown;
    }
};

TEST_F(Renumbering, DraggingTheLastOfFourToTheTopNumbersItZeroAndTheOthersOneToThree) {
    auto shown = shownItems({"a", "b", "c", "d"});
    auto objects = asObjects(shown);
    ASSERT_TRUE(renumberAfterMove(objects, 3, 0));
    EXPECT_EQ(shown[3]->sortNumber(), 0);
    EXPECT_EQ(shown[0]->sortNumber(), 1);
    EXPECT_EQ(shown[1]->sortNumber(), 2);
    EXPECT_EQ(shown[2]->sortNumber(), 3);
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("d", "a", "b", "c"));
}

TEST_F(Renumbering, DraggingTheThirdOfFiveToTheTopKeepsTheOthersInTheirOrder) {
    auto shown = shownItems({"a", "b", "c", "d", "e"});
    auto objects = asObjects(shown);
    ASSERT_TRUE(renumberAfterMove(objects, 2, 0));
    EXPECT_EQ(shown[2]->sortNumber(), 0);
    EXPECT_THAT(sortNumbersOf(shown), ElementsAre(1, 2, 0, 3, 4));
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("c", "a", "b", "d", "e"));
}

TEST_F(Renumbering, DraggingDownPutsTheItemAtTheDestinationRow) {
    auto shown = shownItems({"a", "b", "c", "d"});
    auto objects = asObjects(shown);
    ASSERT_TRUE(renumberAfterMove(objects, 0, 2));
    EXPECT_THAT(sortNumbersOf(shown), ElementsAre(2, 0, 1, 3));
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("b", "c", "a", "d"));
}

TEST_F(Renumbering, TheRenumberingIsNotSavedUntilTheNextSave) {
    auto shown = shownItems({"a", "b", "c"});
    auto objects = asObjects(shown);
    renumberAfterMove(objects, 2, 0);
    EXPECT_TRUE(context().hasChanges());
    reopen();
    auto stored = fetchListNamed("Manual");
    EXPECT_THAT(sortNumbersOf(fetchItems(stored.get())), ElementsAre(0, 0, 0));
}

TEST_F(Renumbering, TheNextSaveStoresTheNewOrder) {
    auto shown = shownItems({"a", "b", "c"});
    auto objects = asObjects(shown);
    renumberAfterMove(objects, 2, 0);
    db().saveContext(false);
    reopen();
    EXPECT_THAT(support::bodiesOf(fetchItems(fetchListNamed("Manual").get())),
                ElementsAre("c", "a", "b"));
}

TEST_F(Renumbering, GapsAndDuplicatesBecomeDenseFromZero) {
    auto shown = shownItems({"a", "b", "c", "d"});
    shown[0]->setSortNumber(-5);
    shown[1]->setSortNumber(9);
    shown[2]->setSortNumber(9);
    shown[3]->setSortNumber(40);
    auto current = fetchItems(list.get());
    ASSERT_EQ(support::bodiesOf(current), (std::vector<std::string>{"a", "b", "c", "d"}));
    auto objects = asObjects(current);
    ASSERT_TRUE(renumberAfterMove(objects, 1, 1));
    EXPECT_THAT(sortNumbersOf(current), ElementsAre(0, 1, 2, 3));
}

TEST_F(Renumbering, ANewItemLandsAmongTheItemsNumberedZeroNewestFirst) {
    auto shown = shownItems({"a", "b", "c"});
    auto objects = asObjects(shown);
    renumberAfterMove(objects, 0, 2);  // b 0, c 1, a 2
    clock().advance(1);
    newItem(db(), *list, "new");
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("new", "b", "c", "a"));
}

TEST_F(Renumbering, UnderAFilterOnlyTheShownItemsAreRenumbered) {
    auto all = shownItems({"a", "b", "c", "d", "e"});
    auto objects = asObjects(all);
    renumberAfterMove(objects, 0, 0);  // a0 b1 c2 d3 e4
    toggleItem(db(), *all[1]);
    toggleItem(db(), *all[3]);
    auto unchecked = fetchItems(list.get(), JWListFilter::unchecked);
    ASSERT_EQ(support::bodiesOf(unchecked), (std::vector<std::string>{"a", "c", "e"}));
    auto shown = asObjects(unchecked);
    ASSERT_TRUE(renumberAfterMove(shown, 2, 0));  // e to the top of the unchecked rows
    EXPECT_THAT(sortNumbersOf(all), ElementsAre(1, 1, 2, 3, 0));
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("e", "a", "b", "c", "d"));
}

TEST_F(Renumbering, RowsOutsideTheShownRangeChangeNothing) {
    auto shown = shownItems({"a", "b", "c"});
    shown[0]->setSortNumber(7);
    db().saveContext(false);
    auto objects = asObjects(shown);
    EXPECT_FALSE(renumberAfterMove(objects, 3, 0));
    EXPECT_FALSE(renumberAfterMove(objects, 0, 3));
    EXPECT_FALSE(context().hasChanges());
    EXPECT_THAT(sortNumbersOf(shown), ElementsAre(7, 0, 0));
    std::vector<store::ManagedObject*> none;
    EXPECT_FALSE(renumberAfterMove(none, 0, 0));
}

TEST_F(Renumbering, RenumbersAnItemsScreenWithNoListTheSameWay) {
    auto other = newList(db(), "Other");
    addItems(*list, {"a"});
    addItems(*other, {"b"});
    auto everything = fetchItems(nullptr);
    ASSERT_EQ(support::bodiesOf(everything), (std::vector<std::string>{"b", "a"}));
    auto objects = asObjects(everything);
    ASSERT_TRUE(renumberAfterMove(objects, 1, 0));
    EXPECT_THAT(sortNumbersOf(everything), ElementsAre(1, 0));
}

}  // namespace
}  // namespace jw::model
