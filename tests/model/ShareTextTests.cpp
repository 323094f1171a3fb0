// The plain text a list's shown items are shared as: a header line with the list's name and a
// colon, then one line per shown item in shown order, "✔︎ " or "- " before its text, and no
// line feed after the last line.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "src/model/ShareText.h"

namespace jw::model {
namespace {

using support::ModelTest;
using support::raw;

// U+2714 HEAVY CHECK MARK, U+FE0E VARIATION SELECTOR-15, then a space.
const std::string kDoneMark = "\xE2\x9C\x94\xEF\xB8\x8E ";

class ShareText : public ModelTest {
  protected:
    std::shared_ptr<List> shop = newList(db(), "Shop");
};

TEST_F(ShareText, OneItemGivesExactlyTwoLinesWithNoTrailingLineFeed) {
    auto items = addItems(*shop, {"Bread"});
    EXPECT_EQ(shareText(raw(items)), "Shop:\n- Bread");
}

TEST_F(ShareText, ADoneItemIsMarkedWithTheCheckMarkAndItsSelector) {
    auto items = addItems(*shop, {"Milk"});
    toggleItem(db(), *items[0]);
    const auto text = shareText(raw(items));
    EXPECT_EQ(text, "Shop:\n" + kDoneMark + "Milk");
    EXPECT_EQ(text.size(), std::string("Shop:\n").size() + 7 + 4);
}

TEST_F(ShareText, ItemsFollowInTheOrderTheyAreShown) {
    auto items = addItems(*shop, {"Bread", "Milk"});
    toggleItem(db(), *items[1]);
    chooseSortMode(shop.get(), 5);  // checked first: Milk, then Bread
    EXPECT_EQ(shareText(raw(fetchItems(shop.get()))), "Shop:\n" + kDoneMark + "Milk\n- Bread");
    chooseSortMode(shop.get(), 6);
    EXPECT_EQ(shareText(raw(fetchItems(shop.get()))), "Shop:\n- Bread\n" + kDoneMark + "Milk");
}

TEST_F(ShareText, UnderAFilterOnlyTheShownItemsAreShared) {
    auto items = addItems(*shop, {"Bread", "Milk", "Eggs"});
    toggleItem(db(), *items[1]);
    EXPECT_EQ(shareText(raw(fetchItems(shop.get(), JWListFilter::unchecked))),
              "Shop:\n- Eggs\n- Bread");
    EXPECT_EQ(shareText(raw(fetchItems(shop.get(), JWListFilter::checked))),
              "Shop:\n" + kDoneMark + "Milk");
}

TEST_F(ShareText, NothingShownGivesNothingToShare) {
    addItems(*shop, {"Bread"});
    EXPECT_EQ(shareText(raw(fetchItems(shop.get(), JWListFilter::checked))), "");
}

TEST_F(ShareText, AListWithoutANameGivesAHeaderOfJustAColon) {
    shop->setName(std::nullopt);
    auto items = addItems(*shop, {"Bread"});
    EXPECT_EQ(shareText(raw(items)), ":\n- Bread");
}

TEST_F(ShareText, AnItemWithoutAListGivesAHeaderOfJustAColon) {
    auto item = std::static_pointer_cast<Item>(context().insertNewObject("Item"));
    item->setBody("Loose");
    EXPECT_EQ(shareText({item.get()}), ":\n- Loose");
}

TEST_F(ShareText, TheHeaderNamesTheFirstShownItemsList) {
    auto home = newList(db(), "Home");
    addItems(*shop, {"Bread"});
    addItems(*home, {"Nails"});
    // With no list shown every item is shown, newest first: Nails (Home), then Bread (Shop).
    EXPECT_EQ(shareText(raw(fetchItems(nullptr))), "Home:\n- Nails\n- Bread");
}

TEST_F(ShareText, TextsAreSharedAsTheyAreIncludingEmptyAndAbsentOnes) {
    auto items = addItems(*shop, {"  spaced  ", "x", "\u65E5\u672C"});
    editItemText(db(), *items[1], "");
    auto absent = addItems(*shop, {"y"})[0];
    absent->setBody(std::nullopt);
    EXPECT_EQ(shareText({items[0].get(), items[1].get(), absent.get(), items[2].get()}),
              "Shop:\n-   spaced  \n- \n- \n- \u65E5\u672C");
}

}  // namespace
}  // namespace jw::model
