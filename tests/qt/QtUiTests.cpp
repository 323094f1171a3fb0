// The real QML scene over the real application, driven by mouse and key events offscreen: that
// the QML draws the tree and forwards input to it.

#include <gtest/gtest.h>

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

#include "frontends/qt/ViewParts.h"
#include "platform/ui/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "src/app/JotwellApplication.h"
#include "src/lists/MasterViewController.h"
#include "src/model/Entities.h"
#include "src/model/Operations.h"
#include "src/themes/ApplyTheme.h"
#include "src/themes/JWThemesDB.h"
#include "tests/qt/WindowDriver.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

using test::WindowDriver;

class Window : public ::testing::Test {
  protected:
    void launch(QSize size) {
        window_.launch(folder_.path() / "device", folder_.path() / "cloud", size);
    }
    test::TempDir folder_;
    WindowDriver window_;
};

// A list made with the return key opens beside the lists; narrowing the window shows it alone
// with a back button naming the lists, widening brings both columns back; the menu sheet marks
// the chosen order, and Escape closes it (beside its button it has no Cancel).
TEST_F(Window, ListsMadeOpenedResizedAndOrderedThroughTheMenuSheet) {
    launch(WindowDriver::tablet);
    window_.addList(QStringLiteral("Zoo"));
    window_.openList(QStringLiteral("Zoo"));
    EXPECT_EQ(window_.scene(), "Lists [Zoo] | (table) []");

    window_.resize(WindowDriver::phone);
    window_.waitUntil("one column",
                      [&] { return !window_.find(QStringLiteral("secondaryColumn")); });
    EXPECT_EQ(window_.scene(), "(table) []");
    EXPECT_TRUE(window_.find(QStringLiteral("barButton:‹ Lists")));
    window_.resize(WindowDriver::tablet);
    window_.waitUntil("two columns",
                      [&] { return window_.find(QStringLiteral("secondaryColumn")); });
    EXPECT_EQ(window_.scene(), "Lists [Zoo] | (table) []");

    window_.addList(QStringLiteral("Apple"));
    const auto openMenu = [&] {
        window_.click(QStringLiteral("barButton:Menu"));
        window_.waitUntil("the sheet shows", [&] { return !window_.sheetChoices().empty(); });
        return window_.sheetChoices();
    };
    EXPECT_EQ(openMenu(), "Sort: Alphabetical ✔︎, Sort: Manual, Share App..., More Apps...");
    window_.click(QStringLiteral("sheetAction:Sort: Manual"));
    window_.waitUntil("the sheet closes", [&] { return window_.sheetChoices().empty(); });
    EXPECT_EQ(openMenu(), "Sort: Alphabetical, Sort: Manual ✔︎, Share App..., More Apps...");
    QTest::keyClick(&window_.window(), Qt::Key_Escape);
    window_.waitUntil("the sheet closes", [&] { return window_.sheetChoices().empty(); });
    EXPECT_EQ(window_.scene(), "Lists [Apple, Zoo] | (table) []");
}

TEST_F(Window, ASwipeOnTheCarouselPicksTheThemeTheBarsThenShow) {
    launch(WindowDriver::phone);
    // The lists screen opens the same picker as the items screen's "List Theme", and the
    // chosen theme colours its bars.
    const auto split = std::dynamic_pointer_cast<ui::SplitViewController>(
        window_.host().application().window().rootViewController());
    const auto stack =
        std::dynamic_pointer_cast<ui::NavigationController>(split->viewControllers().front());
    auto* lists = dynamic_cast<MasterViewController*>(stack->viewControllers().front().get());
    ASSERT_TRUE(lists);
    lists->presentThemeSelect(nullptr,
                              [lists](const JWThemeRef& theme) { applyTheme(*lists, theme); });
    window_.waitUntil("the carousel shows",
                      [&] { return window_.find(QStringLiteral("carousel")); });
    auto* carousel = window_.find(QStringLiteral("carousel"));
    const QPoint start = window_.centreOf(carousel);
    QTest::mousePress(&window_.window(), Qt::LeftButton, {}, start);
    for (int step = 1; step <= 10; ++step) {
        QTest::mouseMove(&window_.window(), start - QPoint(0, step * 12), 16);
    }
    QTest::mouseRelease(&window_.window(), Qt::LeftButton, {}, start - QPoint(0, 120), 16);
    window_.waitUntil("the carousel comes to rest titled", [&] {
        return carousel->property("moving") == false &&
               !window_.columnText(QStringLiteral("presentedColumn")).startsWith("(");
    });
    const int index = carousel->property("currentIndex").toInt();
    ASSERT_GT(index, 0) << "the swipe moved on";
    const auto& theme = JWThemesDB::shared().all().at(static_cast<std::size_t>(index));
    EXPECT_EQ(window_.columnText(QStringLiteral("presentedColumn")).toStdString(),
              theme->name() + " []");

    window_.click(QStringLiteral("barButton:Save"));
    window_.waitUntil("the picker closes",
                      [&] { return !window_.find(QStringLiteral("carousel")); });
    const auto colour = theme->baseColor().rgba8();
    auto* bar = window_.find(QStringLiteral("navigationBar"),
                             window_.find(QStringLiteral("primaryColumn")));
    EXPECT_EQ(bar->property("color").value<QColor>().name().toStdString(),
              QColor(colour[0], colour[1], colour[2]).name().toStdString());
}

// What a person types shows as typed wherever it is drawn, never read as markup: a list named
// like a bold tag and an item like an image tag, in the lists' row, the bar's title and the
// item's row, each as wide as its text in its font. An item of several lines (from the item
// editor) shows its first line in its row, elided, not spilling over the next.
TEST_F(Window, TypedTextShowsAsTypedInItsRow) {
    launch(WindowDriver::tablet);
    const QString list = QStringLiteral("<b>Shop</b> &amp;");
    window_.addList(list);
    window_.openList(list);
    window_.clickIn(QStringLiteral("secondaryColumn"), QStringLiteral("field:Add an item"));
    window_.type(QStringLiteral("<img src=\"x.png\">Milk\n"));
    window_.waitUntil("the item shows", [&] {
        return window_.columnText(QStringLiteral("secondaryColumn")).contains("Milk");
    });
    QStringList drawn;
    std::function<void(QQuickItem*)> visit = [&](QQuickItem* item) {
        const QString text = item->property("text").toString();
        if (item->inherits("QQuickText") && item->isVisible() && text.contains('<')) {
            const QFontMetricsF metrics(item->property("font").value<QFont>());
            EXPECT_NEAR(item->property("contentWidth").toReal(), metrics.horizontalAdvance(text),
                        2.0)
                << text.toStdString();
            drawn.push_back(text);
        }
        for (auto* child : item->childItems()) {
            visit(child);
        }
    };
    visit(window_.window().contentItem());
    drawn.sort();
    EXPECT_EQ(drawn.join(" / ").toStdString(),
              "<b>Shop</b> &amp; / <b>Shop</b> &amp; (1) / <img src=\"x.png\">Milk");

    auto& db = window_.host().application().database();
    auto lists = db.viewContext().executeFetchRequest(model::List::fetchRequest());
    ASSERT_EQ(lists.size(), 1u);
    model::newItem(db, static_cast<model::List&>(*lists.front()), "first line\nsecond line");
    window_.waitUntil("the item shows", [&] {
        return window_.columnText(QStringLiteral("secondaryColumn")).contains("second line");
    });
    auto* row = window_.find(QStringLiteral("row:first line\nsecond line"));
    ASSERT_TRUE(row);
    auto* text = window_.find(QStringLiteral("field:"), row);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->property("lineCount").toInt(), 1);
    EXPECT_TRUE(text->property("truncated").toBool());
    EXPECT_LE(text->property("contentHeight").toReal(), row->height());
}

// Closing the window while a row's text is being edited keeps what was typed.
TEST_F(Window, QuittingWhileEditingARowKeepsItsText) {
    launch(WindowDriver::tablet);
    window_.addList(QStringLiteral("Shop"));
    window_.openList(QStringLiteral("Shop"));
    window_.clickIn(QStringLiteral("secondaryColumn"), QStringLiteral("field:Add an item"));
    window_.type(QStringLiteral("Milk\n"));
    window_.waitUntil("Milk shows", [&] { return window_.find(QStringLiteral("row:Milk")); });
    window_.clickIn(QStringLiteral("row:Milk"), QStringLiteral("field:"));
    window_.waitUntil("the row's field has the keyboard", [&] {
        auto* field = window_.find(QStringLiteral("field:"), window_.find("row:Milk"));
        return field && field->hasActiveFocus();
    });
    window_.key(Qt::Key_End);
    window_.type(QStringLiteral(" and honey"));
    window_.quit();
    launch(WindowDriver::tablet);
    window_.openList(QStringLiteral("Shop"));
    EXPECT_EQ(window_.scene(), "Lists [Shop] | Shop (1) [Milk and honey]");
}

// A row of the usual shape (an image, the text, a label) is drawn by the row's own plain items;
// a row of any other shape by the general views. Either way every text shows, left to right.
TEST(RowContent, DrawsEveryTextOfEveryShape) {
    const WindowDriver app;  // the process's QApplication
    QQmlEngine engine;
    QObject bridge;  // no field has the keyboard
    bridge.setProperty("focusedHandle", 0);
    engine.rootContext()->setContextProperty(QStringLiteral("bridge"), &bridge);
    const auto images = std::make_shared<qt::ImageStore>();
    const QString tick = images->addressOf(Image::transparent(40, 40));
    engine.addImageProvider(QStringLiteral("jw"), new qt::ImageProvider(images));
    struct Case {
        const char* parts;
        std::string drawn;
    };
    const Case cases[] = {
        {R"([{"kind":"image","image":"","x":8,"w":24,"h":24},
             {"kind":"label","text":"Shop","x":40,"primary":true},
             {"kind":"label","text":"1/3","x":300},{"kind":"progress","value":0.3,"color":"red","x":40}])",
         "own items: Shop | 1/3"},
        {R"([{"kind":"button","image":"TICK","x":8,"w":40,"h":40,"handle":1},
             {"kind":"field","text":"","placeholder":"Add an item","x":56,"handle":2}])",
         "own items: Add an item"},
        {R"([{"kind":"label","text":"A","x":0,"primary":true},{"kind":"image","image":"","x":40},
             {"kind":"label","text":"B","x":80},{"kind":"label","text":"C","x":120}])",
         "general views: A | B | C"},
    };
    for (const auto& c : cases) {
        QQmlComponent component(&engine);
        component.setData(QStringLiteral("import QtQuick\nRowContent { width: 360; height: 48; "
                                         "parts: %1 }")
                              .arg(QString::fromUtf8(c.parts).replace(QStringLiteral("TICK"), tick))
                              .toUtf8(),
                          QUrl(QStringLiteral("qrc:/Jotwell/qml/RowTest.qml")));
        std::unique_ptr<QObject> object(component.create());
        ASSERT_TRUE(object) << component.errorString().toStdString();
        auto* row = qobject_cast<QQuickItem*>(object.get());
        std::vector<std::pair<qreal, QString>> texts;
        bool general = false;
        std::function<void(QQuickItem*)> walk = [&](QQuickItem* item) {
            general = general || QString::fromUtf8(item->metaObject()->className())
                                     .startsWith(QStringLiteral("CellContent"));
            const QString text = item->property("text").toString();
            if (item->isVisible() && item->inherits("QQuickText") && !text.isEmpty()) {
                texts.emplace_back(item->mapToItem(row, QPointF()).x(), text);
            }
            for (auto* child : item->childItems()) {
                walk(child);
            }
        };
        walk(row);
        std::sort(texts.begin(), texts.end());
        std::string drawn = general ? "general views:" : "own items:";
        for (std::size_t i = 0; i < texts.size(); ++i) {
            drawn += (i == 0 ? " " : " | ") + texts[i].second.toStdString();
        }
        EXPECT_EQ(drawn, c.drawn) << c.parts;
    }
}

}  // namespace
}  // namespace jw
