#pragma once
// Putting a due notification in front of the user (on the desktop: the system's notification
// service). The application implements it; the centre decides when and with what options.

#include <functional>

#include "platform/notifications/Notification.h"

namespace jw {

class NotificationPresenter {
  public:
    virtual ~NotificationPresenter() = default;

    // Called on the main thread with options that are never none. Show the notification as
    // the options say (alert: a visible bubble; sound: play the sound). When the user acts on
    // it, call `activated` (from any thread; only the first call counts).
    virtual void presentNotification(const Notification& notification, PresentationOptions options,
                                     std::function<void()> activated) = 0;
};

}  // namespace jw
