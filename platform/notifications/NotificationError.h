#pragma once
// Why the notification centre refused something. A plain value.

#include <string>

namespace jw {

enum class NotificationErrorCode : int {
    notificationsNotAllowed = 1,  // the user has not allowed notifications
    invalidTrigger = 2,           // interval not greater than 0, or a repeating trigger
    noCurrentDate = 3,            // the clock gave no time to count the interval from
    persistenceFailed = 4,        // the request could not be saved
    noAuthorizationPrompt = 5,    // nothing can ask the user
};

struct NotificationError {
    NotificationErrorCode code = NotificationErrorCode::persistenceFailed;
    std::string localizedDescription;

    // "NotificationError <code>: <localizedDescription>", for diagnostics.
    std::string description() const {
        return "NotificationError " + std::to_string(static_cast<int>(code)) + ": " +
               localizedDescription;
    }
};

}  // namespace jw
