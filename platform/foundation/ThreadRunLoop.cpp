#include "ThreadRunLoop.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

#include "LoopTimer.h"

namespace jw {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Intervals longer than this (about 31 years) are treated as this, so the arithmetic on
// steady_clock's nanosecond counts cannot overflow.
constexpr double longestInterval = 1e9;
// A repeating timer never fires more often than this; a zero interval would otherwise keep
// the loop busy with it for ever.
constexpr double shortestRepeatingInterval = 1e-4;

double normalizedInterval(double seconds, bool repeats) {
    if (!(seconds > 0.0)) {  // also catches NaN
        seconds = 0.0;
    }
    seconds = std::min(seconds, longestInterval);
    return repeats ? std::max(seconds, shortestRepeatingInterval) : seconds;
}

SteadyClock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(seconds));
}

SteadyClock::time_point deadlineAfter(double seconds) {
    if (std::isnan(seconds) || seconds <= 0.0) {
        return SteadyClock::now();
    }
    if (seconds >= longestInterval) {
        return SteadyClock::time_point::max();
    }
    return SteadyClock::now() + toDuration(seconds);
}

}  // namespace

struct ThreadRunLoop::TimerImpl final : detail::LoopTimer {
    TimerImpl(double intervalSeconds, bool repeats, TimerCallback callback,
              SteadyClock::time_point due, unsigned long long sequence)
        : LoopTimer(intervalSeconds, repeats, std::move(callback)),
          period(toDuration(intervalSeconds)),
          due(due),
          sequence(sequence) {}

    const SteadyClock::duration period;
    SteadyClock::time_point due;
    const unsigned long long sequence;
};

ThreadRunLoop::ThreadRunLoop() = default;

ThreadRunLoop::~ThreadRunLoop() {
    // Taken out of the list first: releasing a callback may schedule or invalidate timers.
    const auto timers = std::move(timers_);
    for (const auto& timer : timers) {
        timer->invalidate();
    }
}

void ThreadRunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

std::shared_ptr<Timer> ThreadRunLoop::scheduleTimer(double interval, bool repeats,
                                                    TimerCallback callback) {
    const double seconds = normalizedInterval(interval, repeats);
    auto timer =
        std::make_shared<TimerImpl>(seconds, repeats, std::move(callback),
                                    SteadyClock::now() + toDuration(seconds), timerSequence_++);
    timers_.push_back(timer);
    return timer;
}

void ThreadRunLoop::addEndOfEventObserver(Task observer) {
    observers_.push_back(std::move(observer));
}

void ThreadRunLoop::run() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopRequested_) {
                stopRequested_ = false;
                return;
            }
        }
        runOne(SteadyClock::time_point::max());
    }
}

bool ThreadRunLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    const auto deadline = deadlineAfter(timeoutSeconds);
    while (!done()) {
        // The deadline is checked between events too: a loop that always has work would
        // otherwise never time out.
        if (SteadyClock::now() >= deadline || !runOne(deadline)) {
            std::lock_guard lock(mutex_);
            stopRequested_ = false;
            break;
        }
    }
    return done();
}

int ThreadRunLoop::runPending() {
    const auto now = SteadyClock::now();
    int count = 0;
    while (fireDueTimer(now) || runQueuedTask()) {
        ++count;
    }
    return count;
}

void ThreadRunLoop::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
}

bool ThreadRunLoop::runOne(SteadyClock::time_point deadline) {
    for (;;) {
        const auto now = SteadyClock::now();
        // Due timers go before queued work: a task that keeps posting itself cannot starve
        // them, and a repeating timer is never due again right after it fired.
        if (fireDueTimer(now) || runQueuedTask()) {
            return true;
        }
        const auto nextDue = nextTimerDue();
        std::unique_lock lock(mutex_);
        if (stopRequested_ || now >= deadline) {
            return false;
        }
        const auto wakeAt = std::min(deadline, nextDue);
        const auto ready = [this] { return stopRequested_ || !tasks_.empty(); };
        if (wakeAt == SteadyClock::time_point::max()) {
            wake_.wait(lock, ready);
        } else {
            wake_.wait_until(lock, wakeAt, ready);
        }
    }
}

bool ThreadRunLoop::fireDueTimer(SteadyClock::time_point now) {
    std::shared_ptr<TimerImpl> timer;
    for (const auto& candidate : timers_) {
        if (!candidate->isValid() || candidate->firing || candidate->due > now) {
            continue;
        }
        if (!timer || candidate->due < timer->due ||
            (candidate->due == timer->due && candidate->sequence < timer->sequence)) {
            timer = candidate;
        }
    }
    if (!timer) {
        return false;
    }
    const auto start = eventStart();
    timer->runCallback();
    if (!timer->repeating) {
        timer->invalidate();
    } else if (timer->isValid()) {
        // The next firing keeps the timer's phase (counted from the previous due time, not
        // from when the callback ran), and firings that were missed while the loop was busy
        // are skipped rather than delivered as a burst.
        timer->due += timer->period;
        const auto afterCallback = SteadyClock::now();
        if (timer->due <= afterCallback) {
            const auto missed = (afterCallback - timer->due) / timer->period + 1;
            timer->due += missed * timer->period;
        }
    }
    if (!timer->isValid()) {
        timer->releaseCallback();  // invalidate() left it alone while it ran
    }
    removeInvalidTimers();
    endOfEvent(start);
    return true;
}

bool ThreadRunLoop::runQueuedTask() {
    Task task;
    {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) {
            return false;
        }
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    const auto start = eventStart();
    task();
    endOfEvent(start);
    return true;
}

SteadyClock::time_point ThreadRunLoop::nextTimerDue() const {
    auto next = SteadyClock::time_point::max();
    for (const auto& timer : timers_) {
        if (timer->isValid()) {
            next = std::min(next, timer->due);
        }
    }
    return next;
}

void ThreadRunLoop::removeInvalidTimers() {
    // Their callbacks are already gone (see TimerImpl::invalidate), so nothing runs here.
    std::erase_if(timers_,
                  [](const std::shared_ptr<TimerImpl>& timer) { return !timer->isValid(); });
}

void ThreadRunLoop::setEventDurationObserver(EventDurationObserver observer) {
    eventDurationObserver_ = std::move(observer);
}

SteadyClock::time_point ThreadRunLoop::eventStart() const {
    // Unwatched, an event costs no clock reading.
    return eventDurationObserver_ ? SteadyClock::now() : SteadyClock::time_point{};
}

void ThreadRunLoop::endOfEvent(SteadyClock::time_point start) {
    // Indexed, and a deque, so an observer may add another observer while they run.
    for (std::size_t i = 0; i < observers_.size(); ++i) {
        observers_[i]();
    }
    if (eventDurationObserver_ && start != SteadyClock::time_point{}) {
        eventDurationObserver_(SteadyClock::now() - start);
    }
}

}  // namespace jw
