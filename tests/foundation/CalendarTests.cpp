#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "tests/foundation/TimeZone.h"

namespace jw {
namespace {

// An instant given in UTC (the wall-clock reading in that zone, whatever zone the test is in).
Date utc(int year, int month, int day, int hour, int minute, double second) {
    test::ScopedTimeZone zone("UTC");
    return test::localDate(year, month, day, hour, minute, 0).addingSeconds(second);
}

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

// The result as its local wall-clock reading and seconds from the start, e.g. "2027-03-28
// 03:30:00 CEST (+3600)", or "nothing".
std::string describe(const std::optional<Date>& result, Date start) {
    if (!result) {
        return "nothing";
    }
    const auto time = static_cast<std::time_t>(std::floor(result->secondsSinceEpoch));
    std::tm fields{};
    localtime_r(&time, &fields);
    char text[96];
    const auto length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &fields);
    std::snprintf(text + length, sizeof text - length, " (%+g)", result->secondsSince(start));
    return text;
}

// A calendar call on an instant and its answer as text: 'm' addingMinutes(arg), 'z'
// settingSecondsToZero, 's' wholeSecondsBetween(start, Date{arg}), 'i' iso8601.
struct CalendarCase {
    char call;
    Date start;
    double arg;
    const char* expected;
};

// Berlin: CET (UTC+1) in winter, CEST (UTC+2) in summer. In 2027 the clocks go forward at
// 02:00 on 28 March and back at 03:00 on 31 October.
TEST(Calendar, EachCallAsAWorkedExampleInBerlin) {
    test::ScopedTimeZone zone("Europe/Berlin");
    const Date from{1'800'000'000.0};
    const CalendarCase cases[] = {
        // The wall clock moves by the minutes, carrying into the next hour, day and year.
        {'m', utc(2027, 1, 15, 9, 15, 30), 20, "2027-01-15 10:35:30 CET (+1200)"},
        {'m', utc(2027, 12, 31, 22, 59, 30), 1, "2028-01-01 00:00:30 CET (+60)"},
        {'m', utc(2028, 1, 1, 0, 5, 0), -90, "2027-12-31 23:35:00 CET (-5400)"},
        {'m', utc(2027, 1, 15, 9, 0, 12.25), 3, "2027-01-15 10:03:12 CET (+180)"},
        // Across the spring gap and the autumn repeat it is absolute time.
        {'m', utc(2027, 3, 28, 0, 30, 0), 60, "2027-03-28 03:30:00 CEST (+3600)"},
        {'m', utc(2027, 3, 28, 1, 10, 0), -20, "2027-03-28 01:50:00 CET (-1200)"},
        {'m', utc(2027, 10, 31, 0, 30, 0), 60, "2027-10-31 02:30:00 CET (+3600)"},
        {'m', Date{notANumber}, 1, "nothing"},
        {'m', Date{infinity}, 1, "nothing"},
        {'m', Date{-infinity}, -1, "nothing"},
        {'m', Date{1e300}, 1, "nothing"},
        // Seconds and fractions go, never rounding up; a whole minute stays.
        {'z', utc(2027, 1, 15, 9, 15, 42.75), 0, "2027-01-15 10:15:00 CET (-42.75)"},
        {'z', utc(2027, 1, 15, 9, 15, 59.999), 0, "2027-01-15 10:15:00 CET (-59.999)"},
        {'z', utc(2027, 1, 15, 9, 16, 0), 0, "2027-01-15 10:16:00 CET (+0)"},
        // Before 1970 fractions go toward the past: -0.5 s is 00:59:59.5 local.
        {'z', Date{-0.5}, 0, "1970-01-01 00:59:00 CET (-59.5)"},
        {'z', Date{-60.5}, 0, "1970-01-01 00:58:00 CET (-59.5)"},
        {'z', Date{-60.0}, 0, "1970-01-01 00:59:00 CET (+0)"},
        // The local minute, not the UTC one, in any zone: Berlin kept mean time (UTC+0:53:28)
        // until 1893.
        {'z', utc(1880, 1, 1, 0, 0, 0), 0, "1880-01-01 00:53:00 LMT (-28)"},
        // The same occurrence of a repeated hour; just after the spring gap.
        {'z', utc(2027, 10, 31, 0, 30, 45), 0, "2027-10-31 02:30:00 CEST (-45)"},
        {'z', utc(2027, 10, 31, 1, 30, 45), 0, "2027-10-31 02:30:00 CET (-45)"},
        {'z', utc(2027, 3, 28, 1, 0, 30), 0, "2027-03-28 03:00:00 CEST (-30)"},
        {'z', Date{notANumber}, 0, "nothing"},
        {'z', Date{infinity}, 0, "nothing"},
        {'z', Date{-1e300}, 0, "nothing"},
        // Plain elapsed time, truncated toward zero, kept in range when not finite.
        {'s', from, 1'800'000'030.9, "30"},
        {'s', from, 1'799'999'969.1, "-30"},
        {'s', from, 1'800'000'000.999, "0"},
        {'s', from, 1'799'999'999.001, "0"},
        {'s', from, 1'800'000'000.0, "0"},
        {'s', from.addingSeconds(31.0), 1'800'000'000.0, "-31"},
        {'s', Date{0.0}, 1'800'000'000.0, "1800000000"},
        // 01:30 CET to 03:30 CEST on the spring night is one hour, not two.
        {'s', utc(2027, 3, 28, 0, 30, 0), utc(2027, 3, 28, 1, 30, 0).secondsSinceEpoch, "3600"},
        {'s', Date{0.0}, notANumber, "0"},
        {'s', Date{0.0}, infinity, "9200000000000000000"},
        {'s', Date{0.0}, -infinity, "-9200000000000000000"},
        // UTC with milliseconds, rounded to the nearest with carry, whatever the local zone.
        {'i', from, 0, "2027-01-15T08:00:00.000Z"},
        {'i', Date{0.0}, 0, "1970-01-01T00:00:00.000Z"},
        {'i', Date{1'800'000'000.5}, 0, "2027-01-15T08:00:00.500Z"},
        {'i', Date{951'782'400.0}, 0, "2000-02-29T00:00:00.000Z"},
        {'i', Date{1'800'000'000.0004}, 0, "2027-01-15T08:00:00.000Z"},
        {'i', Date{1'800'000'059.9996}, 0, "2027-01-15T08:01:00.000Z"},
        {'i', Date{-0.001}, 0, "1969-12-31T23:59:59.999Z"},
        {'i', Date{-86'400.25}, 0, "1969-12-30T23:59:59.750Z"},
        {'i', Date{notANumber}, 0, "<invalid date nan>"},
    };
    for (const auto& c : cases) {
        std::string result;
        if (c.call == 'm') {
            result = describe(calendar::addingMinutes(c.start, int(c.arg)), c.start);
        } else if (c.call == 'z') {
            result = describe(calendar::settingSecondsToZero(c.start), c.start);
        } else if (c.call == 's') {
            result = std::to_string(calendar::wholeSecondsBetween(c.start, Date{c.arg}));
        } else {
            result = c.start.iso8601();
        }
        EXPECT_EQ(result, c.expected) << c.call << " " << c.start.secondsSinceEpoch << " " << c.arg;
    }
}

}  // namespace
}  // namespace jw
