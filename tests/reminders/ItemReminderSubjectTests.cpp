// The reminder of a stored item names the item by its lasting address and carries its list's
// name and its text as stored.

#include <gtest/gtest.h>

#include "src/model/Operations.h"
#include "src/reminders/ItemReminderSubject.h"
#include "src/reminders/ReminderRequest.h"
#include "tests/model/ModelTestSupport.h"

namespace jw {
namespace {

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
