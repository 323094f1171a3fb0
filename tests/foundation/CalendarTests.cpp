#include <cmath>
#include <ctime>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "tests/foundation/TimeZone.h"

namespace jw {
namespace {

using test::ScopedTimeZone;

// An instant given in UTC (through timegm, which the calendar does not use).
Date utc(int year, int month, int day, int hour, int minute, double second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    const double whole = std::floor(second);
    fields.tm_sec = static_cast<int>(whole);
    return Date{static_cast<double>(timegm(&fields)) + (second - whole)};
}

// The local wall-clock reading of an instant, e.g. "2027-03-28 03:30:00 CEST".
std::string wallClock(Date date) {
    const auto time = static_cast<std::time_t>(std::floor(date.secondsSinceEpoch));
    std::tm fields{};
    localtime_r(&time, &fields);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &fields);
    return text;
}

// Berlin: CET (UTC+1) in winter, CEST (UTC+2) in summer. In 2027 the clocks go forward at
// 02:00 on 28 March and back at 03:00 on 31 October.
class CalendarInBerlin : public ::testing::Test {
  protected:
    ScopedTimeZone zone_{"Europe/Berlin"};
};

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

// --- addingMinutes -------------------------------------------------------------------------

TEST_F(CalendarInBerlin, AddingMinutesMovesTheWallClockByThatManyMinutes) {
    const Date start = utc(2027, 1, 15, 9, 15, 30);
    const auto later = calendar::addingMinutes(start, 20);
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(wallClock(*later), "2027-01-15 10:35:30 CET");
    EXPECT_EQ(later->secondsSince(start), 1200.0);
}

TEST_F(CalendarInBerlin, AddingMinutesCarriesIntoTheNextHourDayAndYear) {
    const Date newYearsEve = utc(2027, 12, 31, 22, 59, 30);  // 23:59:30 local
    const auto later = calendar::addingMinutes(newYearsEve, 1);
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(wallClock(*later), "2028-01-01 00:00:30 CET");
}

TEST_F(CalendarInBerlin, AddingNegativeMinutesGoesBack) {
    const Date start = utc(2028, 1, 1, 0, 5, 0);  // 01:05 local
    const auto earlier = calendar::addingMinutes(start, -90);
    ASSERT_TRUE(earlier.has_value());
    EXPECT_EQ(wallClock(*earlier), "2027-12-31 23:35:00 CET");
}

TEST_F(CalendarInBerlin, AddingMinutesKeepsFractionsOfASecond) {
    const Date start = utc(2027, 1, 15, 9, 0, 12.25);
    const auto later = calendar::addingMinutes(start, 3);
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(*later, start.addingSeconds(180.0));
}

TEST_F(CalendarInBerlin, AddingMinutesAcrossTheSpringGapIsAbsoluteTime) {
    const Date beforeGap = utc(2027, 3, 28, 0, 30, 0);
    ASSERT_EQ(wallClock(beforeGap), "2027-03-28 01:30:00 CET");
    const auto later = calendar::addingMinutes(beforeGap, 60);
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(*later, utc(2027, 3, 28, 1, 30, 0));
    EXPECT_EQ(wallClock(*later), "2027-03-28 03:30:00 CEST");

    const auto back = calendar::addingMinutes(utc(2027, 3, 28, 1, 10, 0), -20);  // 03:10 CEST
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(wallClock(*back), "2027-03-28 01:50:00 CET");
}

TEST_F(CalendarInBerlin, AddingMinutesAcrossTheAutumnRepeatReachesTheSecondOccurrence) {
    const Date firstOccurrence = utc(2027, 10, 31, 0, 30, 0);
    ASSERT_EQ(wallClock(firstOccurrence), "2027-10-31 02:30:00 CEST");
    const auto later = calendar::addingMinutes(firstOccurrence, 60);
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ(*later, utc(2027, 10, 31, 1, 30, 0));
    EXPECT_EQ(wallClock(*later), "2027-10-31 02:30:00 CET");
}

TEST_F(CalendarInBerlin, AddingMinutesToAnUnrepresentableDateGivesNothing) {
    EXPECT_FALSE(calendar::addingMinutes(Date{notANumber}, 1).has_value());
    EXPECT_FALSE(calendar::addingMinutes(Date{infinity}, 1).has_value());
    EXPECT_FALSE(calendar::addingMinutes(Date{-infinity}, -1).has_value());
    EXPECT_FALSE(calendar::addingMinutes(Date{1e300}, 1).has_value());
}

// --- settingSecondsToZero ------------------------------------------------------------------

TEST_F(CalendarInBerlin, SettingSecondsToZeroDropsSecondsAndFractions) {
    const auto result = calendar::settingSecondsToZero(utc(2027, 1, 15, 9, 15, 42.75));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, utc(2027, 1, 15, 9, 15, 0));
}

TEST_F(CalendarInBerlin, SettingSecondsToZeroNeverRoundsUpToTheNextMinute) {
    const auto result = calendar::settingSecondsToZero(utc(2027, 1, 15, 9, 15, 59.999));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, utc(2027, 1, 15, 9, 15, 0));
}

TEST_F(CalendarInBerlin, SettingSecondsToZeroLeavesAWholeMinuteAlone) {
    const Date onTheMinute = utc(2027, 1, 15, 9, 16, 0);
    EXPECT_EQ(calendar::settingSecondsToZero(onTheMinute), onTheMinute);
}

TEST_F(CalendarInBerlin, SettingSecondsToZeroBefore1970DropsFractionsTowardThePast) {
    // -0.5 s is 00:59:59.5 local on 1 January 1970: its minute began at 00:59:00 (-60 s).
    EXPECT_EQ(calendar::settingSecondsToZero(Date{-0.5}), Date{-60.0});
    // -60.5 s is 00:58:59.5 local: its minute began at 00:58:00, not at 00:59:00.
    EXPECT_EQ(calendar::settingSecondsToZero(Date{-60.5}), Date{-120.0});
    EXPECT_EQ(calendar::settingSecondsToZero(Date{-60.0}), Date{-60.0});
}

TEST_F(CalendarInBerlin, SettingSecondsToZeroUsesTheLocalMinuteNotTheUtcOne) {
    // Before 1893 Berlin kept local mean time, UTC+0:53:28. Midnight UTC on 1 January 1880
    // read 00:53:28 locally, so the local minute began 28 seconds before it.
    const Date midnightUtc = utc(1880, 1, 1, 0, 0, 0);
    const auto result = calendar::settingSecondsToZero(midnightUtc);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, midnightUtc.addingSeconds(-28.0));
    EXPECT_EQ(wallClock(*result), "1880-01-01 00:53:00 LMT");
}

TEST_F(CalendarInBerlin, SettingSecondsToZeroStaysInTheSameOccurrenceOfARepeatedHour) {
    const Date first = utc(2027, 10, 31, 0, 30, 45);   // 02:30:45 CEST
    const Date second = utc(2027, 10, 31, 1, 30, 45);  // 02:30:45 CET
    EXPECT_EQ(calendar::settingSecondsToZero(first), utc(2027, 10, 31, 0, 30, 0));
    EXPECT_EQ(calendar::settingSecondsToZero(second), utc(2027, 10, 31, 1, 30, 0));
}

TEST_F(CalendarInBerlin, SettingSecondsToZeroJustAfterTheSpringGap) {
    const Date justAfter = utc(2027, 3, 28, 1, 0, 30);  // 03:00:30 CEST
    const auto result = calendar::settingSecondsToZero(justAfter);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(wallClock(*result), "2027-03-28 03:00:00 CEST");
    EXPECT_EQ(*result, utc(2027, 3, 28, 1, 0, 0));
}

TEST_F(CalendarInBerlin, SettingSecondsToZeroOnAnUnrepresentableDateGivesNothing) {
    EXPECT_FALSE(calendar::settingSecondsToZero(Date{notANumber}).has_value());
    EXPECT_FALSE(calendar::settingSecondsToZero(Date{infinity}).has_value());
    EXPECT_FALSE(calendar::settingSecondsToZero(Date{-1e300}).has_value());
}

TEST(CalendarInOtherZones, SettingSecondsToZeroFollowsTheProcessTimeZone) {
    // Kolkata is UTC+5:30 all year: the minute is the same in both zones, but the result must
    // still be the start of the minute, whichever zone the process is in.
    const Date date = utc(2027, 6, 1, 12, 34, 56.5);
    for (const char* zone : {"Asia/Kolkata", "America/St_Johns", "UTC"}) {
        ScopedTimeZone scoped(zone);
        EXPECT_EQ(calendar::settingSecondsToZero(date), utc(2027, 6, 1, 12, 34, 0)) << zone;
    }
}

// --- wholeSecondsBetween -------------------------------------------------------------------

TEST(WholeSecondsBetween, TruncatesTowardZeroInBothDirections) {
    const Date from{1'800'000'000.0};
    EXPECT_EQ(calendar::wholeSecondsBetween(from, from.addingSeconds(30.9)), 30);
    EXPECT_EQ(calendar::wholeSecondsBetween(from, from.addingSeconds(-30.9)), -30);
    EXPECT_EQ(calendar::wholeSecondsBetween(from, from.addingSeconds(0.999)), 0);
    EXPECT_EQ(calendar::wholeSecondsBetween(from, from.addingSeconds(-0.999)), 0);
}

TEST(WholeSecondsBetween, CountsWholeSecondsExactly) {
    const Date from{1'800'000'000.0};
    EXPECT_EQ(calendar::wholeSecondsBetween(from, from), 0);
    EXPECT_EQ(calendar::wholeSecondsBetween(from, from.addingSeconds(31.0)), 31);
    EXPECT_EQ(calendar::wholeSecondsBetween(from.addingSeconds(31.0), from), -31);
    EXPECT_EQ(calendar::wholeSecondsBetween(Date{0.0}, from), 1'800'000'000);
}

TEST(WholeSecondsBetween, IsPlainElapsedTimeAcrossDaylightSavingChanges) {
    ScopedTimeZone zone("Europe/Berlin");
    // 01:30 CET to 03:30 CEST on the spring night is one hour, not two.
    EXPECT_EQ(calendar::wholeSecondsBetween(utc(2027, 3, 28, 0, 30, 0), utc(2027, 3, 28, 1, 30, 0)),
              3600);
}

TEST(WholeSecondsBetween, NonFiniteDifferencesStayInRange) {
    EXPECT_EQ(calendar::wholeSecondsBetween(Date{0.0}, Date{notANumber}), 0);
    EXPECT_GT(calendar::wholeSecondsBetween(Date{0.0}, Date{infinity}), 9'000'000'000'000'000'000);
    EXPECT_LT(calendar::wholeSecondsBetween(Date{0.0}, Date{-infinity}),
              -9'000'000'000'000'000'000);
}

}  // namespace
}  // namespace jw
