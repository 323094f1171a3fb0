#pragma once
// What the reminder screen does for the scheduling flow. The screen implements it; the flow
// keeps the screen alive (a shared handle) until its last step has run. Main thread.

#include <string>

namespace jw {

class ReminderScreen {
  public:
    virtual ~ReminderScreen() = default;

    // Presents, animated, an alert titled "Error" with `message` and a single "OK" button of
    // cancel style that only closes the alert. The screen stays open with its chosen date.
    virtual void showErrorAlert(const std::string& message) = 0;

    // Closes the reminder screen, animated: the reminder is set.
    virtual void dismissReminderScreen() = 0;
};

}  // namespace jw
