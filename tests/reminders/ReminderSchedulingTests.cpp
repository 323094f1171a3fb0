// The "Set" press: permission, adding the request, and what the screen is told.

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "src/reminders/ReminderDates.h"
#include "src/reminders/ReminderScheduler.h"
#include "src/reminders/ReminderTexts.h"
#include "tests/foundation/TimeZone.h"
#include "tests/notifications/NotificationTestSupport.h"

namespace jw {
namespace {

using test::localDate;

// Records what the flow asks of the screen, and on which thread.
class RecordingReminderScreen final : public ReminderScreen {
  public:
    void showErrorAlert(const std::string& message) override {
        alerts.push_back(message);
        onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
    }
    void dismissReminderScreen() override {
        ++dismissals;
        onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
    }

    std::vector<std::string> alerts;
    int dismissals = 0;
    bool onMainThread = true;
    const std::thread::id mainThread = std::this_thread::get_id();
};

class ReminderScheduling : public test::CenterFixture {
  protected:
    // 2027-01-15 11:00:20 in Berlin.
    ReminderScheduling() { platform.clock().set(localDate(2027, 1, 15, 11, 0, 20)); }

    // "Set" pressed for `subject` with `picked`, and everything that follows.
    void pressSet(const ReminderSubject& subject, Date picked) {
        ReminderScheduler(center).scheduleReminder(reminderDraft(subject, picked), screen);
        settle();
    }
    Date now() { return platform.clock().current(); }
    std::vector<PendingNotificationRequest> pending() {
        return test::pendingOf(*center, platform.loop());
    }

    test::BerlinTime berlin;
    std::shared_ptr<RecordingReminderScreen> screen = std::make_shared<RecordingReminderScreen>();
    const ReminderSubject milk{"x-jotwell-object://7F3A/Item/p12", std::string("Groceries"),
                               "Milk"};
};

// (Asking on first use and a refusal, as the person sees them, are in the screen's tests.)
TEST_F(ReminderScheduling, PresetDateWithPermissionAddsOneRequestAndClosesTheScreen) {
    authorize();
    pressSet(milk, *presetReminderDate(now()));
    const auto requests = pending();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0].request;
    EXPECT_EQ(request,
              NotificationRequest::request(
                  "x-jotwell-object://7F3A/Item/p12",
                  NotificationContent{"Groceries", "Milk", NotificationSound::defaultSound()},
                  TimeIntervalNotificationTrigger::trigger(280.0, false)));  // to 11:05
    EXPECT_EQ(requests[0].fireDate, localDate(2027, 1, 15, 11, 5, 0));
    EXPECT_EQ(screen->dismissals, 1);
    EXPECT_TRUE(screen->alerts.empty());
    EXPECT_TRUE(screen->onMainThread);
    EXPECT_EQ(prompt->asked, 0);
}

// (How a refusal looks on the screen is in the screen's tests.)
TEST_F(ReminderScheduling, ARefusalIsShownOnTheMainThread) {
    prompt->answerAtOnce = false;
    pressSet(milk, localDate(2027, 1, 15, 11, 30, 0));
    EXPECT_EQ(screen->alerts, std::vector<std::string>{"Notifications Disabled"});
    EXPECT_TRUE(screen->onMainThread);
}

TEST_F(ReminderScheduling, ARequestTheCentreRefusesIsLoggedAndReported) {
    authorize();
    std::filesystem::remove_all(stateFile().parent_path());
    std::ofstream(stateFile().parent_path()) << "not a folder";
    platform.clearLog();

    pressSet(milk, localDate(2027, 1, 15, 11, 30, 0));
    EXPECT_EQ(screen->alerts,
              std::vector<std::string>{"Reminder set error, check Settings app for permissions."});
    EXPECT_EQ(screen->dismissals, 0);
    const auto lines = platform.logLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("notif add error:\nNotificationError 4: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("could not be saved"), std::string::npos) << lines[0];
    EXPECT_TRUE(pending().empty());
    EXPECT_TRUE(screen->onMainThread);
}

TEST_F(ReminderScheduling, ValuesAreTakenAtThePressNotWhenTheRequestIsAdded) {
    prompt->answerAtOnce.reset();  // the press waits on the permission prompt
    ReminderSubject item = milk;
    ReminderScheduler(center).scheduleReminder(
        reminderDraft(item, localDate(2027, 1, 15, 11, 30, 0)), screen);
    settle();
    item.body = "Edited meanwhile";
    item.listName = "Other list";
    prompt->pending(true);
    settle();

    EXPECT_EQ(prompt->lastOptions, AuthorizationOptions::alert | AuthorizationOptions::sound);
    ASSERT_EQ(pending().size(), 1u);
    EXPECT_EQ(pending()[0].request.content.body, "Milk");
    EXPECT_EQ(pending()[0].request.content.title, "Groceries");
}

TEST_F(ReminderScheduling, WithoutACurrentDateNothingIsScheduled) {
    authorize();
    platform.clock().setFailing(true);
    pressSet(milk, localDate(2027, 1, 15, 11, 30, 0));
    platform.clock().setFailing(false);
    EXPECT_EQ(screen->alerts, std::vector<std::string>{"Reminder date must be in the future"});
    EXPECT_TRUE(pending().empty());
}

}  // namespace
}  // namespace jw
