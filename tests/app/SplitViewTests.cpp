// The split view on both window sizes: the collapse rule keeps an open list on screen when the
// window narrows and drops an empty items column, and widening brings the columns back.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "platform/ui/NavigationController.h"
#include "src/app/AppDelegate.h"
#include "src/items/DetailViewController.h"
#include "src/items/EmptyDetailViewController.h"
#include "src/model/Operations.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using ::jw::test::PrintTo;
using test::AppDriver;

// The rule itself, for each kind of secondary column: true drops it.
TEST(CollapseRule, DropsTheItemsColumnUnlessItShowsAList) {
    AppDriver app;
    app.launch();
    auto& delegate = app.app().delegate();
    ui::SplitViewController split;
    ui::ViewController primary;
    const auto collapses = [&](std::shared_ptr<ui::ViewController> secondary) {
        return delegate.collapseSecondaryViewController(split, *secondary, primary);
    };
    const auto items = std::make_shared<DetailViewController>();
    const auto itemsWithList = std::make_shared<DetailViewController>();
    itemsWithList->setList(model::newList(app.app().database(), "apple"));

    EXPECT_FALSE(collapses(std::make_shared<ui::ViewController>())) << "not a navigation";
    EXPECT_TRUE(collapses(std::make_shared<ui::NavigationController>())) << "no top screen";
    EXPECT_TRUE(collapses(
        ui::NavigationController::withRoot(std::make_shared<EmptyDetailViewController>())))
        << "the empty placeholder";
    EXPECT_TRUE(collapses(ui::NavigationController::withRoot(items))) << "no list";
    EXPECT_FALSE(collapses(ui::NavigationController::withRoot(itemsWithList))) << "a list";
}

struct ResizeCase {
    const char* name;
    bool startOnTablet;
    std::function<void(AppDriver&)> steps;  // each step ends by noting what is on screen
    const char* expected;
};

class Resizing : public ::testing::TestWithParam<ResizeCase> {};

TEST_P(Resizing, KeepsTheOpenListOnScreen) {
    AppDriver app;
    app.launchSignedIn(GetParam().startOnTablet ? ui::Window::tabletSize : ui::Window::phoneSize);
    model::newList(app.app().database(), "apple");
    model::newList(app.app().database(), "banana");
    app.settle();
    std::string seen = app.screens();
    const auto note = [&] { seen += " -> " + app.screens(); };
    GetParam().steps(app);
    note();
    EXPECT_EQ(seen, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Resizing,
    ::testing::Values(ResizeCase{"PhoneNothingOpen", false,
                                 [](AppDriver& app) { app.resize(ui::Window::tabletSize); },
                                 "Lists -> Lists | Items()"},
                      ResizeCase{"TabletNothingOpen", true,
                                 [](AppDriver& app) { app.resize(ui::Window::phoneSize); },
                                 "Lists | Items() -> Lists"},
                      ResizeCase{"TabletListOpenNarrowedAndWidened", true,
                                 [](AppDriver& app) {
                                     app.lists().tapRow("apple");
                                     app.resize(ui::Window::phoneSize);
                                     EXPECT_EQ(app.screens(), "Items(apple)");
                                     app.resize(ui::Window::tabletSize);
                                 },
                                 "Lists | Items() -> Lists | Items(apple)"},
                      ResizeCase{"PhoneListOpenWidened", false,
                                 [](AppDriver& app) {
                                     app.lists().tapRow("banana");
                                     EXPECT_EQ(app.screens(), "Items(banana)");
                                     app.resize(ui::Window::tabletSize);
                                 },
                                 "Lists -> Lists | Items(banana)"},
                      ResizeCase{"TabletPlaceholderNarrowed", true,
                                 [](AppDriver& app) {
                                     app.lists().tapRow("apple");
                                     app.lists().tapBarButton("Edit");
                                     app.lists().tapRow("apple", "delete");
                                     EXPECT_EQ(app.screens(), "Lists | Empty");
                                     app.resize(ui::Window::phoneSize);
                                 },
                                 "Lists | Items() -> Lists"}),
    jw::test::caseName);

}  // namespace
}  // namespace jw
