#pragma once
// What the timers of both run loops share (an implementation detail of ThreadRunLoop and
// ManualRunLoop): validity, the callback and its release, and the firing flag.
//
// - invalidate() marks the timer invalid and drops its callback, unless the callback is
//   running: then the loop drops it once the callback returns (releaseCallback()).
// - runCallback() runs the callback with the firing flag set, also when it throws; while the
//   flag is set the loop does not fire the timer again (a loop run from inside the callback).

#include <atomic>
#include <utility>

#include "RunLoop.h"

namespace jw::detail {

struct LoopTimer : Timer {
    LoopTimer(double intervalSeconds, bool repeats, RunLoop::TimerCallback callback)
        : intervalSeconds(intervalSeconds), repeating(repeats), callback(std::move(callback)) {}

    void invalidate() override {
        valid.store(false);
        if (!firing) {
            releaseCallback();
        }
    }
    bool isValid() const override { return valid.load(); }
    double interval() const override { return intervalSeconds; }
    bool repeats() const override { return repeating; }

    // Drops the callback and what it captured, which is often this timer's own handle: an
    // invalid timer must not keep itself alive. Moved out first, so an invalidate() reached
    // from the captures' destructors finds nothing left to release.
    void releaseCallback() {
        RunLoop::TimerCallback released = std::move(callback);
        callback = nullptr;
    }

    void runCallback() {
        struct FiringScope {
            LoopTimer& timer;
            explicit FiringScope(LoopTimer& t) : timer(t) { timer.firing = true; }
            ~FiringScope() { timer.firing = false; }
        } scope(*this);
        callback(*this);
    }

    const double intervalSeconds;
    const bool repeating;
    RunLoop::TimerCallback callback;
    std::atomic<bool> valid{true};
    bool firing = false;
};

}  // namespace jw::detail
