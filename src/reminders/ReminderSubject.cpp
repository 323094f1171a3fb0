#include "src/reminders/ReminderSubject.h"

namespace jw {

ReminderDraft reminderDraft(const ReminderSubject& subject, Date pickedDate) {
    return ReminderDraft{subject.identifier, subject.listName.value_or(std::string()), subject.body,
                         pickedDate};
}

std::string reminderBodyText(const ReminderSubject& subject) {
    return subject.listName.value_or(std::string()) + ": " + subject.body;
}

}  // namespace jw
