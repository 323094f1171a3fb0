#pragma once
// Notifications on the desktop: through the freedesktop notification service on the session
// bus when there is one, as banners in the window otherwise.
//
// present() asks org.freedesktop.Notifications for its capabilities, then sends `Notify` (app
// name "Jotwell", the title as summary, the body as plain text, escaped when the service reads
// markup in bodies, one action "default" so that clicking the bubble counts, the sound as a
// hint) and waits for the answer without blocking the window. When the bus or the service is
// missing, or the service fails or does not answer within serviceTimeoutMs, the notification
// becomes a banner in the window instead: `banners` (each {key, title, body, late}) is what
// NotificationBanner.qml draws, oldest first, each for `bannerSeconds`. The texts are the
// platform's (notificationText: a late one says when it was due).
//
// A click on the desktop bubble (the service's ActionInvoked with "default") or a tap on a
// banner (activateBanner) calls the notification's `activated` once and emits broughtForward,
// so the window comes to the front; nothing else happens (the application opens where it was).
// dismissBanner takes a banner away unanswered (it timed out, or was swiped away). A
// notification the service reports closed is forgotten.
//
// Only `alert` shows anything: a notification presented with sound alone stays silent and
// unseen (the desktop offers no sound without a bubble).
//
// presenter() is what the notification centre is given; it may outlive this object and then
// shows nothing. Main thread only (the centre presents on the main thread).

#include <QDBusConnection>
#include <QObject>
#include <QVariantList>

#include <functional>
#include <map>
#include <memory>

#include "platform/notifications/NotificationPresenter.h"

namespace jw::qt {

class DesktopNotifications final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantList banners READ banners NOTIFY bannersChanged)
    Q_PROPERTY(int bannerSeconds READ bannerSeconds CONSTANT)
  public:
    static constexpr int defaultBannerSeconds = 6;
    static constexpr int serviceTimeoutMs = 3000;
    static constexpr const char* serviceName = "org.freedesktop.Notifications";
    static constexpr const char* servicePath = "/org/freedesktop/Notifications";

    // `bus`: where to look for the service (the session bus; a test's private one).
    explicit DesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);
    ~DesktopNotifications() override;

    std::shared_ptr<NotificationPresenter> presenter();
    void present(const Notification& notification, PresentationOptions options,
                 std::function<void()> activated);

    QVariantList banners() const { return banners_; }
    // How long NotificationBanner.qml shows a banner that nobody acts on; set before QML loads.
    int bannerSeconds() const { return bannerSeconds_; }
    void setBannerSeconds(int seconds) { bannerSeconds_ = seconds; }
    Q_INVOKABLE void activateBanner(int key);
    Q_INVOKABLE void dismissBanner(int key);

  signals:
    void bannersChanged();
    // The person acted on a notification: the window should come to the front.
    void broughtForward();

  private slots:
    void actionInvoked(uint id, const QString& actionKey);
    void notificationClosed(uint id, uint reason);

  private:
    struct Shown;
    // Sends Notify, the body escaped for a service that reads markup in it.
    void notify(Shown shown, bool escapeBody);
    // Sends `call` to the service without waiting; `answered` gets what it answered, and a
    // failure or no answer shows the notification as a banner instead.
    void send(const QDBusMessage& call, Shown shown,
              std::function<void(Shown&, const QVariantList&)> answered);
    void showBanner(const Shown& shown);
    void activate(std::function<void()> activated);

    QDBusConnection bus_;
    QVariantList banners_;
    int nextKey_ = 1;
    int bannerSeconds_ = defaultBannerSeconds;
    // What clicking does, by banner key and by the service's notification id.
    std::map<int, std::function<void()>> bannerActivations_;
    std::map<uint, std::function<void()>> serviceActivations_;
    std::shared_ptr<NotificationPresenter> presenter_;
};

}  // namespace jw::qt
