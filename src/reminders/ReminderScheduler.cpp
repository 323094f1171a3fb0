#include "src/reminders/ReminderScheduler.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/DebugLog.h"
#include "platform/foundation/RunLoop.h"
#include "src/reminders/ReminderDates.h"
#include "src/reminders/ReminderRequest.h"
#include "src/reminders/ReminderTexts.h"

namespace jw {

namespace {

void showErrorOnMain(std::shared_ptr<ReminderScreen> screen, const char* message) {
    runOnMain([screen = std::move(screen), message] { screen->showErrorAlert(message); });
}

}  // namespace

ReminderScheduler::ReminderScheduler()
    : ReminderScheduler(UserNotificationCenter::currentNotificationCenterHandle()) {}

ReminderScheduler::ReminderScheduler(std::shared_ptr<UserNotificationCenter> center)
    : center_(std::move(center)) {}

void ReminderScheduler::scheduleReminder(const ReminderDraft& draft,
                                         std::shared_ptr<ReminderScreen> screen) const {
    const ReminderScheduler self = *this;
    center_->getNotificationSettings([self, draft, screen](NotificationSettings settings) {
        if (settings.authorizationStatus == AuthorizationStatus::authorized) {
            runOnMain([self, draft, screen] { self.addReminderRequest(draft, screen); });
            return;
        }
        self.center_->requestAuthorization(
            AuthorizationOptions::alert | AuthorizationOptions::sound,
            [self, draft, screen](bool granted, std::optional<NotificationError>) {
                if (!granted) {
                    showErrorOnMain(screen, reminder_texts::notificationsDisabled);
                    return;
                }
                // Granted: start over, now that the settings read authorised.
                self.scheduleReminder(draft, screen);
            });
    });
}

void ReminderScheduler::addReminderRequest(const ReminderDraft& draft,
                                           std::shared_ptr<ReminderScreen> screen) const {
    const auto now = currentClock().now();
    const auto interval = now ? reminderInterval(draft.date, *now) : std::nullopt;
    if (!interval) {
        showErrorOnMain(screen, reminder_texts::dateMustBeInFuture);
        return;
    }
    center_->addNotificationRequest(
        reminderNotificationRequest(draft, *interval),
        [screen](std::optional<NotificationError> error) {
            if (error) {
                debugLog(reminder_texts::addErrorDiagnostic + error->description());
                showErrorOnMain(screen, reminder_texts::reminderSetError);
                return;
            }
            runOnMain([screen] { screen->dismissReminderScreen(); });
        });
}

}  // namespace jw
