#pragma once
// The source of the current time, and the calendar arithmetic the system needs.
//
// The system reads the time through `currentClock()`, never from the OS directly, so tests can
// install a ManualClock. Clocks are used on the main thread; ManualClock is not thread-safe.
// Calendar operations work in the process's local time zone (the "current calendar"); any of
// them may fail to produce a date, which is modelled as an empty optional, never ignored.

#include <memory>
#include <optional>

#include "Date.h"

namespace jw {

class Clock {
  public:
    virtual ~Clock() = default;
    // The current instant, or nothing when the platform cannot produce one.
    virtual std::optional<Date> now() const = 0;
};

// The operating system's wall clock.
class SystemClock final : public Clock {
  public:
    std::optional<Date> now() const override;
};

// A clock that only moves when told to. Starts at the given instant.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(Date start = Date{1'800'000'000.0}) : current_(start) {}
    std::optional<Date> now() const override;
    void set(Date d) { current_ = d; }
    void advance(double seconds) { current_ = current_.addingSeconds(seconds); }
    Date current() const { return current_; }
    // While failing, now() answers nothing (a platform that could not make a date).
    void setFailing(bool failing) { failing_ = failing; }

  private:
    Date current_;
    bool failing_ = false;
};

// The process-wide clock: a SystemClock until another is installed (tests install a
// ManualClock and restore the previous one afterwards). Installing is thread-safe; the
// reference currentClock() returns stays valid while the installed clock is kept alive, so
// whoever replaces a clock keeps the one it gets back until it is done with it.
Clock& currentClock();
// Returns the previous clock. Installing nothing puts a new SystemClock in place.
std::shared_ptr<Clock> installClock(std::shared_ptr<Clock> clock);

namespace calendar {
// `date` plus `minutes` minutes in the current calendar. A minute is 60 seconds of absolute
// time, so the result is exactly 60·minutes seconds later even across a daylight-saving
// change (01:30 + 60 minutes on the night the clocks go forward an hour reads 03:30).
// Nothing when `date` or the result is not a date the local calendar can express.
std::optional<Date> addingMinutes(Date date, int minutes);
// The start of the local-time minute that holds `date`: seconds and fractions set to 0 (the
// fractions are dropped toward the past, also before 1970). In the hour that repeats when the
// clocks go back, the result stays in the same occurrence of that hour. Nothing when the
// local calendar cannot express `date`.
std::optional<Date> settingSecondsToZero(Date date);
// Whole seconds from `from` to `to`, truncated toward zero (negative when `to` is earlier):
// 30.9 s gives 30, -30.9 s gives -30. 0 when the difference is not a number; a difference
// beyond the range of long long gives the nearest value in range.
long long wholeSecondsBetween(Date from, Date to);
}  // namespace calendar

}  // namespace jw
