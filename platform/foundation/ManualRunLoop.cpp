#include "ManualRunLoop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <utility>

#include "LoopTimer.h"

namespace jw {

namespace {

// As in ThreadRunLoop: a repeating timer never fires more often than every 0.1 ms, so an
// advance always ends.
constexpr double shortestRepeatingInterval = 1e-4;

double normalizedInterval(double seconds, bool repeats) {
    if (!(seconds > 0.0)) {  // also catches NaN
        seconds = 0.0;
    }
    return repeats ? std::max(seconds, shortestRepeatingInterval) : seconds;
}

}  // namespace

struct ManualRunLoop::TimerImpl final : detail::LoopTimer {
    TimerImpl(double intervalSeconds, bool repeats, TimerCallback callback, Date firstDue,
              unsigned long long sequence)
        : LoopTimer(intervalSeconds, repeats, std::move(callback)),
          firstDue(firstDue),
          sequence(sequence) {}

    // Counted from the first due time rather than summed firing by firing, so the n-th
    // firing lands exactly on start + n·interval without accumulated rounding.
    Date due() const {
        return firstDue.addingSeconds(static_cast<double>(firings) * intervalSeconds);
    }

    const Date firstDue;
    long long firings = 0;
    const unsigned long long sequence;
};

ManualRunLoop::ManualRunLoop(std::shared_ptr<ManualClock> clock) : clock_(std::move(clock)) {}

ManualRunLoop::~ManualRunLoop() {
    // Taken out of the list first: releasing a callback may schedule or invalidate timers.
    std::vector<std::shared_ptr<TimerImpl>> timers;
    {
        std::lock_guard lock(mutex_);
        timers.swap(timers_);
    }
    for (const auto& timer : timers) {
        timer->invalidate();
    }
}

void ManualRunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
}

std::shared_ptr<Timer> ManualRunLoop::scheduleTimer(double interval, bool repeats,
                                                    TimerCallback callback) {
    const double seconds = normalizedInterval(interval, repeats);
    std::lock_guard lock(mutex_);
    auto timer =
        std::make_shared<TimerImpl>(seconds, repeats, std::move(callback),
                                    clock_->current().addingSeconds(seconds), timerSequence_++);
    timers_.push_back(timer);
    return timer;
}

void ManualRunLoop::addEndOfEventObserver(Task observer) {
    observers_.push_back(std::move(observer));
}

int ManualRunLoop::drain() {
    int count = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return count;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        endOfEvent();
        ++count;
    }
}

void ManualRunLoop::advance(double seconds) {
    // Work already queued was ready before any of this time passed.
    drain();
    const Date target = clock_->current().addingSeconds(seconds > 0.0 ? seconds : 0.0);
    while (auto timer = nextTimerDueBy(target)) {
        if (timer->due() > clock_->current()) {
            clock_->set(timer->due());
        }
        fire(*timer);
        endOfEvent();
        drain();
    }
    if (target > clock_->current()) {
        clock_->set(target);
    }
    drain();
}

int ManualRunLoop::waitForPosted(double timeoutSeconds) {
    constexpr double longestWait = 1e6;
    if (!(timeoutSeconds > 0.0)) {
        timeoutSeconds = 0.0;
    }
    const auto timeout = std::chrono::duration<double>(std::min(timeoutSeconds, longestWait));
    {
        std::unique_lock lock(mutex_);
        posted_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
    }
    return drain();
}

int ManualRunLoop::activeTimerCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(timers_.begin(), timers_.end(),
                                          [](const auto& timer) { return timer->isValid(); }));
}

std::shared_ptr<ManualRunLoop::TimerImpl> ManualRunLoop::nextTimerDueBy(Date limit) const {
    std::lock_guard lock(mutex_);
    std::shared_ptr<TimerImpl> next;
    for (const auto& candidate : timers_) {
        if (!candidate->isValid() || candidate->firing || candidate->due() > limit) {
            continue;
        }
        // Same due time: the timer scheduled first fires first.
        if (!next || candidate->due() < next->due() ||
            (candidate->due() == next->due() && candidate->sequence < next->sequence)) {
            next = candidate;
        }
    }
    return next;
}

void ManualRunLoop::fire(TimerImpl& timer) {
    timer.runCallback();
    if (!timer.repeating) {
        timer.invalidate();
    } else if (timer.isValid()) {
        // Every firing is delivered here, however many fall within one advance: tests
        // count them.
        ++timer.firings;
    }
    if (!timer.isValid()) {
        timer.releaseCallback();  // invalidate() left it alone while it ran
    }
    // Their callbacks are already gone (see TimerImpl::invalidate), so nothing runs here.
    std::lock_guard lock(mutex_);
    std::erase_if(
        timers_, [](const std::shared_ptr<TimerImpl>& candidate) { return !candidate->isValid(); });
}

void ManualRunLoop::endOfEvent() {
    for (std::size_t i = 0; i < observers_.size(); ++i) {
        observers_[i]();
    }
}

}  // namespace jw
