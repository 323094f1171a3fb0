#include "src/reminders/ReminderRequest.h"

namespace jw {

NotificationRequest reminderNotificationRequest(const ReminderDraft& draft, double interval) {
    NotificationContent content;
    content.title = draft.title;
    content.body = draft.body;
    content.sound = NotificationSound::defaultSound();
    return NotificationRequest::request(draft.identifier, std::move(content),
                                        TimeIntervalNotificationTrigger::trigger(interval, false));
}

}  // namespace jw
