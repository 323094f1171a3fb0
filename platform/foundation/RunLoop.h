#pragma once
// The main run loop: the one thread on which screens, the main object context and timers live.
//
// - post() may be called from any thread; the work runs later on the main thread, in order.
// - Timers are created, fired and invalidated on the main thread only.
// - After each event (a posted task or a timer firing) the loop calls its end-of-event
//   observers, in the order they were added; the object store processes its pending changes
//   there, as a UI toolkit does at the end of each event.
// Implementations: ThreadRunLoop (real time, used by the programs) and ManualRunLoop (tests).

#include <functional>
#include <memory>

namespace jw {

class Timer {
  public:
    virtual ~Timer() = default;
    // Stops the timer for good; safe to call more than once and from inside its own callback.
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
    virtual double interval() const = 0;
    virtual bool repeats() const = 0;
};

class RunLoop {
  public:
    using Task = std::function<void()>;
    using TimerCallback = std::function<void(Timer&)>;

    virtual ~RunLoop() = default;

    // Queues `task` to run on the main thread. Thread-safe.
    virtual void post(Task task) = 0;

    // Schedules a timer firing `interval` seconds from now (and every `interval` seconds after
    // that when `repeats`). The loop keeps the timer alive until it is invalidated (a one-shot
    // timer invalidates itself after firing); the caller may keep the handle to invalidate it.
    // A zero or negative interval fires at the next opportunity; a repeating timer's interval
    // is at least 0.1 ms (interval() reports the interval in use). The callback may schedule
    // timers, post work and invalidate any timer, its own included.
    virtual std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats,
                                                 TimerCallback callback) = 0;

    // Called after every event. Observers cannot be removed; they live as long as the loop.
    virtual void addEndOfEventObserver(Task observer) = 0;
};

// The process-wide main run loop. Until one is installed, a ThreadRunLoop bound to the
// thread that first asks for it is created. Installing is thread-safe and returns the previous
// loop (empty if none was made yet); installing nothing makes the next mainRunLoop() create a
// new ThreadRunLoop. As with clocks, whoever replaces the loop keeps the old one alive.
RunLoop& mainRunLoop();
std::shared_ptr<RunLoop> installMainRunLoop(std::shared_ptr<RunLoop> loop);

// Shorthand for mainRunLoop().post(task).
void runOnMain(RunLoop::Task task);

}  // namespace jw
