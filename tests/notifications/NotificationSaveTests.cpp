// What the centre reports is what it holds and what its file holds, however its saves meet a
// failing file system (its background thread is held so each save fails where the script
// says); and what a foreign, malformed or unreadable file is read as.

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <string_view>
#include <utility>

#include "platform/notifications/CompletionQueue.h"
#include "platform/notifications/NotificationStateFile.h"
#include "tests/notifications/NotificationTestSupport.h"

namespace jw::test {
namespace {

std::string describe(AuthorizationStatus status,
                     const std::vector<PendingNotificationRequest>& pending) {
    std::string text(authorizationStatusName(status));
    text += ":";
    for (const auto& entry : pending) {
        text += " " + entry.request.content.body;
    }
    return text;
}

class SaveOrders : public CenterFixture, public ::testing::WithParamInterface<ScriptCase> {
  public:
    SaveOrders() { prompt->answerAtOnce.reset(); }
    ~SaveOrders() override { release(); }

    // Holds the background thread from here until release().
    void hold() {
        release();
        held_ = std::make_unique<std::promise<void>>();
        notification_queue::post([until = held_->get_future().share()] { until.wait(); });
    }
    void release() {
        if (held_) {
            held_->set_value();
            held_.reset();
        }
    }
    // Runs steps separated by spaces: "set:<text>" (the one item's reminder, with that text),
    // "look" (what the centre says it holds at this point of the queue: the two answers come in
    // the order asked, on the one background thread), "fail" and "allow" (the state file cannot
    // be written from this point of the queue on, or can again), "settings:<status>" (the
    // user's choice), "pass:<seconds>" (time passes on the main run loop and what falls due is
    // delivered; unless held, the background thread catches up first, as it would in far less
    // time), "ask" (for permission; a prompt shown waits for "yes" or "no", and "noAgain" is a
    // faulty prompt's second answer), "settle" (lets everything queued run, then holds again),
    // "restart", and "unprompted" or "prompted" (without the prompt, or with it again).
    void run(std::string_view steps) {
        std::istringstream in{std::string(steps)};
        for (std::string step; in >> step;) {
            const auto colon = step.find(':');
            const std::string word = step.substr(0, colon);
            const std::string value = colon == std::string::npos ? "" : step.substr(colon + 1);
            if (word == "set") {
                center->addNotificationRequest(reminderRequest("item", 600, value),
                                               [this, value](std::optional<NotificationError> e) {
                                                   record(value + (e ? " failed" : " saved"));
                                               });
            } else if (word == "look") {
                center->getNotificationSettings([this](NotificationSettings settings) {
                    lookedStatus_ = settings.authorizationStatus;
                });
                center->getPendingNotificationRequests(
                    [this](std::vector<PendingNotificationRequest> p) {
                        record("holds " + describe(lookedStatus_, p));
                    });
            } else if (word == "fail" || word == "allow") {
                notification_queue::post([this, word] { blockStateFolder(word == "fail"); });
            } else if (word == "settings") {
                center->setAuthorizationStatus(value == "denied" ? AuthorizationStatus::denied
                                                                 : AuthorizationStatus::authorized);
            } else if (word == "pass") {
                if (!held_) {
                    settle();
                }
                platform.loop().advance(std::stod(value));
            } else if (word == "ask") {
                center->requestAuthorization(
                    AuthorizationOptions::alert | AuthorizationOptions::sound,
                    [this](bool granted, std::optional<NotificationError> e) {
                        std::string text = granted ? "granted" : "not granted";
                        if (!notification_queue::isCurrentThread()) {
                            text += " off the centre's thread";
                        }
                        if (e) {
                            text += " (error " + std::to_string(static_cast<int>(e->code)) + ")";
                        }
                        record(text);
                    });
                platform.loop().drain();
            } else if (word == "yes" || word == "no") {
                ASSERT_TRUE(prompt->pending) << "no prompt is up";
                answered_ = std::exchange(prompt->pending, nullptr);
                answered_(word == "yes");
            } else if (word == "noAgain") {
                answered_(false);
            } else if (word == "settle" || word == "restart") {
                const bool held = held_ != nullptr;
                release();
                word == "settle" ? settle() : restart();
                if (held) {
                    hold();
                }
            } else if (word == "unprompted" || word == "prompted") {
                center->setAuthorizationPrompt(word == "prompted" ? prompt : nullptr);
            } else {
                ADD_FAILURE() << "no such step: " << step;
            }
        }
    }

    // Everything that happened, then what the centre holds and what its file holds.
    std::string outcome() {
        release();
        settle();
        blockStateFolder(false);
        std::unique_lock lock(mutex_);
        std::string text = events_;
        lock.unlock();
        const auto file = NotificationStateFile(stateFile()).load();
        const auto pending = pendingOf(*center, platform.loop());
        const auto settings = answerOf<NotificationSettings>(
            *center, platform.loop(), [&](auto done) { center->getNotificationSettings(done); });
        const auto held = describe(settings.authorizationStatus, pending);
        const auto filed = describe(file.authorizationStatus, file.pending);
        if (held == filed) {
            EXPECT_EQ(file.pending, pending) << "every field of the requests reads back as held";
        }
        return text +
               (held == filed ? "held and filed " + held : "held " + held + ", file " + filed) +
               ", asked " + std::to_string(prompt->asked);
    }

  private:
    void record(const std::string& event) {
        std::lock_guard lock(mutex_);
        events_ += event + ", ";
    }

    std::unique_ptr<std::promise<void>> held_;
    std::function<void(bool)> answered_;  // the prompt's last answer
    AuthorizationStatus lookedStatus_ = AuthorizationStatus::notDetermined;
    std::mutex mutex_;
    std::string events_;  // "event, event, "
};

// Scripts run with the background thread held, unless `free`, and with notifications allowed and
// another reminder, "other", pending (due in a minute) from the start, unless `fresh`.
TEST_P(SaveOrders, ReportWhatIsHeldAndInTheFile) {
    if (!GetParam().fresh) {
        authorize();
        add(*center, platform.loop(), reminderRequest("other", 60, "other"));
    }
    if (!GetParam().free) {
        hold();
    }
    run(GetParam().steps);
    EXPECT_EQ(outcome(), GetParam().expected);
    if (prompt->asked > 0) {  // on the main thread, for what reminders need
        EXPECT_EQ(prompt->askedOnThread, std::this_thread::get_id());
        EXPECT_EQ(prompt->lastOptions, AuthorizationOptions::alert | AuthorizationOptions::sound);
    }
}

// Setting a reminder: reported saved means held and in the file, reported failed means neither,
// and a later request for the same item is never taken back by an earlier one's failure.
const ScriptCase saveCases[] = {
    {"BothSaved", "set:first set:second",
     "first saved, second saved, held and filed authorized: other second, asked 0"},
    {"SetTwiceFirstFails", "fail set:first look allow set:second",
     "first failed, holds authorized: other, second saved, held and filed authorized: other "
     "second, asked 0"},
    {"SetTwiceSecondFails", "set:first look fail set:second",
     "first saved, holds authorized: other first, second failed, held and filed authorized: "
     "other first, asked 0"},
    {"SetTwiceBothFail", "fail set:first set:second",
     "first failed, second failed, held and filed authorized: other, asked 0"},
    {"SettingsSaveQueuedBeforeAFailingOne", "settings:authorized fail set:first",
     "first failed, held and filed authorized: other, asked 0"},
    {"DeliverySaveQueuedBeforeAFailingOne",
     "pass:60 fail set:first",  // "other" is delivered and its removal saved
     "first failed, held and filed authorized:, asked 0"},
    {"SavedThenTheNextFailsBehindAQueuedSave", "set:first settings:authorized fail set:second",
     "first saved, second failed, held and filed authorized: other first, asked 0"},

    // Answering the permission prompt, asked once on the main thread: the answer reported is the
    // status held and the status in the file; an answer that cannot be kept is not reported as
    // given, and the next request asks again; a given answer is not asked again.
    {"YesSaved", "ask yes", "granted, held and filed authorized:, asked 1", true},
    {"NoSaved", "ask no", "not granted, held and filed denied:, asked 1", true},
    {"NeitherAnswerNotSaved", "fail ask yes settle ask no",
     "not granted (error 4), not granted (error 4), held and filed notDetermined:, asked 2", true},
    {"AskedAgainAfterAnAnswerThatWasNotSaved", "fail ask yes settle allow ask yes",
     "not granted (error 4), granted, held and filed authorized:, asked 2", true},
    {"RequestsWhileTheAnswerIsSavedShareIt", "ask yes ask",
     "granted, granted, held and filed authorized:, asked 1", true},
    {"ASettingsChoiceMadeWhileTheAnswerIsSavedStays", "ask yes settings:denied",
     "not granted, held and filed denied:, asked 1", true},
    {"AYesIsRememberedUntilTheSettingsSayNo", "ask yes settle ask settings:denied ask",
     "granted, granted, not granted, held and filed denied:, asked 1", true},
    {"ARefusalIsRememberedAcrossARestart", "ask no restart ask",
     "not granted, not granted, held and filed denied:, asked 1", true},
    {"OnlyThePromptsFirstAnswerCounts", "ask yes noAgain",
     "granted, held and filed authorized:, asked 1", true},
    {"RequestsWhileThePromptIsUpShareItsAnswer", "ask ask ask yes",
     "granted, granted, granted, held and filed authorized:, asked 1", true},
    {"WithoutAPromptTheAnswerIsNoAndNothingIsDecided", "unprompted ask look prompted ask yes",
     "not granted (error 5), holds notDetermined:, granted, held and filed authorized:, asked 1",
     true},

    // Changes nobody is told of, a delivered request leaving the pending ones and a choice made in
    // the settings, hold at once, and reach the file once it can be written again (within a
    // minute), so a restart neither brings back a delivered request nor an older choice.
    {"ADeliveredRequestLeavesTheFile", "fail pass:60 look allow pass:60",
     "holds authorized:, held and filed authorized:, asked 0", false, true},
    {"ASettingsChoiceReachesTheFile", "fail settings:denied look allow pass:60",
     "holds denied: other, held and filed denied:, asked 0", false, true},
    {"AfterALongFailure", "fail settings:denied pass:600 allow pass:60",
     "held and filed denied:, asked 0", false, true},
};

INSTANTIATE_TEST_SUITE_P(Scripts, SaveOrders, ::testing::ValuesIn(saveCases), caseName);

// --- The state file ----------------------------------------------------------------------

// Foreign documents are refused whole; a malformed request is skipped, the rest read.
TEST(NotificationState, RejectsForeignDocumentsAndSkipsMalformedRequests) {
    test::ManualPlatform platform;
    std::string text;
    for (const char* document :
         {"[]", R"({"format": 2})",
          R"({"format": 1, "authorizationStatus": "maybe", "pendingRequests": []})",
          R"({"format": 1, "authorizationStatus": "denied", "pendingRequests": [
              {"identifier": "no dates"}, {"identifier": "ok", "title": "", "body": "b",
               "sound": null, "timeInterval": 5, "repeats": false, "fireDate": 10}]})"}) {
        const auto decoded = decodeNotificationState(document);
        text += decoded ? describe(decoded->authorizationStatus, decoded->pending) : "refused";
        text += decoded && !decoded->pending.empty() && !decoded->pending[0].request.content.sound
                    ? " (silent) | "
                    : " | ";
    }
    EXPECT_EQ(text, "refused | refused | refused | denied: b (silent) | ");
}

// (That a missing file is an empty state, that saving makes the folder, and that the state
// reads back as saved, every save scenario and restart shows.)
TEST(NotificationStateFile, AnUnreadableFileIsMovedAsideNotOverwritten) {
    test::ManualPlatform platform;
    test::TempDir dir;
    const auto path = dir.path() / "notifications.json";
    std::ofstream(path) << "{ truncated";
    const NotificationStateFile file(path);

    EXPECT_EQ(file.load(), NotificationCenterState{});
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(readFile(dir.path() / "notifications.json.corrupt-1"), "{ truncated");
    ASSERT_FALSE(platform.logLines().empty());
    EXPECT_NE(platform.logLines().back().find("corrupt-1"), std::string::npos);
}

}  // namespace
}  // namespace jw::test
