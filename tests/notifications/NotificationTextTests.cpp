// What a notification says on screen: its own title and body, and for a late one (it fell due
// while the program was not running, or is shown well after its date) when it was due.

#include <gtest/gtest.h>

#include "platform/notifications/AuthorizationPromptText.h"
#include "platform/notifications/NotificationText.h"
#include "tests/foundation/TimeZone.h"
#include "tests/notifications/NotificationTestSupport.h"

namespace jw::test {
namespace {

std::string shown(const NotificationText& text) {
    return text.title + " | " + text.body + (text.late ? " (late)" : "");
}

TEST(NotificationText, ALateOneSaysWhenItWasDueAsNearAsTheDayAllows) {
    BerlinTime berlin;
    const Date now = localDate(2027, 1, 15, 11, 0, 0);
    struct Case {
        bool late;
        std::string body;
        Date due;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {false, "Milk", localDate(2027, 1, 15, 10, 59, 0), "Groceries | Milk"},
        {false, "Milk", localDate(2027, 1, 15, 10, 58, 59),
         "Groceries | Milk\nMissed at 10:58 (late)"},
        {true, "Milk", localDate(2027, 1, 15, 9, 30, 59, 0.9),
         "Groceries | Milk\nMissed at 09:30 (late)"},
        {true, "Milk", localDate(2027, 1, 15, 0, 0, 0), "Groceries | Milk\nMissed at 00:00 (late)"},
        {true, "Milk", localDate(2027, 1, 14, 23, 59, 0),
         "Groceries | Milk\nMissed on 14 Jan at 23:59 (late)"},
        {true, "Milk", localDate(2026, 12, 31, 18, 5, 0),
         "Groceries | Milk\nMissed on 31 Dec 2026 at 18:05 (late)"},
        {true, "", localDate(2027, 1, 15, 10, 0, 0), "Groceries | Missed at 10:00 (late)"},
        {true, "two\nlines", localDate(2027, 1, 3, 7, 0, 0),
         "Groceries | two\nlines\nMissed on 3 Jan at 07:00 (late)"},
    };
    for (const auto& c : cases) {
        Notification notification{reminderRequest("item", 60, c.body), c.due, c.late};
        EXPECT_EQ(shown(notificationText(notification, now)), c.expected) << c.body;
    }
}

TEST(AuthorizationPromptText, NamesTheApplicationAndWhatItsNotificationsMayDo) {
    using Options = AuthorizationOptions;
    const std::vector<std::pair<Options, std::string>> cases = {
        {Options::alert | Options::sound,
         "Jotwell Would Like to Send You Notifications | Notifications may show alerts and play "
         "sounds. | Allow / Don't Allow"},
        {Options::sound,
         "Jotwell Would Like to Send You Notifications | Notifications may play sounds. | Allow / "
         "Don't Allow"},
        {Options::badge | Options::alert | Options::sound,
         "Jotwell Would Like to Send You Notifications | Notifications may show alerts, play "
         "sounds and mark the application's icon. | Allow / Don't Allow"},
        {Options::none, "Jotwell Would Like to Send You Notifications |  | Allow / Don't Allow"},
    };
    for (const auto& [options, expected] : cases) {
        const auto text = authorizationPromptText("Jotwell", options);
        EXPECT_EQ(text.title + " | " + text.message + " | " + text.allow + " / " + text.deny,
                  expected);
    }
}

}  // namespace
}  // namespace jw::test
