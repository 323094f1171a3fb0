#pragma once
// Setting a reminder: the "Set" press from the permission check to the screen closing.
//
// scheduleReminder asks the notification centre for its settings. Authorised: the request is
// added. Otherwise permission for alert and sound is requested; refused, the screen shows
// "Notifications Disabled"; granted, the press starts over from the settings, so the user
// need not press "Set" again. Adding truncates the picked date to the start of its minute;
// a date that is then not after now shows "Reminder date must be in the future". A request
// the centre refuses logs "notif add error:\n" and the error, and shows "Reminder set
// error, check Settings app for permissions."; an accepted one closes the screen.
//
// The draft is taken by value at the press; the centre's completions may come on any thread,
// and every step that touches the screen or adds the request is brought to the main thread
// with runOnMain. Nothing is scheduled on any error path.

#include <memory>

#include "platform/notifications/UserNotificationCenter.h"
#include "src/reminders/ReminderScreen.h"
#include "src/reminders/ReminderSubject.h"

namespace jw {

class ReminderScheduler {
  public:
    // Works with the app's current notification centre.
    ReminderScheduler();
    explicit ReminderScheduler(std::shared_ptr<UserNotificationCenter> center);

    // The "Set" press. Any thread; returns at once.
    void scheduleReminder(const ReminderDraft& draft, std::shared_ptr<ReminderScreen> screen) const;

    // Validates the date and adds the request, permission already granted. Main thread.
    void addReminderRequest(const ReminderDraft& draft,
                            std::shared_ptr<ReminderScreen> screen) const;

  private:
    std::shared_ptr<UserNotificationCenter> center_;
};

}  // namespace jw
