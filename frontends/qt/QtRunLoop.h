#pragma once
// The main run loop on Qt's event loop: posted work becomes a queued call on the GUI thread
// (which wakes the event loop, whichever thread posts), timers are QTimers, and after each
// event the end-of-event observers run, as with every RunLoop (platform/foundation/RunLoop.h).
//
// Made and used on the GUI thread; post() may be called from any thread, also while the loop
// is being destroyed (work posted then is dropped). Install it with installMainRunLoop() before
// anything schedules a timer.

#include <QObject>
#include <QPointer>

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/RunLoop.h"

namespace jw::qt {

class QtRunLoop final : public QObject, public RunLoop {
    Q_OBJECT
  public:
    QtRunLoop();
    ~QtRunLoop() override;

    void post(Task task) override;
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats,
                                         TimerCallback callback) override;
    void addEndOfEventObserver(Task observer) override;

    // Runs the work posted so far, and what it posts, without waiting (for tests and for the
    // last turn before quitting).
    void runPosted();

  private:
    struct QtTimer;
    void runOneTask();
    void endOfEvent();

    std::mutex mutex_;  // guards tasks_
    std::deque<Task> tasks_;
    std::deque<Task> observers_;
    std::vector<std::shared_ptr<QtTimer>> timers_;
};

}  // namespace jw::qt
