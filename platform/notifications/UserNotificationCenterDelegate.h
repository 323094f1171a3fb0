#pragma once
// What the app is told about notifications while it runs. Both calls come on the main thread.
// The delegate is not owned by the centre and must outlive its registration.

#include <functional>

#include "platform/notifications/Notification.h"

namespace jw {

class UserNotificationCenter;

class UserNotificationCenterDelegate {
  public:
    virtual ~UserNotificationCenterDelegate() = default;

    // A notification fell due (or, marked deliveredLate, fell due while the program was not
    // running). Call `completionHandler` with how to present it; none shows nothing. By
    // default nothing is shown.
    virtual void willPresentNotification(
        UserNotificationCenter& center, const Notification& notification,
        std::function<void(PresentationOptions)> completionHandler) {
        (void)center;
        (void)notification;
        completionHandler(PresentationOptions::none);
    }

    // The user acted on a presented notification. Call `completionHandler` when done.
    virtual void didReceiveNotificationResponse(UserNotificationCenter& center,
                                                const NotificationResponse& response,
                                                std::function<void()> completionHandler) {
        (void)center;
        (void)response;
        completionHandler();
    }
};

}  // namespace jw
