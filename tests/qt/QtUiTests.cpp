// The window drawn and used as a person does: the real QML scene over the real application,
// driven by mouse and key events on Qt's offscreen platform. These tests check what the screen
// tests without a display cannot: that the QML draws the tree and forwards input to it.
//
// What a scene shows is read back from the QML items themselves and printed as one line:
// "<primary column> | <secondary column> > <presented>", each column as
// "<title> [<row>, <row>...]" ("(table)" or "(plain)" for an untitled screen).

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "frontends/qt/AppHost.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Window.h"
#include "src/app/JotwellApplication.h"
#include "src/lists/MasterViewController.h"
#include "src/themes/ApplyTheme.h"
#include "src/themes/JWThemesDB.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

QGuiApplication& guiApplication() {
    // No display is needed: Qt's offscreen platform, unless the caller chose one (xvfb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "qt_ui_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

constexpr QSize phone{390, 844};
constexpr QSize tablet{1180, 820};

class Window : public ::testing::Test {
  protected:
    void launch(QSize size) {
        guiApplication();
        qt::HostSettings settings;
        settings.paths = AppPaths::resolve(folder_.path() / "device");
        settings.cloudDirectory = folder_.path() / "cloud";
        std::filesystem::create_directories(settings.cloudDirectory);
        settings.windowSize = size;
        host_ = std::make_unique<qt::AppHost>(settings);
        // Past the intro, as a person signed in to the cloud folder: once attached, it says
        // ready and offers Start (it does not show when attaching won the race to the screen).
        auto& db = host_->application().database();
        waitUntil("the store is attached", [&] {
            return db.syncState() == model::SyncState::attached && db.operationsInFlight() == 0;
        });
        if (find(QStringLiteral("button:Start"))) {
            click("button:Start");
        }
        waitUntil("the lists show", [&] { return scene().rfind("Lists [", 0) == 0; });
    }

    void TearDown() override {
        host_.reset();
        QCoreApplication::processEvents();
    }

    QQuickWindow& window() { return *host_->window(); }

    // Lets events run until `done`, for at most ten seconds (the sync worker attaches in the
    // background); fails the test naming what did not happen.
    void waitUntil(const std::string& what, const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                if (const auto shot = qEnvironmentVariable("JOTWELL_FAILURE_SHOT");
                    !shot.isEmpty()) {
                    window().grabWindow().save(shot);
                }
                FAIL() << "timed out waiting until " << what << "; on screen: " << scene();
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        QCoreApplication::processEvents();
    }

    // The visible item named `name` (its objectName), depth first; nothing when none shows.
    QQuickItem* find(const QString& name, QQuickItem* from = nullptr) {
        if (!from) {
            from = window().contentItem();
        }
        for (auto* child : from->childItems()) {
            if (!child->isVisible()) {
                continue;
            }
            if (child->objectName() == name) {
                return child;
            }
            if (auto* found = find(name, child)) {
                return found;
            }
        }
        return nullptr;
    }

    QPoint centreOf(QQuickItem* item) {
        return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
    }

    // Waits for the item to show, then clicks its middle.
    void click(const char* name) {
        waitUntil(std::string("\"") + name + "\" shows",
                  [&] { return find(QString::fromUtf8(name)) != nullptr; });
        if (auto* item = find(QString::fromUtf8(name))) {
            QTest::mouseClick(&window(), Qt::LeftButton, {}, centreOf(item));
        }
        QCoreApplication::processEvents();
    }

    // One key event per character ("\n" is the return key).
    void type(const QString& keys) {
        for (const QChar key : keys) {
            if (key == QLatin1Char('\n')) {
                QTest::keyClick(&window(), Qt::Key_Return);
            } else {
                QTest::keyClick(&window(), key.toLatin1());
            }
        }
        QCoreApplication::processEvents();
    }

    void resize(QSize size) {
        window().resize(size);
        QCoreApplication::processEvents();
    }

    QString columnText(const char* name) {
        auto* column = find(QString::fromUtf8(name));
        if (!column) {
            return {};
        }
        auto* title = find(QStringLiteral("navigationTitle"), column);
        QString text = title ? title->property("text").toString() : QString();
        if (text.isEmpty()) {
            // An untitled screen goes by what it is: a table (the items) or plain views.
            text = find(QStringLiteral("tableList"), column) ? "(table)" : "(plain)";
        }
        QStringList rows;
        collectRows(column, rows);
        return text + " [" + rows.join(", ") + "]";
    }

    void collectRows(QQuickItem* from, QStringList& rows) {
        for (auto* child : from->childItems()) {
            if (!child->isVisible()) {
                continue;
            }
            if (child->objectName().startsWith("row:")) {
                rows.push_back(child->objectName().mid(4));
            }
            collectRows(child, rows);
        }
    }

    // What the window shows (see the top of the file).
    std::string scene() {
        QString text = columnText("primaryColumn");
        if (const auto second = columnText("secondaryColumn"); !second.isEmpty()) {
            text += " | " + second;
        }
        QStringList presented;
        if (const auto screen = columnText("presentedColumn"); !screen.isEmpty()) {
            presented.push_back(screen);
        }
        for (const char* kind : {"alert:", "actionSheet:", "shareSheet"}) {
            collectNamed(window().contentItem(), QString::fromUtf8(kind), presented);
        }
        if (!presented.isEmpty()) {
            text += " > " + presented.join(" > ");
        }
        return text.toStdString();
    }

    void collectNamed(QQuickItem* from, const QString& prefix, QStringList& found) {
        for (auto* child : from->childItems()) {
            if (!child->isVisible()) {
                continue;
            }
            if (child->objectName().startsWith(prefix)) {
                found.push_back(child->objectName());
            }
            collectNamed(child, prefix, found);
        }
    }

    // Titles of the choices of the action sheet on screen, joined by ", ".
    std::string sheetChoices() {
        QStringList choices;
        collectNamed(window().contentItem(), QStringLiteral("sheetAction:"), choices);
        return choices.join(", ").replace("sheetAction:", "").toStdString();
    }

    void addList(const QString& name) {
        click("barButton:Add");
        waitUntil("the name field has the keyboard", [&] {
            auto* field = find(QStringLiteral("alertField:Name"));
            return field && field->hasActiveFocus();
        });
        type(name + "\n");
        waitUntil("the row shows", [&] { return find("row:" + name) != nullptr; });
    }

    test::TempDir folder_;
    std::unique_ptr<qt::AppHost> host_;
};

TEST_F(Window, ANewListComesFromTheReturnKeyAndOpensBesideTheLists) {
    launch(tablet);
    addList(QStringLiteral("Groceries"));
    click("row:Groceries");
    waitUntil("the row is chosen",
              [&] { return find("row:Groceries")->property("highlighted") == true; });
    EXPECT_EQ(scene(), "Lists [Groceries] | (table) []");
}

TEST_F(Window, ResizingSwitchesBetweenOneColumnAndTwoWithTheListOpen) {
    launch(tablet);
    addList(QStringLiteral("Packing"));
    click("row:Packing");
    waitUntil("the list opens", [&] { return columnText("secondaryColumn") == "(table) []"; });

    resize(phone);
    waitUntil("one column", [&] { return find(QStringLiteral("secondaryColumn")) == nullptr; });
    EXPECT_EQ(scene(), "(table) []");
    EXPECT_TRUE(find(QStringLiteral("barButton:‹ Lists"))) << "the back button names the lists";

    resize(tablet);
    waitUntil("two columns", [&] { return find(QStringLiteral("secondaryColumn")) != nullptr; });
    EXPECT_EQ(scene(), "Lists [Packing] | (table) []");
}

TEST_F(Window, TheMenuSheetMarksTheChosenOrder) {
    launch(tablet);
    addList(QStringLiteral("Zoo"));
    addList(QStringLiteral("Apple"));
    click("barButton:Menu");
    waitUntil("the sheet shows", [&] { return !sheetChoices().empty(); });
    EXPECT_EQ(sheetChoices(),
              "Sort: Alphabetical ✔︎, Sort: Manual, Share App..., More Apps...");
    click("sheetAction:Sort: Manual");
    waitUntil("the sheet closes", [&] { return sheetChoices().empty(); });
    click("barButton:Menu");
    waitUntil("the sheet shows", [&] { return !sheetChoices().empty(); });
    EXPECT_EQ(sheetChoices(),
              "Sort: Alphabetical, Sort: Manual ✔︎, Share App..., More Apps...");
    // Beside its button on a wide window the sheet has no Cancel: Escape (or a tap beside it)
    // cancels.
    QTest::keyClick(&window(), Qt::Key_Escape);
    waitUntil("the sheet closes", [&] { return sheetChoices().empty(); });
    EXPECT_EQ(scene(), "Lists [Apple, Zoo] | (table) []");
}

TEST_F(Window, ASwipeOnTheCarouselPicksTheThemeTheBarsThenShow) {
    launch(phone);
    // The items screen's theme button is not drawn yet: the lists screen opens the same picker,
    // and the chosen theme colours its bars.
    const auto split = std::dynamic_pointer_cast<ui::SplitViewController>(
        host_->application().window().rootViewController());
    const auto stack =
        std::dynamic_pointer_cast<ui::NavigationController>(split->viewControllers().front());
    auto* lists = dynamic_cast<MasterViewController*>(stack->viewControllers().front().get());
    ASSERT_TRUE(lists);
    lists->presentThemeSelect(nullptr,
                              [lists](const JWThemeRef& theme) { applyTheme(*lists, theme); });
    click("carousel");
    auto* carousel = find(QStringLiteral("carousel"));
    const QPoint start = centreOf(carousel);
    QTest::mousePress(&window(), Qt::LeftButton, {}, start);
    for (int step = 1; step <= 10; ++step) {
        QTest::mouseMove(&window(), start - QPoint(0, step * 12), 16);
    }
    QTest::mouseRelease(&window(), Qt::LeftButton, {}, start - QPoint(0, 120), 16);
    waitUntil("the carousel comes to rest titled", [&] {
        return carousel->property("moving") == false &&
               !columnText("presentedColumn").startsWith(" ");
    });
    const int index = carousel->property("currentIndex").toInt();
    ASSERT_GT(index, 0) << "the swipe moved on";
    const auto& theme = JWThemesDB::shared().all().at(static_cast<std::size_t>(index));
    EXPECT_EQ(columnText("presentedColumn").toStdString(), theme->name() + " []");

    click("barButton:Save");
    waitUntil("the picker closes", [&] { return !find(QStringLiteral("carousel")); });
    const auto colour = theme->baseColor().rgba8();
    EXPECT_EQ(find(QStringLiteral("navigationBar"), find("primaryColumn"))
                  ->property("color")
                  .value<QColor>()
                  .name()
                  .toStdString(),
              QColor(colour[0], colour[1], colour[2]).name().toStdString());
}

}  // namespace
}  // namespace jw
