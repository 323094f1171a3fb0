#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <tuple>

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

// The result as "local wall clock (seconds from the start)", or "nothing".
std::string describe(const std::optional<Date>& result, Date start) {
    if (!result) {
        return "nothing";
    }
    char offset[32];
    std::snprintf(offset, sizeof offset, " (%+g)", result->secondsSince(start));
    return wallClock(*result) + offset;
}

struct CalendarCase {
    Date start;
    double minutes;  // addingMinutes; NaN: settingSecondsToZero
    const char* expected;
};

constexpr double kZeroSeconds = notANumber;

TEST_F(CalendarInBerlin, AddingMinutesAndSettingSecondsToZero) {
    const CalendarCase cases[] = {
        // The wall clock moves by the minutes, carrying into the next hour, day and year.
        {utc(2027, 1, 15, 9, 15, 30), 20, "2027-01-15 10:35:30 CET (+1200)"},
        {utc(2027, 12, 31, 22, 59, 30), 1, "2028-01-01 00:00:30 CET (+60)"},
        {utc(2028, 1, 1, 0, 5, 0), -90, "2027-12-31 23:35:00 CET (-5400)"},
        {utc(2027, 1, 15, 9, 0, 12.25), 3, "2027-01-15 10:03:12 CET (+180)"},
        // Across the spring gap and the autumn repeat it is absolute time.
        {utc(2027, 3, 28, 0, 30, 0), 60, "2027-03-28 03:30:00 CEST (+3600)"},
        {utc(2027, 3, 28, 1, 10, 0), -20, "2027-03-28 01:50:00 CET (-1200)"},
        {utc(2027, 10, 31, 0, 30, 0), 60, "2027-10-31 02:30:00 CET (+3600)"},
        {Date{notANumber}, 1, "nothing"},
        {Date{infinity}, 1, "nothing"},
        {Date{-infinity}, -1, "nothing"},
        {Date{1e300}, 1, "nothing"},
        // Seconds and fractions go, never rounding up; a whole minute stays.
        {utc(2027, 1, 15, 9, 15, 42.75), kZeroSeconds, "2027-01-15 10:15:00 CET (-42.75)"},
        {utc(2027, 1, 15, 9, 15, 59.999), kZeroSeconds, "2027-01-15 10:15:00 CET (-59.999)"},
        {utc(2027, 1, 15, 9, 16, 0), kZeroSeconds, "2027-01-15 10:16:00 CET (+0)"},
        // Before 1970 fractions go toward the past: -0.5 s is 00:59:59.5 local.
        {Date{-0.5}, kZeroSeconds, "1970-01-01 00:59:00 CET (-59.5)"},
        {Date{-60.5}, kZeroSeconds, "1970-01-01 00:58:00 CET (-59.5)"},
        {Date{-60.0}, kZeroSeconds, "1970-01-01 00:59:00 CET (+0)"},
        // The local minute, not the UTC one: Berlin kept mean time (UTC+0:53:28) until 1893.
        {utc(1880, 1, 1, 0, 0, 0), kZeroSeconds, "1880-01-01 00:53:00 LMT (-28)"},
        // The same occurrence of a repeated hour; just after the spring gap.
        {utc(2027, 10, 31, 0, 30, 45), kZeroSeconds, "2027-10-31 02:30:00 CEST (-45)"},
        {utc(2027, 10, 31, 1, 30, 45), kZeroSeconds, "2027-10-31 02:30:00 CET (-45)"},
        {utc(2027, 3, 28, 1, 0, 30), kZeroSeconds, "2027-03-28 03:00:00 CEST (-30)"},
        {Date{notANumber}, kZeroSeconds, "nothing"},
        {Date{infinity}, kZeroSeconds, "nothing"},
        {Date{-1e300}, kZeroSeconds, "nothing"},
    };
    for (const auto& c : cases) {
        const auto result = std::isnan(c.minutes)
                                ? calendar::settingSecondsToZero(c.start)
                                : calendar::addingMinutes(c.start, int(c.minutes));
        EXPECT_EQ(describe(result, c.start), c.expected)
            << c.start.secondsSinceEpoch << " " << c.minutes;
    }
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

// Plain elapsed time, truncated toward zero, kept in range when not finite.
TEST(WholeSecondsBetween, TruncatesTowardZeroAndStaysInRange) {
    ScopedTimeZone zone("Europe/Berlin");
    const Date from{1'800'000'000.0};
    const std::tuple<Date, Date, long long> cases[] = {
        {from, from.addingSeconds(30.9), 30},
        {from, from.addingSeconds(-30.9), -30},
        {from, from.addingSeconds(0.999), 0},
        {from, from.addingSeconds(-0.999), 0},
        {from, from, 0},
        {from.addingSeconds(31.0), from, -31},
        {Date{0.0}, from, 1'800'000'000},
        // 01:30 CET to 03:30 CEST on the spring night is one hour, not two.
        {utc(2027, 3, 28, 0, 30, 0), utc(2027, 3, 28, 1, 30, 0), 3600},
        {Date{0.0}, Date{notANumber}, 0},
    };
    for (const auto& [start, end, expected] : cases) {
        EXPECT_EQ(calendar::wholeSecondsBetween(start, end), expected) << end.secondsSinceEpoch;
    }
    EXPECT_GT(calendar::wholeSecondsBetween(Date{0.0}, Date{infinity}), 9'000'000'000'000'000'000);
    EXPECT_LT(calendar::wholeSecondsBetween(Date{0.0}, Date{-infinity}),
              -9'000'000'000'000'000'000);
}

// --- Date::iso8601 --------------------------------------------------------------------

// UTC with milliseconds, rounded to the nearest with carry, whatever the local zone.
TEST(DateIso8601, IsUtcWithMillisecondsInAnyZone) {
    test::ScopedTimeZone zone("Pacific/Kiritimati");  // UTC+14
    const std::pair<double, const char*> cases[] = {
        {1'800'000'000.0, "2027-01-15T08:00:00.000Z"},
        {0.0, "1970-01-01T00:00:00.000Z"},
        {1'800'000'000.5, "2027-01-15T08:00:00.500Z"},
        {951'782'400.0, "2000-02-29T00:00:00.000Z"},
        {1'800'000'000.0004, "2027-01-15T08:00:00.000Z"},
        {1'800'000'059.9996, "2027-01-15T08:01:00.000Z"},
        {-0.001, "1969-12-31T23:59:59.999Z"},
        {-86'400.25, "1969-12-30T23:59:59.750Z"},
    };
    for (const auto& [seconds, expected] : cases) {
        EXPECT_EQ(Date{seconds}.iso8601(), expected) << seconds;
    }
    const std::string text = Date{std::numeric_limits<double>::quiet_NaN()}.iso8601();
    EXPECT_NE(text.find("invalid"), std::string::npos) << text;
}

}  // namespace
}  // namespace jw
