#include "platform/notifications/NotificationText.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace jw {

namespace {

std::tm localFields(Date date) {
    // Whole seconds toward the past, so 14:05:59.9 still reads 14:05.
    const auto seconds = static_cast<std::time_t>(std::floor(date.secondsSinceEpoch));
    std::tm fields{};
    localtime_r(&seconds, &fields);
    return fields;
}

}  // namespace

std::string missedLine(Date due, Date now) {
    static constexpr std::array<const char*, 12> months = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::tm when = localFields(due);
    const std::tm today = localFields(now);
    char time[8];
    std::snprintf(time, sizeof time, "%02d:%02d", when.tm_hour, when.tm_min);
    if (when.tm_year == today.tm_year && when.tm_yday == today.tm_yday) {
        return std::string("Missed at ") + time;
    }
    std::string day = std::to_string(when.tm_mday) + " " + months[when.tm_mon % 12];
    if (when.tm_year != today.tm_year) {
        day += " " + std::to_string(when.tm_year + 1900);
    }
    return "Missed on " + day + " at " + time;
}

NotificationText notificationText(const Notification& notification, Date now) {
    const auto& content = notification.request.content;
    NotificationText text{
        content.title, content.body,
        notification.deliveredLate || now.secondsSince(notification.date) > lateAfterSeconds};
    if (text.late) {
        const auto line = missedLine(notification.date, now);
        text.body = text.body.empty() ? line : text.body + "\n" + line;
    }
    return text;
}

}  // namespace jw
