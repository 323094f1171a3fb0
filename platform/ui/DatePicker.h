#pragma once
// A date and time chooser. The date is what the picker shows; a person choosing one sends the
// value-changed actions (pick()). Setting it in code sends nothing. No minimum means any date.
// Main thread.

#include <optional>

#include "platform/foundation/Date.h"
#include "platform/ui/Control.h"

namespace jw::ui {

enum class DatePickerMode { time = 0, date = 1, dateAndTime = 2, countDownTimer = 3 };

class DatePicker : public Control {
  public:
    Date date() const { return date_; }
    void setDate(Date date) { update(date_, date); }
    std::optional<Date> minimumDate() const { return minimumDate_; }
    void setMinimumDate(std::optional<Date> date) { update(minimumDate_, date); }
    DatePickerMode datePickerMode() const { return mode_; }
    void setDatePickerMode(DatePickerMode mode) { update(mode_, mode); }
    int minuteInterval() const { return minuteInterval_; }
    void setMinuteInterval(int minutes) { update(minuteInterval_, minutes); }

    // A person spinning the wheels to `date`: a date before the minimum stops at the minimum.
    void pick(Date date) {
        requireReachable("pick a date");
        setDate(minimumDate_ && date < *minimumDate_ ? *minimumDate_ : date);
        sendActions(ControlEvent::valueChanged);
    }

  private:
    Date date_;
    std::optional<Date> minimumDate_;
    DatePickerMode mode_ = DatePickerMode::dateAndTime;
    int minuteInterval_ = 1;
};

}  // namespace jw::ui
