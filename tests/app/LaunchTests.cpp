// The application as a whole: what launching sets up and in which order, what becoming and
// resigning active do, and that one data folder is held by one application at a time.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/foundation/Paths.h"
#include "platform/notifications/UserNotificationCenter.h"
#include "platform/ui/Bars.h"
#include "platform/ui/SplitViewController.h"
#include "src/ads/JWAdvertising.h"
#include "src/app/AppDelegate.h"
#include "src/lists/MasterViewController.h"
#include "src/model/ListOrder.h"
#include "src/model/ListsScreenHook.h"
#include "src/model/Operations.h"
#include "tests/foundation/TimeZone.h"
#include "tests/notifications/NotificationTestSupport.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using test::AppDriver;

std::size_t linesStartingWith(const std::vector<std::string>& lines, const std::string& start) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(),
                      [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
}

TEST(Launch, WiresTheWindowTheBarsTheDatabaseAndTheNotificationCentre) {
    AppDriver app;
    app.launch(ui::Window::tabletSize);
    auto& running = app.app();
    const auto split =
        std::dynamic_pointer_cast<ui::SplitViewController>(running.window().rootViewController());
    ASSERT_NE(split, nullptr);

    EXPECT_EQ(running.application().statusBarStyle(), ui::StatusBarStyle::lightContent);
    EXPECT_EQ(split->delegate().get(), &running.delegate());
    EXPECT_EQ(split->preferredDisplayMode(), ui::DisplayMode::allVisible);
    EXPECT_EQ(ui::NavigationBar::appearance().tintColor(), Color::white(0.20));
    EXPECT_EQ(ui::Toolbar::appearance().tintColor(), Color::white(0.20));
    EXPECT_EQ(UserNotificationCenter::currentNotificationCenter().delegate(), &running.delegate());
    EXPECT_EQ(model::sharedDatabase(), &running.database());
    EXPECT_NE(dynamic_cast<MasterViewController*>(model::listsScreen()), nullptr);
    // Signed out: the intro stands in front of everything, checking.
    EXPECT_EQ(app.screens(), "Intro");
}

TEST(Launch, ASecondLaunchOverTheSameFolderIsRefusedAndTheFirstGoesOn) {
    AppDriver app;
    app.launch();
    LaunchSettings again = app.app().settings();
    try {
        JotwellApplication::launch(again);
        ADD_FAILURE() << "a second application was launched over " << app.dataFolder();
    } catch (const std::logic_error& error) {
        EXPECT_NE(std::string(error.what()).find("already running over the data folder"),
                  std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find(app.dataFolder().filename().string()),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(app.screens(), "Intro");
    EXPECT_EQ(model::sharedDatabase(), &app.app().database());

    app.quit();
    app.launch();  // a restart is fine
    EXPECT_EQ(app.screens(), "Intro");
}

TEST(Lifecycle, BecomingActiveThreeTimesStartsTheAdvertisingOnceButSyncsEveryTime) {
    AppDriver app;
    app.launchSignedIn(ui::Window::phoneSize);
    app.setActive(false);
    app.setActive(true);
    app.setActive(false);
    app.setActive(true);

    const auto lines = app.platform().logLines();
    EXPECT_EQ(linesStartingWith(lines, "ATTrackingManager status 0"), 3u);
    EXPECT_EQ(linesStartingWith(lines, "CloudDB: Sync called"), 3u);
    EXPECT_TRUE(app.app().delegate().didLoadAds());
    // Started once, with a completion that starts it again and names the test devices.
    EXPECT_EQ(app.app().advertising().startCount(), 2u);
    EXPECT_EQ(app.app().advertising().requestConfiguration().testDeviceIdentifiers(),
              AppDelegate::testDeviceIdentifiers());
}

TEST(Lifecycle, ResigningActiveSavesWhatWasChangedAndStopsTheSyncTimerUntilActiveAgain) {
    AppDriver app;
    app.launchSignedIn(ui::Window::tabletSize);
    for (const char* name : {"A", "B", "C"}) {
        model::newList(app.app().database(), name);
    }
    app.lists().tapBarButton("Menu");
    app.tapAlertAction("Sort: Manual");
    app.lists().tapBarButton("Edit");
    app.lists().dragRow("C", 0);
    ASSERT_TRUE(app.app().database().viewContext().hasChanges());
    ASSERT_NE(app.app().database().syncTimer(), nullptr);

    app.setActive(false);
    EXPECT_FALSE(app.app().database().viewContext().hasChanges());
    EXPECT_EQ(app.app().database().syncTimer(), nullptr);
    app.setActive(true);
    EXPECT_NE(app.app().database().syncTimer(), nullptr);

    app.quit();  // nothing is saved on the way out
    app.launchSignedIn(ui::Window::tabletSize);
    EXPECT_EQ(app.lists().rows(), "[C] [A] [B]");
}

// Installation order: a reminder that fell due while the application was not running is
// delivered at the run loop's first turn, so the delegate must be in place by then.
TEST(InstallationOrder, AReminderDueBeforeLaunchIsShownWithAlertAndSound) {
    test::ScopedTimeZone berlin{"Europe/Berlin"};  // the "missed at" time is local
    AppDriver app;
    {
        const auto center = UserNotificationCenter::create(UserNotificationCenter::stateFileIn(
            AppPaths{app.dataFolder(), {}, AppPaths::resolve(std::nullopt).resourceDirectory}));
        center->setAuthorizationPrompt(std::make_shared<test::ScriptedPrompt>());
        center->requestAuthorization(AuthorizationOptions::alert | AuthorizationOptions::sound,
                                     [](bool, std::optional<NotificationError>) {});
        test::settle(*center, app.platform().loop());
        EXPECT_FALSE(test::add(*center, app.platform().loop(), test::reminderRequest("item-1", 5)));
    }
    app.platform().clock().advance(60);  // the program is not running meanwhile

    app.launch();

    EXPECT_EQ(app.shownNotifications(),
              std::vector<std::string>{"Groceries: Buy milk\nMissed at 11:00 [alert sound]"});
    app.openNotification(0);
    EXPECT_EQ(app.screens(), "Intro") << "acting on it only brings the application forward";
}

// Installation order: the ad pacer's dates are in the defaults file from the first check on,
// so the grace period runs from the first launch, and the ad shows as a screen of the app.
TEST(InstallationOrder, TheAdPacingSurvivesARestartAndTheAdCoversTheScreen) {
    AppDriver app;
    app.launchSignedIn(ui::Window::phoneSize);
    {
        JWAdvertising pacer;
        pacer.showAdIfDue(app.lists().controller());  // the first check starts the grace period
    }
    app.quit();
    app.platform().clock().advance(11);

    app.launchSignedIn(ui::Window::phoneSize);
    JWAdvertising pacer;
    auto& screen = app.lists().controller();
    pacer.showAdIfDue(screen);  // past the grace period: marks the start of the interval
    app.wait(6);
    pacer.showAdIfDue(screen);  // loads one
    app.wait(2);
    pacer.showAdIfDue(screen);  // shows it
    app.settle();
    EXPECT_EQ(app.screens(), "Ad");
    app.front().tapButton("Close");
    EXPECT_EQ(app.screens(), "Lists");
    EXPECT_FALSE(pacer.holdsInterstitial());
}

}  // namespace
}  // namespace jw
