// Appearance calls and presentations, from a tablet window with a split view (list A, detail
// D), as one log; "|" marks where the run loop turned.

#include <functional>
#include <ostream>
#include <string>

#include "platform/ui/AlertController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/TextField.h"
#include "tests/ui/UiTestSupport.h"

namespace jw::ui::test {
namespace {

using ::jw::test::PrintTo;

class CollapseDelegate : public SplitViewControllerDelegate {
  public:
    CollapseDelegate(std::shared_ptr<EventLog> log, bool dropsSecondary)
        : log_(std::move(log)), dropsSecondary_(dropsSecondary) {}
    bool collapseSecondaryViewController(SplitViewController&, ViewController&,
                                         ViewController&) override {
        log_->add("collapse?");
        return dropsSecondary_;
    }

  private:
    std::shared_ptr<EventLog> log_;
    bool dropsSecondary_;
};

class AppearanceTest;

struct AppearanceCase {
    const char* name;
    std::function<void(AppearanceTest&)> act;
    const char* expected;
    bool delegateDropsSecondary = false;
};

class AppearanceTest : public UiTest, public ::testing::WithParamInterface<AppearanceCase> {
  public:
    void SetUp() override {
        delegate_ = std::make_shared<CollapseDelegate>(log_, GetParam().delegateDropsSecondary);
        split->setViewControllers({primary, secondary});
        split->setDelegate(delegate_);
        application_->setObserver(std::make_shared<PresentationObserver>(log_));
        show(split);
        log_->take();
    }

    std::shared_ptr<LoggingController> presented(const char* name, ModalPresentationStyle style) {
        auto controller = screen(name);
        controller->setModalPresentationStyle(style);
        return controller;
    }
    void narrow() { window_->setSize(Window::phoneSize); }
    void widen() { window_->setSize(Window::tabletSize); }

    std::shared_ptr<LoggingController> a = screen("A");
    std::shared_ptr<LoggingController> d = screen("D");
    std::shared_ptr<NavigationController> primary = NavigationController::withRoot(a);
    std::shared_ptr<NavigationController> secondary = NavigationController::withRoot(d);
    std::shared_ptr<SplitViewController> split = std::make_shared<SplitViewController>();
    std::shared_ptr<CollapseDelegate> delegate_;
};

TEST_P(AppearanceTest, LogsWhatHappened) {
    GetParam().act(*this);
    settle();
    EXPECT_EQ(log_->take(), GetParam().expected);
}

constexpr auto fullScreen = ModalPresentationStyle::fullScreen;
constexpr auto formSheet = ModalPresentationStyle::formSheet;

// Which screens hear which appearance call, and when, as the tree changes.
const AppearanceCase lifecycleCases[] = {
    {"PushHidesTheTop",
     [](AppearanceTest& t) { t.primary->pushViewController(t.screen("B"), true); },
     "A:willDisappear B:load B:willAppear | A:didDisappear B:didAppear"},
    {"PopShowsTheOneBelow",
     [](AppearanceTest& t) {
         t.primary->pushViewController(t.screen("B"), true);
         t.settle();
         t.primary->popViewController(true);
     },
     "A:willDisappear B:load B:willAppear | A:didDisappear B:didAppear "
     "B:willDisappear A:willAppear | B:didDisappear A:didAppear"},
    {"PushAndPopInOneTurnEndOnce",
     [](AppearanceTest& t) {
         t.primary->pushViewController(t.screen("B"), true);
         t.primary->popViewController(true);
     },
     "A:willDisappear B:load B:willAppear B:willDisappear A:willAppear | "
     "B:didDisappear A:didAppear"},
    {"FullScreenPresentationHidesBothColumnsThenCompletes",
     [](AppearanceTest& t) { t.a->present(t.presented("P", fullScreen), true, t.logs("done")); },
     "present:P A:willDisappear D:willDisappear P:load P:willAppear | "
     "A:didDisappear D:didDisappear P:didAppear done"},
    {"SheetLeavesTheColumnsOnScreen",
     [](AppearanceTest& t) { t.a->present(t.presented("P", formSheet), true, t.logs("done")); },
     "present:P P:load P:willAppear | P:didAppear done"},
    {"DismissShowsTheColumnsAgainThenCompletes",
     [](AppearanceTest& t) {
         auto p = t.presented("P", fullScreen);
         t.a->present(p, true);
         t.settle();
         p->dismiss(true, t.logs("done"));
     },
     "present:P A:willDisappear D:willDisappear P:load P:willAppear | "
     "A:didDisappear D:didDisappear P:didAppear "
     "dismiss:P P:willDisappear A:willAppear D:willAppear | "
     "P:didDisappear A:didAppear D:didAppear done"},
    {"ScreensUnderAFullScreenPresentationHearNothing",
     [](AppearanceTest& t) {
         t.a->present(t.presented("P", fullScreen), true);
         t.settle();
         t.primary->pushViewController(t.screen("B"), true);
         t.settle();
         t.a->dismiss(true);
     },
     "present:P A:willDisappear D:willDisappear P:load P:willAppear | "
     "A:didDisappear D:didDisappear P:didAppear | "
     "dismiss:P P:willDisappear B:load B:willAppear D:willAppear | "
     "P:didDisappear B:didAppear D:didAppear"},
    {"NarrowingPushesTheSecondaryOntoThePrimary", [](AppearanceTest& t) { t.narrow(); },
     "collapse? A:willDisappear | A:didDisappear"},
    {"NarrowingDropsTheSecondaryWhenTheDelegateSaysSo", [](AppearanceTest& t) { t.narrow(); },
     "collapse? D:willDisappear | D:didDisappear", true},
    {"WideningPopsTheSecondaryBackOut",
     [](AppearanceTest& t) {
         t.narrow();
         t.settle();
         t.widen();
     },
     "collapse? A:willDisappear | A:didDisappear A:willAppear | A:didAppear"},
    {"WideningBringsBackTheDroppedSecondary",
     [](AppearanceTest& t) {
         t.narrow();
         t.settle();
         t.widen();
     },
     "collapse? D:willDisappear | D:didDisappear D:willAppear | D:didAppear", true},
    {"ShowDetailReplacesTheSecondaryWhenExpanded",
     [](AppearanceTest& t) {
         t.split->showDetailViewController(NavigationController::withRoot(t.screen("E")), {});
     },
     "D:willDisappear E:load E:willAppear | D:didDisappear E:didAppear"},
    {"ShowDetailPushesOnThePrimaryWhenCollapsed",
     [](AppearanceTest& t) {
         t.narrow();
         t.settle();
         t.split->showDetailViewController(NavigationController::withRoot(t.screen("E")), {});
     },
     "collapse? D:willDisappear | D:didDisappear A:willDisappear E:load E:willAppear | "
     "A:didDisappear E:didAppear",
     true},
};

INSTANTIATE_TEST_SUITE_P(Lifecycle, AppearanceTest, ::testing::ValuesIn(lifecycleCases),
                         jw::test::caseName);

std::shared_ptr<AlertController> nameAlert(AppearanceTest& t, bool withPreferredAction) {
    auto alert = AlertController::make("New", std::nullopt, AlertControllerStyle::alert);
    alert->addTextField([&t](TextField& field) {
        field.addTarget(t.recorder("exit").action(), ControlEvent::editingDidEndOnExit);
    });
    auto ok = AlertAction::make("OK", AlertActionStyle::defaultStyle,
                                [log = t.log_](AlertAction&) { log->add("ok"); });
    alert->addAction(ok);
    alert->addAction(AlertAction::make("Cancel", AlertActionStyle::cancel));
    if (withPreferredAction) {
        alert->setPreferredAction(ok);
    }
    return alert;
}

// Presentations over one context stack one at a time; what dismiss removes; when handlers
// and completions run.
const AppearanceCase presentationCases[] = {
    {"ASecondPresentOverTheSameContextIsIgnored",
     [](AppearanceTest& t) {
         t.a->present(t.presented("P", formSheet), true, t.logs("first"));
         t.d->present(t.presented("Q", formSheet), true, t.logs("second"));
     },
     "present:P P:load P:willAppear | P:didAppear first"},
    {"APresentedScreenPresentsOverItself",
     [](AppearanceTest& t) {
         auto p = t.presented("P", fullScreen);
         t.a->present(p, true);
         t.settle();
         p->present(t.presented("Q", fullScreen), true, t.logs("done"));
     },
     "present:P A:willDisappear D:willDisappear P:load P:willAppear | "
     "A:didDisappear D:didDisappear P:didAppear "
     "present:Q P:willDisappear Q:load Q:willAppear | P:didDisappear Q:didAppear done"},
    {"DismissingFromBelowTakesEverythingAboveIt",
     [](AppearanceTest& t) {
         auto p = t.presented("P", formSheet);
         t.a->present(p, true);
         p->present(t.presented("Q", formSheet), true);
         t.settle();
         t.d->dismiss(true, t.logs("done"));
     },
     "present:P P:load P:willAppear present:Q Q:load Q:willAppear | P:didAppear Q:didAppear "
     "dismiss:P P:willDisappear Q:willDisappear | P:didDisappear Q:didDisappear done"},
    {"DismissWithNothingPresentedStillCompletesOnTheLoop",
     [](AppearanceTest& t) { t.a->dismiss(true, t.logs("done")); }, "| done"},
    {"AScreenDismissedAgainClosesNothingItsPresenterShowsSince",
     [](AppearanceTest& t) {
         auto p = t.presented("P", formSheet);
         t.a->present(p, true);
         p->dismiss(true);
         t.settle();
         t.a->present(t.presented("Q", formSheet), true);
         p->dismiss(true, t.logs("done"));
     },
     "present:P P:load P:willAppear dismiss:P P:willDisappear | P:didDisappear "
     "present:Q Q:load Q:willAppear | Q:didAppear done"},
    {"AnAlertActionRunsAfterTheAlertIsGoneAndMayPresent",
     [](AppearanceTest& t) {
         auto alert =
             AlertController::make("Menu", std::nullopt, AlertControllerStyle::actionSheet);
         alert->popoverPresentationController()->setBarButtonItem(t.a->editButtonItem());
         alert->addAction(
             AlertAction::make("Go", AlertActionStyle::defaultStyle, [&t](AlertAction&) {
                 t.log_->add("go");
                 t.a->present(t.presented("Q", formSheet), true);
             }));
         t.a->present(alert, true);
         t.settle();
         alert->tapAction(*alert->actions().front());
     },
     "present:Menu | dismiss:Menu | go present:Q Q:load Q:willAppear Q:didAppear"},
    {"ReturnInAnAlertFieldSendsItsActionsThenEndsTheAlert",
     [](AppearanceTest& t) {
         t.a->present(nameAlert(t, false), true);
         t.settle();
         dynamic_cast<KeyInput&>(*Application::shared().firstResponder()).insertText("Milk\n");
     },
     "present:New | exit:Milk dismiss:New |"},
    {"ReturnInAnAlertFieldRunsThePreferredActionAfterwards",
     [](AppearanceTest& t) {
         t.a->present(nameAlert(t, true), true);
         t.settle();
         dynamic_cast<KeyInput&>(*Application::shared().firstResponder()).insertText("Milk\n");
     },
     "present:New | exit:Milk dismiss:New | ok"},
};

INSTANTIATE_TEST_SUITE_P(Presentation, AppearanceTest, ::testing::ValuesIn(presentationCases),
                         jw::test::caseName);

class LaunchTest : public UiTest {};

class LoggingDelegate : public ApplicationDelegate {
  public:
    explicit LoggingDelegate(std::shared_ptr<EventLog> log) : log_(std::move(log)) {}
    bool applicationDidFinishLaunching(Application&) override {
        log_->add("launched");
        return true;
    }
    void applicationDidBecomeActive(Application&) override { log_->add("active"); }
    void applicationWillResignActive(Application&) override { log_->add("resign"); }
    void applicationDidEnterBackground(Application&) override { log_->add("background"); }
    void applicationWillEnterForeground(Application&) override { log_->add("foreground"); }

  private:
    std::shared_ptr<EventLog> log_;
};

TEST_F(LaunchTest, DelegateHearsOfLaunchBeforeScreensAppear) {
    auto window = std::make_shared<Window>(Window::phoneSize);
    window->setRootViewController(NavigationController::withRoot(screen("A")));
    application_->setWindow(window);
    application_->setDelegate(std::make_shared<LoggingDelegate>(log_));

    application_->launch();
    settle();
    application_->enterBackground();
    application_->enterForeground();
    application_->becomeActive();

    EXPECT_EQ(log_->take(),
              "launched A:load A:willAppear active | A:didAppear resign background foreground "
              "active");
    EXPECT_THROW(application_->launch(), std::logic_error);
}

TEST_F(LaunchTest, AnActionSheetNeedsAnAnchorOnlyInARegularWidthWindow) {
    for (const Size size : {Window::phoneSize, Window::tabletSize}) {
        auto root = screen("A");
        show(root, size);
        auto sheet = AlertController::make("Menu", std::nullopt, AlertControllerStyle::actionSheet);
        if (size == Window::phoneSize) {
            EXPECT_NO_THROW(root->present(sheet, true));
        } else {
            EXPECT_THROW(root->present(sheet, true), std::logic_error);
        }
    }
}

}  // namespace
}  // namespace jw::ui::test
