// topViewController: what a column shows, through navigation controllers nested in each other.

#include <functional>
#include <memory>
#include <ostream>

#include "platform/ui/NavigationController.h"
#include "tests/ui/UiTestSupport.h"

namespace jw::ui::test {
namespace {

using ::jw::test::PrintTo;

struct TopCase {
    const char* name;
    // Builds the controller asked about from screens named by the test.
    std::function<std::shared_ptr<ViewController>(UiTest&)> build;
    const char* expected;  // the title of what topViewController returns
};

std::shared_ptr<NavigationController> titled(std::shared_ptr<NavigationController> navigation,
                                             const char* title) {
    navigation->setTitle(title);
    return navigation;
}

const TopCase topCases[] = {
    {"APlainScreenIsItsOwnTop", [](UiTest& t) { return t.screen("A"); }, "A"},
    {"AnEmptyStackIsItsOwnTop",
     [](UiTest&) { return titled(std::make_shared<NavigationController>(), "Nav"); }, "Nav"},
    {"AStackShowsItsLastScreen",
     [](UiTest& t) {
         auto navigation = NavigationController::withRoot(t.screen("A"));
         navigation->pushViewController(t.screen("B"), false);
         return navigation;
     },
     "B"},
    {"ANestedStackShowsItsOwnTop",
     [](UiTest& t) {
         auto outer = NavigationController::withRoot(t.screen("A"));
         outer->pushViewController(NavigationController::withRoot(t.screen("C")), false);
         return outer;
     },
     "C"},
    {"ANestedEmptyStackIsTheTop",
     [](UiTest& t) {
         auto outer = NavigationController::withRoot(t.screen("A"));
         outer->pushViewController(titled(std::make_shared<NavigationController>(), "Inner"),
                                   false);
         return outer;
     },
     "Inner"},
};

class TopViewControllerTest : public UiTest, public ::testing::WithParamInterface<TopCase> {};

TEST_P(TopViewControllerTest, IsTheTopOfTheInnermostStack) {
    EXPECT_EQ(topViewController(GetParam().build(*this))->title(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Navigation, TopViewControllerTest, ::testing::ValuesIn(topCases),
                         jw::test::caseName);

}  // namespace
}  // namespace jw::ui::test
