#include "src/reminders/ItemReminderSubject.h"

namespace jw {

ReminderSubject reminderSubjectFor(const model::Item& item) {
    ReminderSubject subject;
    subject.identifier = item.uriRepresentation();
    if (const auto* list = item.forList()) {
        subject.listName = list->name().value_or("");
    }
    subject.body = item.body().value_or("");
    return subject;
}

}  // namespace jw
