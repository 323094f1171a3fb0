// The counts text and done fraction of a list: every item counts, the done count is the
// stored doneCount as it is (stale or not), and the text shows "done/" only from one done up.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ModelTestSupport.h"

namespace jw::model {
namespace {

using support::ModelTest;

class ProgressInfo : public ModelTest {
  protected:
    std::shared_ptr<List> list = newList(db(), "Groceries");

    std::vector<std::shared_ptr<Item>> itemsCalled(std::initializer_list<std::string> texts) {
        return addItems(*list, texts);
    }
    // The list's done count as something else left it (a merge, an earlier recount).
    void storeDoneCount(std::int32_t count) {
        list->setDoneCount(count);
        db().saveContext(false);
    }
};

TEST_F(ProgressInfo, AListWithNoItemsHasNoTextAndNothingDone) {
    const auto [text, fraction] = list->progressInfo("", "");
    EXPECT_EQ(text, std::nullopt);
    EXPECT_EQ(fraction, 0.0f);
}

TEST_F(ProgressInfo, NoItemsMeansNoTextEvenWithAStaleDoneCount) {
    storeDoneCount(3);
    const auto [text, fraction] = list->progressInfo(" (", ")");
    EXPECT_EQ(text, std::nullopt);
    EXPECT_EQ(fraction, 0.0f);
}

TEST_F(ProgressInfo, NothingDoneShowsJustTheItemCount) {
    itemsCalled({"a", "b", "c", "d", "e"});
    const auto [text, fraction] = list->progressInfo("", "");
    EXPECT_EQ(text, "5");
    EXPECT_EQ(fraction, 0.0f);
}

TEST_F(ProgressInfo, SomeDoneShowsDoneSlashCount) {
    auto items = itemsCalled({"a", "b", "c", "d", "e"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[3]);
    const auto [text, fraction] = list->progressInfo("", "");
    EXPECT_EQ(text, "2/5");
    EXPECT_FLOAT_EQ(fraction, 0.4f);
}

TEST_F(ProgressInfo, PrefixAndSuffixWrapTheCountsAsTheTitleNeedsThem) {
    std::vector<std::string> ten;
    for (int i = 0; i < 10; ++i) {
        ten.push_back("item " + std::to_string(i));
    }
    auto items = addItems(*list, ten);
    EXPECT_EQ(list->progressInfo(" (", ")").first, " (10)");
    for (int i = 0; i < 3; ++i) {
        toggleItem(db(), *items[std::size_t(i) * 3]);
    }
    EXPECT_EQ(list->progressInfo(" (", ")").first, " (3/10)");
    EXPECT_EQ(list->name().value_or("") + *list->progressInfo(" (", ")").first, "Groceries (3/10)");
}

TEST_F(ProgressInfo, AllDoneGivesAFractionOfOne) {
    auto items = itemsCalled({"a", "b", "c"});
    for (auto& i : items) {
        toggleItem(db(), *i);
    }
    const auto [text, fraction] = list->progressInfo("", "");
    EXPECT_EQ(text, "3/3");
    EXPECT_EQ(fraction, 1.0f);
}

TEST_F(ProgressInfo, TheFractionIsAThirtyTwoBitDivision) {
    auto items = itemsCalled({"a", "b", "c"});
    toggleItem(db(), *items[0]);
    EXPECT_EQ(list->progressInfo("", "").second, 1.0f / 3.0f);
}

TEST_F(ProgressInfo, AStaleDoneCountAboveTheItemCountIsShownAsItIs) {
    itemsCalled({"a", "b", "c", "d"});
    storeDoneCount(5);
    const auto [text, fraction] = list->progressInfo("", "");
    EXPECT_EQ(text, "5/4");
    EXPECT_FLOAT_EQ(fraction, 1.25f);
}

TEST_F(ProgressInfo, ANegativeDoneCountShowsNoDonePartAndANegativeFraction) {
    itemsCalled({"a", "b", "c", "d"});
    storeDoneCount(-1);
    const auto [text, fraction] = list->progressInfo("", "");
    EXPECT_EQ(text, "4");
    EXPECT_FLOAT_EQ(fraction, -0.25f);
}

TEST_F(ProgressInfo, LargeCountsArePlainDigitsWithoutGrouping) {
    itemsCalled({"a"});
    storeDoneCount(1234567);
    EXPECT_EQ(list->progressInfo("", "").first, "1234567/1");
}

TEST_F(ProgressInfo, CountsItemsNotYetSaved) {
    itemsCalled({"a"});
    auto unsaved = std::static_pointer_cast<Item>(context().insertNewObject("Item"));
    unsaved->setBody("b");
    unsaved->setForList(list.get());
    EXPECT_EQ(list->progressInfo("", "").first, "2");
}

TEST_F(ProgressInfo, CountsEveryItemWhateverAScreenFiltersAndIgnoresOtherLists) {
    auto other = newList(db(), "Other");
    addItems(*other, {"x", "y", "z"});
    auto items = itemsCalled({"a", "b", "c", "d", "e"});
    ASSERT_TRUE(fetchItems(list.get(), JWListFilter::checked).empty());
    EXPECT_EQ(list->progressInfo(" (", ")").first, " (5)");
    toggleItem(db(), *items[1]);
    EXPECT_EQ(list->progressInfo(" (", ")").first, " (1/5)");
}

TEST_F(ProgressInfo, IsTheSameWhenReadBackFromTheFileWithoutLoadingTheItems) {
    auto items = itemsCalled({"a", "b", "c", "d", "e"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[1]);
    reopen();
    auto stored = fetchListNamed("Groceries");
    const auto [text, fraction] = stored->progressInfo("", "");
    EXPECT_EQ(text, "2/5");
    EXPECT_FLOAT_EQ(fraction, 0.4f);
}

TEST_F(ProgressInfo, CountsStayRightForListsWhoseItemsWereNeverRead) {
    newList(db(), "Other");
    itemsCalled({"a", "b", "c"});
    reopen();
    auto groceries = fetchListNamed("Groceries");
    auto target = fetchListNamed("Other");
    auto a = fetchItemWithBody("a");
    auto b = fetchItemWithBody("b");
    moveItem(db(), *a, *target);
    deleteItem(db(), *b);
    newItem(db(), *target, "d");
    EXPECT_EQ(groceries->progressInfo("", "").first, "1");
    EXPECT_EQ(target->progressInfo("", "").first, "2");
    reopen();
    EXPECT_EQ(fetchListNamed("Groceries")->progressInfo("", "").first, "1");
    EXPECT_EQ(fetchListNamed("Other")->progressInfo("", "").first, "2");
}

// --- How doneCount lags --------------------------------------------------------------------------

class DoneCountLag : public ModelTest {
  protected:
    std::shared_ptr<List> list = newList(db(), "Groceries");
};

TEST_F(DoneCountLag, DeletingACheckedItemLeavesTheCountTooHighUntilARecount) {
    auto items = addItems(*list, {"a", "b"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[1]);
    deleteItem(db(), *items[0]);
    EXPECT_EQ(list->progressInfo("", "").first, "2/1");
    EXPECT_FLOAT_EQ(list->progressInfo("", "").second, 2.0f);
    recountDone(*list);
    EXPECT_EQ(list->progressInfo("", "").first, "1/1");
}

TEST_F(DoneCountLag, MovingACheckedItemAwayLeavesBothListsStaleUntilEachIsRecounted) {
    auto target = newList(db(), "Target");
    addItems(*target, {"t"});
    auto items = addItems(*list, {"a", "b"});
    toggleItem(db(), *items[0]);
    moveItem(db(), *items[0], *target);

    EXPECT_EQ(list->progressInfo("", "").first, "1/1");  // b alone, not done
    EXPECT_EQ(target->progressInfo("", "").first, "2");  // holds a done item, counts 0
    reopen();
    auto storedSource = fetchListNamed("Groceries");
    auto storedTarget = fetchListNamed("Target");
    EXPECT_EQ(storedSource->progressInfo("", "").first, "1/1");
    EXPECT_EQ(storedTarget->progressInfo("", "").first, "2");
    recountDone(*storedSource);
    recountDone(*storedTarget);
    EXPECT_EQ(storedSource->progressInfo("", "").first, "1");
    EXPECT_EQ(storedTarget->progressInfo("", "").first, "1/2");
}

TEST_F(DoneCountLag, CopyingACheckedItemAddsAnUncheckedItemAndNoDoneCount) {
    auto target = newList(db(), "Target");
    auto item = addItems(*list, {"a"})[0];
    toggleItem(db(), *item);
    copyItem(db(), *item, *target);
    EXPECT_EQ(target->progressInfo("", "").first, "1");
    recountDone(*target);
    EXPECT_EQ(target->doneCount(), 0);
    EXPECT_EQ(list->progressInfo("", "").first, "1/1");
}

TEST_F(DoneCountLag, RecountingAListWhoseItemsWereNeverLoadedReadsThemFromTheFile) {
    auto items = addItems(*list, {"a", "b", "c"});
    toggleItem(db(), *items[0]);
    toggleItem(db(), *items[2]);
    list->setDoneCount(0);
    db().saveContext(false);
    reopen();
    auto stored = fetchListNamed("Groceries");
    recountDone(*stored);
    EXPECT_EQ(stored->doneCount(), 2);
}

}  // namespace
}  // namespace jw::model
