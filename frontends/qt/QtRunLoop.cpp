#include "frontends/qt/QtRunLoop.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>

#include "platform/foundation/LoopTimer.h"

namespace jw::qt {

struct QtRunLoop::QtTimer final : detail::LoopTimer {
    using LoopTimer::LoopTimer;
    QTimer timer;
};

QtRunLoop::QtRunLoop() = default;

QtRunLoop::~QtRunLoop() {
    for (const auto& timer : timers_) {
        timer->timer.stop();
        timer->releaseCallback();
    }
}

void QtRunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    // One queued call per task keeps them in order with each other and lets Qt's own events
    // (input, painting) run between them. Queued calls are thread-safe and wake the loop.
    QMetaObject::invokeMethod(this, &QtRunLoop::runOneTask, Qt::QueuedConnection);
}

void QtRunLoop::runOneTask() {
    Task task;
    {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) {
            return;  // already run by runPosted()
        }
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
    endOfEvent();
}

void QtRunLoop::runPosted() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return;
            }
        }
        runOneTask();
    }
}

std::shared_ptr<Timer> QtRunLoop::scheduleTimer(double interval, bool repeats,
                                                TimerCallback callback) {
    const double used = repeats ? std::max(interval, 0.0001) : std::max(interval, 0.0);
    auto timer = std::make_shared<QtTimer>(used, repeats, std::move(callback));
    timers_.push_back(timer);
    timer->timer.setTimerType(Qt::PreciseTimer);
    timer->timer.setSingleShot(!repeats);
    // QTimer counts whole milliseconds; a shorter repeating interval fires as often as it can.
    timer->timer.setInterval(static_cast<int>(used * 1000.0 + 0.5));
    QTimer* qtimer = &timer->timer;
    std::weak_ptr<QtTimer> weak = timer;
    QObject::connect(qtimer, &QTimer::timeout, this, [this, weak] {
        const auto fired = weak.lock();
        if (!fired || !fired->isValid() || fired->firing) {
            return;
        }
        fired->runCallback();
        if (!fired->repeats()) {
            fired->invalidate();
        }
        if (!fired->isValid()) {
            fired->timer.stop();
            fired->releaseCallback();
            std::erase(timers_, fired);
        }
        endOfEvent();
    });
    qtimer->start();
    return timer;
}

void QtRunLoop::addEndOfEventObserver(Task observer) {
    observers_.push_back(std::move(observer));
}

void QtRunLoop::endOfEvent() {
    for (std::size_t i = 0; i < observers_.size(); ++i) {
        observers_[i]();
    }
    // Timers invalidated from elsewhere stop here, and the loop lets go of them.
    std::erase_if(timers_, [](const std::shared_ptr<QtTimer>& timer) {
        if (timer->isValid()) {
            return false;
        }
        timer->timer.stop();
        return !timer->firing;
    });
}

}  // namespace jw::qt
