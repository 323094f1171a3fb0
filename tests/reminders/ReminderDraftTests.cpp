// What a reminder is made of: the picker's preset date and the interval to the start of the
// picked minute; and for a stored item, its lasting address, its list's name and its text as
// stored.

#include <gtest/gtest.h>

#include <limits>

#include "src/model/Operations.h"
#include "src/reminders/ItemReminderSubject.h"
#include "src/reminders/ReminderDates.h"
#include "src/reminders/ReminderRequest.h"
#include "tests/foundation/TimeZone.h"
#include "tests/model/ModelTestSupport.h"

namespace jw {
namespace {

using test::localDate;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Five minutes of real time on (the calendar's own tests carry it into the hour, day and year
// and across the spring gap), so the preset minute starts between four and five minutes after
// the screen opened.
TEST(ReminderDates, PresetIsFiveMinutesOn) {
    test::BerlinTime berlin;
    EXPECT_EQ(presetReminderDate(localDate(2027, 3, 28, 1, 58, 0)),
              localDate(2027, 3, 28, 3, 3, 0));
    EXPECT_FALSE(presetReminderDate(Date{nan}));
    for (double second : {0.0, 0.001, 30.0, 59.999}) {
        const Date opened = localDate(2027, 1, 15, 10, 58, 0).addingSeconds(second);
        const auto interval = reminderInterval(*presetReminderDate(opened), opened);
        ASSERT_TRUE(interval) << second;
        EXPECT_NEAR(*interval, 300.0 - second, 1e-6) << second;
    }
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

using ItemReminderSubjectTest = model::support::ModelTest;

// The list's name (none for an item without a list, whose reminder then has no title) and the
// text as stored.
TEST_F(ItemReminderSubjectTest, CarriesTheListNameAndTheTextAsStored) {
    auto item = model::newItem(db(), *model::newList(db(), "Shop"), "  Milk \u2615");
    auto loose = std::static_pointer_cast<model::Item>(context().insertNewObject("Item"));
    db().saveContext(false);
    std::string text;
    for (const auto& subject : {reminderSubjectFor(*item), reminderSubjectFor(*loose)}) {
        text += subject.listName.value_or("<none>") + "|" + subject.body + "|" +
                reminderDraft(subject, Date{1e9}).title + "; ";
    }
    EXPECT_EQ(text, "Shop|  Milk \u2615|Shop; <none>||; ");
}

TEST_F(ItemReminderSubjectTest, TheIdentifierFindsTheSameItemAfterARestart) {
    const auto identifier =
        reminderSubjectFor(*model::newItem(db(), *model::newList(db(), "Shop"), "Milk")).identifier;
    reopen();
    auto found =
        std::dynamic_pointer_cast<model::Item>(context().existingObjectWithURI(identifier));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->body(), "Milk");
    EXPECT_EQ(reminderSubjectFor(*found).identifier, identifier);
}

// The screen shows "list name: text" with the text as stored, untrimmed.
TEST(ReminderDraft, TheScreenTextIsListNameColonTextAsStored) {
    EXPECT_EQ(reminderBodyText({"id", std::string("Groceries"), "  Milk, 2 l "}),
              "Groceries:   Milk, 2 l ");
    EXPECT_EQ(reminderBodyText({"id", std::string(""), "x"}), ": x");
    EXPECT_EQ(reminderBodyText({"id", std::nullopt, "Call Anna"}), ": Call Anna");
    EXPECT_EQ(reminderDraft({"id", std::nullopt, " x "}, Date{}).body, " x ");
}

}  // namespace
}  // namespace jw
