#pragma once
// What the notification tests stand on: a centre on a manual platform, the application's parts
// played by recorders, and a way to let the centre's background work finish.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/notifications/UserNotificationCenter.h"
#include "tests/support/ScriptCase.h"
#include "tests/support/TestEnvironment.h"

namespace jw::test {

// Asks nobody: answers as told, at once or when the test says.
class ScriptedPrompt final : public AuthorizationPrompt {
  public:
    void askForAuthorization(AuthorizationOptions options,
                             std::function<void(bool)> answer) override {
        ++asked;
        lastOptions = options;
        askedOnThread = std::this_thread::get_id();
        if (answerAtOnce) {
            answer(*answerAtOnce);
        } else {
            pending = std::move(answer);
        }
    }

    std::optional<bool> answerAtOnce = true;
    std::function<void(bool)> pending;
    int asked = 0;
    AuthorizationOptions lastOptions = AuthorizationOptions::none;
    std::thread::id askedOnThread;
};

class RecordingNotificationPresenter final : public NotificationPresenter {
  public:
    struct Shown {
        Notification notification;
        PresentationOptions options;
        std::function<void()> activated;
    };
    void presentNotification(const Notification& notification, PresentationOptions options,
                             std::function<void()> activated) override {
        shown.push_back({notification, options, std::move(activated)});
    }
    std::vector<Shown> shown;
};

// Runs the centre's background work and the main run loop until neither has anything left.
inline void settle(UserNotificationCenter& center, ManualRunLoop& loop) {
    do {
        center.waitUntilIdle();
    } while (loop.drain() > 0);
}

// Calls `start(completion)` and returns what the completion received, once everything settled.
template <typename Result, typename Start>
Result answerOf(UserNotificationCenter& center, ManualRunLoop& loop, Start start) {
    std::optional<Result> result;
    start([&result](auto value) { result = Result(std::move(value)); });
    settle(center, loop);
    EXPECT_TRUE(result.has_value());
    return result.value_or(Result{});
}

inline std::optional<NotificationError> add(UserNotificationCenter& center, ManualRunLoop& loop,
                                            NotificationRequest request) {
    return answerOf<std::optional<NotificationError>>(
        center, loop, [&](auto done) { center.addNotificationRequest(std::move(request), done); });
}

inline std::vector<PendingNotificationRequest> pendingOf(UserNotificationCenter& center,
                                                         ManualRunLoop& loop) {
    return answerOf<std::vector<PendingNotificationRequest>>(
        center, loop, [&](auto done) { center.getPendingNotificationRequests(done); });
}

inline NotificationRequest reminderRequest(const std::string& identifier, double seconds,
                                           const std::string& body = "Buy milk") {
    return NotificationRequest::request(
        identifier, NotificationContent{"Groceries", body, NotificationSound::defaultSound()},
        TimeIntervalNotificationTrigger::trigger(seconds, false));
}

// A manual platform, a scratch folder and a centre keeping its state there.
class CenterFixture : public ::testing::Test {
  protected:
    CenterFixture() { open(); }
    ~CenterFixture() override { close(); }

    std::filesystem::path stateFile() const { return dir.path() / "data" / "notifications.json"; }

    // A new start of the program: a fresh centre on the same state file.
    void open() {
        center = UserNotificationCenter::create(stateFile());
        center->setAuthorizationPrompt(prompt);
        center->setNotificationPresenter(presenter);
        center->setDelegate(delegateInUse);
    }
    void close() {
        if (center) {
            test::settle(*center, platform.loop());
            center->setDelegate(nullptr);
            center.reset();
        }
    }
    void restart() {
        close();
        open();
    }
    void settle() { test::settle(*center, platform.loop()); }
    // Puts a file where the state file's folder is (its folder set aside), so that saves fail,
    // or puts the folder back.
    void blockStateFolder(bool blocked) const {
        const auto folder = stateFile().parent_path();
        auto away = folder;
        away += ".away";
        if (blocked && !std::filesystem::is_regular_file(folder)) {
            if (std::filesystem::exists(folder)) {
                std::filesystem::rename(folder, away);
            }
            std::ofstream(folder) << "not a folder";
        } else if (!blocked && std::filesystem::is_regular_file(folder)) {
            std::filesystem::remove(folder);
            if (std::filesystem::exists(away)) {
                std::filesystem::rename(away, folder);
            }
        }
    }
    void authorize() {
        center->setAuthorizationStatus(AuthorizationStatus::authorized);
        settle();
    }

    ManualPlatform platform;
    TempDir dir;
    std::shared_ptr<ScriptedPrompt> prompt = std::make_shared<ScriptedPrompt>();
    std::shared_ptr<RecordingNotificationPresenter> presenter =
        std::make_shared<RecordingNotificationPresenter>();
    UserNotificationCenterDelegate* delegateInUse = nullptr;  // given to each new centre, if any
    std::shared_ptr<UserNotificationCenter> center;
};

}  // namespace jw::test
