// What a reminder is made of: the picker's preset date and the interval to the start of the
// picked minute; for a stored item, its lasting address, its list's name and its text as
// stored. Then the "Set" press: permission, adding the request, and what the screen is told.

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <thread>

#include "src/model/Operations.h"
#include "src/reminders/ItemReminderSubject.h"
#include "src/reminders/ReminderDates.h"
#include "src/reminders/ReminderRequest.h"
#include "src/reminders/ReminderScheduler.h"
#include "src/reminders/ReminderTexts.h"
#include "tests/foundation/TimeZone.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/notifications/NotificationTestSupport.h"

namespace jw {
namespace {

using test::localDate;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Five minutes of real time on (the calendar's own tests carry it into the hour, day and year
// and across the spring gap), so the preset minute starts between four and five minutes after
// the screen opened.
TEST(ReminderDates, PresetIsFiveMinutesOn) {
    test::BerlinTime berlin;
    EXPECT_EQ(presetReminderDate(localDate(2027, 3, 28, 1, 58, 0)),
              localDate(2027, 3, 28, 3, 3, 0));
    EXPECT_FALSE(presetReminderDate(Date{nan}));
    for (double second : {0.0, 0.001, 30.0, 59.999}) {
        const Date opened = localDate(2027, 1, 15, 10, 58, 0).addingSeconds(second);
        const auto interval = reminderInterval(*presetReminderDate(opened), opened);
        ASSERT_TRUE(interval) << second;
        EXPECT_NEAR(*interval, 300.0 - second, 1e-6) << second;
    }
}

// Seconds from now to the start of the picked minute, none for a date in the current minute
// or earlier or one the calendar cannot handle.
TEST(ReminderDates, IntervalToTheStartOfThePickedMinute) {
    test::BerlinTime berlin;
    const Date now = localDate(2027, 1, 15, 10, 59, 45);
    const std::tuple<Date, Date, std::optional<double>> cases[] = {
        {localDate(2027, 1, 15, 11, 0, 20), now, 15.0},
        {localDate(2027, 1, 15, 12, 0, 0), now, 3615.0},
        {localDate(2027, 1, 15, 10, 59, 50), now, std::nullopt},
        {now, now, std::nullopt},
        {localDate(2027, 1, 14, 9, 0, 0), now, std::nullopt},
        // The minute starting exactly now is not after now either; half a second ahead is.
        {localDate(2027, 1, 15, 11, 0, 30), localDate(2027, 1, 15, 11, 0, 0), std::nullopt},
        {localDate(2027, 1, 15, 11, 0, 0), localDate(2027, 1, 15, 10, 59, 59, 0.5), 0.5},
        {Date{inf}, now, std::nullopt},
        {Date{nan}, now, std::nullopt},
    };
    for (const auto& [picked, from, expected] : cases) {
        EXPECT_EQ(reminderInterval(picked, from), expected) << picked.iso8601();
    }
}

using ItemReminderSubjectTest = model::support::ModelTest;

// The list's name (none for an item without a list, whose reminder then has no title) and the
// text as stored.
TEST_F(ItemReminderSubjectTest, CarriesTheListNameAndTheTextAsStored) {
    auto item = model::newItem(db(), *model::newList(db(), "Shop"), "  Milk \u2615");
    auto loose = std::static_pointer_cast<model::Item>(context().insertNewObject("Item"));
    db().saveContext(false);
    std::string text;
    for (const auto& subject : {reminderSubjectFor(*item), reminderSubjectFor(*loose)}) {
        text += subject.listName.value_or("<none>") + "|" + subject.body + "|" +
                reminderDraft(subject, Date{1e9}).title + "; ";
    }
    EXPECT_EQ(text, "Shop|  Milk \u2615|Shop; <none>||; ");
}

TEST_F(ItemReminderSubjectTest, TheIdentifierFindsTheSameItemAfterARestart) {
    const auto identifier =
        reminderSubjectFor(*model::newItem(db(), *model::newList(db(), "Shop"), "Milk")).identifier;
    reopen();
    auto found =
        std::dynamic_pointer_cast<model::Item>(context().existingObjectWithURI(identifier));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->body(), "Milk");
    EXPECT_EQ(reminderSubjectFor(*found).identifier, identifier);
}

// The screen shows "list name: text" with the text as stored, untrimmed.
TEST(ReminderDraft, TheScreenTextIsListNameColonTextAsStored) {
    EXPECT_EQ(reminderBodyText({"id", std::string("Groceries"), "  Milk, 2 l "}),
              "Groceries:   Milk, 2 l ");
    EXPECT_EQ(reminderBodyText({"id", std::string(""), "x"}), ": x");
    EXPECT_EQ(reminderBodyText({"id", std::nullopt, "Call Anna"}), ": Call Anna");
    EXPECT_EQ(reminderDraft({"id", std::nullopt, " x "}, Date{}).body, " x ");
}

// --- The "Set" press ----------------------------------------------------------------------

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
