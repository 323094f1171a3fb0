// Adding requests (what is refused, one pending request per identifier), delivering due ones
// while the program runs, and after a restart the ones that fell due while it was not running.
// (A request that cannot be saved is refused with the old one kept: see the save scenarios.)

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tests/notifications/NotificationTestSupport.h"

namespace jw::test {
namespace {

using NotificationDelivery = CenterFixture;

const Date start = ManualPlatform::defaultStart;

// What the delegate was asked about, "identifier@seconds" with " late" when delivered late.
std::string presented(const RecordingCenterDelegate& delegate) {
    std::string text;
    for (const auto& n : delegate.willPresent) {
        text += (text.empty() ? "" : ", ") + n.request.identifier + "@" +
                std::to_string(int(n.date.secondsSince(start))) + (n.deliveredLate ? " late" : "");
    }
    return text;
}

// Each refusal leaves nothing pending: notifications not allowed, a trigger that is not
// after now or repeats, no current date.
TEST_F(NotificationDelivery, RefusalsScheduleNothing) {
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

TEST_F(NotificationDelivery,
       ADueRequestIsPresentedWithAlertAndSoundAndActingOnItReachesTheDelegateOnce) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 60));

    platform.loop().advance(59.5);
    settle();
    EXPECT_TRUE(delegate.willPresent.empty());

    platform.loop().advance(0.5);
    settle();
    EXPECT_EQ(presented(delegate), "item-1@60");
    EXPECT_EQ(delegate.willPresent[0].request, reminderRequest("item-1", 60));
    ASSERT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->shown[0].options, PresentationOptions::alert | PresentationOptions::sound);
    EXPECT_TRUE(pendingOf(*center, platform.loop()).empty());

    // Acting on it reaches the delegate once.
    presenter->shown[0].activated();
    presenter->shown[0].activated();
    settle();
    ASSERT_EQ(delegate.responses.size(), 1u);
    EXPECT_EQ(delegate.responses[0].notification.request.identifier, "item-1");
    EXPECT_EQ(delegate.responses[0].actionIdentifier,
              NotificationResponse::defaultActionIdentifier);
}

// Pending requests and the permission survive a restart; those that fell due while the
// program was not running arrive late at the next start in the order they fell due, and are
// gone for good; one still ahead arrives on time.
TEST_F(NotificationDelivery, AfterARestartWhatFellDueMeanwhileArrivesLateAndTheRestOnTime) {
    authorize();
    add(*center, platform.loop(), reminderRequest("late", 90));
    add(*center, platform.loop(), reminderRequest("early", 30));
    add(*center, platform.loop(), reminderRequest("middle", 60, "Call Anna ✔︎"));
    add(*center, platform.loop(), reminderRequest("ahead", 160));
    const auto before = pendingOf(*center, platform.loop());
    restart();
    EXPECT_EQ(pendingOf(*center, platform.loop()), before);
    EXPECT_EQ(statusOf(*center, platform.loop()), AuthorizationStatus::authorized);

    close();
    platform.clock().advance(100);  // the program is not running
    open();
    settle();
    EXPECT_EQ(presented(delegate), "early@30 late, middle@60 late, late@90 late");
    EXPECT_EQ(presenter->shown.size(), 3u);
    restart();  // delivered means gone, also from the file
    platform.loop().advance(60);
    settle();
    EXPECT_EQ(presented(delegate), "early@30 late, middle@60 late, late@90 late, ahead@160");
    EXPECT_TRUE(pendingOf(*center, platform.loop()).empty());
}

// Turned off meanwhile: nothing reaches the delegate; without a delegate, or when it says
// so, nothing is shown.
TEST_F(NotificationDelivery, TheDelegateDecidesWhatIsShown) {
    authorize();
    const auto deliver = [&](const char* identifier) {
        add(*center, platform.loop(), reminderRequest(identifier, 60));
        platform.loop().advance(60);
        settle();
    };
    delegate.answer = PresentationOptions::none;
    deliver("none");
    delegate.answer = PresentationOptions::sound;
    deliver("sound");
    center->setDelegate(nullptr);
    deliver("no delegate");
    center->setDelegate(&delegate);
    add(*center, platform.loop(), reminderRequest("turned off", 60));
    center->setAuthorizationStatus(AuthorizationStatus::denied);
    platform.loop().advance(60);
    settle();

    EXPECT_EQ(presented(delegate), "none@60, sound@120");
    ASSERT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->shown[0].options, PresentationOptions::sound);
    EXPECT_TRUE(pendingOf(*center, platform.loop()).empty());
}

TEST_F(NotificationDelivery, TheSameIdentifierReplacesThePendingRequestAndOnlyItFires) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 60, "first text"));
    add(*center, platform.loop(), reminderRequest("item-2", 90));
    platform.clock().advance(10);
    add(*center, platform.loop(), reminderRequest("item-1", 120, "second text"));
    const auto pending = pendingOf(*center, platform.loop());
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].request, reminderRequest("item-1", 120, "second text"));
    platform.loop().advance(200);
    settle();
    EXPECT_EQ(presented(delegate), "item-2@90, item-1@130");
    EXPECT_EQ(delegate.willPresent[1].request.content.body, "second text");
}

}  // namespace
}  // namespace jw::test
