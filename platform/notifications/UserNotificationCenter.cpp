#include "platform/notifications/UserNotificationCenter.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DebugLog.h"
#include "platform/notifications/CompletionQueue.h"

namespace jw {

namespace {

std::mutex& currentMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<UserNotificationCenter>& installedCenter() {
    static std::shared_ptr<UserNotificationCenter> center;
    return center;
}

// One pending request per identifier: a new one takes the place of the old, keeping its turn.
void replaceOrAdd(std::vector<PendingNotificationRequest>& pending,
                  const PendingNotificationRequest& request) {
    const auto existing = std::find_if(pending.begin(), pending.end(), [&](const auto& entry) {
        return entry.request.identifier == request.request.identifier;
    });
    if (existing != pending.end()) {
        *existing = request;
    } else {
        pending.push_back(request);
    }
}

}  // namespace

std::shared_ptr<UserNotificationCenter> UserNotificationCenter::create(
    std::filesystem::path stateFile) {
    auto center = std::make_shared<UserNotificationCenter>(Passkey{}, std::move(stateFile));
    // After the launch code that made the centre has set its delegate, not before.
    runOnMain([weak = std::weak_ptr<UserNotificationCenter>(center)] {
        if (auto self = weak.lock()) {
            self->startDelivery();
        }
    });
    return center;
}

UserNotificationCenter::UserNotificationCenter(Passkey, std::filesystem::path stateFile)
    : stateFile_(std::move(stateFile)), startDate_(currentClock().now()) {
    state_ = stateFile_.load();
    fileState_ = state_;
}

UserNotificationCenter::~UserNotificationCenter() {
    for (const auto& timer : {deliveryTimer_, saveRetryTimer_}) {
        if (timer) {
            timer->invalidate();
        }
    }
}

std::shared_ptr<UserNotificationCenter> UserNotificationCenter::currentNotificationCenterHandle() {
    std::lock_guard lock(currentMutex());
    auto& center = installedCenter();
    if (!center) {
        center = create();
    }
    return center;
}

UserNotificationCenter& UserNotificationCenter::currentNotificationCenter() {
    return *currentNotificationCenterHandle();
}

std::shared_ptr<UserNotificationCenter> UserNotificationCenter::installCurrentNotificationCenter(
    std::shared_ptr<UserNotificationCenter> center) {
    std::lock_guard lock(currentMutex());
    installedCenter().swap(center);
    return center;
}

void UserNotificationCenter::setDelegate(UserNotificationCenterDelegate* delegate) {
    delegate_ = delegate;
}

UserNotificationCenterDelegate* UserNotificationCenter::delegate() const {
    return delegate_;
}

void UserNotificationCenter::setAuthorizationPrompt(std::shared_ptr<AuthorizationPrompt> prompt) {
    std::lock_guard lock(mutex_);
    prompt_ = std::move(prompt);
}

void UserNotificationCenter::setNotificationPresenter(
    std::shared_ptr<NotificationPresenter> presenter) {
    std::lock_guard lock(mutex_);
    presenter_ = std::move(presenter);
}

void UserNotificationCenter::getNotificationSettings(SettingsCompletion completion) {
    // Read in turn on the background thread, like the pending requests.
    notification_queue::post([self = shared_from_this(), completion = std::move(completion)] {
        NotificationSettings settings;
        {
            std::lock_guard lock(self->mutex_);
            settings.authorizationStatus = self->state_.authorizationStatus;
        }
        if (completion) {
            completion(settings);
        }
    });
}

void UserNotificationCenter::requestAuthorization(AuthorizationOptions options,
                                                  AuthorizationCompletion completion) {
    if (!completion) {
        completion = [](bool, std::optional<NotificationError>) {};
    }
    std::unique_lock lock(mutex_);
    switch (state_.authorizationStatus) {
        case AuthorizationStatus::authorized:
            lock.unlock();
            notification_queue::post([completion] { completion(true, std::nullopt); });
            return;
        case AuthorizationStatus::denied:
            // The user has answered; asking again would nag. The settings are where they
            // change their mind.
            lock.unlock();
            notification_queue::post([completion] { completion(false, std::nullopt); });
            return;
        case AuthorizationStatus::notDetermined:
            break;
    }
    waitingForPrompt_.push_back(std::move(completion));
    if (promptShowing_) {
        return;
    }
    promptShowing_ = true;
    lock.unlock();
    // The prompt is a screen, and screens live on the main thread.
    runOnMain([weak = weak_from_this(), options] {
        if (auto self = weak.lock()) {
            self->askPromptOnMain(options);
        }
    });
}

void UserNotificationCenter::askPromptOnMain(AuthorizationOptions options) {
    std::shared_ptr<AuthorizationPrompt> prompt;
    {
        std::lock_guard lock(mutex_);
        prompt = prompt_;
    }
    if (!prompt) {
        finishPrompt(std::nullopt);
        return;
    }
    auto answered = std::make_shared<bool>(false);
    prompt->askForAuthorization(options, [weak = weak_from_this(), answered](bool allowed) {
        if (*answered) {
            return;
        }
        *answered = true;
        if (auto self = weak.lock()) {
            self->finishPrompt(allowed);
        }
    });
}

void UserNotificationCenter::finishPrompt(std::optional<bool> allowed) {
    if (!allowed) {
        std::vector<AuthorizationCompletion> waiting;
        {
            std::lock_guard lock(mutex_);
            promptShowing_ = false;
            waiting.swap(waitingForPrompt_);
        }
        const NotificationError error{NotificationErrorCode::noAuthorizationPrompt,
                                      "There is no way to ask the user for permission."};
        for (auto& completion : waiting) {
            notification_queue::post(
                [completion = std::move(completion), error] { completion(false, error); });
        }
        return;
    }
    // The answer holds only once the file holds it, so what the completions report is what a
    // restart finds. Until then the prompt counts as showing: requests made meanwhile wait for
    // this answer instead of asking again.
    const auto answer = *allowed ? AuthorizationStatus::authorized : AuthorizationStatus::denied;
    AuthorizationStatus asked;
    {
        std::lock_guard lock(mutex_);
        asked = state_.authorizationStatus;
    }
    notification_queue::post([self = shared_from_this(), asked, answer] {
        NotificationCenterState next;
        {
            std::lock_guard lock(self->mutex_);
            next = self->state_;
        }
        // A choice made in the settings since the answer came after it, and stays; its own save
        // is queued behind this.
        bool saved = true;
        std::string failure;
        if (next.authorizationStatus == asked) {
            next.authorizationStatus = answer;
            saved = self->write(next, failure);
        }
        std::vector<AuthorizationCompletion> waiting;
        bool granted = false;
        {
            std::lock_guard lock(self->mutex_);
            if (saved && self->state_.authorizationStatus == asked) {
                self->state_.authorizationStatus = answer;
            }
            granted = self->state_.authorizationStatus == AuthorizationStatus::authorized;
            self->promptShowing_ = false;
            waiting.swap(self->waitingForPrompt_);
        }
        std::optional<NotificationError> error;
        if (!saved) {
            error = NotificationError{NotificationErrorCode::persistenceFailed,
                                      "The answer could not be saved: " + failure};
        }
        for (auto& completion : waiting) {
            completion(granted, error);
        }
    });
}

void UserNotificationCenter::addNotificationRequest(NotificationRequest request,
                                                    AddCompletion completion) {
    if (!completion) {
        completion = [](std::optional<NotificationError>) {};
    }
    const auto fail = [&completion](NotificationErrorCode code, std::string text) {
        notification_queue::post(
            [completion, error = NotificationError{code, std::move(text)}] { completion(error); });
    };
    const double interval = request.trigger.timeInterval;
    if (!std::isfinite(interval) || interval <= 0.0) {
        fail(NotificationErrorCode::invalidTrigger, "The time interval must be greater than 0.");
        return;
    }
    if (request.trigger.repeats) {
        fail(NotificationErrorCode::invalidTrigger, "Repeating triggers are not supported.");
        return;
    }
    const auto now = currentClock().now();
    if (!now) {
        fail(NotificationErrorCode::noCurrentDate, "The current date is not available.");
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (state_.authorizationStatus != AuthorizationStatus::authorized) {
            fail(NotificationErrorCode::notificationsNotAllowed,
                 "Notifications are not allowed for this application.");
            return;
        }
    }
    // The request joins the pending ones only once the file holds it, so the completion's
    // answer is what is pending and what a restart finds. Saves run one at a time on the
    // background thread, each writing what is held plus its own request: a save that fails
    // leaves everything as it was, and no other save can write its request or take back one
    // that was saved after it.
    notification_queue::post(
        [self = shared_from_this(),
         pending = PendingNotificationRequest{std::move(request), now->addingSeconds(interval)},
         completion] {
            NotificationCenterState next;
            {
                std::lock_guard lock(self->mutex_);
                next = self->state_;
            }
            replaceOrAdd(next.pending, pending);
            std::string failure;
            if (!self->write(next, failure)) {
                completion(NotificationError{NotificationErrorCode::persistenceFailed,
                                             "The request could not be saved: " + failure});
                return;
            }
            {
                // Onto what is held now, not `next`: the main thread may have delivered some
                // requests meanwhile (their removal is saved after this).
                std::lock_guard lock(self->mutex_);
                replaceOrAdd(self->state_.pending, pending);
            }
            completion(std::nullopt);
            runOnMain([weak = std::weak_ptr<UserNotificationCenter>(self)] {
                if (auto center = weak.lock()) {
                    center->armDeliveryTimer();
                }
            });
        });
}

void UserNotificationCenter::getPendingNotificationRequests(PendingCompletion completion) {
    // Read in turn on the background thread, so the answer includes the outcome of every
    // request added before this call.
    notification_queue::post([self = shared_from_this(), completion = std::move(completion)] {
        std::vector<PendingNotificationRequest> pending;
        {
            std::lock_guard lock(self->mutex_);
            pending = self->state_.pending;
        }
        if (completion) {
            completion(std::move(pending));
        }
    });
}

void UserNotificationCenter::setAuthorizationStatus(AuthorizationStatus status) {
    {
        std::lock_guard lock(mutex_);
        state_.authorizationStatus = status;
    }
    saveLater();
}

void UserNotificationCenter::waitUntilIdle() {
    notification_queue::waitUntilIdle();
}

void UserNotificationCenter::saveLater() {
    notification_queue::post([self = shared_from_this()] { self->saveNow(); });
}

void UserNotificationCenter::saveNow() {
    NotificationCenterState snapshot;
    {
        std::lock_guard lock(mutex_);
        snapshot = state_;
    }
    if (fileState_ == snapshot) {
        return;
    }
    std::string failure;
    if (!write(snapshot, failure)) {
        debugLog("notifications: cannot save state, trying again later: " + failure);
    }
}

bool UserNotificationCenter::write(const NotificationCenterState& state, std::string& failure) {
    try {
        stateFile_.save(state);
        fileState_ = state;
        return true;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    // The file is no longer known to hold what is held, so it is written again later. That
    // covers a refused change too: its write can fail after the file was replaced (when the
    // folder cannot be synced), and the next write puts back what is held.
    fileState_.reset();
    runOnMain([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->armSaveRetry();
        }
    });
    return false;
}

void UserNotificationCenter::armSaveRetry() {
    if (saveRetryTimer_ && saveRetryTimer_->isValid()) {
        return;
    }
    saveRetryTimer_ =
        mainRunLoop().scheduleTimer(saveRetryInterval, false, [weak = weak_from_this()](Timer&) {
            if (auto self = weak.lock()) {
                self->saveLater();
            }
        });
}

void UserNotificationCenter::startDelivery() {
    deliverDue();
}

void UserNotificationCenter::armDeliveryTimer() {
    if (deliveryTimer_) {
        deliveryTimer_->invalidate();
        deliveryTimer_.reset();
    }
    std::optional<Date> earliest;
    {
        std::lock_guard lock(mutex_);
        for (const auto& pending : state_.pending) {
            if (!earliest || pending.fireDate < *earliest) {
                earliest = pending.fireDate;
            }
        }
    }
    if (!earliest) {
        return;
    }
    // The timer counts run-loop time, which stops while the computer sleeps and does not follow
    // the clock being set; so never wait longer than one check interval before reading the wall
    // clock again. Without a date to compare with, look again after one interval.
    double wait = wallClockCheckInterval;
    if (const auto now = currentClock().now()) {
        wait = std::clamp(earliest->secondsSince(*now), 0.0, wallClockCheckInterval);
    }
    deliveryTimer_ = mainRunLoop().scheduleTimer(wait, false, [weak = weak_from_this()](Timer&) {
        if (auto self = weak.lock()) {
            self->deliverDue();
        }
    });
}

void UserNotificationCenter::wallClockChanged() {
    deliverDue();
}

void UserNotificationCenter::deliverDue() {
    const auto now = currentClock().now();
    if (!now) {
        armDeliveryTimer();
        return;
    }
    std::vector<PendingNotificationRequest> due;
    bool allowed = false;
    {
        std::lock_guard lock(mutex_);
        auto& pending = state_.pending;
        auto firstDue =
            std::stable_partition(pending.begin(), pending.end(),
                                  [&](const auto& entry) { return entry.fireDate > *now; });
        due.assign(std::make_move_iterator(firstDue), std::make_move_iterator(pending.end()));
        pending.erase(firstDue, pending.end());
        allowed = state_.authorizationStatus == AuthorizationStatus::authorized;
    }
    if (!due.empty()) {
        saveLater();
        std::stable_sort(due.begin(), due.end(),
                         [](const auto& a, const auto& b) { return a.fireDate < b.fireDate; });
        for (auto& entry : due) {
            if (!allowed) {
                debugLog("notifications: not allowed, dropped " + entry.request.identifier);
                continue;
            }
            Notification notification;
            notification.request = std::move(entry.request);
            notification.date = entry.fireDate;
            notification.deliveredLate = startDate_ && entry.fireDate <= *startDate_;
            deliver(notification);
        }
    }
    armDeliveryTimer();
}

void UserNotificationCenter::deliver(const Notification& notification) {
    if (delegate_ == nullptr) {
        // Without a delegate the app has not asked to see notifications while it runs.
        return;
    }
    auto weak = weak_from_this();
    delegate_->willPresentNotification(*this, notification,
                                       [weak, notification](PresentationOptions options) {
                                           runOnMain([weak, notification, options] {
                                               if (auto self = weak.lock()) {
                                                   self->present(notification, options);
                                               }
                                           });
                                       });
}

void UserNotificationCenter::present(const Notification& notification,
                                     PresentationOptions options) {
    if (options == PresentationOptions::none) {
        return;
    }
    std::shared_ptr<NotificationPresenter> presenter;
    {
        std::lock_guard lock(mutex_);
        presenter = presenter_;
    }
    if (!presenter) {
        return;
    }
    auto once = std::make_shared<std::once_flag>();
    presenter->presentNotification(notification, options,
                                   [weak = weak_from_this(), notification, once] {
                                       std::call_once(*once, [&] {
                                           runOnMain([weak, notification] {
                                               if (auto self = weak.lock()) {
                                                   self->respond(notification);
                                               }
                                           });
                                       });
                                   });
}

void UserNotificationCenter::respond(const Notification& notification) {
    if (delegate_ == nullptr) {
        return;
    }
    delegate_->didReceiveNotificationResponse(*this, NotificationResponse{notification}, [] {});
}

}  // namespace jw
