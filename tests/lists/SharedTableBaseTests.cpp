// The theme picker every table screen can open, and the colours each screen puts on its bars.
// (The list picker for a move or a copy is in ListPickerTests.)

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

#include "platform/ui/NavigationController.h"
#include "src/items/DetailViewController.h"
#include "src/lists/MasterViewController.h"
#include "src/model/Operations.h"
#include "src/themes/ThemeSelectViewController.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using ::jw::test::PrintTo;
using test::AppDriver;

std::string hexOf(const std::optional<Color>& color) {
    if (!color) {
        return "none";
    }
    const auto bytes = color->rgba8();
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%02X", bytes[0], bytes[1], bytes[2]);
    return text + (bytes[3] == 255 ? std::string() : "@" + std::to_string(bytes[3]));
}

class SharedTableBase : public ::testing::Test {
  protected:
    SharedTableBase() { app_.launchSignedIn(ui::Window::tabletSize); }
    MasterViewController& listsScreen() {
        return dynamic_cast<MasterViewController&>(app_.lists().controller());
    }
    AppDriver app_;
};

// The theme picker opened the way the items screen opens it, with what the handler receives.
struct PickerCase {
    const char* name;
    std::function<void(AppDriver&)> act;
    const char* expected;  // title when closing, then what was handed over
};

class ThemePicker : public SharedTableBase, public ::testing::WithParamInterface<PickerCase> {};

TEST_P(ThemePicker, HandsOverTheSwatchAtRestOnSaveAndNothingOnCancel) {
    std::string handedOver = "nothing";
    int calls = 0;
    listsScreen().presentThemeSelect(nullptr, [&](const JWThemeRef& theme) {
        handedOver = theme->name();
        ++calls;
    });
    app_.settle();
    ASSERT_EQ(app_.screens(), "Themes");
    EXPECT_EQ(app_.front().barButtons(), "bar: Cancel, Save");
    EXPECT_TRUE(app_.app().application().isStatusBarHidden());
    const auto carousel =
        dynamic_cast<ThemeSelectViewController&>(app_.front().controller()).themesCarousel.lock();
    ASSERT_EQ(carousel->numberOfItems(), 9u);
    EXPECT_EQ(hexOf(carousel->itemViewAtIndex(6)->backgroundColor()), "0533FF");

    GetParam().act(app_);

    EXPECT_EQ(handedOver, GetParam().expected);
    EXPECT_LE(calls, 1);
    EXPECT_EQ(app_.screens(), "Lists | Items()");
    EXPECT_FALSE(app_.app().application().isStatusBarHidden());
}

INSTANTIATE_TEST_SUITE_P(Choices, ThemePicker,
                         ::testing::Values(PickerCase{"SaveAtOnce",
                                                      [](AppDriver& app) {
                                                          EXPECT_EQ(app.front().title(), "");
                                                          app.front().tapBarButton("Save");
                                                      },
                                                      "Default"},
                                           PickerCase{"FourthSwatch",
                                                      [](AppDriver& app) {
                                                          app.scrollCarouselTo(3);
                                                          EXPECT_EQ(app.front().title(), "Yellow");
                                                          app.front().tapBarButton("Save");
                                                      },
                                                      "Yellow"},
                                           PickerCase{"CancelAfterScrolling",
                                                      [](AppDriver& app) {
                                                          app.scrollCarouselTo(3);
                                                          app.front().tapBarButton("Cancel");
                                                      },
                                                      "nothing"}),
                         jw::test::caseName);

// Where themes are applied: the bars around each screen, as "bar <colour> title <colour> opaque
// tint <colour>; toolbar <bar tint>/<tint>" (plus the items screen's separators).
std::string bars(ui::ViewController& screen) {
    auto navigation = screen.navigationController();
    auto& bar = navigation->navigationBar();
    const auto look = bar.standardAppearance().value_or(ui::NavigationBarAppearance{});
    const bool sameEverywhere =
        bar.scrollEdgeAppearance() == look && bar.compactAppearance() == look;
    std::string text = "bar " + hexOf(look.backgroundColor) + " title " +
                       hexOf(look.titleTextAttributes.foregroundColor) +
                       (look.opaqueBackground && !bar.isTranslucent() ? " opaque" : " clear") +
                       (sameEverywhere ? "" : " (differs by size)") + " tint " +
                       hexOf(bar.tintColor()) + "; toolbar " +
                       hexOf(navigation->toolbar().barTintColor()) + "/" +
                       hexOf(navigation->toolbar().tintColor());
    if (auto* items = dynamic_cast<DetailViewController*>(&screen)) {
        text += "; separators " + hexOf(items->tableView().separatorColor());
    }
    return text;
}

TEST_F(SharedTableBase, EachScreenPutsItsThemeOnItsBars) {
    auto& db = app_.app().database();
    const auto pink = model::newList(db, "Pink list");
    model::chooseTheme(db, pink.get(), "Pink");
    app_.settle();

    EXPECT_EQ(bars(app_.lists().controller()),
              "bar 2B2B2B title FFFFFF opaque tint FFFFFF; toolbar EBEBEB/333333");
    EXPECT_EQ(bars(app_.items().controller()),
              "bar 2B2B2B title FFFFFF opaque tint FFFFFF; toolbar EBEBEB/333333; separators none");
    app_.lists().tapRow("Pink list");
    EXPECT_EQ(bars(app_.items().controller()),
              "bar ED396F title FFFFFF opaque tint FFFFFF; toolbar F5F5F5/333333; separators "
              "ED396F@59");
    listsScreen().presentThemeSelect(nullptr, {});
    app_.settle();
    EXPECT_EQ(bars(app_.front().controller()),
              "bar 2B2B2B title FFFFFF opaque tint FFFFFF; toolbar EBEBEB/333333");
    app_.front().tapBarButton("Cancel");

    // On a phone the items screen's navigation controller is pushed inside the lists' one.
    app_.quit();
    app_.launchSignedIn(ui::Window::phoneSize);
    app_.lists().tapRow("Pink list");
    const auto outer = app_.items().controller().navigationController()->navigationController();
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(hexOf(outer->navigationBar().standardAppearance()->backgroundColor), "ED396F");
}

}  // namespace
}  // namespace jw
