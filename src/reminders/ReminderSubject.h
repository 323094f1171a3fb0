#pragma once
// What a reminder is about, as plain values taken from an item, and the values a "Set" press
// captures from it. The model's Item is turned into a ReminderSubject by its owner; nothing
// here knows the model.

#include <optional>
#include <string>

#include "platform/foundation/Date.h"

namespace jw {

struct ReminderSubject {
    std::string identifier;               // the item's object URI string
    std::optional<std::string> listName;  // the item's list's name; none without a list
    std::string body;                     // the item's text as stored
};

// The values of one "Set" press, taken by value at the press: later edits of the item do not
// change a reminder being set.
struct ReminderDraft {
    std::string identifier;
    std::string title;  // the list's name, or empty
    std::string body;
    Date date;  // as picked, before truncation to the minute

    bool operator==(const ReminderDraft&) const = default;
};

ReminderDraft reminderDraft(const ReminderSubject& subject, Date pickedDate);

// The reminder screen's text: the list's name, ": ", the item's text (": " and the text for an
// item without a list). For display only; the notification is built from the stored values.
std::string reminderBodyText(const ReminderSubject& subject);

}  // namespace jw
