#pragma once
// The reminder subject of a stored item: its object URI string, its list's name (none when it
// has no list) and its text as stored (empty when absent).

#include "src/model/Entities.h"
#include "src/reminders/ReminderSubject.h"

namespace jw {

ReminderSubject reminderSubjectFor(const model::Item& item);

}  // namespace jw
