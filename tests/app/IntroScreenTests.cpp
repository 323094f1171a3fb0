// The cloud status intro: its three states, the re-check every 3 seconds while checking, and
// its return whenever the lists come on screen while the store is not attached.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "platform/sync/CloudLayout.h"
#include "src/app/QZIntroHomeViewController.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using ::jw::test::PrintTo;
using test::AppDriver;

const std::string checking =
    "Checking iCloud Status.... / Please Wait a few seconds. If this message does not change in 1 "
    "minute, sign into iCloud in Settings and enable Jotwell under iCloud Drive.";
const std::string ready =
    "iCloud Ready / Start making lists now! If you have existing lists, it may take a few minutes "
    "for them to be reloaded. / [Start]";
const std::string settingsChanged =
    "iCloud Settings Changed / Please delete and reinstall Jotwell from the App Store, this is "
    "normal if you have just restored your device.";

// The intro as shown: its texts, then whether it re-checks.
std::string intro(AppDriver& app) {
    auto screen = app.front();
    const auto* intro = dynamic_cast<QZIntroHomeViewController*>(&screen.controller());
    if (!intro) {
        return "no intro: " + app.screens();
    }
    return screen.texts() + " | re-check " + (intro->checkTimer() ? "on" : "off");
}

struct StateCase {
    const char* name;
    std::function<void(AppDriver&)> start;
    std::string expected;
};

class IntroStates : public ::testing::TestWithParam<StateCase> {};

TEST_P(IntroStates, ShowWhatTheCloudStateIs) {
    AppDriver app;
    GetParam().start(app);
    EXPECT_EQ(intro(app), GetParam().expected);
    EXPECT_EQ(app.front().title(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Clouds, IntroStates,
    ::testing::Values(
        StateCase{"SignedOut", [](AppDriver& app) { app.launch(); }, checking + " | re-check on"},
        StateCase{"AttachedBeforeButNotNow",
                  [](AppDriver& app) {
                      app.launch();  // the store exists from here on
                      app.quit();
                      UserDefaults(app.defaultsFile()).setBool("cloudDBAlreadyLeeched", true);
                      app.launch(ui::Window::phoneSize, app.cloudView());
                  },
                  settingsChanged + " | re-check off"}),
    jw::test::caseName);

TEST(Intro, ChecksAgainEvery3SecondsUntilTheStoreIsAttached) {
    AppDriver app;
    app.cloudView()->setUnavailable(true);  // signed out of the cloud for now
    app.launch(ui::Window::phoneSize, app.cloudView());
    app.wait(3);
    EXPECT_EQ(intro(app), checking + " | re-check on");

    app.cloudView()->setUnavailable(false);
    app.wait(7);  // the sync timer's save attaches at 10 s
    EXPECT_EQ(app.app().database().syncState(), model::SyncState::attached);
    EXPECT_EQ(intro(app), checking + " | re-check on") << "last checked at 9 s";
    app.wait(2);
    EXPECT_EQ(intro(app), ready + " | re-check off");
    app.wait(30);
    EXPECT_EQ(intro(app), ready + " | re-check off");

    app.front().tapButton("Start");
    EXPECT_EQ(app.screens(), "Lists");
}

// The cloud is out of reach at launch, so the intro surely shows before the store attaches
// (a quick attach could otherwise beat the lists screen's first appearance).
void launchThenAttach(AppDriver& app) {
    app.cloudView()->setUnavailable(true);
    app.launch(ui::Window::phoneSize, app.cloudView());
    app.cloudView()->setUnavailable(false);
    app.wait(10);  // attached by the sync timer's save
    app.wait(2);   // seen by the check at 12 s
}

TEST(Intro, ComesBackWhenTheListsAppearWhileTheStoreIsNotAttached) {
    AppDriver app;
    launchThenAttach(app);
    ASSERT_EQ(intro(app), ready + " | re-check off");

    // Meanwhile the folder is plainly no longer this device's: another device is registered in
    // it and this one's registration is gone.
    app.cloud().deliverAll();
    test::OtherDevice(app, "other").sync();
    const auto me = app.app().database().ensemble()->status().device;
    app.cloud().view("other")->remove(sync::CloudLayout{"MainStore"}.registrationFile(me));
    app.cloud().deliverAll();
    app.wait(10);
    ASSERT_EQ(app.app().database().syncState(), model::SyncState::attachmentLost);
    EXPECT_EQ(intro(app), ready + " | re-check off") << "ready is final for one showing";
    app.takeHistory();

    app.front().tapButton("Start");

    EXPECT_EQ(app.takeHistory(), "dismiss Intro\npresent Intro");
    EXPECT_EQ(intro(app), settingsChanged + " | re-check off");
}

}  // namespace
}  // namespace jw
