#pragma once
// A notification that fell due, how to present it, and the user's response to it.

#include <string>

#include "platform/foundation/Date.h"
#include "platform/notifications/NotificationRequest.h"

namespace jw {

struct Notification {
    NotificationRequest request;
    Date date;                   // when it fell due
    bool deliveredLate = false;  // it fell due while the program was not running
};

// How a notification that arrives while the app runs is shown; combine with |.
enum class PresentationOptions : unsigned {
    none = 0,
    badge = 1,
    sound = 2,
    alert = 4,
};

constexpr PresentationOptions operator|(PresentationOptions a, PresentationOptions b) {
    return static_cast<PresentationOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool contains(PresentationOptions set, PresentationOptions option) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(option)) ==
           static_cast<unsigned>(option);
}

struct NotificationResponse {
    // The user opened the notification (clicked or tapped it).
    static constexpr const char* defaultActionIdentifier = "default";

    Notification notification;
    std::string actionIdentifier = defaultActionIdentifier;
};

}  // namespace jw
