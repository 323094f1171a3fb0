#pragma once
// The reminder's date arithmetic, in the current calendar (local time). Pure functions of
// their arguments: any thread.

#include <optional>

#include "platform/foundation/Date.h"

namespace jw {

// How far ahead the reminder screen's picker starts.
inline constexpr int reminderPresetMinutes = 5;

// `now` plus 5 minutes (carrying into the hour, day and so on); nothing when the calendar
// cannot express it.
std::optional<Date> presetReminderDate(Date now);

// The start of the minute `picked` lies in (its seconds and fractions set to 0); nothing when
// the calendar cannot produce it.
std::optional<Date> reminderFireDate(Date picked);

// Seconds from `now` to the start of `picked`'s minute, when that is greater than 0; nothing
// otherwise (a date in the current minute or earlier, or one the calendar cannot truncate).
std::optional<double> reminderInterval(Date picked, Date now);

}  // namespace jw
