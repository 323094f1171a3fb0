// The real-time loop. Waits here are short, and every limit is generous: the tests check
// order and counts, never how fast anything happened.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/ThreadRunLoop.h"

namespace jw {
namespace {

using ::testing::ElementsAre;
using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Long enough never to be reached on a healthy machine; reaching it fails the test.
constexpr double generousTimeout = 30.0;

class ThreadRunLoopTest : public ::testing::Test {
  protected:
    ThreadRunLoop loop_;
    std::vector<std::string> events_;
};

// --- posted work ---------------------------------------------------------------------------

TEST_F(ThreadRunLoopTest, RunUntilChecksFirstStopsAfterTheEventThatSatisfiesItOrAtTheLimit) {
    loop_.post([&] { events_.push_back("first"); });
    loop_.post([&] { events_.push_back("second"); });
    EXPECT_TRUE(loop_.runUntil([] { return true; }, generousTimeout));
    EXPECT_TRUE(events_.empty()) << "ran something before checking";
    EXPECT_TRUE(loop_.runUntil([&] { return !events_.empty(); }, generousTimeout));
    EXPECT_THAT(events_, ElementsAre("first"));

    std::thread poster([&] {
        std::this_thread::sleep_for(milliseconds(20));
        loop_.post([&] { events_.push_back("later"); });
    });
    EXPECT_TRUE(loop_.runUntil([&] { return events_.size() == 3; }, generousTimeout));
    poster.join();

    int runs = 0;
    std::function<void()> busy = [&] {
        ++runs;
        loop_.post(busy);
    };
    loop_.post(busy);
    EXPECT_FALSE(loop_.runUntil([] { return false; }, 0.02)) << "work kept it from timing out";
    EXPECT_GT(runs, 0);
}

TEST_F(ThreadRunLoopTest, StopEndsRunOrRunUntilAfterTheEventThatAsks) {
    loop_.post([&] {
        events_.push_back("stopping");
        loop_.stop();
    });
    loop_.post([&] { events_.push_back("after"); });
    loop_.run();
    EXPECT_THAT(events_, ElementsAre("stopping"));
    loop_.runPending();
    loop_.post([&] { loop_.stop(); });
    EXPECT_FALSE(loop_.runUntil([] { return false; }, generousTimeout));

    std::thread stopper([&] { loop_.stop(); });  // from another thread
    loop_.run();
    stopper.join();
    EXPECT_THAT(events_, ElementsAre("stopping", "after"));
}

// --- timers --------------------------------------------------------------------------------

TEST_F(ThreadRunLoopTest, WorkThatKeepsPostingItselfDoesNotStarveATimer) {
    bool fired = false;
    int taskRuns = 0;
    std::function<void()> busy = [&] {
        ++taskRuns;
        if (!fired) {
            loop_.post(busy);
        }
    };
    loop_.post(busy);
    loop_.scheduleTimer(0.01, false, [&](Timer&) { fired = true; });
    EXPECT_TRUE(loop_.runUntil([&] { return fired; }, generousTimeout));
    EXPECT_GT(taskRuns, 0);
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

// --- the main run loop ---------------------------------------------------------------------

TEST(MainRunLoop, IsAThreadRunLoopUntilOneIsInstalledAndRunOnMainPostsToItFromAnyThread) {
    const auto previous = installMainRunLoop(nullptr);
    RunLoop& created = mainRunLoop();
    EXPECT_NE(dynamic_cast<ThreadRunLoop*>(&created), nullptr);
    EXPECT_EQ(&mainRunLoop(), &created);  // made once, then kept

    auto loop = std::make_shared<ThreadRunLoop>();
    installMainRunLoop(loop);
    EXPECT_EQ(&mainRunLoop(), loop.get());
    std::atomic<int> ran{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                runOnMain([&] { ++ran; });
            }
        });
    }
    EXPECT_TRUE(loop->runUntil([&] { return ran == 100; }, generousTimeout));
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(installMainRunLoop(previous), loop);
}

}  // namespace
}  // namespace jw
