// The reminder's dates: the picker's preset, the truncation to the minute and the interval.

#include <gtest/gtest.h>

#include <limits>

#include "src/reminders/ReminderDates.h"
#include "tests/reminders/LocalTime.h"

namespace jw {
namespace {

using test::localDate;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

TEST(ReminderDates, PresetIsFiveMinutesOfRealTimeOnCarryingIntoTheHourDayAndYear) {
    test::BerlinTime berlin;
    const std::pair<Date, Date> cases[] = {
        {localDate(2027, 1, 15, 10, 58, 30), localDate(2027, 1, 15, 11, 3, 30)},
        {localDate(2027, 12, 31, 23, 57, 10, 0.5), localDate(2028, 1, 1, 0, 2, 10, 0.5)},
        // 02:00 does not exist on this night in Berlin.
        {localDate(2027, 3, 28, 1, 58, 0), localDate(2027, 3, 28, 3, 3, 0)},
    };
    for (const auto& [opened, preset] : cases) {
        EXPECT_EQ(presetReminderDate(opened), preset) << opened.iso8601();
    }
    EXPECT_FALSE(presetReminderDate(Date{nan}));
    // Its minute starts between four and five minutes after the screen opened.
    for (double second : {0.0, 0.001, 30.0, 59.999}) {
        const Date opened = localDate(2027, 1, 15, 10, 58, 0).addingSeconds(second);
        const auto interval = reminderInterval(*presetReminderDate(opened), opened);
        ASSERT_TRUE(interval) << second;
        EXPECT_NEAR(*interval, 300.0 - second, 1e-6) << second;
    }
}

TEST(ReminderDates, FireDateIsTheStartOfThePickedMinute) {
    test::BerlinTime berlin;
    const Date minute = localDate(2027, 1, 15, 11, 0, 0);
    EXPECT_EQ(reminderFireDate(minute.addingSeconds(-0.1)), minute.addingSeconds(-60));
    EXPECT_EQ(reminderFireDate(minute), minute);
    EXPECT_EQ(reminderFireDate(minute.addingSeconds(0.25)), minute);
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

}  // namespace
}  // namespace jw
