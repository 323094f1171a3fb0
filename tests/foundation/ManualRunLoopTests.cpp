// The manual loop beyond the contract every loop keeps (RunLoopContractTests): when advance()
// stops the clock and in which order it fires, what drain() leaves alone, and waitForPosted.
// Each case schedules and posts, advances, and compares what ran as "event@second" lines.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/ManualRunLoop.h"

namespace jw {
namespace {

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

struct AdvanceCase {
    const char* rule;
    std::function<void(ManualRunLoopTest&, ManualRunLoop&)> setUp;
    double advance;
    const char* expected;
    int clockAfter;
};

class ManualAdvance : public ManualRunLoopTest,
                      public ::testing::WithParamInterface<AdvanceCase> {};

TEST_P(ManualAdvance, FiresInTimeOrderAndStopsTheClockAtEachDueTime) {
    GetParam().setUp(*this, loop_);
    loop_.advance(GetParam().advance);
    EXPECT_EQ(events_, GetParam().expected) << GetParam().rule;
    EXPECT_EQ(elapsed(), GetParam().clockAfter) << GetParam().rule;
}

const AdvanceCase kAdvanceCases[] = {
    {"a repeating timer fires for every interval that passes",
     [](ManualRunLoopTest& f, ManualRunLoop& loop) {
         loop.scheduleTimer(3.0, true, f.recorder("tick"));
     },
     10.0, "tick@3 tick@6 tick@9", 10},
    {"timers due at one instant fire in scheduling order; they interleave by due time",
     [](ManualRunLoopTest& f, ManualRunLoop& loop) {
         loop.scheduleTimer(2.0, true, f.recorder("A"));
         loop.scheduleTimer(2.0, false, f.recorder("B"));
         loop.scheduleTimer(3.0, false, f.recorder("C"));
     },
     4.0, "A@2 B@2 C@3 A@4", 4},
    {"a timer scheduled by a callback counts from that firing",
     [](ManualRunLoopTest& f, ManualRunLoop& loop) {
         loop.scheduleTimer(2.0, false, [&f, &loop](Timer&) {
             f.record("first");
             loop.scheduleTimer(1.5, false, f.recorder("second"));
         });
     },
     5.0, "first@2 second@3", 5},
    {"a callback may invalidate another timer due at the same time",
     [](ManualRunLoopTest& f, ManualRunLoop& loop) {
         auto second = std::make_shared<std::shared_ptr<Timer>>();
         loop.scheduleTimer(1.0, false, [&f, second](Timer&) {
             f.record("first");
             (*second)->invalidate();
         });
         *second = loop.scheduleTimer(1.0, false, f.recorder("second"));
     },
     1.0, "first@1", 1},
    {"a zero interval fires at the next advance, even of nothing",
     [](ManualRunLoopTest& f, ManualRunLoop& loop) {
         loop.scheduleTimer(0.0, false, f.recorder("now"));
     },
     0.0, "now@0", 0},
    {"the clock never moves backwards", [](ManualRunLoopTest&, ManualRunLoop&) {}, -5.0, "", 0},
    {"observers run after events only, and one may add another",
     [](ManualRunLoopTest& f, ManualRunLoop& loop) {
         auto added = std::make_shared<bool>(false);
         loop.addEndOfEventObserver([&f, &loop, added] {
             f.record("observer");
             if (!std::exchange(*added, true)) {
                 loop.addEndOfEventObserver([&f] { f.record("added"); });
             }
         });
         loop.scheduleTimer(5.0, false, f.recorder("timer"));
     },
     10.0, "timer@5 observer@5 added@5", 10},
};

INSTANTIATE_TEST_SUITE_P(Cases, ManualAdvance, ::testing::ValuesIn(kAdvanceCases));

TEST_F(ManualRunLoopTest, DrainRunsWhatPostedWorkPostsButNoTimerAndMovesNoTime) {
    loop_.scheduleTimer(0.0, false, recorder("timer"));
    loop_.post([&] {
        record("outer");
        loop_.post([&] { record("inner"); });
    });
    loop_.post([&] { record("second"); });
    EXPECT_EQ(loop_.drain(), 3);
    EXPECT_EQ(events_, "outer@0 second@0 inner@0");
}

TEST_F(ManualRunLoopTest, ARepeatingTimerWithoutAnIntervalStillLetsAdvanceFinish) {
    int firings = 0;
    auto timer = loop_.scheduleTimer(0.0, true, [&](Timer&) { ++firings; });
    loop_.advance(0.01);
    EXPECT_GT(firings, 0);
    EXPECT_LE(firings, 101);
}

// Work already queued runs without waiting; otherwise it waits, in real time, for work from
// another thread, or gives up after the timeout.
TEST_F(ManualRunLoopTest, WaitForPostedRunsQueuedWorkOrWaitsForMore) {
    int ran = 0;
    for (int i = 0; i < 3; ++i) {
        loop_.post([&] { ++ran; });
    }
    EXPECT_EQ(loop_.waitForPosted(30.0), 3);
    std::thread poster([&] { loop_.post([&] { loop_.post([&] { ++ran; }); }); });
    EXPECT_EQ(loop_.waitForPosted(30.0) + loop_.waitForPosted(0.01), 2);
    poster.join();
    EXPECT_EQ(ran, 4);
    EXPECT_EQ(loop_.waitForPosted(0.01), 0) << "gives up after the timeout";
    EXPECT_EQ(elapsed(), 0) << "real time passed, not the manual clock's";
}

}  // namespace
}  // namespace jw
