// The tracking-consent stand-in answers like the platform service: later, on another thread.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "platform/ads/TrackingAuthorization.h"

namespace jw::ads {
namespace {

// Each of three requests is answered "not determined" (0), off the asking thread.
TEST(TrackingAuthorization, EveryRequestIsAnsweredNotDeterminedOnAnotherThread) {
    std::mutex mutex;
    std::string answers;
    int count = 0;
    std::promise<void> third;
    for (int i = 0; i < 3; ++i) {
        TrackingManager::requestTrackingAuthorization(
            [&, asking = std::this_thread::get_id()](TrackingAuthorizationStatus status) {
                std::lock_guard lock(mutex);
                answers += std::to_string(static_cast<int>(status)) +
                           (std::this_thread::get_id() == asking ? " here; " : " elsewhere; ");
                if (++count == 3) {
                    third.set_value();
                }
            });
    }
    // A bound on a hang, not a timing assumption: the answers normally come at once.
    ASSERT_EQ(third.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    std::lock_guard lock(mutex);
    EXPECT_EQ(answers, "0 elsewhere; 0 elsewhere; 0 elsewhere; ");
    EXPECT_EQ(TrackingManager::trackingAuthorizationStatus(),
              TrackingAuthorizationStatus::notDetermined);
}

}  // namespace
}  // namespace jw::ads
