#pragma once
// The real run loop: runs posted work and timers on the thread that calls run()/runUntil(),
// in real (steady) time. post() is thread-safe; everything else belongs to the loop's thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "RunLoop.h"

namespace jw {

class ThreadRunLoop final : public RunLoop {
  public:
    ThreadRunLoop();
    ~ThreadRunLoop() override;

    void post(Task task) override;
    // A repeating timer's firings keep to its schedule (each one `interval` after the previous
    // due time, however long the callbacks take); firings missed while the loop was busy are
    // skipped, not delivered in a burst. A repeating interval is at least 0.1 ms.
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats,
                                         TimerCallback callback) override;
    void addEndOfEventObserver(Task observer) override;

    // Runs events until stop() is called (from an event or another thread).
    void run();
    // Runs events until `done()` is true (checked first and after every event), stop() is
    // called, or `timeoutSeconds` pass. Returns done()'s final value.
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    // Runs every event that is due now, without waiting: timers due by the time of the call,
    // and posted work including work that this work posts. Returns how many ran.
    int runPending();
    // Makes the current run()/runUntil() return after the event in progress; when none is
    // running, the next one returns at once.
    void stop();

    // Told how long each event took (a posted task or a timer firing, with the end-of-event
    // observers it set off), once it ended; for measuring how long the loop is held. Empty
    // (the default) removes it, and then nothing is timed. Loop thread only.
    using EventDurationObserver = std::function<void(std::chrono::steady_clock::duration)>;
    void setEventDurationObserver(EventDurationObserver observer);

  private:
    struct TimerImpl;
    using TimePoint = std::chrono::steady_clock::time_point;

    // Runs one event, waiting for one until `deadline` (TimePoint::max(): no limit). False
    // when the deadline passed or stop() was requested before any event ran.
    bool runOne(TimePoint deadline);
    bool fireDueTimer(TimePoint now);
    bool runQueuedTask();
    TimePoint nextTimerDue() const;
    void removeInvalidTimers();
    // The start of an event, read only when someone listens to event durations.
    TimePoint eventStart() const;
    // Runs the end-of-event observers, then tells the duration observer (if any) how long
    // the event that began at `start` took.
    void endOfEvent(TimePoint start);

    std::mutex mutex_;  // guards tasks_ and stopRequested_
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool stopRequested_ = false;
    // Loop thread only.
    std::vector<std::shared_ptr<TimerImpl>> timers_;
    std::deque<Task> observers_;  // a deque: an observer may add one while they run
    unsigned long long timerSequence_ = 0;
    EventDurationObserver eventDurationObserver_;
};

}  // namespace jw
