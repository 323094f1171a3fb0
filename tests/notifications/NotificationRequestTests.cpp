// Adding requests: what is refused, and one pending request per identifier.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "tests/notifications/NotificationTestSupport.h"

namespace jw::test {
namespace {

using NotificationRequests = CenterFixture;

// Each refusal leaves nothing pending: notifications not allowed, a trigger that is not
// after now or repeats, no current date.
TEST_F(NotificationRequests, RefusalsScheduleNothing) {
    const auto inf = std::numeric_limits<double>::infinity();
    struct Case {
        AuthorizationStatus status;
        double seconds;
        bool repeats, clockFails;
        NotificationErrorCode expected;
    };
    const auto allowed = AuthorizationStatus::authorized;
    const auto invalid = NotificationErrorCode::invalidTrigger;
    const Case cases[] = {
        {AuthorizationStatus::notDetermined, 90, false, false,
         NotificationErrorCode::notificationsNotAllowed},
        {AuthorizationStatus::denied, 90, false, false,
         NotificationErrorCode::notificationsNotAllowed},
        {allowed, 0.0, false, false, invalid},
        {allowed, -1.0, false, false, invalid},
        {allowed, -0.0, false, false, invalid},
        {allowed, std::nan(""), false, false, invalid},
        {allowed, inf, false, false, invalid},
        {allowed, 90, true, false, invalid},
        {allowed, 90, false, true, NotificationErrorCode::noCurrentDate},
    };
    for (const auto& c : cases) {
        center->setAuthorizationStatus(c.status);
        platform.clock().setFailing(c.clockFails);
        auto request = reminderRequest("item-1", c.seconds);
        request.trigger.repeats = c.repeats;
        const auto error = add(*center, platform.loop(), request);
        platform.clock().setFailing(false);
        ASSERT_TRUE(error) << c.seconds;
        EXPECT_EQ(error->code, c.expected) << c.seconds;
        EXPECT_TRUE(pendingOf(*center, platform.loop()).empty());
    }
}

TEST_F(NotificationRequests, TheSameIdentifierReplacesThePendingRequest) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 60, "first text"));
    add(*center, platform.loop(), reminderRequest("item-2", 90));
    platform.clock().advance(10);
    add(*center, platform.loop(), reminderRequest("item-1", 120, "second text"));

    const auto pending = pendingOf(*center, platform.loop());
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].request.identifier, "item-1");
    EXPECT_EQ(pending[0].request.content.body, "second text");
    EXPECT_EQ(pending[0].fireDate, ManualPlatform::defaultStart.addingSeconds(130));
    EXPECT_EQ(pending[1].request.identifier, "item-2");

    // Only the replacement fires.
    platform.loop().advance(200);
    settle();
    ASSERT_EQ(delegate.willPresent.size(), 2u);
    EXPECT_EQ(delegate.willPresent[0].request.identifier, "item-2");
    EXPECT_EQ(delegate.willPresent[1].request.content.body, "second text");
}

TEST_F(NotificationRequests, ARequestThatCannotBeSavedIsRefusedAndTheOldOneKept) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 60, "first text"));
    // The data folder turns into a file: nothing can be written any more.
    std::filesystem::remove_all(stateFile().parent_path());
    std::ofstream(stateFile().parent_path()) << "not a folder";

    const auto error = add(*center, platform.loop(), reminderRequest("item-1", 120, "second"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, NotificationErrorCode::persistenceFailed);
    EXPECT_NE(error->description().find("could not be saved"), std::string::npos);
    const auto failedNew = add(*center, platform.loop(), reminderRequest("item-2", 30));
    ASSERT_TRUE(failedNew);

    const auto pending = pendingOf(*center, platform.loop());
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].request.content.body, "first text");
    EXPECT_EQ(pending[0].fireDate, ManualPlatform::defaultStart.addingSeconds(60));
}

}  // namespace
}  // namespace jw::test
