// Which items a list shows and in which order, for each sort mode and filter, as worked
// examples: first with the plain ordering function, then as the store fetches them; and the
// order of lists on the lists screen and in the list picker.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "src/model/JWListFilter.h"
#include "src/model/JWListSortMode.h"

namespace jw::model {
namespace {

using support::ModelTest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// --- The sort-mode codes and the filter ----------------------------------------------------------

TEST(SortModeCodes, NamedCodesBehaveAsThemselves) {
    EXPECT_EQ(effectiveSortMode(1), JWListSortMode::alphabetical);
    EXPECT_EQ(effectiveSortMode(3), JWListSortMode::latestCreated);
    EXPECT_EQ(effectiveSortMode(5), JWListSortMode::checkedFirst);
    EXPECT_EQ(effectiveSortMode(6), JWListSortMode::checkedLast);
    EXPECT_EQ(effectiveSortMode(7), JWListSortMode::manual);
}

TEST(SortModeCodes, EveryOtherValueBehavesAsLatestCreated) {
    for (std::int64_t v : {0, 2, 4, 8, -1, 32767, -32768}) {
        EXPECT_EQ(effectiveSortMode(v), JWListSortMode::latestCreated) << "stored value " << v;
    }
}

TEST(SortModeCodes, TheMenuMarksLatestCreatedForUnnamedValuesButNothingForTwoAndFour) {
    EXPECT_EQ(markedSortMode(std::nullopt), JWListSortMode::latestCreated);
    EXPECT_EQ(markedSortMode(0), JWListSortMode::latestCreated);
    EXPECT_EQ(markedSortMode(8), JWListSortMode::latestCreated);
    EXPECT_EQ(markedSortMode(-1), JWListSortMode::latestCreated);
    EXPECT_EQ(markedSortMode(2), std::nullopt);
    EXPECT_EQ(markedSortMode(4), std::nullopt);
    EXPECT_EQ(markedSortMode(6), JWListSortMode::checkedLast);
}

TEST(SortModeCodes, MenuEntriesComeInMenuOrderWithTheirLabels) {
    std::vector<std::string> labels;
    for (auto mode : menuSortModes()) {
        labels.emplace_back(sortModeMenuLabel(mode));
    }
    EXPECT_THAT(labels, ElementsAre("Sort: Checked First", "Sort: Checked Last",
                                    "Sort: Latest Created", "Sort: Manual", "Sort: Alphabetical"));
    EXPECT_EQ(sortModeName(JWListSortMode::checkedFirst), "checkedFirst");
}

TEST(ListFilter, ThreeTapsWalkUncheckedCheckedAndBackToAll) {
    auto f = JWListFilter::none;
    std::vector<std::string> titles;
    for (int tap = 0; tap < 3; ++tap) {
        f = nextFilter(f);
        titles.emplace_back(filterButtonTitle(f));
    }
    EXPECT_THAT(titles, ElementsAre("\u2610 Unchecked", "\u2714\uFE0E Checked", "All"));
    EXPECT_EQ(f, JWListFilter::none);
}

TEST(ListFilter, TitlesAreExactlyTheseBytes) {
    EXPECT_EQ(filterButtonTitle(JWListFilter::checked), "\xE2\x9C\x94\xEF\xB8\x8E Checked");
    EXPECT_EQ(filterButtonTitle(JWListFilter::checked).size(), 14u);
    EXPECT_EQ(filterButtonTitle(JWListFilter::unchecked), "\xE2\x98\x90 Unchecked");
    EXPECT_EQ(filterButtonTitle(JWListFilter::unchecked).size(), 13u);
    EXPECT_EQ(static_cast<int>(JWListFilter::checked), 1);
    EXPECT_EQ(static_cast<int>(JWListFilter::unchecked), 2);
}

// --- The plain ordering function
// ------------------------------------------------------------------

constexpr double kBase = 1'800'000'000.0;

ItemFacts facts(std::optional<std::string> body, std::optional<double> createdOffset,
                bool isDone = false, std::optional<double> doneOffset = std::nullopt,
                std::int64_t sortNumber = 0) {
    ItemFacts f;
    f.body = std::move(body);
    if (createdOffset) {
        f.created = Date{kBase + *createdOffset};
    }
    f.isDone = isDone;
    if (doneOffset) {
        f.doneDate = Date{kBase + *doneOffset};
    }
    f.sortNumber = sortNumber;
    f.globalID = store::GlobalID::generate();
    return f;
}

std::vector<std::string> shownBodies(std::int64_t sortMode, JWListFilter filter,
                                     const std::vector<ItemFacts>& items) {
    std::vector<std::string> out;
    for (auto i : shownItemOrder(sortMode, filter, items)) {
        out.push_back(items[i].body.value_or("<absent>"));
    }
    return out;
}

TEST(ShownItemOrder, LatestCreatedShowsNewestFirst) {
    const std::vector<ItemFacts> items = {facts("old", 1), facts("new", 3), facts("mid", 2)};
    EXPECT_THAT(shownBodies(3, JWListFilter::none, items), ElementsAre("new", "mid", "old"));
}

TEST(ShownItemOrder, UnnamedAndOutOfRangeCodesOrderExactlyLikeLatestCreated) {
    const std::vector<ItemFacts> items = {facts("b", 2, true, 9),
                                          facts("a", 1, false, std::nullopt, -3), facts("c", 3),
                                          facts("Z", 5, true, 1, 4), facts("d", std::nullopt)};
    const auto latest = shownItemOrder(3, JWListFilter::none, items);
    ASSERT_THAT(shownBodies(3, JWListFilter::none, items), ElementsAre("Z", "c", "b", "a", "d"));
    for (std::int64_t v : {0, 2, 4, 8, -1}) {
        EXPECT_EQ(shownItemOrder(v, JWListFilter::none, items), latest) << "stored value " << v;
    }
}

TEST(ShownItemOrder, AlphabeticalPutsUpperCaseZBeforeLowerCaseA) {
    const std::vector<ItemFacts> items = {facts("apple", 1), facts("Zebra", 2), facts("banana", 3),
                                          facts("Apple", 4)};
    EXPECT_THAT(shownBodies(1, JWListFilter::none, items),
                ElementsAre("Apple", "Zebra", "apple", "banana"));
}

TEST(ShownItemOrder, AlphabeticalComparesCodePointsNotLocale) {
    const std::vector<ItemFacts> items = {facts("\u00C9clair", 1), facts("Eclair", 2),
                                          facts("zebra", 3), facts("\u00E9clair", 4)};
    // E (U+0045) < z (U+007A) < É (U+00C9) < é (U+00E9)
    EXPECT_THAT(shownBodies(1, JWListFilter::none, items),
                ElementsAre("Eclair", "zebra", "\u00C9clair", "\u00E9clair"));
}

TEST(ShownItemOrder, AlphabeticalShowsEqualTextsNewestFirst) {
    const std::vector<ItemFacts> items = {facts("milk", 1), facts("bread", 2), facts("milk", 3)};
    const auto order = shownItemOrder(1, JWListFilter::none, items);
    EXPECT_THAT(order, ElementsAre(1, 2, 0));
}

TEST(ShownItemOrder, AlphabeticalPutsItemsWithoutTextFirst) {
    const std::vector<ItemFacts> items = {facts("a", 1), facts(std::nullopt, 2), facts("", 3)};
    EXPECT_THAT(shownItemOrder(1, JWListFilter::none, items), ElementsAre(1, 2, 0));
}

TEST(ShownItemOrder, CheckedFirstShowsNewestCheckedThenUncheckedNewestCreated) {
    const std::vector<ItemFacts> items = {facts("done early", 1, true, 10), facts("open old", 2),
                                          facts("done late", 3, true, 30), facts("open new", 4),
                                          facts("done mid", 5, true, 20)};
    EXPECT_THAT(shownBodies(5, JWListFilter::none, items),
                ElementsAre("done late", "done mid", "done early", "open new", "open old"));
}

TEST(ShownItemOrder, CheckedLastShowsUncheckedNewestCreatedThenNewestChecked) {
    const std::vector<ItemFacts> items = {facts("done early", 1, true, 10), facts("open old", 2),
                                          facts("done late", 3, true, 30), facts("open new", 4),
                                          facts("done mid", 5, true, 20)};
    EXPECT_THAT(shownBodies(6, JWListFilter::none, items),
                ElementsAre("open new", "open old", "done late", "done mid", "done early"));
}

TEST(ShownItemOrder, CheckedItemsCheckedAtTheSameMomentShowNewestCreatedFirst) {
    const std::vector<ItemFacts> items = {facts("older", 1, true, 10), facts("newer", 2, true, 10)};
    EXPECT_THAT(shownBodies(5, JWListFilter::none, items), ElementsAre("newer", "older"));
}

TEST(ShownItemOrder, ACheckedItemWithoutADoneDateComesAfterDatedCheckedOnes) {
    const std::vector<ItemFacts> items = {facts("undated", 3, true), facts("dated", 1, true, 10),
                                          facts("open", 2)};
    EXPECT_THAT(shownBodies(5, JWListFilter::none, items), ElementsAre("dated", "undated", "open"));
}

TEST(ShownItemOrder, ManualOrdersBySortNumberThenNewestFirst) {
    const std::vector<ItemFacts> items = {
        facts("two", 1, false, std::nullopt, 2), facts("zero old", 2, false, std::nullopt, 0),
        facts("minus", 3, false, std::nullopt, -1), facts("zero new", 4, false, std::nullopt, 0)};
    EXPECT_THAT(shownBodies(7, JWListFilter::none, items),
                ElementsAre("minus", "zero new", "zero old", "two"));
}

TEST(ShownItemOrder, FiltersKeepOnlyCheckedOrOnlyUncheckedItemsInTheSameOrder) {
    const std::vector<ItemFacts> items = {facts("a", 1, true, 5), facts("b", 2),
                                          facts("c", 3, true, 4), facts("d", 4)};
    EXPECT_THAT(shownBodies(3, JWListFilter::checked, items), ElementsAre("c", "a"));
    EXPECT_THAT(shownBodies(3, JWListFilter::unchecked, items), ElementsAre("d", "b"));
    EXPECT_THAT(shownBodies(3, JWListFilter::none, items), ElementsAre("d", "c", "b", "a"));
}

TEST(ShownItemOrder, TheCheckedFilterOnAListWithNothingCheckedShowsNothing) {
    const std::vector<ItemFacts> items = {facts("a", 1), facts("b", 2)};
    EXPECT_THAT(shownItemOrder(5, JWListFilter::checked, items), IsEmpty());
    EXPECT_THAT(shownItemOrder(3, JWListFilter::none, {}), IsEmpty());
}

TEST(ShownItemOrder, ItemsEqualInEveryKeyAreOrderedByGlobalIdentifier) {
    auto a = facts("same", 1);
    auto b = facts("same", 1);
    a.globalID = *store::GlobalID::fromString("00000000-0000-4000-8000-000000000002");
    b.globalID = *store::GlobalID::fromString("00000000-0000-4000-8000-000000000001");
    EXPECT_THAT(shownItemOrder(1, JWListFilter::none, {a, b}), ElementsAre(1, 0));
    EXPECT_THAT(shownItemOrder(1, JWListFilter::none, {b, a}), ElementsAre(0, 1));
}

// --- The fetch requests
// ---------------------------------------------------------------------------

class ItemsFetch : public ModelTest {
  protected:
    std::shared_ptr<List> list = newList(db(), "Groceries");

    static std::vector<std::pair<std::string, bool>> keys(const store::FetchRequest& r) {
        std::vector<std::pair<std::string, bool>> out;
        for (const auto& d : r.sortDescriptors) {
            out.emplace_back(d.key, d.ascending);
        }
        return out;
    }
};

TEST_F(ItemsFetch, AsksForTheListsItemsInBatchesOfTenThousand) {
    const auto request = itemsFetchRequest(list.get(), JWListFilter::none);
    EXPECT_EQ(request.entityName, "Item");
    EXPECT_EQ(request.fetchBatchSize, 10000u);
    ASSERT_EQ(request.predicate.size(), 1u);
    EXPECT_EQ(request.predicate[0].key, "forList");
    EXPECT_EQ(request.predicate[0].object, list.get());
}

TEST_F(ItemsFetch, TheCheckedAndUncheckedFiltersAddACondition) {
    const auto checked = itemsFetchRequest(list.get(), JWListFilter::checked);
    ASSERT_EQ(checked.predicate.size(), 2u);
    EXPECT_EQ(checked.predicate[1].key, "isDone");
    EXPECT_EQ(checked.predicate[1].value, store::Value{true});
    const auto unchecked = itemsFetchRequest(list.get(), JWListFilter::unchecked);
    ASSERT_EQ(unchecked.predicate.size(), 2u);
    EXPECT_EQ(unchecked.predicate[1].value, store::Value{false});
}

TEST_F(ItemsFetch, SortKeysFollowTheListsSortMode) {
    using Keys = std::vector<std::pair<std::string, bool>>;
    const std::vector<std::pair<std::int16_t, Keys>> expected = {
        {1, {{"body", true}, {"created", false}}},
        {3, {{"created", false}}},
        {5, {{"isDone", false}, {"doneDate", false}, {"created", false}}},
        {6, {{"isDone", true}, {"doneDate", false}, {"created", false}}},
        {7, {{"sortNumber", true}, {"created", false}}},
        {0, {{"created", false}}},
        {2, {{"created", false}}},
        {4, {{"created", false}}},
        {8, {{"created", false}}},
        {-1, {{"created", false}}},
    };
    for (const auto& [mode, keysForMode] : expected) {
        chooseSortMode(list.get(), mode);
        EXPECT_EQ(keys(itemsFetchRequest(list.get(), JWListFilter::none)), keysForMode)
            << "sort mode " << mode;
    }
}

TEST_F(ItemsFetch, WithNoListEveryItemIsFetchedNewestFirstWhateverTheFilter) {
    const auto request = itemsFetchRequest(nullptr, JWListFilter::checked);
    EXPECT_TRUE(request.predicate.empty());
    EXPECT_EQ(keys(request), (std::vector<std::pair<std::string, bool>>{{"created", false}}));
    EXPECT_EQ(request.fetchBatchSize, 10000u);

    auto other = newList(db(), "Other");
    addItems(*list, {"g1"});
    addItems(*other, {"o1"});
    auto g2 = addItems(*list, {"g2"});
    toggleItem(db(), *g2[0]);
    EXPECT_THAT(support::bodiesOf(fetchItems(nullptr, JWListFilter::checked)),
                ElementsAre("g2", "o1", "g1"));
}

TEST_F(ItemsFetch, AListShowsOnlyItsOwnItems) {
    auto other = newList(db(), "Other");
    addItems(*list, {"mine 1"});
    addItems(*other, {"theirs"});
    addItems(*list, {"mine 2"});
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("mine 2", "mine 1"));
    EXPECT_THAT(support::bodiesOf(fetchItems(other.get())), ElementsAre("theirs"));
}

TEST_F(ItemsFetch, CheckedFirstFromTheStoreAfterCheckingAtDifferentTimes) {
    auto items = addItems(*list, {"a", "b", "c", "d", "e"});
    chooseSortMode(list.get(), 5);
    clock().advance(10);
    toggleItem(db(), *items[3]);  // d
    clock().advance(10);
    toggleItem(db(), *items[0]);  // a
    clock().advance(10);
    toggleItem(db(), *items[2]);  // c
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("c", "a", "d", "e", "b"));
    chooseSortMode(list.get(), 6);
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("e", "b", "c", "a", "d"));
}

TEST_F(ItemsFetch, CheckingAgainMovesAnItemToTheTopOfTheCheckedItems) {
    auto items = addItems(*list, {"a", "b"});
    chooseSortMode(list.get(), 5);
    toggleItem(db(), *items[0]);
    clock().advance(1);
    toggleItem(db(), *items[1]);
    ASSERT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("b", "a"));
    toggleItem(db(), *items[0]);
    clock().advance(1);
    toggleItem(db(), *items[0]);
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())), ElementsAre("a", "b"));
}

TEST_F(ItemsFetch, AlphabeticalFromTheStorePutsZBeforeAAndEqualTextsNewestFirst) {
    auto items = addItems(*list, {"apple", "Zucchini", "apple", "Banana"});
    chooseSortMode(list.get(), 1);
    auto shown = fetchItems(list.get());
    EXPECT_THAT(support::bodiesOf(shown), ElementsAre("Banana", "Zucchini", "apple", "apple"));
    EXPECT_EQ(shown[2], items[2]);
    EXPECT_EQ(shown[3], items[0]);
}

TEST_F(ItemsFetch, ACheckedFilterOnAListWithNothingCheckedShowsNothingWhileTheCountCountsAll) {
    addItems(*list, {"a", "b", "c", "d", "e"});
    EXPECT_THAT(fetchItems(list.get(), JWListFilter::checked), IsEmpty());
    EXPECT_EQ(list->name().value_or("") + list->progressInfo(" (", ")").first.value_or(""),
              "Groceries (5)");
}

// --- Lists ------------------------------------------------------------------------------------

class ListOrder : public ModelTest {};

TEST_F(ListOrder, TheRequestsAskForListsByNameOrByNumberThenName) {
    auto byName = listsFetchRequest(false);
    EXPECT_EQ(byName.entityName, "List");
    EXPECT_TRUE(byName.predicate.empty());
    ASSERT_EQ(byName.sortDescriptors.size(), 1u);
    EXPECT_EQ(byName.sortDescriptors[0].key, "name");
    EXPECT_TRUE(byName.sortDescriptors[0].ascending);
    EXPECT_EQ(byName.fetchBatchSize, 10000u);

    auto manual = listsFetchRequest(true);
    ASSERT_EQ(manual.sortDescriptors.size(), 2u);
    EXPECT_EQ(manual.sortDescriptors[0].key, "sortNumber");
    EXPECT_TRUE(manual.sortDescriptors[0].ascending);
    EXPECT_EQ(manual.sortDescriptors[1].key, "name");

    auto picker = listPickerFetchRequest();
    ASSERT_EQ(picker.sortDescriptors.size(), 1u);
    EXPECT_EQ(picker.sortDescriptors[0].key, "name");
    EXPECT_EQ(picker.fetchBatchSize, 10000u);
}

TEST_F(ListOrder, ByNameIsCaseSensitiveWithUpperCaseFirst) {
    for (auto name : {"beta", "Alpha", "alpha", "Zulu"}) {
        newList(db(), name);
    }
    EXPECT_THAT(support::namesOf(fetchLists()), ElementsAre("Alpha", "Zulu", "alpha", "beta"));
    EXPECT_THAT(support::namesOf(support::objectsAs<List>(
                    context().executeFetchRequest(listPickerFetchRequest()))),
                ElementsAre("Alpha", "Zulu", "alpha", "beta"));
}

TEST_F(ListOrder, ListsWithEqualNumbersAppearInNameOrderAmongThemselves) {
    for (auto name : {"d", "a", "c", "b"}) {
        newList(db(), name);
    }
    auto lists = fetchLists(true);
    ASSERT_THAT(support::namesOf(lists), ElementsAre("a", "b", "c", "d"));
    std::vector<store::ManagedObject*> shown;
    for (auto& l : lists) {
        shown.push_back(l.get());
    }
    renumberAfterMove(shown, 3, 0);  // d0 a1 b2 c3
    db().saveContext(false);
    newList(db(), "bb");  // created after the reorder: 0, like d
    newList(db(), "0");
    EXPECT_THAT(support::namesOf(fetchLists(true)), ElementsAre("0", "bb", "d", "a", "b", "c"));
    EXPECT_THAT(support::namesOf(fetchLists(false)), ElementsAre("0", "a", "b", "bb", "c", "d"));
}

TEST_F(ListOrder, TwoListsWithTheSameNameBothAppear) {
    newList(db(), "Shop");
    newList(db(), "Home");
    newList(db(), "Shop");
    EXPECT_THAT(support::namesOf(fetchLists()), ElementsAre("Home", "Shop", "Shop"));
    EXPECT_THAT(support::namesOf(fetchLists(true)), ElementsAre("Home", "Shop", "Shop"));
}

TEST_F(ListOrder, AListWithoutANameComesFirst) {
    newList(db(), "a");
    auto unnamed = newList(db(), "x");
    unnamed->setName(std::nullopt);
    db().saveContext(false);
    EXPECT_THAT(support::namesOf(fetchLists()), ElementsAre("<absent>", "a"));
}

}  // namespace
}  // namespace jw::model
