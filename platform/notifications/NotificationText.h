#pragma once
// What a notification says when it is put in front of the user: the request's title and body,
// and, for a late one, a line saying when it was due, so nobody takes a reminder of this
// morning for one of now. Late is one that fell due while the program was not running
// (Notification::deliveredLate), or one shown more than lateAfterSeconds after its date (the
// computer slept through it while the program ran).
//
// The line reads "Missed at 14:05" when it fell due on the local day of `now`, "Missed on
// 6 Dec at 14:05" earlier in the same local year, and "Missed on 6 Dec 2025 at 14:05" before
// that (24-hour local time, English month names). It comes after the body, on a line of its
// own (the whole body when the body is empty). A notification on time says just what it
// was given. Plain computation on the process's local time zone: any thread.

#include <string>

#include "platform/foundation/Date.h"
#include "platform/notifications/Notification.h"

namespace jw {

struct NotificationText {
    std::string title;
    std::string body;
    bool late = false;  // the body ends with the "Missed ..." line
    bool operator==(const NotificationText&) const = default;
};

inline constexpr double lateAfterSeconds = 60.0;

// `now`: when it is shown.
NotificationText notificationText(const Notification& notification, Date now);

// The "Missed ..." line alone, for a notification that fell due at `due`.
std::string missedLine(Date due, Date now);

}  // namespace jw
