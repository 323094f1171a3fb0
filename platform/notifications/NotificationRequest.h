#pragma once
// A request for a local notification: what to show, and when. Plain values.

#include <optional>
#include <string>

namespace jw {

struct NotificationSound {
    std::string name;
    // The system's default notification sound.
    static NotificationSound defaultSound() { return NotificationSound{"default"}; }
    bool operator==(const NotificationSound&) const = default;
};

struct NotificationContent {
    std::string title;
    std::string body;
    std::optional<NotificationSound> sound;  // none: silent
    bool operator==(const NotificationContent&) const = default;
};

// Fires `timeInterval` seconds after the request was added. The centre accepts only
// intervals greater than 0 and only triggers that do not repeat.
struct TimeIntervalNotificationTrigger {
    double timeInterval = 0.0;
    bool repeats = false;

    static TimeIntervalNotificationTrigger trigger(double timeInterval, bool repeats) {
        return TimeIntervalNotificationTrigger{timeInterval, repeats};
    }
    bool operator==(const TimeIntervalNotificationTrigger&) const = default;
};

struct NotificationRequest {
    // One pending request per identifier: adding another with the same identifier replaces it.
    std::string identifier;
    NotificationContent content;
    TimeIntervalNotificationTrigger trigger;

    static NotificationRequest request(std::string identifier, NotificationContent content,
                                       TimeIntervalNotificationTrigger trigger) {
        return NotificationRequest{std::move(identifier), std::move(content), trigger};
    }
    bool operator==(const NotificationRequest&) const = default;
};

}  // namespace jw
