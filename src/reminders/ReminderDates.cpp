#include "src/reminders/ReminderDates.h"

#include "platform/foundation/Clock.h"

namespace jw {

std::optional<Date> presetReminderDate(Date now) {
    return calendar::addingMinutes(now, reminderPresetMinutes);
}

std::optional<Date> reminderFireDate(Date picked) {
    return calendar::settingSecondsToZero(picked);
}

std::optional<double> reminderInterval(Date picked, Date now) {
    const auto fireDate = reminderFireDate(picked);
    if (!fireDate) {
        return std::nullopt;
    }
    const double interval = fireDate->secondsSince(now);
    // Also refuses NaN.
    if (!(interval > 0.0)) {
        return std::nullopt;
    }
    return interval;
}

}  // namespace jw
