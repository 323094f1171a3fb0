// The items screen as a person uses it: order and filter, adding, checking, editing, the menu
// and bulk actions, sharing, dragging, row actions, ads, and rows following another device.

#include <gtest/gtest.h>

#include <memory>
#include <ranges>
#include <regex>
#include <string>
#include <vector>

#include "platform/ui/ActivityViewController.h"
#include "src/ads/JWAdvertising.h"
#include "src/items/DetailViewController.h"
#include "src/items/JWItemTableViewCell.h"
#include "src/model/Operations.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using test::AppDriver;

constexpr const char* checkedTitle = "\u2714\uFE0E Checked";
constexpr const char* uncheckedTitle = "\u2610 Unchecked";

class ItemsScreen : public ::testing::Test {
  protected:
    void SetUp() override { app_.launchSignedIn(ui::Window::tabletSize); }

    model::JWDatabase& db() { return app_.app().database(); }

    // A list whose items are made in the order given, one second apart; then the items named
    // in `checks` are checked in that order, one second apart.
    std::shared_ptr<model::List> makeList(const std::string& name,
                                          const std::vector<std::string>& items,
                                          const std::vector<std::string>& checks = {},
                                          std::int16_t sortMode = 0) {
        auto list = model::newList(db(), name);
        model::chooseSortMode(list.get(), sortMode);
        for (const auto& body : items) {
            app_.platform().clock().advance(1);
            model::newItem(db(), *list, body);
        }
        for (const auto& body : checks) {
            app_.platform().clock().advance(1);
            for (auto* item : list->listItems()) {
                if (item->body() == body) {
                    model::toggleItem(db(), *item);
                }
            }
        }
        app_.settle();
        return list;
    }

    // The rows of the items screen, checked ones marked: "✔Milk Bread".
    std::string shown() {
        std::string rows = app_.items().rows();
        rows = std::regex_replace(rows, std::regex(R"(\[\[Check\]( · )?)"), "");
        rows = std::regex_replace(rows, std::regex(R"(\[\[Uncheck\]( · )?)"), "✔");
        return std::regex_replace(rows, std::regex(R"(\])"), "");
    }

    DetailViewController& screen() {
        return dynamic_cast<DetailViewController&>(app_.items().controller());
    }

    void chooseFromMenu(const std::string& entry) {
        app_.items().tapBarButton("Menu");
        app_.tapAlertAction(entry);
    }

    AppDriver app_;
};

// --- What is shown, in which order -----------------------------------------------------------

struct SortCase {
    std::int16_t mode;
    const char* marked;  // the menu entry with the mark, "" for none
    const char* expected;
};

class SortOrder : public ItemsScreen, public ::testing::WithParamInterface<SortCase> {};

TEST_P(SortOrder, ShowsTheItemsInTheListsOrderAndMarksItInTheMenu) {
    makeList("L", {"b", "Zebra", "apple", "d", "e"}, {"d", "b", "e"}, GetParam().mode);
    app_.lists().tapRow("L");
    EXPECT_EQ(shown(), GetParam().expected);

    app_.items().tapBarButton("Menu");
    const std::string menu = app_.alert();
    const std::string mark = " \u2714\uFE0E";
    if (*GetParam().marked) {
        EXPECT_NE(menu.find(std::string(GetParam().marked) + mark), std::string::npos) << menu;
    }
    EXPECT_EQ(menu.find(mark), menu.rfind(mark)) << "at most one mark: " << menu;
    EXPECT_EQ(menu.find(mark) == std::string::npos, !*GetParam().marked) << menu;
}

constexpr const char* newestFirst = "✔e ✔d apple Zebra ✔b";

INSTANTIATE_TEST_SUITE_P(
    Modes, SortOrder,
    ::testing::Values(SortCase{0, "Sort: Latest Created", newestFirst},
                      SortCase{2, "", newestFirst},
                      SortCase{3, "Sort: Latest Created", newestFirst},
                      SortCase{4, "", newestFirst},
                      SortCase{8, "Sort: Latest Created", newestFirst},
                      SortCase{-1, "Sort: Latest Created", newestFirst},
                      SortCase{1, "Sort: Alphabetical", "Zebra apple ✔b ✔d ✔e"},
                      SortCase{5, "Sort: Checked First", "✔e ✔b ✔d apple Zebra"},
                      SortCase{6, "Sort: Checked Last", "apple Zebra ✔e ✔b ✔d"},
                      SortCase{7, "Sort: Manual", newestFirst}),
    [](const auto& info) {
        return "Mode" + std::to_string(info.param.mode + 1);  // names cannot hold a minus
    });

TEST_F(ItemsScreen, TheFilterCyclesAndTheTitleCountsEveryItemWhateverIsShown) {
    makeList("Five", {"a", "b", "c", "d", "e"});
    app_.lists().tapRow("Five");
    auto items = app_.items();
    EXPECT_EQ(items.title(), "Five (5)");
    EXPECT_EQ(items.barButtons(), "bar: Columns, Share; toolbar: Menu, All, Edit");

    std::string seen;
    for (int tap = 0; tap < 3; ++tap) {
        items.tapBarButton(model::filterButtonTitle(screen().filterMode()).data());
        seen += std::string(model::filterButtonTitle(screen().filterMode())) + ": " + shown() +
                " " + items.title() + " / ";
    }
    EXPECT_EQ(seen, std::string(uncheckedTitle) + ": e d c b a Five (5) / " + checkedTitle +
                        ":  Five (5) / All: e d c b a Five (5) / ");

    items.tapBarButton("All");
    items.tapBarButton(uncheckedTitle);
    app_.lists().tapBarButton("+");  // a new list, given to the same screen: the filter stays
    app_.type("New\n");
    EXPECT_EQ(app_.items().barButtons(),
              std::string("bar: Columns, Share; toolbar: Menu, ") + checkedTitle + ", Edit");
    EXPECT_EQ(shown() + "|" + app_.items().title(), "|");
}

// --- Adding, checking, editing ---------------------------------------------------------------

struct AddCase {
    const char* name;
    int filterTaps;  // 0 All, 1 unchecked, 2 checked
    const char* keys;
    const char* expected;  // rows, filter button, keyboard
};

class Adding : public ItemsScreen, public ::testing::WithParamInterface<AddCase> {};

TEST_P(Adding, TakesTheTextAsTypedAndShowsTheNewItem) {
    makeList("L", {"old"}, {"old"});
    app_.lists().tapRow("L");
    for (int tap = 0; tap < GetParam().filterTaps; ++tap) {
        screen().filterTapped();
    }
    app_.items().tapField("Add an item");
    app_.type(GetParam().keys);
    const bool keyboard = screen().addItemTextField.lock()->isFirstResponder();
    EXPECT_EQ(shown() + " | " + std::string(model::filterButtonTitle(screen().filterMode())) +
                  (keyboard ? " | keyboard" : ""),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, Adding,
    ::testing::Values(AddCase{"Empty", 0, "\n", "✔old | All"},
                      AddCase{"Spaces", 0, "   \n", "    ✔old | All | keyboard"},
                      AddCase{"WhileUnchecked", 1, "Milk\n", "Milk | ☐ Unchecked | keyboard"},
                      AddCase{"WhileChecked", 2, "Milk\n", "Milk | ☐ Unchecked | keyboard"}),
    jw::test::caseName);

TEST_F(ItemsScreen, CheckingSetsTheDateRecountsAndMovesTheItemUnderCheckedFirst) {
    auto list = makeList("L", {"a", "b", "c"}, {"a"}, 5);
    app_.lists().tapRow("L");
    auto items = app_.items();
    EXPECT_EQ(shown() + " " + items.title(), "✔a c b L (1/3)");

    app_.platform().clock().advance(1);
    items.tapButton("Check", "b");
    EXPECT_EQ(shown() + " " + items.title(), "✔b ✔a c L (2/3)");
    items.tapButton("Uncheck", "a");
    EXPECT_EQ(shown() + " " + items.title(), "✔b c a L (1/3)");
    const auto* a = list->listItems().front()->body() == "a" ? list->listItems().front()
                                                             : list->listItems().back();
    EXPECT_FALSE(a->doneDate());
    app_.platform().clock().advance(1);
    items.tapButton("Check", "a");  // checked again: the newest check comes first
    EXPECT_EQ(shown() + " " + items.title(), "✔a ✔b c L (2/3)");

    items.tapBarButton("All");  // unchecked only: a checked row leaves, the title counts all
    items.tapButton("Check", "c");
    EXPECT_EQ(shown() + " " + items.title(), " L (3/3)");
    EXPECT_FALSE(db().viewContext().hasChanges()) << "every check is saved";
}

TEST_F(ItemsScreen, EditingARowStoresTheTextAsTypedAndShowsTheEditingLook) {
    makeList("L", {"Milk", "Eggs"});
    app_.lists().tapRow("L");
    auto items = app_.items();
    auto& table = screen().tableView();
    const auto cellOf = [&](std::size_t row) {
        return std::static_pointer_cast<JWItemTableViewCell>(
            table.cellForRowAtIndexPath(ui::IndexPath{0, row}));
    };
    const auto look = [&](std::size_t row) {
        const auto field = cellOf(row)->bodyTextField.lock();
        return field->backgroundColor() == Color::white(0.7, 0.2) && field->cornerRadius() == 4.0
                   ? "editing"
               : !field->backgroundColor() && field->cornerRadius() == 0.0 ? "plain"
                                                                           : "?";
    };
    // Counts the reports of the first row's cell, passing them on.
    int reports = 0;
    const auto countReports = [&] {
        auto cell = cellOf(0);
        cell->didChangeText = [&reports, report = cell->didChangeText](const std::string& text) {
            ++reports;
            report(text);
        };
    };

    countReports();
    items.tapField("Eggs");
    EXPECT_EQ(std::string(look(0)) + " " + look(1), "editing plain");
    app_.eraseText();
    app_.type("Ham");
    items.tapField("Milk");  // leaving the field: one report
    EXPECT_EQ(std::string(look(0)) + " " + look(1) + " " + std::to_string(reports),
              "plain editing 1");
    EXPECT_EQ(shown(), "Ham Milk");

    reports = 0;  // the cell still reports through the counter
    items.tapField("Ham");
    app_.eraseText();
    app_.type("\n");  // the return key: two reports of the same (empty) text
    EXPECT_EQ(std::string(look(0)) + " " + std::to_string(reports), "plain 2");
    EXPECT_EQ(items.rows(), "[[Check]] [[Check] · Milk]") << "an emptied item stays";
    EXPECT_FALSE(db().viewContext().hasChanges());

    // A cell reused in the middle of editing looks at rest.
    items.tapField("Milk");
    cellOf(1)->configure(*screen().shownItems()[1]);
    EXPECT_STREQ(look(1), "plain");
}

// --- Menu, bulk actions, sharing -------------------------------------------------------------

TEST_F(ItemsScreen, TheMenuListsItsEntriesAndSortingCheckedSwitchesTheFilterToAll) {
    makeList("L", {"b", "a"}, {"b"});
    app_.lists().tapRow("L");
    app_.items().tapBarButton("All");  // unchecked only
    app_.items().tapBarButton("Menu");
    EXPECT_EQ(app_.alert(),
              "sheet Menu | List Theme | Sort: Checked First | Sort: Checked Last | "
              "Sort: Latest Created \u2714\uFE0E | Sort: Manual | Sort: Alphabetical | "
              "Reset Checked | Delete Checked | Cancel (cancel)");
    app_.tapAlertAction("Sort: Alphabetical");
    EXPECT_EQ(shown() + " | " + model::filterButtonTitle(screen().filterMode()).data(),
              "a | ☐ Unchecked");
    EXPECT_TRUE(db().viewContext().hasChanges()) << "a sort mode is saved by the next save";

    chooseFromMenu("Sort: Checked First");
    EXPECT_EQ(shown() + " | " + model::filterButtonTitle(screen().filterMode()).data(),
              "✔b a | All");
}

TEST_F(ItemsScreen, ListThemeStoresTheChosenThemeAndColoursTheScreen) {
    auto list = makeList("L", {"a"});
    app_.lists().tapRow("L");
    chooseFromMenu("List Theme");
    ASSERT_EQ(app_.screens(), "Themes");
    app_.scrollCarouselTo(3);
    app_.front().tapBarButton("Save");
    EXPECT_EQ(list->themeKey(), "Yellow");
    EXPECT_FALSE(db().viewContext().hasChanges());
    const auto bar =
        screen().navigationController()->navigationBar().standardAppearance()->backgroundColor;
    EXPECT_EQ(bar, JWThemesDB::shared().themeForKey("Yellow")->baseColor());
}

struct BulkCase {
    const char* name;
    const char* entry;
    int filterTaps;
    const char* answer;
    const char* expected;  // rows under "All", title
};

class BulkAction : public ItemsScreen, public ::testing::WithParamInterface<BulkCase> {};

TEST_P(BulkAction, ActsOnTheShownCheckedItemsOnlyAfterYes) {
    makeList("L", {"a", "b", "c"}, {"a", "c"});
    app_.lists().tapRow("L");
    for (int tap = 0; tap < GetParam().filterTaps; ++tap) {
        screen().filterTapped();
    }
    chooseFromMenu(GetParam().entry);
    const std::string alert = app_.alert();
    app_.tapAlertAction(GetParam().answer);
    screen().setFilter(model::JWListFilter::none);
    EXPECT_EQ(alert.substr(0, alert.find(":")) + ": " + shown() + " " + app_.items().title(),
              GetParam().expected);
    EXPECT_FALSE(db().viewContext().hasChanges());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, BulkAction,
    ::testing::Values(
        BulkCase{"ResetYes", "Reset Checked", 0, "Yes", "alert Reset Checked: c b a L (3)"},
        BulkCase{"ResetCancel", "Reset Checked", 0, "Cancel",
                 "alert Reset Checked: ✔c b ✔a L (2/3)"},
        BulkCase{"ResetUnchecked", "Reset Checked", 1, "Yes",
                 "alert Reset Checked: ✔c b ✔a L (2/3)"},
        BulkCase{"ResetChecked", "Reset Checked", 2, "Yes", "alert Reset Checked: c b a L (3)"},
        BulkCase{"DeleteYes", "Delete Checked", 0, "Yes", "alert Clear Checked: b L (1)"},
        BulkCase{"DeleteCancel", "Delete Checked", 0, "Cancel",
                 "alert Clear Checked: ✔c b ✔a L (2/3)"},
        BulkCase{"DeleteUnchecked", "Delete Checked", 1, "Yes",
                 "alert Clear Checked: ✔c b ✔a L (2/3)"},
        BulkCase{"DeleteChecked", "Delete Checked", 2, "Yes", "alert Clear Checked: b L (1)"}),
    jw::test::caseName);

TEST_F(ItemsScreen, SharingSendsTheShownItemsAsTextWithAPrintFormatter) {
    makeList("Empty", {});
    makeList("Shop", {"Bread", "Milk"}, {"Milk"});
    makeList("One", {"Tea"});
    const auto shared = [&](const std::string& list, bool uncheckedOnly = false) -> std::string {
        app_.lists().tapRow(list);
        if (uncheckedOnly) {
            app_.items().tapBarButton("All");
        }
        app_.items().tapBarButton("Share");
        if (app_.screens().find("Share") == std::string::npos) {
            return "nothing";
        }
        auto& sheet = dynamic_cast<ui::ActivityViewController&>(app_.front().controller());
        const auto text = std::get<std::string>(sheet.activityItems().at(0));
        EXPECT_EQ(sheet.activityItems().at(1),
                  ui::ActivityItem{ui::SimpleTextPrintFormatter{text}});
        sheet.dismiss(false);
        app_.settle();
        return text;
    };
    EXPECT_EQ(shared("Empty"), "nothing");
    EXPECT_EQ(shared("One"), "One:\n- Tea");
    EXPECT_EQ(shared("Shop"), "Shop:\n\u2714\uFE0E Milk\n- Bread");
    EXPECT_EQ(shared("Shop", true), "Shop:\n- Bread");
}

TEST_F(ItemsScreen, DraggingInManualOrderRenumbersTheShownItems) {
    auto list = makeList("L", {"a", "b", "c", "d", "e"}, {}, 7);
    app_.lists().tapRow("L");
    auto items = app_.items();
    items.tapBarButton("Edit");
    items.dragRow("c", 0);
    std::string numbers;
    for (auto* item : screen().shownItems()) {
        numbers += *item->body() + std::to_string(item->sortNumber()) + " ";
    }
    EXPECT_EQ(numbers, "c0 e1 d2 b3 a4 ");
    EXPECT_TRUE(db().viewContext().hasChanges()) << "a drag saves nothing itself";

    chooseFromMenu("Sort: Latest Created");  // no drag outside manual order
    EXPECT_THROW(items.dragRow("c", 2), std::logic_error);
}

// --- Appearing -------------------------------------------------------------------------------

struct FocusCase {
    const char* name;
    double age;  // seconds since the list was made
    bool withItem;
    bool focused;
};

class NewListFocus : public ItemsScreen, public ::testing::WithParamInterface<FocusCase> {};

TEST_P(NewListFocus, PutsTheKeyboardInTheAddFieldOnlyForAFreshEmptyList) {
    makeList("L", GetParam().withItem ? std::vector<std::string>{"x"} : std::vector<std::string>{});
    app_.platform().clock().advance(GetParam().age - (GetParam().withItem ? 1 : 0));
    app_.lists().tapRow("L");  // a new items screen, which appears for the first time
    const auto field = screen().addItemTextField.lock();
    EXPECT_EQ(field->isFirstResponder(), GetParam().focused);
    if (GetParam().focused) {
        EXPECT_EQ(field->autocapitalizationType(), ui::AutocapitalizationType::sentences);
    }
}

INSTANTIATE_TEST_SUITE_P(Ages, NewListFocus,
                         ::testing::Values(FocusCase{"TenSeconds", 10, false, true},
                                           FocusCase{"ThirtySeconds", 30, false, true},
                                           FocusCase{"ThirtyOneSeconds", 31, false, false},
                                           FocusCase{"FortySeconds", 40, false, false},
                                           FocusCase{"WithAnItem", 10, true, false}),
                         jw::test::caseName);

TEST_F(ItemsScreen, ANewListOnAPhoneGetsTheKeyboardOnceAndTheCountIsFixedOnLeaving) {
    app_.quit();
    app_.launchSignedIn(ui::Window::phoneSize);
    app_.lists().tapBarButton("+");
    app_.type("Chores\n");
    EXPECT_EQ(app_.screens(), "Items(Chores)");
    EXPECT_EQ(app_.items().barButtons(), "bar: Columns, Share; toolbar: Menu, All, Edit");
    app_.type("Dust\nSweep\n");
    app_.items().tapButton("Check", "Dust");
    app_.items().swipeRow("Dust", "Delete");
    EXPECT_EQ(app_.items().title(), "Chores (1/1)") << "stale until the next recount";

    app_.items().goBack();
    EXPECT_EQ(app_.lists().rows(), "[Chores · 1]");
    app_.lists().tapRow("Chores");
    EXPECT_EQ(app_.items().title(), "Chores (1)");
    EXPECT_FALSE(screen().addItemTextField.lock()->isFirstResponder());
}

// --- Row actions -----------------------------------------------------------------------------

TEST_F(ItemsScreen, ASwipeShowsFourActionsAndBothDeletesDeleteTheSameWay) {
    makeList("L", {"a", "b", "c"});
    app_.lists().tapRow("L");
    auto items = app_.items();
    EXPECT_EQ(items.swipeRow("b"), "\u23F0 Reminder, Move, Copy, Delete");
    std::vector<std::optional<Color>> colours;
    for (const auto& action : screen().tableView().shownRowActions()) {
        colours.push_back(action->backgroundColor());
    }
    EXPECT_EQ(colours, (std::vector<std::optional<Color>>{grey20, grey56, grey50, std::nullopt}));

    items.swipeRow("b", "Delete");
    items.tapBarButton("Edit");
    items.tapRow("a", "delete");
    EXPECT_EQ(shown(), "c");
    EXPECT_FALSE(db().viewContext().hasChanges());
}

// --- Ads and other devices -------------------------------------------------------------------

TEST_F(ItemsScreen, OpeningListsShowsAnAdNoMoreOftenThanThePacingAllows) {
    makeList("A", {"x"});
    makeList("B", {"y"});
    std::vector<double> shownAt;
    const double start = app_.platform().clock().current().secondsSinceEpoch;
    for (int open = 0; open < 40; ++open) {
        app_.lists().tapRow(open % 2 ? "A" : "B");
        if (app_.screens().find("Ad") != std::string::npos) {
            shownAt.push_back(app_.platform().clock().current().secondsSinceEpoch - start);
            app_.front().tapButton("Close");
        }
        app_.wait(1);
    }
    ASSERT_GE(shownAt.size(), 2u);
    EXPECT_GE(shownAt.front(), JWAdvertising::minIntervalFirstAdInit);
    for (std::size_t i = 1; i < shownAt.size(); ++i) {
        EXPECT_GE(shownAt[i] - shownAt[i - 1], JWAdvertising::minIntervalBetweenAds);
    }
}

TEST_F(ItemsScreen, AnItemCheckedOnAnotherDeviceIsRedrawnOnScreenAndNotMovedOffScreen) {
    std::vector<std::string> bodies;
    for (int i = 0; i < 30; ++i) {
        bodies.push_back("item" + std::to_string(i));
    }
    makeList("L", bodies, {}, 5);  // checked first: a check moves the item to the top
    app_.cloud().deliverAll();
    test::OtherDevice other(app_, "other");
    other.sync();
    app_.lists().tapRow("L");
    const std::string before = shown();
    ASSERT_EQ(before.substr(0, 14), "item29 item28 ");
    ASSERT_EQ(before.find("item0"), std::string::npos) << "the oldest item is off screen";

    const auto check = [&](const std::string& body) {
        for (auto* item : other.listNamed("L")->listItems()) {
            if (item->body() == body) {
                model::toggleItem(other.db(), *item);
            }
        }
        other.sync();
        app_.cloud().deliverAll();
        app_.takeHistory();
        app_.wait(10);  // the sync timer merges
        std::string rows;
        for (const auto& line : std::views::split(app_.takeHistory(), '\n')) {
            if (std::string_view(line.begin(), line.end()).starts_with("items")) {
                rows += std::string(line.begin(), line.end());
            }
        }
        return rows;
    };

    EXPECT_EQ(check("item27"), "items rows 2>0") << "on screen: redrawn and moved";
    const std::string after = shown();
    EXPECT_EQ(after.substr(0, 30), "✔item27 item29 item28 item26");

    EXPECT_EQ(check("item0"), "items rows") << "off screen: no row moves";
    EXPECT_EQ(shown(), after) << "the rows on screen keep what they show";
    EXPECT_EQ(app_.items().title(), "L (2/30)");
}

}  // namespace
}  // namespace jw
