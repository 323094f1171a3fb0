#pragma once
// The words of the "allow notifications?" question, for an application that asks it with a
// dialog of its own: a title naming the application, a message saying what notifications may
// do (from the options asked for), and the two answers. Plain computation: any thread.

#include <string>

#include "platform/notifications/NotificationSettings.h"

namespace jw {

struct AuthorizationPromptText {
    std::string title;    // "<application> Would Like to Send You Notifications"
    std::string message;  // "Notifications may show alerts and play sounds." ("" for none)
    std::string allow = "Allow";
    std::string deny = "Don't Allow";
    bool operator==(const AuthorizationPromptText&) const = default;
};

AuthorizationPromptText authorizationPromptText(const std::string& applicationName,
                                                AuthorizationOptions options);

}  // namespace jw
