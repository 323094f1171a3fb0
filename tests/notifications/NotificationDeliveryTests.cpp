// Adding requests (what is refused, one pending per identifier) and delivering them within a
// few seconds of their wall-clock date however the clock jumps; late ones at the next start.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/notifications/AuthorizationPromptText.h"
#include "platform/notifications/NotificationText.h"
#include "tests/foundation/TimeZone.h"
#include "tests/notifications/NotificationTestSupport.h"

namespace jw::test {
namespace {

// How late after its date a request may arrive: "a few seconds".
constexpr double fewSeconds = 5.0;

// The wall clock as the centre reads it: the run loop's time, which like the system's
// monotonic clock counts only while the computer is awake, plus an offset that jumps when the
// clock is set or the computer sleeps.
class JumpingWallClock final : public Clock {
  public:
    explicit JumpingWallClock(std::shared_ptr<ManualClock> loopTime)
        : loopTime_(std::move(loopTime)) {
        jumps_.push_back({loopTime_->current(), 0.0});
    }

    std::optional<Date> now() const override {
        const auto loopNow = loopTime_->now();
        return loopNow ? std::optional(loopNow->addingSeconds(offset_)) : std::nullopt;
    }

    // The clock is set `seconds` forward (negative: back), or the computer slept that long.
    void jump(double seconds) {
        offset_ += seconds;
        jumps_.push_back({loopTime_->current(), offset_});
    }

    // The first loop time at which this clock read `date` or later; nothing if it has not yet.
    std::optional<Date> loopTimeReaching(Date date) const {
        for (std::size_t i = 0; i < jumps_.size(); ++i) {
            const Date from = jumps_[i].loopTime;
            const Date until =
                i + 1 < jumps_.size() ? jumps_[i + 1].loopTime : loopTime_->current();
            const Date reached = std::max(from, date.addingSeconds(-jumps_[i].offset));
            if (reached <= until) {
                return reached;
            }
        }
        return std::nullopt;
    }

  private:
    struct Jump {
        Date loopTime;
        double offset;  // wall clock minus loop time from then on
    };

    std::shared_ptr<ManualClock> loopTime_;
    double offset_ = 0.0;
    std::vector<Jump> jumps_;
};

// Requests and what happens to the clocks and the program, separated by spaces: "a@60" adds
// the request "a" due in 60 s ("a@60r": repeating); "pass:<s>" lets the run loop's time pass, and
// the wall clock with it; "jump:<s>" moves the wall clock alone (it was set, or the computer
// slept); "wake" tells the centre the computer woke or the clock was set; "restart", and "off:<s>"
// (the program not running for that long); "answer:<none|sound>" (what the delegate answers from
// now on), "nodelegate", "delegate", "deny", "undecided" and "allow" (in the settings), "open" (the
// person acts on each shown notification, twice), "noclock" and "clock" (the clock gives no time,
// then again).
// The fixture is the delegate: it judges each delivery against the wall clock at the moment it
// arrives, and answers that it be shown as told.
class DeliveryOnTheWallClock : public CenterFixture,
                               public UserNotificationCenterDelegate,
                               public ::testing::WithParamInterface<ScriptCase> {
  protected:
    DeliveryOnTheWallClock() {
        previousClock_ = installClock(wall_);
        delegateInUse = this;
        center->setDelegate(delegateInUse);
    }
    ~DeliveryOnTheWallClock() override {
        close();
        installClock(previousClock_);
    }

    void willPresentNotification(UserNotificationCenter&, const Notification& notification,
                                 std::function<void(PresentationOptions)> completion) override {
        const Date fireDate = notification.date;
        const Date wallNow = *wall_->now();
        std::ostringstream verdict;
        verdict << notification.request.identifier << " ";
        if (wallNow < fireDate) {
            verdict << "early by " << std::round(fireDate.secondsSince(wallNow)) << " s";
        } else {
            const double late =
                platform.clock().current().secondsSince(*wall_->loopTimeReaching(fireDate));
            if (late <= fewSeconds) {
                verdict << "on time";
            } else {
                verdict << "late by " << std::round(late) << " s";
            }
        }
        verdicts_.push_back(verdict.str() + (notification.deliveredLate ? " (marked late)" : ""));
        completion(answer_);
    }
    void didReceiveNotificationResponse(UserNotificationCenter&,
                                        const NotificationResponse& response,
                                        std::function<void()> completion) override {
        verdicts_.push_back(
            "opened " + response.notification.request.identifier +
            (response.actionIdentifier == NotificationResponse::defaultActionIdentifier
                 ? ""
                 : " with another action"));
        completion();
    }

    void run(const std::string& steps) {
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            const auto at = step.find_first_of("@:");
            const std::string word = step.substr(0, at);
            const std::string value = at == std::string::npos ? "" : step.substr(at + 1);
            if (at != std::string::npos && step[at] == '@') {
                auto request = reminderRequest(word, std::stod(value));
                request.trigger.repeats = value.ends_with('r');
                if (const auto error = add(*center, platform.loop(), request)) {
                    refusals_ += word + " refused (" + std::to_string(int(error->code)) + "), ";
                }
            } else if (word == "pass") {
                platform.loop().advance(std::stod(value));
            } else if (word == "jump") {
                wall_->jump(std::stod(value));
            } else if (word == "wake") {
                center->wallClockChanged();
            } else if (word == "restart" || word == "off") {
                close();
                platform.clock().advance(value.empty() ? 0.0 : std::stod(value));
                open();
            } else if (word == "answer") {
                answer_ = value == "none" ? PresentationOptions::none : PresentationOptions::sound;
            } else if (word == "nodelegate" || word == "delegate") {
                center->setDelegate(word == "delegate" ? this : nullptr);
            } else if (word == "deny" || word == "undecided" || word == "allow") {
                center->setAuthorizationStatus(word == "allow" ? AuthorizationStatus::authorized
                                               : word == "deny"
                                                   ? AuthorizationStatus::denied
                                                   : AuthorizationStatus::notDetermined);
            } else if (word == "open") {
                for (const auto& shown : presenter->shown) {
                    shown.activated();
                    shown.activated();
                }
            } else if (word == "noclock" || word == "clock") {
                platform.clock().setFailing(word == "noclock");
            } else {
                ADD_FAILURE() << "no such step: " << step;
            }
            settle();
        }
    }

    // What arrived, judged, and how it was shown; what is still pending.
    std::string outcome() {
        settle();
        std::string text = refusals_;
        for (auto verdict : verdicts_) {
            const auto id = verdict.substr(0, verdict.find(' '));
            const auto shown = std::find_if(
                presenter->shown.begin(), presenter->shown.end(),
                [&](const auto& s) { return s.notification.request.identifier == id; });
            if (verdict.starts_with("opened ")) {
            } else if (shown == presenter->shown.end()) {
                verdict += " not shown";
            } else if (shown->options !=
                       (PresentationOptions::alert | PresentationOptions::sound)) {
                verdict += " shown with sound only";
                EXPECT_EQ(shown->options, PresentationOptions::sound);
            }
            text += verdict + ", ";
        }
        for (const auto& shown : presenter->shown) {
            const auto& id = shown.notification.request.identifier;
            if (std::none_of(verdicts_.begin(), verdicts_.end(),
                             [&](const auto& v) { return v.starts_with(id + " "); })) {
                text += id + " shown without asking the delegate, ";
            }
        }
        text += "pending:";
        for (const auto& pending : pendingOf(*center, platform.loop())) {
            text += " " + pending.request.identifier;
        }
        return text + ", timers " + std::to_string(platform.loop().activeTimerCount());
    }

    std::shared_ptr<JumpingWallClock> wall_ =
        std::make_shared<JumpingWallClock>(platform.sharedClock());
    PresentationOptions answer_ = PresentationOptions::alert | PresentationOptions::sound;
    std::vector<std::string> verdicts_;
    std::shared_ptr<Clock> previousClock_;
    std::string refusals_;  // "a refused (<error code>), "
};

// Deliveries in order, each with how it was shown unless with alert and sound; what is still
// pending, and the timers.
const ScriptCase wallClockCases[] = {
    // Each refusal leaves nothing pending: (1) notifications not allowed, (2) a trigger that is
    // not after now or repeats, (3) no current date.
    {"RefusalsScheduleNothing",
     "undecided a@90 deny b@90 allow c@0 d@-1 e@-0 f@nan g@inf h@90r noclock i@90",
     "a refused (1), b refused (1), c refused (2), d refused (2), e refused (2), f refused (2), g "
     "refused (2), h refused (2), i refused (3), pending:, timers 0"},
    {"UntouchedClock", "a@60 pass:60", "a on time, pending:, timers 0"},
    {"SetForwardFarPastTheDate", "a@60 pass:10 jump:3600 pass:10", "a on time, pending:, timers 0"},
    {"SetForwardShortOfTheDate", "a@3600 pass:10 jump:1800 pass:1800",
     "a on time, pending:, timers 0"},
    {"SetBackAnHour", "a@60 pass:10 jump:-3600 pass:3660", "a on time, pending:, timers 0"},
    {"SetBackStillPending", "a@60 pass:10 jump:-3600 pass:600", "pending: a, timers 1"},
    {"SetBackThenForwardAgain", "a@60 pass:10 jump:-30 pass:10 jump:30 pass:60",
     "a on time, pending:, timers 0"},
    {"AsleepAcrossSomeDates", "a@60 b@3600 c@36000 pass:10 jump:7200 pass:10 jump:32400 pass:10",
     "a on time, b on time, c on time, pending:, timers 0"},
    {"AsleepAcrossTheDateAndToldOnWaking", "a@60 pass:10 jump:28800 wake",
     "a on time, pending:, timers 0"},
    {"SetForwardPastTheDateAndTold", "a@60 b@90 pass:10 jump:60 wake",
     "a on time, pending: b, timers 1"},
    // One timer however many requests are pending.
    {"AsleepShortOfTheDate", "a@3600 b@7200 pass:10 jump:1800 pass:1700", "pending: a b, timers 1"},
    {"DueAtItsSecondAndActedOnOnce", "a@60 pass:59.5 pass:0.5 open",
     "a on time, opened a, pending:, timers 0"},
    // Pending requests and the permission survive a restart; those that fell due while the
    // program was not running arrive at the next start in the order they fell due, and are
    // gone for good; one still ahead arrives on time.
    {"WhatFellDueWhileNotRunningArrivesMarkedLate",
     "c@90 a@30 b@60 d@160 restart off:100 restart pass:60",
     "a late by 70 s (marked late), b late by 40 s (marked late), c late by 10 s (marked late), d "
     "on time, pending:, timers 0"},
    // Turned off meanwhile: nothing reaches the delegate; without a delegate, or when it says
    // so, nothing is shown.
    {"TheDelegateDecidesWhatIsShown",
     "answer:none a@60 pass:60 answer:sound b@60 pass:60 nodelegate c@60 pass:60 delegate d@60 "
     "deny pass:60",
     "a on time not shown, b on time shown with sound only, pending:, timers 0"},
    {"TheSameIdentifierReplacesThePendingRequest", "a@60 b@90 pass:10 a@120 pass:200",
     "b on time, a on time, pending:, timers 0"},
    // Due while the clock gave no time: it arrives within a few seconds of the clock giving time
    // again, at 120 s.
    {"DueWhileTheClockGaveNoTime", "a@60 noclock pass:120 clock pass:5",
     "a late by 62 s, pending:, timers 0"},
};

TEST_P(DeliveryOnTheWallClock, ArrivesWithinAFewSecondsOfItsDate) {
    authorize();
    run(GetParam().steps);
    EXPECT_EQ(outcome(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Jumps, DeliveryOnTheWallClock, ::testing::ValuesIn(wallClockCases),
                         caseName);

// --- What a notification says ------------------------------------------------------------
// Its own title and body, and for a late one (it fell due while the program was not running,
// or is shown well after its date) when it was due; and the prompt asking for permission.

std::string shown(const NotificationText& text) {
    return text.title + " | " + text.body + (text.late ? " (late)" : "");
}

TEST(NotificationText, ALateOneSaysWhenItWasDueAsNearAsTheDayAllows) {
    ScopedTimeZone berlin{"Europe/Berlin"};
    const Date now = localDate(2027, 1, 15, 11, 0, 0);
    const std::tuple<bool, std::string, Date, std::string> cases[] = {
        {false, "Milk", localDate(2027, 1, 15, 10, 59, 0), "Groceries | Milk"},
        {false, "Milk", localDate(2027, 1, 15, 10, 58, 59),
         "Groceries | Milk\nMissed at 10:58 (late)"},
        {true, "Milk", localDate(2027, 1, 15, 9, 30, 59, 0.9),
         "Groceries | Milk\nMissed at 09:30 (late)"},
        {true, "Milk", localDate(2027, 1, 15, 0, 0, 0), "Groceries | Milk\nMissed at 00:00 (late)"},
        {true, "Milk", localDate(2027, 1, 14, 23, 59, 0),
         "Groceries | Milk\nMissed on 14 Jan at 23:59 (late)"},
        {true, "Milk", localDate(2026, 12, 31, 18, 5, 0),
         "Groceries | Milk\nMissed on 31 Dec 2026 at 18:05 (late)"},
        {true, "", localDate(2027, 1, 15, 10, 0, 0), "Groceries | Missed at 10:00 (late)"},
        {true, "two\nlines", localDate(2027, 1, 3, 7, 0, 0),
         "Groceries | two\nlines\nMissed on 3 Jan at 07:00 (late)"},
    };
    for (const auto& [late, body, due, expected] : cases) {
        Notification notification{reminderRequest("item", 60, body), due, late};
        EXPECT_EQ(shown(notificationText(notification, now)), expected) << body;
    }
}

TEST(AuthorizationPromptText, NamesTheApplicationAndWhatItsNotificationsMayDo) {
    using Options = AuthorizationOptions;
    const std::vector<std::pair<Options, std::string>> cases = {
        {Options::alert | Options::sound,
         "Jotwell Would Like to Send You Notifications | Notifications may show alerts and play "
         "sounds. | Allow / Don't Allow"},
        {Options::sound,
         "Jotwell Would Like to Send You Notifications | Notifications may play sounds. | Allow / "
         "Don't Allow"},
        {Options::badge | Options::alert | Options::sound,
         "Jotwell Would Like to Send You Notifications | Notifications may show alerts, play "
         "sounds and mark the application's icon. | Allow / Don't Allow"},
        {Options::none, "Jotwell Would Like to Send You Notifications |  | Allow / Don't Allow"},
    };
    for (const auto& [options, expected] : cases) {
        const auto text = authorizationPromptText("Jotwell", options);
        EXPECT_EQ(text.title + " | " + text.message + " | " + text.allow + " / " + text.deny,
                  expected);
    }
}

}  // namespace
}  // namespace jw::test
