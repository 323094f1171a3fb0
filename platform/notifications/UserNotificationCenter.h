#pragma once
// The notification centre: the app's local notifications, from the request to the user.
//
// - Authorisation: the first request for authorisation asks the user through the installed
//   AuthorizationPrompt; the answer is remembered (also across restarts), so later requests
//   are answered from memory without asking again: granted after a yes, not granted after a
//   no. The answer counts only once the state file holds it: one that cannot be saved is
//   reported as not granted, with a persistenceFailed error, and the next request asks again.
//   setAuthorizationStatus plays the user changing their mind in the settings; such a choice
//   made while an answer is being saved comes after it, and stays.
// - Requests: a one-shot request falls due its trigger's interval after it was added. Adding
//   a request replaces a pending one with the same identifier. Pending requests are kept in
//   the state file and survive a restart. A request is pending only once the file holds it:
//   an add reported as done is pending and in the file; one reported as failed is in neither,
//   and what was pending before (an earlier request for the same identifier) stays. However
//   adds for one identifier and failing writes interleave, one add's outcome never changes
//   another's.
// - Changes nobody is told of (a delivered request leaving the pending ones, a choice in the
//   settings) hold at once. When the file cannot take them, the centre writes it again every
//   saveRetryInterval seconds until it can, so that a restart brings back neither a delivered
//   request nor an older choice.
// - Due dates: a request falls due at a date on the wall clock (the installed Clock), not after
//   an amount of run-loop time, which stands still while the computer sleeps and knows nothing
//   of the clock being set. While requests are pending the centre looks at the wall clock at
//   least every wallClockCheckInterval seconds of run-loop time, so a request arrives no later
//   than that after its date, and never before it. With nothing pending it keeps no delivery
//   timer.
// - Delivery, while the program runs: on the main run loop, a due request goes to the
//   delegate's willPresentNotification; the options it answers with go to the installed
//   NotificationPresenter; when the user acts on it, the delegate hears
//   didReceiveNotificationResponse. A request that fell due while the program was not running
//   is delivered the same way soon after the next start, marked deliveredLate. A request that
//   falls due while notifications are not allowed, or with no delegate, is dropped unseen.
//
// Threads: every completion runs on the centre's background thread (never the caller's, never
// before the call returns), so callers hop back to the main thread themselves (runOnMain).
// The answers of getNotificationSettings and getPendingNotificationRequests include the
// outcome of every addNotificationRequest made before them.
// getNotificationSettings and requestAuthorization may be called from any thread;
// create, addNotificationRequest, setDelegate and the setters of the application's parts are
// for the main thread (a request's interval counts from the main clock at the call).
// Not an error: asking for authorisation again, adding a request that replaces another.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/notifications/AuthorizationPrompt.h"
#include "platform/notifications/Notification.h"
#include "platform/notifications/NotificationError.h"
#include "platform/notifications/NotificationPresenter.h"
#include "platform/notifications/NotificationRequest.h"
#include "platform/notifications/NotificationSettings.h"
#include "platform/notifications/NotificationStateFile.h"
#include "platform/notifications/UserNotificationCenterDelegate.h"

namespace jw {

class UserNotificationCenter : public std::enable_shared_from_this<UserNotificationCenter> {
    struct Passkey {};

  public:
    using SettingsCompletion = std::function<void(NotificationSettings settings)>;
    using AuthorizationCompletion =
        std::function<void(bool granted, std::optional<NotificationError> error)>;
    using AddCompletion = std::function<void(std::optional<NotificationError> error)>;
    using PendingCompletion = std::function<void(std::vector<PendingNotificationRequest>)>;

    // A centre keeping its state in `stateFile` (usually "notifications.json" in the data
    // directory); an empty path keeps it in memory only. Reads the file now; delivery of what
    // is due starts on the main run loop's next turn. Main thread.
    static std::shared_ptr<UserNotificationCenter> create(std::filesystem::path stateFile = {});
    // Where the application keeps the centre's state: "notifications.json" in the data folder.
    static std::filesystem::path stateFileIn(const AppPaths& paths) {
        return paths.dataDirectory / "notifications.json";
    }

    // The app's centre: an in-memory one until the application installs its own.
    static UserNotificationCenter& currentNotificationCenter();
    static std::shared_ptr<UserNotificationCenter> currentNotificationCenterHandle();
    // Returns the previous one; nullptr brings back a fresh in-memory centre on next use.
    static std::shared_ptr<UserNotificationCenter> installCurrentNotificationCenter(
        std::shared_ptr<UserNotificationCenter> center);

    UserNotificationCenter(Passkey, std::filesystem::path stateFile);
    ~UserNotificationCenter();
    UserNotificationCenter(const UserNotificationCenter&) = delete;
    UserNotificationCenter& operator=(const UserNotificationCenter&) = delete;

    // The application's parts. The delegate is not owned; pass nullptr before it goes away.
    void setDelegate(UserNotificationCenterDelegate* delegate);
    UserNotificationCenterDelegate* delegate() const;
    void setAuthorizationPrompt(std::shared_ptr<AuthorizationPrompt> prompt);
    void setNotificationPresenter(std::shared_ptr<NotificationPresenter> presenter);

    void getNotificationSettings(SettingsCompletion completion);

    // Answers at once from memory after an earlier answer; otherwise asks the user (one
    // prompt at a time; requests made meanwhile, also while the answer is being saved, share
    // it). Without a prompt to ask, or when the answer cannot be saved, the answer is not
    // granted, with an error, and the status stays not determined.
    void requestAuthorization(AuthorizationOptions options, AuthorizationCompletion completion);

    // Schedules `request`. Fails (through the completion, with nothing scheduled) when
    // notifications are not allowed, the trigger's interval is not greater than 0, the
    // trigger repeats, the clock has no time, or the state cannot be saved.
    void addNotificationRequest(NotificationRequest request, AddCompletion completion = {});

    // The requests not yet due, in the order they were first added.
    void getPendingNotificationRequests(PendingCompletion completion);

    // The user's choice in the system settings, made outside any prompt.
    void setAuthorizationStatus(AuthorizationStatus status);

    // The computer woke from sleep or the wall clock was set: delivers at once what is now due
    // instead of at the next look at the clock. Not needed for correctness, only for
    // promptness. Main thread.
    void wallClockChanged();

    // Seconds of run-loop time between two looks at the wall clock while requests are pending.
    static constexpr double wallClockCheckInterval = 2.0;
    // Seconds of run-loop time between two attempts to write a state the file could not take.
    static constexpr double saveRetryInterval = 30.0;

    // Blocks until the centre's background work is done, including work that work queued.
    // Not from a completion.
    void waitUntilIdle();

  private:
    void startDelivery();
    void askPromptOnMain(AuthorizationOptions options);
    void finishPrompt(std::optional<bool> allowed);
    void saveLater();
    void saveNow();
    bool write(const NotificationCenterState& state, std::string& failure);
    void armSaveRetry();
    void armDeliveryTimer();
    void deliverDue();
    void deliver(const Notification& notification);
    void present(const Notification& notification, PresentationOptions options);
    void respond(const Notification& notification);

    const NotificationStateFile stateFile_;
    std::optional<Date> startDate_;

    mutable std::mutex mutex_;
    NotificationCenterState state_;
    std::vector<AuthorizationCompletion> waitingForPrompt_;
    bool promptShowing_ = false;
    std::shared_ptr<AuthorizationPrompt> prompt_;
    std::shared_ptr<NotificationPresenter> presenter_;

    // Background thread only: what the file is known to hold; nothing after a failed write.
    std::optional<NotificationCenterState> fileState_;

    // Main thread only.
    UserNotificationCenterDelegate* delegate_ = nullptr;
    std::shared_ptr<Timer> deliveryTimer_;
    std::shared_ptr<Timer> saveRetryTimer_;
};

}  // namespace jw
