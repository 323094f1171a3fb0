// What every run loop does, real-time and manual alike (order, threads, timers, observers),
// then what only each does. The real-time tests check order and counts, never speed.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/ManualRunLoop.h"
#include "platform/foundation/ThreadRunLoop.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

// Runs a ManualRunLoop: "until" advances the clock in small steps.
struct ManualLoop {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ManualRunLoop loop{clock};

    int runPending() { return loop.drain(); }
    bool runUntil(const std::function<bool()>& done) {
        for (int step = 0; step < 100'000 && !done(); ++step) {
            loop.advance(0.001);
        }
        return done();
    }
    void runAWhile() { loop.advance(1.0); }
    // Other threads' work arrives in real time.
    bool runUntilPosted(const std::function<bool()>& done) {
        while (!done() && loop.waitForPosted(30.0) > 0) {
        }
        return done();
    }
};

// Runs a ThreadRunLoop on this thread, with limits never reached on a healthy machine.
struct RealLoop {
    ThreadRunLoop loop;

    int runPending() { return loop.runPending(); }
    bool runUntil(const std::function<bool()>& done) { return loop.runUntil(done, 30.0); }
    void runAWhile() {
        loop.runUntil([] { return false; }, 0.05);
    }
    bool runUntilPosted(const std::function<bool()>& done) { return runUntil(done); }
};

template <typename Driver>
class RunLoopContract : public ::testing::Test {
  protected:
    // "a b c"
    std::string events() const { return test::joined(events_, " "); }
    void record(const std::string& event) { events_.push_back(event); }

    Driver driver_;
    RunLoop& loop_ = driver_.loop;
    std::vector<std::string> events_;
};

using Loops = ::testing::Types<ManualLoop, RealLoop>;
TYPED_TEST_SUITE(RunLoopContract, Loops);

// Posted work in order, then timers in due order (in scheduling order when due together), each
// followed by the observers in order (one added by an observer runs in the same pass); what each
// posts or schedules takes its turn, and a timer invalidated by another due with it never fires.
TYPED_TEST(RunLoopContract, WorkAndTimersRunInOrderEachFollowedByTheObservers) {
    this->loop_.addEndOfEventObserver([this] { this->record("1"); });
    this->loop_.addEndOfEventObserver([this, added = false]() mutable {
        this->record("2");
        if (!std::exchange(added, true)) {
            this->loop_.addEndOfEventObserver([this] { this->record("3"); });
        }
    });
    this->loop_.post([this] { this->record("a"); });
    this->loop_.post([this] {
        this->record("b");
        this->loop_.post([this] { this->record("posted-by-b"); });
    });
    EXPECT_EQ(this->driver_.runPending(), 3);
    EXPECT_EQ(this->driver_.runPending(), 0);
    auto dropped = std::make_shared<std::shared_ptr<Timer>>();
    this->loop_.scheduleTimer(0.2, false, [this, dropped](Timer&) {
        this->record("later");
        (*dropped)->invalidate();
    });
    this->loop_.scheduleTimer(0.2, false, [this](Timer&) { this->record("as-late"); });
    *dropped = this->loop_.scheduleTimer(0.2, false, [this](Timer&) { this->record("dropped"); });
    // What a timer schedules counts from its firing: due at 0.205 at the soonest, after "later"
    // (counted from the start it would come before).
    auto sooner = this->loop_.scheduleTimer(0.01, false, [this](Timer&) {
        this->record("sooner");
        this->loop_.post([this] { this->record("posted"); });
        this->loop_.scheduleTimer(0.195, false, [this](Timer&) { this->record("scheduled"); });
    });
    EXPECT_TRUE(sooner->isValid());
    ASSERT_TRUE(this->driver_.runUntil([this] { return this->events_.size() == 32; }));
    this->driver_.runAWhile();
    EXPECT_EQ(this->events(),
              "a 1 2 3 b 1 2 3 posted-by-b 1 2 3 sooner 1 2 3 posted 1 2 3 later 1 2 3 as-late 1 "
              "2 3 scheduled 1 2 3");
    EXPECT_FALSE(sooner->isValid()) << "a one-shot timer is done once it fired";
}

TYPED_TEST(RunLoopContract, WorkFromOtherThreadsRunsOnTheLoopThreadInEachThreadsOrder) {
    constexpr int threads = 4;
    constexpr int perThread = 200;
    const auto loopThread = std::this_thread::get_id();
    std::vector<std::vector<int>> seen(threads);
    std::atomic<int> total{0};
    bool allOnLoopThread = true;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                this->loop_.post([&, t, i] {
                    allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
                    seen[t].push_back(i);
                    ++total;
                });
            }
        });
    }
    const bool finished =
        this->driver_.runUntilPosted([&] { return total == threads * perThread; });
    for (auto& poster : posters) {
        poster.join();
    }
    ASSERT_TRUE(finished);
    EXPECT_TRUE(allOnLoopThread);
    std::vector<int> inOrder(perThread);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(seen[t], inOrder) << "thread " << t;
    }
}

// A repeating timer fires until invalidated, an invalidated one never; invalidating releases
// what the callback holds, even its own handle.
TYPED_TEST(RunLoopContract, ARepeatingTimerFiresUntilInvalidatedAndThenReleasesWhatItHolds) {
    int firings = 0;
    auto owned = std::make_shared<int>(0);
    std::weak_ptr<int> watch = owned;
    auto holder = std::make_shared<std::shared_ptr<Timer>>();
    *holder = this->loop_.scheduleTimer(0.005, true, [&firings, holder, owned](Timer&) {
        if (++firings == 3) {
            (*holder)->invalidate();
        }
    });
    auto never =
        this->loop_.scheduleTimer(0.001, true, [this, owned](Timer&) { this->record("never"); });
    never->invalidate();
    never->invalidate();  // harmless the second time
    EXPECT_FALSE(never->isValid());
    owned.reset();
    ASSERT_TRUE(this->driver_.runUntil([&] { return firings == 3; }));
    this->driver_.runAWhile();
    holder.reset();
    EXPECT_EQ(firings, 3);
    EXPECT_EQ(this->events(), "");
    EXPECT_TRUE(watch.expired());
}

// --- the real-time loop ----------------------------------------------------------------

// Long enough never to be reached on a healthy machine; reaching it fails the test.
constexpr double generousTimeout = 30.0;

class ThreadRunLoopTest : public ::testing::Test {
  protected:
    ThreadRunLoop loop_;
    std::vector<std::string> events_;
};

// runUntil checks first and stops after the event that satisfies it; stop() ends run() or runUntil
// after the event that asks, or from another thread. (That it waits for work from other threads,
// and stops at its limit however busy, is checked above and below.)
TEST_F(ThreadRunLoopTest, RunUntilChecksFirstAndStopEndsRunOrRunUntilAfterTheEventThatAsks) {
    loop_.post([&] { events_.push_back("first"); });
    loop_.post([&] { events_.push_back("second"); });
    EXPECT_TRUE(loop_.runUntil([] { return true; }, generousTimeout));
    EXPECT_TRUE(events_.empty()) << "ran something before checking";
    EXPECT_TRUE(loop_.runUntil([&] { return !events_.empty(); }, generousTimeout));
    EXPECT_THAT(events_, ElementsAre("first"));
    loop_.post([&] {
        events_.push_back("stopping");
        loop_.stop();
    });
    loop_.post([&] { events_.push_back("after"); });
    loop_.run();
    EXPECT_THAT(events_, ElementsAre("first", "second", "stopping"));
    loop_.runPending();
    loop_.post([&] { loop_.stop(); });
    EXPECT_FALSE(loop_.runUntil([] { return false; }, generousTimeout));

    std::thread stopper([&] { loop_.stop(); });  // from another thread
    loop_.run();
    stopper.join();
    EXPECT_THAT(events_, ElementsAre("first", "second", "stopping", "after"));
}

// --- timers --------------------------------------------------------------------------------

// Work that keeps posting itself starves neither a timer nor runUntil's limit.
TEST_F(ThreadRunLoopTest, WorkThatKeepsPostingItselfStarvesNeitherATimerNorTheLimit) {
    bool fired = false;
    int runs = 0;
    std::function<void()> busy = [&] {
        ++runs;
        loop_.post(busy);
    };
    loop_.post(busy);
    loop_.scheduleTimer(0.01, false, [&](Timer&) { fired = true; });
    EXPECT_TRUE(loop_.runUntil([&] { return fired; }, generousTimeout));
    EXPECT_FALSE(loop_.runUntil([] { return false; }, 0.02)) << "work kept it from timing out";
    EXPECT_GT(runs, 1);
}

TEST_F(ThreadRunLoopTest, LateRepeatingTimerSkipsMissedFiringsInsteadOfBursting) {
    int firings = 0;
    loop_.scheduleTimer(0.1, true, [&](Timer&) { ++firings; });
    // The loop is away for several intervals; when it comes back the timer fires once, and
    // its next firing is ahead on its own schedule rather than due at once.
    std::this_thread::sleep_for(milliseconds(350));
    EXPECT_EQ(loop_.runPending(), 1);
    EXPECT_EQ(firings, 1);
}

// --- the manual loop ------------------------------------------------------------------

constexpr Date start{1'800'000'000.0};

class ManualRunLoopTest : public ::testing::Test {
  public:
    int elapsed() const { return int(clock_->current().secondsSince(start)); }
    // Records `name@<whole seconds since start>`.
    void record(const std::string& name) {
        events_ += (events_.empty() ? "" : " ") + name + "@" + std::to_string(elapsed());
    }
    std::function<void(Timer&)> recorder(const std::string& name) {
        return [this, name](Timer&) { record(name); };
    }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>(start);
    ManualRunLoop loop_{clock_};
    std::string events_;
};

// advance() fires what falls due in time order, stopping the clock at each due time, a zero
// interval at the next advance even of nothing, and finishes even with a repeating timer without
// an interval; the clock never moves backwards; drain() runs posted work only and moves no time;
// waitForPosted runs work already queued without waiting (work from other threads is waited
// for: see the contract) and with none gives up after the timeout, in real time.
TEST_F(ManualRunLoopTest, AdvanceDrainAndWaitForPosted) {
    loop_.scheduleTimer(3.0, true, recorder("tick"));
    loop_.scheduleTimer(0.0, false, recorder("now"));
    loop_.post([&] { record("posted"); });
    EXPECT_EQ(loop_.drain(), 1);
    record("drained");
    loop_.advance(0.0);
    loop_.advance(-5.0);
    loop_.advance(10.0);
    EXPECT_EQ(events_, "posted@0 drained@0 now@0 tick@3 tick@6 tick@9");
    EXPECT_EQ(elapsed(), 10);

    int firings = 0;
    loop_.scheduleTimer(0.0, true, [&](Timer&) { ++firings; });
    loop_.advance(0.01);
    EXPECT_GT(firings, 0);
    EXPECT_LE(firings, 101);
    for (int i = 0; i < 3; ++i) {
        loop_.post([] {});
    }
    EXPECT_EQ(loop_.waitForPosted(30.0), 3);
    EXPECT_EQ(loop_.waitForPosted(0.01), 0) << "gives up after the timeout";
    EXPECT_EQ(elapsed(), 10) << "real time passed, not the manual clock's";
}

}  // namespace
}  // namespace jw
