#pragma once
// The local notification a reminder becomes.

#include "platform/notifications/NotificationRequest.h"
#include "src/reminders/ReminderSubject.h"

namespace jw {

// Identifier, title and body from the draft, the default sound, no user info, and a trigger
// firing once after `interval` seconds.
NotificationRequest reminderNotificationRequest(const ReminderDraft& draft, double interval);

}  // namespace jw
