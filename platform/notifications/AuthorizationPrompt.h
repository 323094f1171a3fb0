#pragma once
// The question "allow notifications?", as the notification centre sees it. The application
// implements it with a dialog; tests answer it directly.

#include <functional>

#include "platform/notifications/NotificationSettings.h"

namespace jw {

class AuthorizationPrompt {
  public:
    virtual ~AuthorizationPrompt() = default;

    // Called on the main thread, at most once at a time. Ask the user whether the app may
    // notify with `options`, then call `answer` on the main thread with the choice, now or
    // later. Only the first answer counts.
    virtual void askForAuthorization(AuthorizationOptions options,
                                     std::function<void(bool allowed)> answer) = 0;
};

}  // namespace jw
