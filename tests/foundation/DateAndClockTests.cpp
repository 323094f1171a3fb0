#include <ctime>
#include <memory>

#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Date.h"
#include "tests/foundation/TimeZone.h"

namespace jw {
namespace {

// --- Date ----------------------------------------------------------------------------------

TEST(Date, ComparesAndMeasuresBySeconds) {
    const Date earlier{100.0};
    const Date later = earlier.addingSeconds(2.5);
    EXPECT_LT(earlier, later);
    EXPECT_EQ(later, Date{102.5});
    EXPECT_EQ(later.secondsSince(earlier), 2.5);
    EXPECT_EQ(earlier.secondsSince(later), -2.5);
}

TEST(DateIso8601, IsUtcWithMilliseconds) {
    EXPECT_EQ(Date{1'800'000'000.0}.iso8601(), "2027-01-15T08:00:00.000Z");
    EXPECT_EQ(Date{0.0}.iso8601(), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(Date{1'800'000'000.5}.iso8601(), "2027-01-15T08:00:00.500Z");
    EXPECT_EQ(Date{951'782'400.0}.iso8601(), "2000-02-29T00:00:00.000Z");
}

TEST(DateIso8601, IgnoresTheLocalTimeZone) {
    test::ScopedTimeZone zone("Pacific/Kiritimati");  // UTC+14
    EXPECT_EQ(Date{1'800'000'000.0}.iso8601(), "2027-01-15T08:00:00.000Z");
}

TEST(DateIso8601, RoundsToTheNearestMillisecondWithCarry) {
    EXPECT_EQ(Date{1'800'000'000.0004}.iso8601(), "2027-01-15T08:00:00.000Z");
    EXPECT_EQ(Date{1'800'000'059.9996}.iso8601(), "2027-01-15T08:01:00.000Z");
}

TEST(DateIso8601, InstantsBefore1970CountBackFromTheEpoch) {
    EXPECT_EQ(Date{-0.001}.iso8601(), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(Date{-86'400.25}.iso8601(), "1969-12-30T23:59:59.750Z");
}

TEST(DateIso8601, SaysSoForANonFiniteDate) {
    const std::string text = Date{std::numeric_limits<double>::quiet_NaN()}.iso8601();
    EXPECT_NE(text.find("invalid"), std::string::npos) << text;
}

// --- Clocks --------------------------------------------------------------------------------

TEST(ManualClock, MovesOnlyWhenTold) {
    ManualClock clock(Date{1000.0});
    EXPECT_EQ(clock.now(), Date{1000.0});
    EXPECT_EQ(clock.now(), Date{1000.0});
    clock.advance(2.5);
    EXPECT_EQ(clock.now(), Date{1002.5});
    clock.set(Date{50.0});
    EXPECT_EQ(clock.current(), Date{50.0});
    EXPECT_EQ(clock.now(), Date{50.0});
}

TEST(ManualClock, AnswersNothingWhileFailing) {
    ManualClock clock(Date{1000.0});
    clock.setFailing(true);
    EXPECT_FALSE(clock.now().has_value());
    clock.advance(1.0);  // time still passes underneath
    clock.setFailing(false);
    EXPECT_EQ(clock.now(), Date{1001.0});
}

TEST(SystemClock, ReadsTheOperatingSystemsWallClock) {
    const auto before = static_cast<double>(std::time(nullptr));
    const auto now = SystemClock().now();
    const auto after = static_cast<double>(std::time(nullptr));
    ASSERT_TRUE(now.has_value());
    EXPECT_GE(now->secondsSinceEpoch, before);
    EXPECT_LT(now->secondsSinceEpoch, after + 1.0);
}

TEST(CurrentClock, IsTheInstalledClockUntilReplaced) {
    auto manual = std::make_shared<ManualClock>(Date{42.0});
    const auto previous = installClock(manual);
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(&currentClock(), manual.get());
    EXPECT_EQ(currentClock().now(), Date{42.0});
    manual->advance(1.0);
    EXPECT_EQ(currentClock().now(), Date{43.0});

    const auto removed = installClock(previous);
    EXPECT_EQ(removed, manual);
    EXPECT_EQ(&currentClock(), previous.get());
}

TEST(CurrentClock, InstallingNothingPutsASystemClockInPlace) {
    const auto previous = installClock(nullptr);
    EXPECT_NE(dynamic_cast<SystemClock*>(&currentClock()), nullptr);
    installClock(previous);
}

}  // namespace
}  // namespace jw
