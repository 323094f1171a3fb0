// The shown order of items for each sort mode and filter, the order of lists and moving them,
// and the plain text a list's shown items are shared as.

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "ModelTestSupport.h"
#include "src/model/JWListFilter.h"
#include "src/model/JWListSortMode.h"
#include "src/model/ListOrder.h"
#include "src/model/ShareText.h"

namespace jw::model {
namespace {

using support::ModelTest;
using support::raw;

// --- The sort-mode codes and the filter ----------------------------------------------------------

// Codes far outside the menu's order as latest created and carry its mark, as does a list
// without a code. (Each code from -1 to 8, how it orders and which entry carries the mark, is
// checked on the items screen.)
TEST(SortModeCodes, CodesOutsideTheMenuOrderAndAreMarkedAsLatestCreated) {
    for (std::int64_t code : {32767, -32768}) {
        EXPECT_EQ(effectiveSortMode(code), JWListSortMode::latestCreated) << code;
        EXPECT_EQ(markedSortMode(code), JWListSortMode::latestCreated) << code;
    }
    EXPECT_EQ(markedSortMode(std::nullopt), JWListSortMode::latestCreated);
}

// (The menu's entries, in order with their labels, and the filter button's three titles are
// checked on the items screen.)

// --- The shown order --------------------------------------------------------------------------
// Worked examples of the ordering function; that the store shows the same rows in the same
// order, in SQL and in memory, is checked on random lists by OrderingAgreementTests (where
// items equal in every key, common there, must come in the order of their global identifiers),
// and every code, on the items screen.

// One list's items, A to G, created at 1..7 s, each written "<text>[+[<s>]][#<n>]": its text
// ("-" for none), "+" if checked (at <s> seconds, if dated) and its sortNumber. É sorts after
// every ASCII letter; E is checked with A, created after it; G is checked with no date.
TEST(ShownItemOrder, EachSortModeAndFilter) {
    const std::tuple<std::int16_t, JWListFilter, const char*> cases[] = {
        {3, JWListFilter::none, "GFEDCBA"},  {1, JWListFilter::none, "FGBAEDC"},
        {5, JWListFilter::none, "CEAGFDB"},  {6, JWListFilter::none, "FDBCEAG"},
        {7, JWListFilter::none, "CGEDBFA"},  {3, JWListFilter::checked, "GECA"},
        {3, JWListFilter::unchecked, "FDB"}, {5, JWListFilter::unchecked, "FDB"},
        {1, JWListFilter::checked, "GAEC"},
    };
    const Date start{1'800'000'000.0};
    std::vector<ItemFacts> items;
    std::istringstream in("apple+10#2 Zebra \u00C9clair+30#-1 milk milk+10 -#1 +");
    for (std::string word; in >> word;) {
        const auto plus = word.find('+');
        const auto hash = word.find('#');
        ItemFacts f;
        f.body = word.substr(0, std::min(plus, hash));
        f.body = f.body == "-" ? std::nullopt : f.body;
        f.created = start.addingSeconds(double(items.size() + 1));
        f.isDone = plus != std::string::npos;
        if (f.isDone && plus + 1 < std::min(hash, word.size())) {
            f.doneDate = start.addingSeconds(std::stod(word.substr(plus + 1)));
        }
        f.sortNumber = hash == std::string::npos ? 0 : std::stoi(word.substr(hash + 1));
        f.globalID = store::GlobalID::generate();
        items.push_back(f);
    }
    for (const auto& [mode, filter, expected] : cases) {
        std::string letters;
        for (auto i : shownItemOrder(mode, filter, items)) {
            letters += char('A' + i);
        }
        EXPECT_EQ(letters, expected) << "sort mode " << mode << ", filter " << int(filter);
    }
}

// --- Lists ------------------------------------------------------------------------------------

class ListOrder : public ModelTest {};

// By name, case-sensitively with upper case first, a list without a name first and namesakes
// both shown; in manual order by number, and by name among equal numbers. (The lists screen
// and the list picker show these orders: see their tests.)
TEST_F(ListOrder, ByNameAndInManualOrderByNumberThenName) {
    for (auto name : {"d", "a", "c", "b"}) {
        newList(db(), name);
    }
    auto shown = support::raw<store::ManagedObject>(fetchLists(true));
    renumberAfterMove(shown, 3, 0);  // d0 a1 b2 c3
    db().saveContext(false);
    for (auto name : {"bb", "B", "b"}) {
        newList(db(), name);  // made after the reorder: 0, like d
    }
    newList(db(), "x")->setName(std::nullopt);
    EXPECT_EQ(support::namesOf(fetchLists(true)), "<absent> B b bb d a b c");
    EXPECT_EQ(support::namesOf(fetchLists(false)), "<absent> B a b b bb c d");
}

// Moving a list on the lists screen, as the model keeps it for every front end: in manual
// order or not, the list and where to; then whether it moved and the order the store holds
// after a reopen.
TEST_F(ListOrder, MovesOnlyInManualOrderAndWithinTheLists) {
    const std::tuple<bool, const char*, std::size_t, const char*> cases[] = {
        {true, "C", 0, "moved: C A B"}, {true, "A", 2, "moved: B C A"},
        {true, "B", 1, "moved: A B C"}, {true, "A", 3, "kept: A B C"},
        {false, "C", 0, "kept: A B C"},
    };
    for (const char* name : {"A", "B", "C"}) {
        newList(db(), name);
    }
    for (const auto& [manual, list, position, expected] : cases) {
        for (std::int32_t i = 0; const char* name : {"A", "B", "C"}) {
            fetchListNamed(name)->setSortNumber(i++);
        }
        db().saveContext(false);
        setManualSortLists(manual);
        const bool moved = moveListInScreenOrder(db(), *fetchListNamed(list), position);
        reopen();
        EXPECT_EQ((moved ? "moved: " : "kept: ") + support::namesOf(listsInScreenOrder(db())),
                  expected)
            << list << " to " << position;
    }
}

// --- Sharing ---------------------------------------------------------------------------------

using ShareText = ModelTest;

// (That the shown items are shared in shown order, checked ones marked, and nothing when
// nothing is shown, is checked on the items screen.) A first item without a list, or in a list
// without a name, gives a header of just a colon; texts are shared as they are, empty and absent
// ones too.
TEST_F(ShareText, TheHeaderNamesTheFirstShownItemsListAndTextsAreSharedAsTheyAre) {
    auto shop = newList(db(), "Shop");
    auto item = std::static_pointer_cast<Item>(context().insertNewObject("Item"));
    item->setBody("Loose");
    EXPECT_EQ(shareText({item.get()}), ":\n- Loose");
    shop->setName(std::nullopt);
    auto items = addItems(*shop, {"  spaced  ", "x", "\u65E5\u672C", "y"});
    editItemText(db(), *items[1], "");
    items[3]->setBody(std::nullopt);
    EXPECT_EQ(shareText(raw(items)), ":\n-   spaced  \n- \n- \u65E5\u672C\n- ");
    shop->setName("Shop");
    context().deleteObject(*item);
    addItems(*newList(db(), "Home"), {"Nails"});
    // With no list shown every item is shown, newest first, whatever the filter: Nails (Home),
    // then the checked-or-not items of Shop.
    EXPECT_EQ(shareText(raw(fetchItems(nullptr, JWListFilter::checked))),
              "Home:\n- Nails\n- \n- \u65E5\u672C\n- \n-   spaced  ");
}

}  // namespace
}  // namespace jw::model
