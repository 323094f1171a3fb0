// What a reminder is made of: the values taken from the item and the notification they make.

#include <gtest/gtest.h>

#include "src/reminders/ReminderRequest.h"
#include "src/reminders/ReminderSubject.h"

namespace jw {
namespace {

const ReminderSubject milk{"x-jotwell-object://7F3A/Item/p12", std::string("Groceries"),
                           "  Milk, 2 l "};

// (The draft and the request it makes are checked where the "Set" press schedules them.)
TEST(ReminderDraft, TheScreenTextIsListNameColonTextAsStored) {
    EXPECT_EQ(reminderBodyText(milk), "Groceries:   Milk, 2 l ");
    EXPECT_EQ(reminderBodyText({"id", std::string(""), "x"}), ": x");
    EXPECT_EQ(reminderBodyText({"id", std::nullopt, "Call Anna"}), ": Call Anna");
    EXPECT_EQ(reminderDraft(milk, Date{}).body, "  Milk, 2 l ") << "untrimmed";
}

}  // namespace
}  // namespace jw
