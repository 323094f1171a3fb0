#pragma once
// The words of the reminder screen and its alerts.

namespace jw::reminder_texts {

inline constexpr const char* screenTitle = "Reminder";
inline constexpr const char* setButton = "Set";
inline constexpr const char* errorAlertTitle = "Error";
inline constexpr const char* errorAlertButton = "OK";

inline constexpr const char* notificationsDisabled = "Notifications Disabled";
inline constexpr const char* dateMustBeInFuture = "Reminder date must be in the future";
inline constexpr const char* reminderSetError =
    "Reminder set error, check Settings app for permissions.";

// Starts the debugLog line of a request the notification centre refused; the error follows.
inline constexpr const char* addErrorDiagnostic = "notif add error:\n";

}  // namespace jw::reminder_texts
