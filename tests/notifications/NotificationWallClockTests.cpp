// A request falls due at a date on the wall clock, and arrives within a few seconds of it
// however the wall clock moved meanwhile: set forward or back, or the computer asleep while the
// run loop's own time stood still.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

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
        if (!loopNow) {
            return std::nullopt;
        }
        return loopNow->addingSeconds(offset_);
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

// Judges each delivery against the wall clock at the moment it arrives.
class PunctualityDelegate final : public UserNotificationCenterDelegate {
  public:
    PunctualityDelegate(const JumpingWallClock& wall, const ManualClock& loopTime)
        : wall_(wall), loopTime_(loopTime) {}

    void willPresentNotification(UserNotificationCenter&, const Notification& notification,
                                 std::function<void(PresentationOptions)> completion) override {
        const Date fireDate = notification.date;
        const Date wallNow = *wall_.now();
        std::ostringstream verdict;
        verdict << notification.request.identifier << " ";
        if (wallNow < fireDate) {
            verdict << "early by " << std::round(fireDate.secondsSince(wallNow)) << " s";
        } else {
            const double late = loopTime_.current().secondsSince(*wall_.loopTimeReaching(fireDate));
            if (late <= fewSeconds) {
                verdict << "on time";
            } else {
                verdict << "late by " << std::round(late) << " s";
            }
        }
        verdicts.push_back(verdict.str());
        completion(PresentationOptions::alert);
    }

    std::vector<std::string> verdicts;

  private:
    const JumpingWallClock& wall_;
    const ManualClock& loopTime_;
};

// Requests and what happens to the clocks, separated by spaces: "a@60" adds the request "a"
// due in 60 s; "pass:<s>" lets the run loop's time pass, and the wall clock with it;
// "jump:<s>" moves the wall clock alone (it was set, or the computer slept); "wake" tells the
// centre the computer woke or the clock was set.
struct WallClockCase {
    const char* name;
    const char* steps;
    const char* expected;  // deliveries in order, what is still pending, and the timers
};

void PrintTo(const WallClockCase& c, std::ostream* out) {
    *out << c.name;
}

class DeliveryOnTheWallClock : public CenterFixture,
                               public ::testing::WithParamInterface<WallClockCase> {
  protected:
    DeliveryOnTheWallClock() {
        previousClock_ = installClock(wall_);
        center->setDelegate(&punctuality_);
    }
    ~DeliveryOnTheWallClock() override {
        close();
        installClock(previousClock_);
    }

    // What arrived, judged, and what is still pending.
    std::string outcome() {
        settle();
        std::string text;
        for (const auto& verdict : punctuality_.verdicts) {
            text += verdict + ", ";
        }
        text += "pending:";
        for (const auto& pending : pendingOf(*center, platform.loop())) {
            text += " " + pending.request.identifier;
        }
        return text + ", timers " + std::to_string(platform.loop().activeTimerCount());
    }

    std::shared_ptr<JumpingWallClock> wall_ =
        std::make_shared<JumpingWallClock>(platform.sharedClock());
    PunctualityDelegate punctuality_{*wall_, platform.clock()};
    std::shared_ptr<Clock> previousClock_;
};

const WallClockCase wallClockCases[] = {
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
};

TEST_P(DeliveryOnTheWallClock, ArrivesWithinAFewSecondsOfItsDate) {
    authorize();
    std::istringstream in(GetParam().steps);
    for (std::string step; in >> step;) {
        const auto at = step.find_first_of("@:");
        const double seconds = at == std::string::npos ? 0.0 : std::stod(step.substr(at + 1));
        if (at != std::string::npos && step[at] == '@') {
            ASSERT_FALSE(
                add(*center, platform.loop(), reminderRequest(step.substr(0, at), seconds)));
        } else if (step.starts_with("pass:")) {
            platform.loop().advance(seconds);
        } else if (step.starts_with("jump:")) {
            wall_->jump(seconds);
        } else {
            ASSERT_EQ(step, "wake");
            center->wallClockChanged();
        }
    }
    EXPECT_EQ(outcome(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Jumps, DeliveryOnTheWallClock, ::testing::ValuesIn(wallClockCases),
                         [](const auto& info) { return info.param.name; });

using DeliveryChecks = CenterFixture;

TEST_F(DeliveryChecks, ARequestDueWhileTheClockGaveNoTimeArrivesOnceItDoesAgain) {
    authorize();
    add(*center, platform.loop(), reminderRequest("a", 60));
    platform.clock().setFailing(true);
    platform.loop().advance(120);
    settle();
    EXPECT_TRUE(delegate.willPresent.empty());

    platform.clock().setFailing(false);
    platform.loop().advance(fewSeconds);
    settle();
    ASSERT_EQ(delegate.willPresent.size(), 1u);
    EXPECT_EQ(delegate.willPresent[0].date, ManualPlatform::defaultStart.addingSeconds(60));
}

}  // namespace
}  // namespace jw::test
