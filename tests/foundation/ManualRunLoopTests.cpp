#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/ManualRunLoop.h"

namespace jw {
namespace {

using ::testing::ElementsAre;

constexpr Date start{1'800'000'000.0};

class ManualRunLoopTest : public ::testing::Test {
  protected:
    // Seconds since `start`, to keep the expectations readable.
    double elapsed() const { return clock_->current().secondsSince(start); }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>(start);
    ManualRunLoop loop_{clock_};
    std::vector<std::string> events_;
};

// --- posted work ---------------------------------------------------------------------------

TEST_F(ManualRunLoopTest, DrainAlsoRunsWorkThatPostedWorkPosts) {
    loop_.post([&] {
        events_.push_back("outer");
        loop_.post([&] {
            events_.push_back("inner");
            loop_.post([&] { events_.push_back("innermost"); });
        });
    });
    loop_.post([&] { events_.push_back("second"); });
    EXPECT_EQ(loop_.drain(), 4);
    EXPECT_THAT(events_, ElementsAre("outer", "second", "inner", "innermost"));
}

TEST_F(ManualRunLoopTest, DrainDoesNotMoveTimeOrFireTimers) {
    loop_.scheduleTimer(0.0, false, [&](Timer&) { events_.push_back("timer"); });
    loop_.post([] {});
    EXPECT_EQ(loop_.drain(), 1);
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(elapsed(), 0.0);
}

TEST_F(ManualRunLoopTest, WorkPostedFromOtherThreadsRunsOnlyOnTheLoop) {
    const auto loopThread = std::this_thread::get_id();
    std::atomic<int> ranElsewhere{0};
    int ran = 0;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                loop_.post([&] {
                    if (std::this_thread::get_id() != loopThread) {
                        ++ranElsewhere;
                    }
                    ++ran;
                });
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(loop_.drain(), 200);
    EXPECT_EQ(ran, 200);
    EXPECT_EQ(ranElsewhere, 0);
}

TEST_F(ManualRunLoopTest, WaitForPostedReturnsOnceAnotherThreadPosts) {
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop_.post([&] {
            events_.push_back("completion");
            loop_.post([&] { events_.push_back("follow-up"); });
        });
    });
    const int ran = loop_.waitForPosted(30.0);
    poster.join();
    EXPECT_EQ(ran, 2);
    EXPECT_THAT(events_, ElementsAre("completion", "follow-up"));
}

TEST_F(ManualRunLoopTest, WaitForPostedRunsWorkAlreadyQueuedWithoutWaiting) {
    loop_.post([&] { events_.push_back("queued"); });
    EXPECT_EQ(loop_.waitForPosted(30.0), 1);
    EXPECT_THAT(events_, ElementsAre("queued"));
}

TEST_F(ManualRunLoopTest, WaitForPostedGivesUpAfterTheTimeout) {
    EXPECT_EQ(loop_.waitForPosted(0.01), 0);
    EXPECT_EQ(elapsed(), 0.0);  // real time passed, not the manual clock's
}

// --- timers --------------------------------------------------------------------------------

TEST_F(ManualRunLoopTest, OneShotTimerFiresOnceAtItsDueTime) {
    std::vector<double> firedAt;
    auto timer = loop_.scheduleTimer(10.0, false, [&](Timer&) { firedAt.push_back(elapsed()); });
    EXPECT_TRUE(timer->isValid());
    EXPECT_EQ(timer->interval(), 10.0);
    EXPECT_FALSE(timer->repeats());

    loop_.advance(9.5);
    EXPECT_TRUE(firedAt.empty());
    loop_.advance(0.5);
    EXPECT_THAT(firedAt, ElementsAre(10.0));
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(loop_.activeTimerCount(), 0);

    loop_.advance(100.0);
    EXPECT_THAT(firedAt, ElementsAre(10.0));
}

TEST_F(ManualRunLoopTest, AdvanceStopsTheClockAtEachDueTimeThenAtTheEnd) {
    std::vector<double> firedAt;
    loop_.scheduleTimer(3.0, false, [&](Timer&) { firedAt.push_back(elapsed()); });
    loop_.scheduleTimer(1.0, false, [&](Timer&) { firedAt.push_back(elapsed()); });
    loop_.advance(5.0);
    EXPECT_THAT(firedAt, ElementsAre(1.0, 3.0));
    EXPECT_EQ(elapsed(), 5.0);
}

TEST_F(ManualRunLoopTest, RepeatingTimerFiresForEveryIntervalInOneAdvance) {
    std::vector<double> firedAt;
    auto timer = loop_.scheduleTimer(3.0, true, [&](Timer&) { firedAt.push_back(elapsed()); });
    loop_.advance(10.0);
    EXPECT_THAT(firedAt, ElementsAre(3.0, 6.0, 9.0));
    EXPECT_TRUE(timer->isValid());
    loop_.advance(2.0);
    EXPECT_THAT(firedAt, ElementsAre(3.0, 6.0, 9.0, 12.0));
}

TEST_F(ManualRunLoopTest, TimersDueAtTheSameInstantFireInSchedulingOrder) {
    loop_.scheduleTimer(5.0, false, [&](Timer&) { events_.push_back("first"); });
    loop_.scheduleTimer(5.0, false, [&](Timer&) { events_.push_back("second"); });
    loop_.scheduleTimer(5.0, false, [&](Timer&) { events_.push_back("third"); });
    loop_.advance(5.0);
    EXPECT_THAT(events_, ElementsAre("first", "second", "third"));
}

TEST_F(ManualRunLoopTest, TimersInterleaveByDueTime) {
    loop_.scheduleTimer(2.0, true,
                        [&](Timer&) { events_.push_back("A" + std::to_string(int(elapsed()))); });
    loop_.scheduleTimer(3.0, false,
                        [&](Timer&) { events_.push_back("B" + std::to_string(int(elapsed()))); });
    loop_.advance(6.0);
    EXPECT_THAT(events_, ElementsAre("A2", "B3", "A4", "A6"));
}

TEST_F(ManualRunLoopTest, WorkPostedByATimerRunsBeforeTheNextFiring) {
    loop_.scheduleTimer(1.0, true, [&](Timer&) {
        events_.push_back("fire");
        loop_.post([&] { events_.push_back("posted at " + std::to_string(int(elapsed()))); });
    });
    loop_.advance(2.5);
    EXPECT_THAT(events_, ElementsAre("fire", "posted at 1", "fire", "posted at 2"));
}

TEST_F(ManualRunLoopTest, AdvanceRunsAlreadyQueuedWorkBeforeTimePasses) {
    loop_.post([&] { events_.push_back("queued at " + std::to_string(int(elapsed()))); });
    loop_.scheduleTimer(1.0, false, [&](Timer&) { events_.push_back("timer"); });
    loop_.advance(2.0);
    EXPECT_THAT(events_, ElementsAre("queued at 0", "timer"));
}

TEST_F(ManualRunLoopTest, TimerScheduledByACallbackCountsFromThatFiring) {
    std::vector<double> firedAt;
    loop_.scheduleTimer(2.0, false, [&](Timer&) {
        firedAt.push_back(elapsed());
        loop_.scheduleTimer(1.5, false, [&](Timer&) { firedAt.push_back(elapsed()); });
    });
    loop_.advance(5.0);
    EXPECT_THAT(firedAt, ElementsAre(2.0, 3.5));
}

TEST_F(ManualRunLoopTest, ACallbackMayInvalidateAnotherTimerDueAtTheSameTime) {
    std::shared_ptr<Timer> second;
    loop_.scheduleTimer(1.0, false, [&](Timer&) {
        events_.push_back("first");
        second->invalidate();
    });
    second = loop_.scheduleTimer(1.0, false, [&](Timer&) { events_.push_back("second"); });
    loop_.advance(1.0);
    EXPECT_THAT(events_, ElementsAre("first"));
}

TEST_F(ManualRunLoopTest, ZeroIntervalOneShotFiresAtTheNextAdvance) {
    loop_.scheduleTimer(0.0, false, [&](Timer&) { events_.push_back("now"); });
    loop_.advance(0.0);
    EXPECT_THAT(events_, ElementsAre("now"));
    EXPECT_EQ(elapsed(), 0.0);
}

TEST_F(ManualRunLoopTest, AdvancingBackwardsDoesNotTurnTheClockBack) {
    loop_.advance(-5.0);
    EXPECT_EQ(elapsed(), 0.0);
}

TEST_F(ManualRunLoopTest, ARepeatingTimerWithoutAnIntervalStillLetsAdvanceFinish) {
    int firings = 0;
    auto timer = loop_.scheduleTimer(0.0, true, [&](Timer&) { ++firings; });
    EXPECT_GT(timer->interval(), 0.0);
    loop_.advance(0.01);
    EXPECT_GT(firings, 0);
    EXPECT_LE(firings, 101);
}

// --- end of event --------------------------------------------------------------------------

TEST_F(ManualRunLoopTest, ObserversDoNotRunWhenNothingHappened) {
    int observed = 0;
    loop_.addEndOfEventObserver([&] { ++observed; });
    loop_.drain();
    loop_.advance(10.0);
    EXPECT_EQ(observed, 0);
}

TEST_F(ManualRunLoopTest, AnObserverMayAddAnotherObserver) {
    bool added = false;
    loop_.addEndOfEventObserver([&] {
        events_.push_back("first");
        if (!added) {
            added = true;
            loop_.addEndOfEventObserver([&] { events_.push_back("added"); });
        }
    });
    loop_.post([] {});
    loop_.post([] {});
    loop_.drain();
    EXPECT_THAT(events_, ElementsAre("first", "added", "first", "added"));
}

}  // namespace
}  // namespace jw
