// Gestures and keys in the real window, each case from a list of three items open beside the
// lists, printed as what the window shows.

#include <gtest/gtest.h>

#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <functional>
#include <ostream>
#include <string>

#include "tests/qt/WindowDriver.h"
#include "tests/support/ScriptCase.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

using ::jw::test::PrintTo;
using test::WindowDriver;

const QString items = QStringLiteral("secondaryColumn");

class Input : public ::testing::Test {
  public:
    // Errands and Shop on a tablet, Shop open beside them and given Milk, Bread and Eggs.
    void openShop() {
        window_.launch(folder_.path() / "device", folder_.path() / "cloud", WindowDriver::tablet);
        window_.addList(QStringLiteral("Errands"));
        window_.addList(QStringLiteral("Shop"));
        window_.clickIn(items, QStringLiteral("field:Add an item"));
        window_.type(QStringLiteral("Milk\nBread\nEggs\n"));
        window_.waitUntil("three items show", [&] { return rowCount() == 3; });
    }

    int rowCount() { return window_.columnText(items).count(QStringLiteral(", ")) + 1; }
    QQuickItem* row(const QString& title) {
        return window_.find("row:" + title, window_.find(items));
    }

    // The scene, then the items' rows that show a tick and the row the keyboard is on.
    std::string shown() {
        QStringList ticked;
        QString keyRow = QStringLiteral("none");
        for (const char* name : {"Milk", "Bread", "Eggs", "Rye"}) {
            if (auto* found = row(QString::fromUtf8(name))) {
                if (window_.find(QStringLiteral("imageButton:Uncheck"), found)) {
                    ticked.push_back(QString::fromUtf8(name));
                }
                if (found->property("keySelected").toBool()) {
                    keyRow = QString::fromUtf8(name);
                }
            }
        }
        return window_.scene() + " / ticked: " + ticked.join(", ").toStdString() +
               " / keys on: " + keyRow.toStdString();
    }

    // What shows once three looks in a row, events handled between them, agree.
    std::string settled() {
        std::string last;
        int same = 0;
        window_.waitUntil("the window settles", [&] {
            const auto now = shown();
            same = now == last ? same + 1 : 0;
            last = now;
            return same >= 2;
        });
        return last;
    }

    bool ticked(const QString& title) {
        auto* found = row(title);
        return found && window_.find(QStringLiteral("imageButton:Uncheck"), found);
    }

  protected:
    test::TempDir folder_;
    WindowDriver window_;
};

struct GestureCase {
    const char* name;
    std::function<void(WindowDriver&, Input&)> act;
    const char* expected;
};

class Gesture : public Input, public ::testing::WithParamInterface<GestureCase> {};

TEST_P(Gesture, OnTheOpenList) {
    openShop();
    GetParam().act(window_, *this);
    EXPECT_EQ(settled(), GetParam().expected);
}

void waitForText(WindowDriver& window, const QString& column, const QString& text) {
    window.waitUntil(text.toStdString() + " shows",
                     [&] { return window.columnText(column).contains(text); });
}

INSTANTIATE_TEST_SUITE_P(
    Items, Gesture,
    ::testing::Values(
        GestureCase{"TheTickChecksAndTheTitleCounts",
                    [](WindowDriver& w, Input& input) {
                        w.clickIn(QStringLiteral("row:Milk"), QStringLiteral("imageButton:Check"));
                        w.waitUntil("Milk is ticked",
                                    [&] { return input.ticked(QStringLiteral("Milk")); });
                    },
                    "Lists [Errands, Shop] | Shop (1/3) [Eggs, Bread, Milk] / ticked: Milk / "
                    "keys on: none"},
        GestureCase{"TypingInTheRowEditsTheTextInPlace",
                    [](WindowDriver& w, Input&) {
                        w.clickIn(QStringLiteral("row:Bread"), QStringLiteral("field:"));
                        w.key(Qt::Key_A, Qt::ControlModifier);
                        w.type(QStringLiteral("Rye\n"));
                        waitForText(w, items, QStringLiteral("Rye"));
                    },
                    "Lists [Errands, Shop] | Shop (3) [Eggs, Rye, Milk] / ticked:  / keys on: "
                    "none"},
        GestureCase{"TheMenuSortsAlphabetically",
                    [](WindowDriver& w, Input&) {
                        w.clickIn(items, QStringLiteral("barButton:Menu"));
                        w.click(QStringLiteral("sheetAction:Sort: Alphabetical"));
                        waitForText(w, items, QStringLiteral("[Bread, Eggs, Milk]"));
                    },
                    "Lists [Errands, Shop] | Shop (3) [Bread, Eggs, Milk] / ticked:  / keys on: "
                    "none"},
        GestureCase{"TheFilterButtonShowsTheUncheckedOnly",
                    [](WindowDriver& w, Input&) {
                        w.clickIn(QStringLiteral("row:Milk"), QStringLiteral("imageButton:Check"));
                        w.clickIn(items, QStringLiteral("barButton:All"));
                        w.waitUntil("the filter shows", [&] {
                            return w.find(QStringLiteral("barButton:☐ Unchecked"));
                        });
                    },
                    "Lists [Errands, Shop] | Shop (1/3) [Eggs, Bread] / ticked:  / keys on: none"},
        GestureCase{"ASwipeMovesTheItemToThePickedList",
                    [](WindowDriver& w, Input& input) {
                        auto* milk = input.row(QStringLiteral("Milk"));
                        w.drag(milk, QPoint(-200, 0));
                        w.waitUntil("the row's buttons are open",
                                    [&] { return milk->property("swipeOpen").toBool(); });
                        w.click(QStringLiteral("rowAction:Move"));
                        w.clickIn(QStringLiteral("presentedColumn"), QStringLiteral("row:Errands"));
                        w.waitUntil("the picker closes",
                                    [&] { return !w.find(QStringLiteral("presentedColumn")); });
                    },
                    "Lists [Errands, Shop] | Shop (2) [Eggs, Bread] / ticked:  / keys on: none"},
        GestureCase{"ADragInManualOrderMovesTheRow",
                    [](WindowDriver& w, Input& input) {
                        w.clickIn(items, QStringLiteral("barButton:Menu"));
                        w.click(QStringLiteral("sheetAction:Sort: Manual"));
                        w.clickIn(items, QStringLiteral("barButton:Edit"));
                        auto* milk = input.row(QStringLiteral("Milk"));
                        w.waitUntil("the drag handle shows",
                                    [&] { return w.find(QStringLiteral("dragHandle"), milk); });
                        w.drag(w.find(QStringLiteral("dragHandle"), milk),
                               QPoint(0, -static_cast<int>(milk->height()) * 2));
                        waitForText(w, items, QStringLiteral("[Milk, Eggs, Bread]"));
                        w.clickIn(items, QStringLiteral("barButton:Done"));
                    },
                    "Lists [Errands, Shop] | Shop (3) [Milk, Eggs, Bread] / ticked:  / keys on: "
                    "none"},
        GestureCase{"TheRowsEditButtonOpensTheEditorAndEscapeCancelsIt",
                    [](WindowDriver& w, Input&) {
                        w.click(QStringLiteral("accessory:Bread"));
                        w.waitUntil("the editor shows",
                                    [&] { return w.find(QStringLiteral("presentedColumn")); });
                        w.type(QStringLiteral("!"));
                        w.key(Qt::Key_Escape);
                        w.waitUntil("the editor closes",
                                    [&] { return !w.find(QStringLiteral("presentedColumn")); });
                    },
                    "Lists [Errands, Shop] | Shop (3) [Eggs, Bread, Milk] / ticked:  / keys on: "
                    "none"},
        GestureCase{
            "DeletingTheOpenListLeavesThePlaceholder",
            [](WindowDriver& w, Input&) {
                w.clickIn(QStringLiteral("primaryColumn"), QStringLiteral("barButton:Edit"));
                w.clickIn(QStringLiteral("row:Shop"), QStringLiteral("deleteControl"));
                w.waitUntil("the list goes", [&] { return !w.find(QStringLiteral("row:Shop")); });
            },
            "Lists [Errands] | (plain) [] / ticked:  / keys on: none"}),
    jw::test::caseName);

TEST_F(Input, TheKeyboardAloneMakesAListFillsItAndChecksAnItem) {
    window_.launch(folder_.path() / "device", folder_.path() / "cloud", WindowDriver::tablet);
    // Ctrl+N is the Add button: the name field has the keyboard, Return makes the list.
    window_.key(Qt::Key_N, Qt::ControlModifier);
    window_.waitUntil("the name field has the keyboard", [&] {
        auto* field = window_.find(QStringLiteral("alertField:Name"));
        return field && field->hasActiveFocus();
    });
    window_.type(QStringLiteral("Shop\n"));
    window_.waitUntil("the list shows", [&] { return window_.find(QStringLiteral("row:Shop")); });
    // Escape is the alert's Cancel.
    window_.key(Qt::Key_N, Qt::ControlModifier);
    window_.waitUntil("the alert shows",
                      [&] { return window_.scene().find(" > ") != std::string::npos; });
    window_.key(Qt::Key_Escape);
    window_.waitUntil("the alert closes",
                      [&] { return window_.scene().find(" > ") == std::string::npos; });

    window_.clickIn(items, QStringLiteral("field:Add an item"));
    window_.type(QStringLiteral("Milk\nBread\n"));
    window_.waitUntil("two items show", [&] { return row(QStringLiteral("Bread")) != nullptr; });
    // Escape leaves the field for its table; the arrows move the highlight, Space ticks.
    window_.key(Qt::Key_Escape);
    window_.key(Qt::Key_Down);
    window_.key(Qt::Key_Down);
    window_.key(Qt::Key_Up);
    window_.key(Qt::Key_Down);
    window_.key(Qt::Key_Space);
    window_.waitUntil("Milk is ticked", [&] { return ticked(QStringLiteral("Milk")); });
    EXPECT_EQ(settled(), "Lists [Shop] | Shop (1/2) [Bread, Milk] / ticked: Milk / keys on: Milk");
    // Up past the first row stays on it; Return taps it (an item's row does nothing more).
    window_.key(Qt::Key_Up);
    window_.key(Qt::Key_Up);
    window_.key(Qt::Key_Return);
    EXPECT_EQ(settled(), "Lists [Shop] | Shop (1/2) [Bread, Milk] / ticked: Milk / keys on: Bread");

    // A second list opens beside the lists, empty; with nothing focused, up goes to the lists'
    // last row and Return opens it.
    window_.key(Qt::Key_N, Qt::ControlModifier);
    window_.waitUntil("the name field has the keyboard", [&] {
        auto* field = window_.find(QStringLiteral("alertField:Name"));
        return field && field->hasActiveFocus();
    });
    window_.type(QStringLiteral("Errands\n"));
    window_.waitUntil("Errands is open", [&] { return !row(QStringLiteral("Milk")); });
    window_.key(Qt::Key_Up);
    window_.key(Qt::Key_Return);
    window_.waitUntil("Shop is open", [&] { return ticked(QStringLiteral("Milk")); });
    EXPECT_EQ(window_.find(QStringLiteral("row:Shop"))->property("keySelected").toBool(), true);

    // Ctrl+Q closes the window, as its close button does (the program then shuts down).
    window_.key(Qt::Key_Q, Qt::ControlModifier);
    window_.waitUntil("the window closes", [&] { return !window_.window().isVisible(); });
}

}  // namespace
}  // namespace jw
