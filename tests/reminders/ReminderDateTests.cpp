// The reminder's dates: the picker's preset, the truncation to the minute and the interval.

#include <gtest/gtest.h>

#include "src/reminders/ReminderDates.h"
#include "tests/reminders/LocalTime.h"

namespace jw {
namespace {

using test::localDate;

class ReminderDates : public ::testing::Test {
  protected:
    test::BerlinTime berlin;
};

TEST_F(ReminderDates, PresetIsFiveMinutesLaterCarryingIntoTheHourDayAndYear) {
    EXPECT_EQ(presetReminderDate(localDate(2027, 1, 15, 10, 58, 30)),
              localDate(2027, 1, 15, 11, 3, 30));
    EXPECT_EQ(presetReminderDate(localDate(2027, 12, 31, 23, 57, 10, 0.5)),
              localDate(2028, 1, 1, 0, 2, 10, 0.5));
}

TEST_F(ReminderDates, PresetIsFiveMinutesOfRealTimeWhenTheClocksGoForward) {
    // 02:00 does not exist on this night in Berlin.
    EXPECT_EQ(presetReminderDate(localDate(2027, 3, 28, 1, 58, 0)),
              localDate(2027, 3, 28, 3, 3, 0));
}

TEST_F(ReminderDates, FireDateIsTheStartOfThePickedMinute) {
    EXPECT_EQ(reminderFireDate(localDate(2027, 1, 15, 10, 59, 59, 0.9)),
              localDate(2027, 1, 15, 10, 59, 0));
    EXPECT_EQ(reminderFireDate(localDate(2027, 1, 15, 11, 0, 0)), localDate(2027, 1, 15, 11, 0, 0));
    EXPECT_EQ(reminderFireDate(localDate(2027, 1, 15, 11, 0, 0, 0.25)),
              localDate(2027, 1, 15, 11, 0, 0));
}

TEST_F(ReminderDates, PresetFiresBetweenFourAndFiveMinutesAfterTheScreenOpened) {
    for (double second : {0.0, 0.001, 30.0, 59.999}) {
        const Date opened = localDate(2027, 1, 15, 10, 58, 0).addingSeconds(second);
        const auto preset = presetReminderDate(opened);
        ASSERT_TRUE(preset);
        const auto interval = reminderInterval(*preset, opened);
        ASSERT_TRUE(interval) << second;
        EXPECT_LE(*interval, 300.0) << second;
        EXPECT_GT(*interval, 240.0) << second;
        EXPECT_NEAR(*interval, 300.0 - second, 1e-6) << second;
    }
}

TEST_F(ReminderDates, IntervalAcrossAnHourBoundaryCountsToTheMinuteStart) {
    const Date now = localDate(2027, 1, 15, 10, 59, 45);
    EXPECT_EQ(reminderInterval(localDate(2027, 1, 15, 11, 0, 20), now), 15.0);
    EXPECT_EQ(reminderInterval(localDate(2027, 1, 15, 12, 0, 0), now), 3615.0);
}

TEST_F(ReminderDates, ADateInTheCurrentMinuteOrEarlierHasNoInterval) {
    const Date now = localDate(2027, 1, 15, 10, 59, 10);
    EXPECT_FALSE(reminderInterval(localDate(2027, 1, 15, 10, 59, 50), now));
    EXPECT_FALSE(reminderInterval(now, now));
    EXPECT_FALSE(reminderInterval(localDate(2027, 1, 15, 10, 59, 10), now));
    EXPECT_FALSE(reminderInterval(localDate(2027, 1, 14, 9, 0, 0), now));
    // The minute starting exactly now is not after now either.
    EXPECT_FALSE(
        reminderInterval(localDate(2027, 1, 15, 11, 0, 30), localDate(2027, 1, 15, 11, 0, 0)));
}

TEST_F(ReminderDates, TheNextMinuteStartIsAcceptedEvenHalfASecondAhead) {
    EXPECT_EQ(
        reminderInterval(localDate(2027, 1, 15, 11, 0, 0), localDate(2027, 1, 15, 10, 59, 59, 0.5)),
        0.5);
}

TEST_F(ReminderDates, DatesTheCalendarCannotHandleGiveNothing) {
    const Date now = localDate(2027, 1, 15, 10, 0, 0);
    EXPECT_FALSE(reminderInterval(Date{std::numeric_limits<double>::infinity()}, now));
    EXPECT_FALSE(reminderInterval(Date{std::numeric_limits<double>::quiet_NaN()}, now));
    EXPECT_FALSE(presetReminderDate(Date{std::numeric_limits<double>::quiet_NaN()}));
}

}  // namespace
}  // namespace jw
