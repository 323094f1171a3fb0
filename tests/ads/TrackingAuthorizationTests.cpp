// The tracking-consent stand-in answers like the platform service: later, on another thread.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/ads/TrackingAuthorization.h"

namespace jw::ads {
namespace {

TEST(TrackingAuthorization, AnswersNotDeterminedOnAnotherThread) {
    std::promise<std::pair<TrackingAuthorizationStatus, std::thread::id>> answer;
    auto answered = answer.get_future();
    TrackingManager::requestTrackingAuthorization([&answer](TrackingAuthorizationStatus status) {
        answer.set_value({status, std::this_thread::get_id()});
    });
    // A bound on a hang, not a timing assumption: the answer normally comes at once.
    ASSERT_EQ(answered.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto [status, thread] = answered.get();
    EXPECT_EQ(status, TrackingAuthorizationStatus::notDetermined);
    EXPECT_EQ(static_cast<int>(status), 0);
    EXPECT_NE(thread, std::this_thread::get_id());
    EXPECT_EQ(TrackingManager::trackingAuthorizationStatus(),
              TrackingAuthorizationStatus::notDetermined);
}

TEST(TrackingAuthorization, EveryRequestIsAnsweredOnce) {
    std::atomic<int> answers{0};
    std::promise<void> last;
    auto done = last.get_future();
    for (int i = 0; i < 3; ++i) {
        TrackingManager::requestTrackingAuthorization(
            [&answers, &last](TrackingAuthorizationStatus) {
                if (++answers == 3) {
                    last.set_value();
                }
            });
    }
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(answers.load(), 3);
}

}  // namespace
}  // namespace jw::ads
