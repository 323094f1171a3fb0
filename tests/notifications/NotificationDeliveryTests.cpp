// Delivering due requests while the program runs, and after a restart the ones that fell due
// while it was not running.

#include <gtest/gtest.h>

#include "tests/notifications/NotificationTestSupport.h"

namespace jw::test {
namespace {

using NotificationDelivery = CenterFixture;

const Date start = ManualPlatform::defaultStart;

TEST_F(NotificationDelivery, ADueRequestGoesToTheDelegateAndIsPresentedWithAlertAndSound) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 60));

    platform.loop().advance(59.5);
    settle();
    EXPECT_TRUE(delegate.willPresent.empty());

    platform.loop().advance(0.5);
    settle();
    ASSERT_EQ(delegate.willPresent.size(), 1u);
    const Notification& delivered = delegate.willPresent[0];
    EXPECT_EQ(delivered.request, reminderRequest("item-1", 60));
    EXPECT_EQ(delivered.date, start.addingSeconds(60));
    EXPECT_FALSE(delivered.deliveredLate);

    ASSERT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->shown[0].options, PresentationOptions::alert | PresentationOptions::sound);
    EXPECT_EQ(static_cast<unsigned>(presenter->shown[0].options), 6u);
    EXPECT_TRUE(pendingOf(*center, platform.loop()).empty());
}

TEST_F(NotificationDelivery, ActingOnAPresentedNotificationReachesTheDelegateOnce) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 60));
    platform.loop().advance(60);
    settle();
    ASSERT_EQ(presenter->shown.size(), 1u);

    presenter->shown[0].activated();
    presenter->shown[0].activated();
    settle();
    ASSERT_EQ(delegate.responses.size(), 1u);
    EXPECT_EQ(delegate.responses[0].notification.request.identifier, "item-1");
    EXPECT_EQ(delegate.responses[0].actionIdentifier,
              NotificationResponse::defaultActionIdentifier);
}

TEST_F(NotificationDelivery, SeveralDueAtOnceArriveInTheOrderTheyFellDue) {
    authorize();
    add(*center, platform.loop(), reminderRequest("late", 90));
    add(*center, platform.loop(), reminderRequest("early", 30));
    add(*center, platform.loop(), reminderRequest("middle", 60));
    restart();  // nothing ran meanwhile
    platform.clock().advance(100);
    restart();
    settle();
    ASSERT_EQ(delegate.willPresent.size(), 3u);
    EXPECT_EQ(delegate.willPresent[0].request.identifier, "early");
    EXPECT_EQ(delegate.willPresent[1].request.identifier, "middle");
    EXPECT_EQ(delegate.willPresent[2].request.identifier, "late");
}

TEST_F(NotificationDelivery, PendingRequestsSurviveARestart) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 300));
    add(*center, platform.loop(), reminderRequest("item-2", 600, "Call Anna ✔︎"));
    const auto before = pendingOf(*center, platform.loop());
    restart();
    EXPECT_EQ(pendingOf(*center, platform.loop()), before);
    EXPECT_EQ(statusOf(*center, platform.loop()), AuthorizationStatus::authorized);
}

TEST_F(NotificationDelivery, OneThatFellDueWhileNotRunningIsDeliveredLateAtTheNextStart) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 60));
    close();
    platform.clock().advance(3600);  // the program is not running

    open();
    settle();
    ASSERT_EQ(delegate.willPresent.size(), 1u);
    EXPECT_TRUE(delegate.willPresent[0].deliveredLate);
    EXPECT_EQ(delegate.willPresent[0].date, start.addingSeconds(60));
    ASSERT_EQ(presenter->shown.size(), 1u);

    restart();  // delivered means gone, also from the file
    settle();
    EXPECT_EQ(delegate.willPresent.size(), 1u);
    EXPECT_TRUE(pendingOf(*center, platform.loop()).empty());
}

TEST_F(NotificationDelivery, OneStillAheadAtTheNextStartIsDeliveredOnTimeNotLate) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 120));
    close();
    platform.clock().advance(60);
    open();
    settle();
    EXPECT_TRUE(delegate.willPresent.empty());

    platform.loop().advance(60);
    settle();
    ASSERT_EQ(delegate.willPresent.size(), 1u);
    EXPECT_FALSE(delegate.willPresent[0].deliveredLate);
}

TEST_F(NotificationDelivery, NothingIsShownWhenNotificationsWereTurnedOffMeanwhile) {
    authorize();
    add(*center, platform.loop(), reminderRequest("item-1", 60));
    center->setAuthorizationStatus(AuthorizationStatus::denied);
    platform.loop().advance(60);
    settle();
    EXPECT_TRUE(delegate.willPresent.empty());
    EXPECT_TRUE(presenter->shown.empty());
    EXPECT_TRUE(pendingOf(*center, platform.loop()).empty());
}

TEST_F(NotificationDelivery, TheDelegateDecidesWhatIsShown) {
    authorize();
    delegate.answer = PresentationOptions::none;
    add(*center, platform.loop(), reminderRequest("item-1", 60));
    platform.loop().advance(60);
    settle();
    EXPECT_EQ(delegate.willPresent.size(), 1u);
    EXPECT_TRUE(presenter->shown.empty());

    delegate.answer = PresentationOptions::sound;
    add(*center, platform.loop(), reminderRequest("item-2", 60));
    platform.loop().advance(60);
    settle();
    ASSERT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->shown[0].options, PresentationOptions::sound);
}

TEST_F(NotificationDelivery, WithoutADelegateNothingIsShown) {
    authorize();
    center->setDelegate(nullptr);
    add(*center, platform.loop(), reminderRequest("item-1", 60));
    platform.loop().advance(60);
    settle();
    EXPECT_TRUE(presenter->shown.empty());
}

}  // namespace
}  // namespace jw::test
