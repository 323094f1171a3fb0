// The reminder screen as a person uses it: the date, Set or Cancel, the permission prompt,
// presses still under way when it closes, and a reminder due while the computer slept.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

#include "src/items/DetailViewController.h"
#include "src/model/Operations.h"
#include "src/themes/ApplyTheme.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"
#include "tests/foundation/TimeZone.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using ::jw::test::PrintTo;
using test::AppDriver;
using test::localDate;
using PromptAnswer = AppDriver::PromptAnswer;

class ReminderScreen : public ::testing::Test {
  public:
    // A signed-in person on a tablet who made the list "Groceries" and added "Milk" to it, at
    // 11:01:20.5 on 2027-01-15 (Berlin).
    ReminderScreen() {
        app.launchSignedIn(ui::Window::tabletSize);
        groceries = model::newList(app.app().database(), "Groceries");
        app.settle();
        app.lists().tapRow("Groceries");
        app.items().tapField("Add an item");
        app.type("Milk\n");
        milk = groceries->listItems().at(0);
        app.wait(opened.secondsSince(app.platform().clock().current()));
        app.takeHistory();
    }

    // The "⏰ Reminder" row action on Milk's row.
    void openReminder() { app.items().swipeRow("Milk", "\u23F0 Reminder"); }

    // One line of what the person sees and what is set: the screens, the alert, the
    // pending reminders (an item's identifier written as "#" and its text), the prompt while it
    // waits, and in braces what happened since the last look.
    void look() {
        std::string line = app.screens();
        if (!app.alert().empty()) {
            line += " / " + app.alert();
        }
        for (auto pending : app.pendingNotifications()) {
            const auto at = pending.find(milk->uriRepresentation());
            if (at != std::string::npos) {
                pending.replace(at, milk->uriRepresentation().size(), "#Milk");
            }
            line += " / " + pending;
        }
        if (app.notificationPromptShows()) {
            line += " / prompt";
        }
        std::string events = app.takeHistory();
        for (std::size_t at; (at = events.find('\n')) != std::string::npos;) {
            events.replace(at, 1, ", ");
        }
        transcript += (transcript.empty() ? "" : "\n") + line + " {" + events + "}";
    }

    // Runs a person's steps, separated by spaces: "allow" (earlier), "later" or "refuse" (how
    // the prompt will be answered), "yes" or "no" (to the prompt now up), "open", "openNone" (for
    // no item), "set", "set2" (a double tap), "setDisabled" (a tap that cannot be made),
    // "cancel", "ok" (on the alert), "pick:D,H,M,S" (a day of January 2027), "type:<word>" (into
    // the text view), "look", "asleep:<seconds>" (the application in the background and the
    // computer asleep), "wake"; and into the transcript "picked" (the picker's date), "texts"
    // (the screen's) and "shown" (the notifications shown).
    void run(std::string_view steps) {
        std::istringstream in{std::string(steps)};
        for (std::string step; in >> step;) {
            int d = 0, h = 0, m = 0, s = 0;
            if (step == "allow") {  // the person allowed notifications some time ago
                app.app().notificationCenter().setAuthorizationStatus(
                    AuthorizationStatus::authorized);
                app.settle();
            } else if (step == "later" || step == "refuse" || step == "no" || step == "yes") {
                app.answerNotificationPrompts(step == "later" ? PromptAnswer::later
                                              : step == "yes" ? PromptAnswer::allow
                                                              : PromptAnswer::refuse);
            } else if (step == "open") {
                openReminder();
            } else if (step == "openNone") {  // the row action for an item no row shows
                dynamic_cast<DetailViewController&>(app.items().controller())
                    .presentReminder(nullptr);
                app.settle();
            } else if (step == "setDisabled") {
                EXPECT_THROW(app.front().tapBarButton("Set"), std::logic_error);
            } else if (step == "set" || step == "set2") {
                app.front().tapBarButton("Set", step == "set" ? 1 : 2);
            } else if (step == "cancel") {
                app.front().tapBarButton("Cancel");
            } else if (step == "ok") {
                app.tapAlertAction("OK");
            } else if (std::sscanf(step.c_str(), "pick:%d,%d,%d,%d", &d, &h, &m, &s) == 4) {
                app.front().pickDate(localDate(2027, 1, d, h, m, s));
            } else if (step == "picked") {
                transcript += "\npicked " + app.front().pickDate().iso8601();
            } else if (step == "look") {
                look();
            } else if (std::sscanf(step.c_str(), "asleep:%d", &s) == 1) {
                app.setActive(false);
                app.platform().clock().advance(s);
            } else if (step.starts_with("type:")) {
                app.front().tapTextView();
                app.type(" " + step.substr(5));
            } else if (step == "texts") {
                transcript += "\ntexts " + app.front().texts();
            } else if (step == "wake") {
                app.setActive(true);
            } else if (step == "shown") {
                transcript += "\nshown";
                for (const auto& notification : app.shownNotifications()) {
                    transcript += " " + notification;
                }
            } else {
                ADD_FAILURE() << "no such step: " << step;
            }
        }
    }

    test::ScopedTimeZone berlin{"Europe/Berlin"};
    const Date opened = localDate(2027, 1, 15, 11, 1, 20, 0.5);
    AppDriver app;
    std::shared_ptr<model::List> groceries;
    model::Item* milk = nullptr;
    std::string transcript;
};

TEST_F(ReminderScreen, OpensOnTheItemWithThePickerFiveMinutesOn) {
    openReminder();
    auto reminder = app.front();
    EXPECT_EQ(app.screens(), "Lists | Items(Groceries) > Reminder");
    EXPECT_EQ(reminder.title() + " / " + reminder.barButtons() + " / " + reminder.texts(),
              "Reminder / bar: Cancel, Set / Groceries: Milk");
    EXPECT_EQ(reminder.pickDate(), localDate(2027, 1, 15, 11, 6, 20, 0.5));
    auto& screen = reminder.controller();
    EXPECT_EQ(screen.view().backgroundColor(), grey92);
    EXPECT_EQ(screen.navigationController()->navigationBar().standardAppearance(),
              themedBarAppearance(*JWThemesDB::shared().themeForKey("Default")));
}

// One person's way through the screen, as steps for run(), read back as the lines look() wrote.
struct ScreenCase {
    const char* name;
    const char* steps;
    const char* expected;
};

class ReminderScreenWay : public ReminderScreen,
                          public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ReminderScreenWay, EndsAsExpected) {
    run(GetParam().steps);
    EXPECT_EQ(transcript, GetParam().expected);
}

// A "Set" press, from the permission to the screen closing or the alert that keeps it open, and
// a second reminder for the item replacing the first.
const ScreenCase pressCases[] = {
    // The current minute, then yesterday: the screen stays open with its date.
    {"NotInTheFuture", "allow open pick:15,11,1,50 set look ok pick:14,9,30,0 set ok look picked",
     "Lists | Items(Groceries) > Reminder > Alert(Error) / alert Error: Reminder date must be in "
     "the future | OK (cancel) {present Reminder, present Alert(Error)}\n"
     "Lists | Items(Groceries) > Reminder "
     "{dismiss Alert(Error), present Alert(Error), dismiss Alert(Error)}\n"
     "picked 2027-01-14T08:30:00.000Z"},
    {"WithoutAnItemItCanOnlyBeCancelled", "openNone texts setDisabled cancel look",
     "\ntexts \nLists | Items(Groceries) {present Reminder, dismiss Reminder}"},
    {"FirstUseAllowedWithoutPressingSetAgain", "later open set look yes look",
     "Lists | Items(Groceries) > Reminder / prompt {present Reminder, asked}\n"
     "Lists | Items(Groceries) / Groceries: Milk at 2027-01-15 11:06:00 in 279.5s (#Milk) "
     "{dismiss Reminder}"},
    {"RefusedAndRefusedAgainOnTheNextPress", "refuse open set look ok set look",
     "Lists | Items(Groceries) > Reminder > Alert(Error) / alert Error: Notifications Disabled "
     "| OK (cancel) {present Reminder, asked, present Alert(Error)}\n"
     "Lists | Items(Groceries) > Reminder > Alert(Error) / alert Error: Notifications Disabled "
     "| OK (cancel) {dismiss Alert(Error), present Alert(Error)}"},
    // (The preset date, allowed earlier, as in the next.)
    {"TextTypedIntoTheTextViewIsNotTheReminder", "allow open type:eggs texts set look",
     "\ntexts Groceries: Milk eggs\nLists | Items(Groceries) / Groceries: Milk at 2027-01-15 "
     "11:06:00 in 279.5s (#Milk) {present Reminder, dismiss Reminder}"},
    // A press still under way when the screen closes: the answers that come back afterwards
    // close nothing and show nothing; the request of a press is added once permission comes.
    {"DoubleSetClosesTheScreenOnce", "allow open set2 look",
     "Lists | Items(Groceries) / Groceries: Milk at 2027-01-15 11:06:00 in 279.5s (#Milk) "
     "{present Reminder, dismiss Reminder}"},
    {"DoubleSetRefusedShowsOneAlert", "refuse open set2 ok look",
     "Lists | Items(Groceries) > Reminder "
     "{present Reminder, asked, present Alert(Error), dismiss Alert(Error)}"},
    {"CancelWhileThePromptShowsThenAllowed", "later open set cancel look yes look",
     "Lists | Items(Groceries) / prompt {present Reminder, asked, dismiss Reminder}\n"
     "Lists | Items(Groceries) / Groceries: Milk at 2027-01-15 11:06:00 in 279.5s (#Milk) {}"},
    {"CancelWhileThePromptShowsThenRefused", "later open set cancel no look",
     "Lists | Items(Groceries) {present Reminder, asked, dismiss Reminder}"},
    // The application leaves the foreground and the computer sleeps (the wall clock moves on
    // while the run loop's time stands still), and perhaps wakes: a reminder set for 11:06
    // arrives as the application comes back.
    {"AsleepPastTheDateAndWakes", "allow open set asleep:28800 wake shown look",
     "\nshown Groceries: Milk\nMissed at 11:06 [alert sound]\nLists | Items(Groceries) "
     "{present Reminder, dismiss Reminder}"},
    {"AsleepPastTheDateStillAsleep", "allow open set asleep:28800 shown look",
     "\nshown\nLists | Items(Groceries) / Groceries: Milk at 2027-01-15 11:06:00 in 279.5s (#Milk) "
     "{present Reminder, dismiss Reminder}"},
    {"ASecondReminderForTheItemReplacesTheFirst", "allow open set open pick:15,18,0,30 set look",
     "Lists | Items(Groceries) / Groceries: Milk at 2027-01-15 18:00:00 in 25119.5s (#Milk) "
     "{present Reminder, dismiss Reminder, present Reminder, dismiss Reminder}"},
};

INSTANTIATE_TEST_SUITE_P(Press, ReminderScreenWay, ::testing::ValuesIn(pressCases),
                         jw::test::caseName);

}  // namespace
}  // namespace jw
