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

// Each stored code: how it orders, and which menu entry carries the mark ("-" for none).
TEST(SortModeCodes, EachStoredValueOrdersAndIsMarked) {
    std::string text;
    for (std::int64_t code : {1, 3, 5, 6, 7, 0, 2, 4, 8, -1, 32767, -32768}) {
        const auto marked = markedSortMode(code);
        text += std::to_string(code) + ":" + std::string(sortModeName(effectiveSortMode(code))) +
                "/" + (marked ? std::string(sortModeName(*marked)) : "-") + " ";
    }
    EXPECT_EQ(text,
              "1:alphabetical/alphabetical 3:latestCreated/latestCreated "
              "5:checkedFirst/checkedFirst 6:checkedLast/checkedLast 7:manual/manual "
              "0:latestCreated/latestCreated 2:latestCreated/- 4:latestCreated/- "
              "8:latestCreated/latestCreated -1:latestCreated/latestCreated "
              "32767:latestCreated/latestCreated -32768:latestCreated/latestCreated ");
    EXPECT_EQ(markedSortMode(std::nullopt), JWListSortMode::latestCreated);
}

TEST(SortModeCodes, MenuEntriesComeInMenuOrderWithTheirLabels) {
    std::vector<std::string> labels;
    for (auto mode : menuSortModes()) {
        labels.emplace_back(sortModeMenuLabel(mode));
    }
    EXPECT_THAT(labels, ElementsAre("Sort: Checked First", "Sort: Checked Last",
                                    "Sort: Latest Created", "Sort: Manual", "Sort: Alphabetical"));
}

TEST(ListFilter, ThreeTapsWalkUncheckedCheckedAndBackToAll) {
    auto f = JWListFilter::none;
    std::vector<std::string> titles;
    for (int tap = 0; tap < 3; ++tap) {
        f = nextFilter(f);
        titles.emplace_back(filterButtonTitle(f));
    }
    EXPECT_THAT(titles, ElementsAre("\xE2\x98\x90 Unchecked", "\xE2\x9C\x94\xEF\xB8\x8E Checked",
                                    "All"));
    EXPECT_EQ(f, JWListFilter::none);
}

// --- The shown order, by the ordering function and by the store --------------------------------

// One list's items, A to G (created at 1..7 s): body, done and when (seconds), sortNumber.
struct Facts {
    std::optional<std::string> body;
    bool isDone;
    std::optional<double> done;
    std::int32_t sortNumber;
};
const Facts kItems[] = {
    {"apple", true, 10, 2},         // A
    {"Zebra", false, {}, 0},        // B
    {"\u00C9clair", true, 30, -1},  // C: É sorts after every ASCII letter
    {"milk", false, {}, 0},         // D
    {"milk", true, 10, 0},          // E: checked with A, created after it
    {std::nullopt, false, {}, 1},   // F
    {"", true, {}, 0},              // G: checked, no date
};

struct OrderCase {
    std::int16_t sortMode;
    JWListFilter filter;
    const char* expected;
};
const OrderCase kOrderCases[] = {
    {3, JWListFilter::none, "GFEDCBA"},       {0, JWListFilter::none, "GFEDCBA"},
    {2, JWListFilter::none, "GFEDCBA"},       {4, JWListFilter::none, "GFEDCBA"},
    {8, JWListFilter::none, "GFEDCBA"},       {-1, JWListFilter::none, "GFEDCBA"},
    {1, JWListFilter::none, "FGBAEDC"},       {5, JWListFilter::none, "CEAGFDB"},
    {6, JWListFilter::none, "FDBCEAG"},       {7, JWListFilter::none, "CGEDBFA"},
    {3, JWListFilter::checked, "GECA"},       {3, JWListFilter::unchecked, "FDB"},
    {5, JWListFilter::unchecked, "FDB"},      {1, JWListFilter::checked, "GAEC"},
};

class ShownItemOrder : public ModelTest {
  protected:
    std::string viaFunction(const OrderCase& c) {
        std::vector<ItemFacts> items;
        for (std::size_t i = 0; i < std::size(kItems); ++i) {
            ItemFacts f;
            f.body = kItems[i].body;
            f.created = start_.addingSeconds(double(i + 1));
            f.isDone = kItems[i].isDone;
            if (kItems[i].done) {
                f.doneDate = start_.addingSeconds(*kItems[i].done);
            }
            f.sortNumber = kItems[i].sortNumber;
            f.globalID = store::GlobalID::generate();
            items.push_back(f);
        }
        std::string letters;
        for (auto i : shownItemOrder(c.sortMode, c.filter, items)) {
            letters += char('A' + i);
        }
        return letters;
    }
    std::string viaStore(const OrderCase& c) {
        chooseSortMode(list.get(), c.sortMode);
        std::string letters;
        for (const auto& item : fetchItems(list.get(), c.filter)) {
            letters += char('A' + int(item->created()->secondsSince(start_)) - 1);
        }
        return letters;
    }

    const Date start_ = clock().current();
    std::shared_ptr<List> list = [this] {
        auto l = newList(db(), "Groceries");
        newItem(db(), *newList(db(), "Other"), "not in the list");
        for (std::size_t i = 0; i < std::size(kItems); ++i) {
            auto item = newItem(db(), *l, "x");
            item->setBody(kItems[i].body);
            item->setCreated(start_.addingSeconds(double(i + 1)));
            item->setIsDone(kItems[i].isDone);
            item->setDoneDate(kItems[i].done ? std::optional(start_.addingSeconds(*kItems[i].done))
                                             : std::nullopt);
            item->setSortNumber(kItems[i].sortNumber);
        }
        db().saveContext(false);
        return l;
    }();
};

TEST_F(ShownItemOrder, TheFunctionAndTheStoreShowTheSameRows) {
    for (const auto& c : kOrderCases) {
        SCOPED_TRACE("sort mode " + std::to_string(c.sortMode) + ", filter " +
                     std::to_string(int(c.filter)));
        EXPECT_EQ(viaFunction(c), c.expected);
        EXPECT_EQ(viaStore(c), c.expected);
    }
}

TEST_F(ShownItemOrder, WithNoListEveryItemShowsNewestFirstWhateverTheFilter) {
    std::string bodies;
    for (const auto& item : fetchItems(nullptr, JWListFilter::checked)) {
        bodies += item->body().value_or("<absent>") + ",";
    }
    EXPECT_EQ(bodies, ",<absent>,milk,milk,\u00C9clair,Zebra,apple,not in the list,");
}

TEST(ShownItemOrderTies, ItemsEqualInEveryKeyAreOrderedByGlobalIdentifier) {
    ItemFacts a;
    a.body = "same";
    ItemFacts b = a;
    a.globalID = *store::GlobalID::fromString("00000000-0000-4000-8000-000000000002");
    b.globalID = *store::GlobalID::fromString("00000000-0000-4000-8000-000000000001");
    EXPECT_THAT(shownItemOrder(1, JWListFilter::none, {a, b}), ElementsAre(1, 0));
    EXPECT_THAT(shownItemOrder(1, JWListFilter::none, {b, a}), ElementsAre(0, 1));
}

// --- Lists ------------------------------------------------------------------------------------

class ListOrder : public ModelTest {};

// Case-sensitively with upper case first, a list without a name first, namesakes both shown;
// on the lists screen, in the list picker, and in manual order while every number is 0.
TEST_F(ListOrder, ByNameIsCaseSensitiveWithUpperCaseFirst) {
    for (auto name : {"beta", "Alpha", "alpha", "Zulu", "beta"}) {
        newList(db(), name);
    }
    newList(db(), "x")->setName(std::nullopt);
    db().saveContext(false);
    const auto inOrder = ElementsAre("<absent>", "Alpha", "Zulu", "alpha", "beta", "beta");
    EXPECT_THAT(support::namesOf(fetchLists()), inOrder);
    EXPECT_THAT(support::namesOf(fetchLists(true)), inOrder);
    EXPECT_THAT(support::namesOf(support::objectsAs<List>(
                    context().executeFetchRequest(listPickerFetchRequest()))),
                inOrder);
}

TEST_F(ListOrder, ListsWithEqualNumbersAppearInNameOrderAmongThemselves) {
    for (auto name : {"d", "a", "c", "b"}) {
        newList(db(), name);
    }
    auto lists = fetchLists(true);
    ASSERT_THAT(support::namesOf(lists), ElementsAre("a", "b", "c", "d"));
    auto shown = support::raw<store::ManagedObject>(lists);
    renumberAfterMove(shown, 3, 0);  // d0 a1 b2 c3
    db().saveContext(false);
    newList(db(), "bb");  // created after the reorder: 0, like d
    newList(db(), "0");
    EXPECT_THAT(support::namesOf(fetchLists(true)), ElementsAre("0", "bb", "d", "a", "b", "c"));
    EXPECT_THAT(support::namesOf(fetchLists(false)), ElementsAre("0", "a", "b", "bb", "c", "d"));
}

}  // namespace
}  // namespace jw::model
