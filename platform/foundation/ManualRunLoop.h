#pragma once
// A run loop for tests: nothing happens until the test says so. Time is a ManualClock, so
// "ten seconds later" is advance(10). Posted work may come from other threads (it is queued
// under a lock); it runs only inside drain()/advance()/waitForPosted().

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "Clock.h"
#include "RunLoop.h"

namespace jw {

class ManualRunLoop final : public RunLoop {
  public:
    explicit ManualRunLoop(std::shared_ptr<ManualClock> clock);
    ~ManualRunLoop() override;

    void post(Task task) override;
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats,
                                         TimerCallback callback) override;
    void addEndOfEventObserver(Task observer) override;

    // Runs posted work (including work that posted work posts) until none is left.
    // Returns the number of tasks run. Fires no timers, even those already due.
    int drain();
    // First drains work already posted, then moves the clock forward by `seconds`, firing
    // every timer that falls due on the way in time order (the clock stands at each firing's
    // due time while it runs) and draining posted work after each firing, then at the end.
    // A repeating timer fires once per interval that passes, however many that is; timers
    // due at the same instant fire in the order they were scheduled. A zero or negative
    // `seconds` fires only what is already due; the clock never moves backwards.
    void advance(double seconds);
    // Blocks (really) until at least one task was posted from elsewhere or `timeoutSeconds`
    // passed, then drains. For completions that arrive on other threads. Returns tasks run.
    int waitForPosted(double timeoutSeconds);
    // Number of valid timers.
    int activeTimerCount() const;

    ManualClock& clock() { return *clock_; }

  private:
    struct TimerImpl;
    std::shared_ptr<TimerImpl> nextTimerDueBy(Date limit) const;
    void fire(TimerImpl& timer);
    void endOfEvent();

    std::shared_ptr<ManualClock> clock_;
    mutable std::mutex mutex_;  // guards tasks_ and timers_
    std::condition_variable posted_;
    std::deque<Task> tasks_;
    std::vector<std::shared_ptr<TimerImpl>> timers_;
    std::deque<Task> observers_;  // a deque: an observer may add one while they run
    unsigned long long timerSequence_ = 0;
};

}  // namespace jw
