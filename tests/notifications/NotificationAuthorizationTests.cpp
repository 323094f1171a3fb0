// Asking the user once whether the app may notify, and remembering the answer.

#include <gtest/gtest.h>

#include <atomic>

#include "platform/notifications/CompletionQueue.h"
#include "tests/notifications/NotificationTestSupport.h"

namespace jw::test {
namespace {

using NotificationAuthorization = CenterFixture;

TEST_F(NotificationAuthorization,
       FirstRequestAsksOnTheMainThreadAndAYesIsRememberedUntilTheSettingsSayNo) {
    EXPECT_EQ(statusOf(*center, platform.loop()), AuthorizationStatus::notDetermined);
    std::atomic<bool> granted{false};
    std::atomic<bool> onBackground{false};
    center->requestAuthorization(AuthorizationOptions::alert | AuthorizationOptions::sound,
                                 [&](bool answer, std::optional<NotificationError>) {
                                     granted = answer;
                                     onBackground = notification_queue::isCurrentThread();
                                 });
    EXPECT_EQ(prompt->asked, 0);  // the prompt waits for the main run loop
    settle();
    EXPECT_EQ(prompt->asked, 1);
    EXPECT_EQ(prompt->askedOnThread, std::this_thread::get_id());
    EXPECT_EQ(prompt->lastOptions, AuthorizationOptions::alert | AuthorizationOptions::sound);
    EXPECT_TRUE(granted);
    EXPECT_TRUE(onBackground);
    EXPECT_EQ(statusOf(*center, platform.loop()), AuthorizationStatus::authorized);

    EXPECT_TRUE(requestAuthorization(*center, platform.loop()).granted);
    EXPECT_EQ(prompt->asked, 1);

    // The settings can take the permission back; nobody is asked again.
    center->setAuthorizationStatus(AuthorizationStatus::denied);
    EXPECT_EQ(statusOf(*center, platform.loop()), AuthorizationStatus::denied);
    EXPECT_FALSE(requestAuthorization(*center, platform.loop()).granted);
    EXPECT_EQ(prompt->asked, 1);
}

TEST_F(NotificationAuthorization, ARefusalIsRememberedAcrossARestartAndNotAskedAgain) {
    prompt->answerAtOnce = false;
    const auto first = requestAuthorization(*center, platform.loop());
    EXPECT_FALSE(first.granted);
    EXPECT_FALSE(first.error);
    restart();
    EXPECT_EQ(statusOf(*center, platform.loop()), AuthorizationStatus::denied);

    prompt->answerAtOnce = true;  // would say yes, if it were asked
    EXPECT_FALSE(requestAuthorization(*center, platform.loop()).granted);
    EXPECT_EQ(prompt->asked, 1);
}

TEST_F(NotificationAuthorization, RequestsMadeWhileThePromptIsUpShareItsAnswer) {
    prompt->answerAtOnce.reset();
    int answers = 0;
    std::atomic<int> granted{0};
    for (int i = 0; i < 3; ++i) {
        center->requestAuthorization(
            AuthorizationOptions::alert,
            [&](bool yes, std::optional<NotificationError>) { granted += yes ? 1 : 0; });
    }
    settle();
    EXPECT_EQ(prompt->asked, 1);
    EXPECT_EQ(granted.load(), 0);  // not answered yet

    prompt->pending(true);
    prompt->pending(false);  // only the first answer counts
    settle();
    answers = granted.load();
    EXPECT_EQ(answers, 3);
    EXPECT_EQ(statusOf(*center, platform.loop()), AuthorizationStatus::authorized);
}

TEST_F(NotificationAuthorization, WithoutAPromptTheAnswerIsNoAndNothingIsDecided) {
    center->setAuthorizationPrompt(nullptr);
    const auto answer = requestAuthorization(*center, platform.loop());
    EXPECT_FALSE(answer.granted);
    ASSERT_TRUE(answer.error);
    EXPECT_EQ(answer.error->code, NotificationErrorCode::noAuthorizationPrompt);
    EXPECT_EQ(statusOf(*center, platform.loop()), AuthorizationStatus::notDetermined);

    center->setAuthorizationPrompt(prompt);
    EXPECT_TRUE(requestAuthorization(*center, platform.loop()).granted);
}

}  // namespace
}  // namespace jw::test
