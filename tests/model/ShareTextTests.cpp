// The plain text a list's shown items are shared as: a header line with the list's name and a
// colon, then one line per shown item in shown order, "✔︎ " or "- " before its text, and no
// line feed after the last line.

#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "src/model/ShareText.h"

namespace jw::model {
namespace {

using support::ModelTest;
using support::raw;

class ShareText : public ModelTest {
  protected:
    std::shared_ptr<List> shop = newList(db(), "Shop");
};

// (That the shown items are shared in shown order, checked ones marked, and nothing when
// nothing is shown, is checked on the items screen.)

// A first item without a list, or in a list without a name, gives a header of just a colon.
TEST_F(ShareText, TheHeaderNamesTheFirstShownItemsList) {
    auto item = std::static_pointer_cast<Item>(context().insertNewObject("Item"));
    item->setBody("Loose");
    EXPECT_EQ(shareText({item.get()}), ":\n- Loose");
    shop->setName(std::nullopt);
    EXPECT_EQ(shareText(raw(addItems(*shop, {"Bread"}))), ":\n- Bread");
    shop->setName("Shop");
    context().deleteObject(*item);
    addItems(*newList(db(), "Home"), {"Nails"});
    // With no list shown every item is shown, newest first, whatever the filter: Nails (Home),
    // then Bread (Shop).
    EXPECT_EQ(shareText(raw(fetchItems(nullptr, JWListFilter::checked))),
              "Home:\n- Nails\n- Bread");
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
