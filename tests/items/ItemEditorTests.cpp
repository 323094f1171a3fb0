// The item text editor as a person uses it: opened from the items screen for one item, typed
// into, closed with Save or Cancel.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

#include "src/items/DetailViewController.h"
#include "src/model/Operations.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using ::jw::test::PrintTo;
using test::AppDriver;

// The editor opened for Milk (or for no item), the keys typed into its text view, the button
// that closes it, and then: what the editor showed, Milk's body and whether the store holds
// every change (an unsaved sort-mode choice is pending throughout).
struct EditCase {
    const char* name;
    bool withItem;
    const char* keys;  // "\b" first erases the text
    const char* button;
    const char* expected;
};

class ItemEditor : public ::testing::TestWithParam<EditCase> {
  protected:
    AppDriver app_;
};

TEST_P(ItemEditor, StoresTheTypedTextOnSaveOnly) {
    app_.launchSignedIn(ui::Window::tabletSize);
    auto& db = app_.app().database();
    const auto shop = model::newList(db, "Shop");
    const auto milk = model::newItem(db, *shop, "Milk");
    app_.lists().tapRow("Shop");
    model::chooseSortMode(shop.get(), 7);

    dynamic_cast<DetailViewController&>(app_.items().controller())
        .presentItemEditor(GetParam().withItem ? milk : nullptr);
    app_.settle();
    EXPECT_EQ(app_.screens() + " [" + app_.front().barButtons() + "]",
              "Lists | Items(Shop) > Editor [bar: Cancel, Save]");
    const std::string shown = app_.front().texts();

    app_.front().tapTextView();
    std::string keys = GetParam().keys;
    if (keys.starts_with('\b')) {
        app_.eraseText();
        keys.erase(0, 1);
    }
    if (!keys.empty()) {
        app_.type(keys);
    }
    app_.front().tapBarButton(GetParam().button);

    EXPECT_EQ(app_.screens(), "Lists | Items(Shop)");
    EXPECT_EQ("\"" + shown + "\" / " + milk->body().value_or("(none)") + " / " +
                  (db.viewContext().hasChanges() ? "unsaved" : "saved"),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Closing, ItemEditor,
    ::testing::Values(EditCase{"SaveTyped", true, " and eggs\nfresh", "Save",
                               "\"Milk\" / Milk and eggs\nfresh / saved"},
                      EditCase{"CancelTyped", true, " and eggs", "Cancel",
                               "\"Milk\" / Milk / unsaved"},
                      EditCase{"SaveUnchanged", true, "", "Save", "\"Milk\" / Milk / unsaved"},
                      EditCase{"SaveErased", true, "\b", "Save", "\"Milk\" /  / saved"},
                      EditCase{"SaveWithoutItem", false, "Bread", "Save", "\"\" / Milk / unsaved"},
                      EditCase{"CancelWithoutItem", false, "", "Cancel", "\"\" / Milk / unsaved"}),
    jw::test::caseName);

TEST(ItemEditorFromRow, TheRowsAccessoryButtonOpensTheEditorOnThatRowsItem) {
    AppDriver app;
    app.launchSignedIn(ui::Window::tabletSize);
    auto& db = app.app().database();
    const auto shop = model::newList(db, "Shop");
    model::newItem(db, *shop, "Milk");
    model::newItem(db, *shop, "Bread");
    app.lists().tapRow("Shop");

    app.items().tapRow("Milk", "accessory");
    EXPECT_EQ(app.screens() + " \"" + app.front().texts() + "\"",
              "Lists | Items(Shop) > Editor \"Milk\"");
    app.front().tapBarButton("Cancel");
    // In editing mode the row shows its delete and reorder controls instead.
    app.items().tapBarButton("Edit");
    EXPECT_THROW(app.items().tapRow("Bread", "accessory"), std::logic_error);
}

}  // namespace
}  // namespace jw
