// The lists screen as a person uses it: order and menu, naming, dragging, deleting the open
// list, and rows following another device.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ui/ActivityViewController.h"
#include "src/lists/MasterViewController.h"
#include "src/model/ListOrder.h"
#include "src/model/Operations.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using ::jw::test::PrintTo;
using test::AppDriver;

class ListsScreen : public ::testing::Test {
  protected:
    // A signed-in person with these lists (made the way another screen or device would).
    void open(ui::Size window, const std::vector<std::string>& names) {
        app_.launchSignedIn(window);
        for (const auto& name : names) {
            model::newList(db(), name);
        }
        app_.settle();
    }
    model::JWDatabase& db() { return app_.app().database(); }
    // Every list in the screen's order with its sortNumber: "A0 D1 B2 C3".
    std::string numbers() {
        std::string text;
        for (const auto& list : model::listsInScreenOrder(db())) {
            text += (text.empty() ? "" : " ") + list->name().value_or("") +
                    std::to_string(list->sortNumber());
        }
        return text;
    }
    void chooseFromMenu(const std::string& entry) {
        app_.lists().tapBarButton("Menu");
        app_.tapAlertAction(entry);
    }

    AppDriver app_;
};

TEST_F(ListsScreen, FirstRunShowsTheListsByNameWithTheMarkOnAlphabetical) {
    open(ui::Window::tabletSize, {"apple", "Zoo", "banana"});
    auto lists = app_.lists();

    EXPECT_EQ(lists.title(), "Lists");
    EXPECT_EQ(lists.barButtons(), "bar: +; toolbar: Menu, Edit");
    EXPECT_EQ(lists.rows(), "[Zoo] [apple] [banana]");
    EXPECT_FALSE(UserDefaults::standard().contains(model::manualSortListsKey));

    lists.tapBarButton("Menu");
    EXPECT_EQ(app_.alert(),
              "sheet Menu | Sort: Alphabetical \u2714\uFE0E | Sort: Manual | Share App... | "
              "More Apps... | Cancel (cancel)");
    app_.tapAlertAction("Cancel");

    lists.tapBarButton("Edit");
    EXPECT_EQ(lists.barButtons(), "bar: +; toolbar: Menu, Done");
    EXPECT_THROW(lists.dragRow("Zoo", 2), std::logic_error) << "no reorder control by name";
    EXPECT_EQ(lists.rows(), "[Zoo] [apple] [banana]");
}

// Naming in the "New List" alert ("+") and the "Edit List" alert (a tap on a row in editing
// mode, which never opens the list), on a tablet: the keys typed, then the rows and screens.
struct NameCase {
    const char* name;
    bool renaming;
    const char* keys;  // "\b" erases the field
    const char* expected;
};

class Naming : public ListsScreen, public ::testing::WithParamInterface<NameCase> {};

TEST_P(Naming, TakesTheNameExactlyAsTypedAndAnEmptyOneChangesNothing) {
    open(ui::Window::tabletSize, {"apple", "banana"});
    if (GetParam().renaming) {
        app_.lists().tapBarButton("Edit");
        app_.lists().tapRow("apple");
        EXPECT_EQ(app_.alert(), "alert Edit List | field \"apple\" (Name) | Cancel (cancel)");
    } else {
        app_.lists().tapBarButton("+");
        EXPECT_EQ(app_.alert(), "alert New List | field \"\" (Name) | Cancel (cancel)");
    }
    std::string keys = GetParam().keys;
    if (keys.starts_with('\b')) {
        app_.eraseText();
        keys.erase(0, 1);
    }
    app_.type(keys);
    if (!app_.alert().empty()) {
        app_.tapAlertAction("Cancel");
    }
    EXPECT_EQ(app_.lists().rows() + " / " + app_.screens(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, Naming,
    ::testing::Values(NameCase{"NewName", false, "Groceries\n",
                               "[Groceries] [apple] [banana] / Lists | Items(Groceries)"},
                      NameCase{"NewSpaces", false, "   \n",
                               "[   ] [apple] [banana] / Lists | Items(   )"},
                      NameCase{"NewEmpty", false, "\n", "[apple] [banana] / Lists | Items()"},
                      NameCase{"Rename", true, "\bcherry\n", "[banana] [cherry] / Lists | Items()"},
                      NameCase{"RenameEmpty", true, "\b\n", "[apple] [banana] / Lists | Items()"},
                      NameCase{"RenameCancelled", true, "x", "[apple] [banana] / Lists | Items()"}),
    jw::test::caseName);

// (On a phone the new list is pushed by the segue: see the items screen's tests.)
TEST_F(ListsScreen, ANewListOnATabletOpensInTheItemsScreenBeside) {
    open(ui::Window::tabletSize, {});
    const auto* itemsScreen = &app_.items().controller();
    app_.lists().tapBarButton("+");
    app_.type("Groceries\n");
    EXPECT_EQ(app_.screens(), "Lists | Items(Groceries)");
    EXPECT_EQ(&app_.items().controller(), itemsScreen) << "the same items screen shows it";
}

TEST_F(ListsScreen, ADragRenumbersEveryListAndIsSavedWhenEditingEnds) {
    open(ui::Window::tabletSize, {"A", "B", "C", "D"});
    chooseFromMenu("Sort: Manual");
    auto lists = app_.lists();
    lists.tapBarButton("Edit");
    EXPECT_FALSE(db().viewContext().hasChanges());
    app_.takeHistory();

    lists.dragRow("D", 1);

    EXPECT_EQ(lists.rows(), "[A] [D] [B] [C]");
    EXPECT_EQ(numbers(), "A0 D1 B2 C3");
    EXPECT_TRUE(db().viewContext().hasChanges()) << "a drag saves nothing itself";
    EXPECT_EQ(app_.takeHistory(), "lists rows 3>1")
        << "only the drag itself: the renumbering is not reported back to the table";

    lists.tapBarButton("Done");
    EXPECT_FALSE(db().viewContext().hasChanges());

    // Alphabetical order leaves the numbers alone, so manual order comes back as it was.
    chooseFromMenu("Sort: Alphabetical");
    EXPECT_EQ(lists.rows(), "[A] [B] [C] [D]");
    chooseFromMenu("Sort: Manual");
    EXPECT_EQ(lists.rows(), "[A] [D] [B] [C]");
    lists.tapBarButton("Menu");
    EXPECT_EQ(app_.alert(),
              "sheet Menu | Sort: Alphabetical | Sort: Manual \u2714\uFE0E | Share App... | "
              "More Apps... | Cancel (cancel)");
}

TEST_F(ListsScreen, DeletingTheOpenListShowsTheEmptyPlaceholderFirst) {
    open(ui::Window::tabletSize, {"apple", "banana"});
    app_.lists().tapRow("apple");
    EXPECT_EQ(app_.screens(), "Lists | Items(apple)");
    EXPECT_EQ(app_.lists().swipeRow("apple"), "") << "no swipe-to-delete outside editing";
    app_.takeHistory();

    app_.lists().tapBarButton("Edit");
    app_.lists().tapRow("apple", "delete");

    EXPECT_EQ(app_.takeHistory(), "second column Empty\nlists rows -0");
    EXPECT_EQ(app_.screens(), "Lists | Empty");
    EXPECT_EQ(app_.lists().rows(), "[banana]");
    EXPECT_FALSE(db().viewContext().hasChanges());

    app_.lists().tapRow("banana", "delete");  // not open: the placeholder simply stays
    EXPECT_EQ(app_.takeHistory(), "lists rows -0");
}

TEST_F(ListsScreen, TheMenuSharesTheAppAndOpensTheMakersPage) {
    open(ui::Window::tabletSize, {"apple"});
    chooseFromMenu("Share App...");
    EXPECT_EQ(app_.screens(), "Lists | Items() > Share");
    auto& share = dynamic_cast<ui::ActivityViewController&>(app_.front().controller());
    EXPECT_EQ(share.activityItems(),
              (std::vector<ui::ActivityItem>{"Check out Jotwell!", ui::Url{applicationStorePage}}));
    share.dismiss(false);  // the person closes the sheet
    app_.settle();

    chooseFromMenu("More Apps...");
    EXPECT_EQ(app_.app().application().openedURLs(), std::vector<ui::Url>{ui::Url{makerStorePage}});
    EXPECT_EQ(app_.screens(), "Lists | Items()");
}

// Another device renames a list; nothing is done here but letting time pass.
TEST_F(ListsScreen, AListRenamedOnAnotherDeviceRedrawsItsRow) {
    open(ui::Window::tabletSize, {"Zoo", "apple", "melon"});
    app_.cloud().deliverAll();
    test::OtherDevice other(app_, "other");
    other.sync();
    model::renameList(other.db(), *other.listNamed("apple"), "Aardvark");  // moves to the top
    model::renameList(other.db(), *other.listNamed("melon"), "mango");     // stays third
    other.sync();
    app_.cloud().deliverAll();
    app_.takeHistory();

    app_.wait(10);  // the sync timer's save merges

    EXPECT_EQ(app_.lists().rows(), "[Aardvark] [Zoo] [mango]");
    // The rows on screen are redrawn where they are and moved, in one batch or in two, as the
    // merges bring the two renames.
    std::string rowChanges = app_.takeHistory();
    for (std::size_t at; (at = rowChanges.find("\nlists rows")) != std::string::npos;) {
        rowChanges.erase(at, 11);
    }
    EXPECT_EQ(rowChanges, "lists rows 1>0 2>2");
}

}  // namespace
}  // namespace jw
