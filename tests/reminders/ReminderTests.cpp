// What a reminder is made of, and the "Set" press: permission, the request, the screen told.

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <thread>

#include "src/model/Operations.h"
#include "src/reminders/ItemReminderSubject.h"
#include "src/reminders/ReminderDates.h"
#include "src/reminders/ReminderScheduler.h"
#include "tests/foundation/TimeZone.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/notifications/NotificationTestSupport.h"

namespace jw {
namespace {

using test::localDate;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// (The preset, five minutes on, is checked on the screen; the minutes added, by the calendar's
// tests.)
// Seconds from now to the start of the picked minute, none for a date in the current minute
// or earlier or one the calendar cannot handle.
TEST(ReminderDates, IntervalToTheStartOfThePickedMinute) {
    test::ScopedTimeZone berlin{"Europe/Berlin"};
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
// text as stored; the screen shows "list name: text", the text untrimmed.
TEST_F(ItemReminderSubjectTest, CarriesTheListNameAndTheTextAsStored) {
    auto item = model::newItem(db(), *model::newList(db(), "Shop"), "  Milk \u2615");
    auto loose = std::static_pointer_cast<model::Item>(context().insertNewObject("Item"));
    db().saveContext(false);
    std::string text;
    for (const auto& subject : {reminderSubjectFor(*item), reminderSubjectFor(*loose),
                                ReminderSubject{"id", std::string(""), " x "}}) {
        const auto draft = reminderDraft(subject, Date{1e9});
        text += subject.listName.value_or("<none>") + "|" + draft.title + "|" + draft.body + "|" +
                reminderBodyText(subject) + "; ";
    }
    EXPECT_EQ(text, "Shop|Shop|  Milk \u2615|Shop:   Milk \u2615; <none>|||: ; || x |:  x ; ");
}

// (The identifier is the item's address, as the screen's tests see; that it finds the item after
// a restart, the store's.)

// --- The "Set" press ----------------------------------------------------------------------

// Writes down what the flow asks of the screen, and whether it asked off the main thread.
class RecordingReminderScreen final : public ReminderScreen {
  public:
    void showErrorAlert(const std::string& message) override { told("alert " + message); }
    void dismissReminderScreen() override { told("dismissed"); }

    std::string text;

  private:
    void told(const std::string& what) {
        text +=
            what + (std::this_thread::get_id() == mainThread_ ? ", " : " off the main thread, ");
    }
    const std::thread::id mainThread_ = std::this_thread::get_id();
};

// "Set" pressed for Milk in Groceries at 11:00:20 (Berlin) for 11:30, after: "allowed"
// (permission given earlier), "refuse" (the prompt answers no), "unwritable" (the centre cannot
// save), "noClock" (no current date), "edited" (the item and its list are renamed while the prompt
// waits, then it is answered yes: the values of the press go). Then what the screen was told, the
// log, the prompts, and what is pending.
class ReminderScheduling : public test::CenterFixture,
                           public ::testing::WithParamInterface<test::ScriptCase> {
  protected:
    test::ScopedTimeZone berlin{"Europe/Berlin"};
};

// (How each answer looks on the screen, and asking on first use, are in the screen's tests.)
TEST_P(ReminderScheduling, TellsTheScreenOnTheMainThreadAndAddsTheRequestOfThePress) {
    const std::string steps = GetParam().steps;
    platform.clock().set(localDate(2027, 1, 15, 11, 0, 20));
    if (steps.find("allowed") != std::string::npos) {
        authorize();
    }
    blockStateFolder(steps.find("unwritable") != std::string::npos);
    prompt->answerAtOnce = steps.find("edited") != std::string::npos
                               ? std::nullopt
                               : std::optional<bool>(steps != "refuse");
    platform.clock().setFailing(steps.find("noClock") != std::string::npos);
    platform.clearLog();
    ReminderSubject milk{"x-jotwell-object://7F3A/Item/p12", std::string("Groceries"), "Milk"};
    const auto picked = localDate(2027, 1, 15, 11, 30, 0);
    auto screen = std::make_shared<RecordingReminderScreen>();
    ReminderScheduler(center).scheduleReminder(reminderDraft(milk, picked), screen);
    settle();
    if (prompt->pending) {
        milk.body = "Edited meanwhile";
        milk.listName = "Other list";
        prompt->pending(true);
        settle();
    }
    platform.clock().setFailing(false);

    std::string text = screen->text;
    for (const auto& line : platform.logLines()) {
        text +=
            "log " + line.substr(0, line.find(": ", line.find('\n'))) +
            (line.find("could not be saved") != std::string::npos ? " could not be saved" : "") +
            ", ";
    }
    text += "asked " + std::to_string(prompt->asked);
    if (prompt->asked > 0 &&
        prompt->lastOptions != (AuthorizationOptions::alert | AuthorizationOptions::sound)) {
        text += " for other options";
    }
    for (const auto& [request, fireDate] : test::pendingOf(*center, platform.loop())) {
        char interval[32];
        std::snprintf(interval, sizeof interval, " in %g s", request.trigger.timeInterval);
        text += " | " + request.identifier + " " + request.content.title + ": " +
                request.content.body + interval +
                (request.content.sound == NotificationSound::defaultSound() ? "" : " silent") +
                (request.trigger.repeats ? " repeating" : "") + ", due " + fireDate.iso8601();
    }
    EXPECT_EQ(text, GetParam().expected);
}

const test::ScriptCase pressCases[] = {
    {"Refused", "refuse", "alert Notifications Disabled, asked 1"},
    {"NotSaved", "allowed unwritable",
     "alert Reminder set error, check Settings app for permissions., log notif add "
     "error:\nNotificationError 4 could not be saved, asked 0"},
    {"NoCurrentDate", "allowed noClock", "alert Reminder date must be in the future, asked 0"},
    {"EditedWhileThePromptWaits", "edited",
     "dismissed, asked 1 | x-jotwell-object://7F3A/Item/p12 Groceries: Milk in 1780 s, due "
     "2027-01-15T10:30:00.000Z"},
};

INSTANTIATE_TEST_SUITE_P(Press, ReminderScheduling, ::testing::ValuesIn(pressCases),
                         test::caseName);

}  // namespace
}  // namespace jw
