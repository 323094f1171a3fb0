// What a reminder is made of: the values taken from the item and the notification they make.

#include <gtest/gtest.h>

#include "src/reminders/ReminderRequest.h"
#include "src/reminders/ReminderSubject.h"

namespace jw {
namespace {

const ReminderSubject milk{"x-jotwell-object://7F3A/Item/p12", std::string("Groceries"),
                           "  Milk, 2 l "};

TEST(ReminderDraft, TakesIdentifierListNameAndTextAsStored) {
    const Date picked{1'800'007'555.5};
    const ReminderDraft draft = reminderDraft(milk, picked);
    EXPECT_EQ(draft.identifier, "x-jotwell-object://7F3A/Item/p12");
    EXPECT_EQ(draft.title, "Groceries");
    EXPECT_EQ(draft.body, "  Milk, 2 l ");  // untrimmed
    EXPECT_EQ(draft.date, picked);
}

TEST(ReminderDraft, AnItemWithoutAListHasAnEmptyTitle) {
    const ReminderSubject loose{"x-jotwell-object://7F3A/Item/p13", std::nullopt, "Call Anna"};
    EXPECT_EQ(reminderDraft(loose, Date{}).title, "");
    EXPECT_EQ(reminderBodyText(loose), ": Call Anna");
}

TEST(ReminderDraft, TheScreenTextIsListNameColonText) {
    EXPECT_EQ(reminderBodyText(milk), "Groceries:   Milk, 2 l ");
    const ReminderSubject emptyName{"id", std::string(""), "x"};
    EXPECT_EQ(reminderBodyText(emptyName), ": x");
}

TEST(ReminderNotification, CarriesTheDraftDefaultSoundAndAOneShotTrigger) {
    const auto request = reminderNotificationRequest(reminderDraft(milk, Date{}), 269.75);
    EXPECT_EQ(request.identifier, "x-jotwell-object://7F3A/Item/p12");
    EXPECT_EQ(request.content.title, "Groceries");
    EXPECT_EQ(request.content.body, "  Milk, 2 l ");
    EXPECT_EQ(request.content.sound, NotificationSound::defaultSound());
    EXPECT_EQ(request.trigger.timeInterval, 269.75);
    EXPECT_FALSE(request.trigger.repeats);
}

}  // namespace
}  // namespace jw
