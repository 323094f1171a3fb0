#include "frontends/qt/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <QVariantMap>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DebugLog.h"
#include "platform/notifications/NotificationText.h"

namespace jw::qt {

namespace {

constexpr const char* serviceInterface = "org.freedesktop.Notifications";

QDBusMessage serviceCall(const QString& method) {
    return QDBusMessage::createMethodCall(QString::fromLatin1(DesktopNotifications::serviceName),
                                          QString::fromLatin1(DesktopNotifications::servicePath),
                                          QString::fromLatin1(serviceInterface), method);
}

// What the centre holds: it may outlive the window (its background work keeps it), so it
// holds the window's object weakly.
class Presenter final : public NotificationPresenter {
  public:
    explicit Presenter(DesktopNotifications* notifications) : notifications_(notifications) {}
    void presentNotification(const Notification& notification, PresentationOptions options,
                             std::function<void()> activated) override {
        if (notifications_) {
            notifications_->present(notification, options, std::move(activated));
        }
    }

  private:
    QPointer<DesktopNotifications> notifications_;
};

}  // namespace

struct DesktopNotifications::Shown {
    QString title;
    QString body;
    bool late = false;
    bool sound = false;
    std::function<void()> activated;
};

DesktopNotifications::DesktopNotifications(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    if (bus_.isConnected()) {
        bus_.connect(QString::fromLatin1(serviceName), QString::fromLatin1(servicePath),
                     QString::fromLatin1(serviceInterface), QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
        bus_.connect(QString::fromLatin1(serviceName), QString::fromLatin1(servicePath),
                     QString::fromLatin1(serviceInterface), QStringLiteral("NotificationClosed"),
                     this, SLOT(notificationClosed(uint, uint)));
    }
}

DesktopNotifications::~DesktopNotifications() = default;

std::shared_ptr<NotificationPresenter> DesktopNotifications::presenter() {
    if (!presenter_) {
        presenter_ = std::make_shared<Presenter>(this);
    }
    return presenter_;
}

void DesktopNotifications::present(const Notification& notification, PresentationOptions options,
                                   std::function<void()> activated) {
    if (!contains(options, PresentationOptions::alert)) {
        return;
    }
    const auto text =
        notificationText(notification, currentClock().now().value_or(notification.date));
    Shown shown{QString::fromStdString(text.title), QString::fromStdString(text.body), text.late,
                contains(options, PresentationOptions::sound), std::move(activated)};
    if (!bus_.isConnected()) {
        showBanner(shown);
        return;
    }
    // The body is plain text: a service that reads markup in bodies (it says "body-markup"
    // among its capabilities) gets it escaped, so "Milk & <b>eggs</b>" shows as typed.
    send(serviceCall(QStringLiteral("GetCapabilities")), std::move(shown),
         [this](Shown& asked, const QVariantList& answer) {
             notify(std::move(asked),
                    answer.value(0).toStringList().contains(QStringLiteral("body-markup")));
         });
}

void DesktopNotifications::notify(Shown shown, bool escapeBody) {
    QVariantMap hints;
    hints[QStringLiteral("desktop-entry")] = QStringLiteral("jotwell");
    if (shown.sound) {
        hints[QStringLiteral("sound-name")] = QStringLiteral("message-new-instant");
    } else {
        hints[QStringLiteral("suppress-sound")] = true;
    }
    auto call = serviceCall(QStringLiteral("Notify"));
    call << QStringLiteral("Jotwell") << uint(0) << QStringLiteral("jotwell") << shown.title
         << (escapeBody ? shown.body.toHtmlEscaped() : shown.body)
         << QStringList{QStringLiteral("default"), QStringLiteral("Open")} << hints << int(-1);
    send(call, std::move(shown), [this](Shown& sent, const QVariantList& answer) {
        serviceActivations_[answer.value(0).toUInt()] = sent.activated;
    });
}

void DesktopNotifications::send(const QDBusMessage& call, Shown shown,
                                std::function<void(Shown&, const QVariantList&)> answered) {
    // Asynchronous: a slow or absent service must not hold up the window, and a service in
    // this very process (a test's) answers only once the event loop runs.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, serviceTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, method = call.member(), shown = std::move(shown),
             answered = std::move(answered)](QDBusPendingCallWatcher* finished) mutable {
                finished->deleteLater();
                const QDBusMessage reply = finished->reply();
                if (reply.type() == QDBusMessage::ErrorMessage) {
                    debugLog("notifications: the desktop's service did not answer " +
                             method.toStdString() + " (" + reply.errorMessage().toStdString() +
                             "); shown in the window");
                    showBanner(shown);
                    return;
                }
                answered(shown, reply.arguments());
            });
}

void DesktopNotifications::showBanner(const Shown& shown) {
    const int key = nextKey_++;
    bannerActivations_[key] = shown.activated;
    QVariantMap banner;
    banner[QStringLiteral("key")] = key;
    banner[QStringLiteral("title")] = shown.title;
    banner[QStringLiteral("body")] = shown.body;
    banner[QStringLiteral("late")] = shown.late;
    banners_.push_back(banner);
    emit bannersChanged();
}

void DesktopNotifications::activateBanner(int key) {
    const auto found = bannerActivations_.find(key);
    if (found == bannerActivations_.end()) {
        return;
    }
    auto activated = std::move(found->second);
    dismissBanner(key);
    activate(std::move(activated));
}

void DesktopNotifications::dismissBanner(int key) {
    bannerActivations_.erase(key);
    const auto before = banners_.size();
    banners_.removeIf([key](const QVariant& banner) {
        return banner.toMap().value(QStringLiteral("key")).toInt() == key;
    });
    if (banners_.size() != before) {
        emit bannersChanged();
    }
}

void DesktopNotifications::actionInvoked(uint id, const QString& actionKey) {
    const auto found = serviceActivations_.find(id);
    if (found == serviceActivations_.end() || actionKey != QLatin1String("default")) {
        return;
    }
    auto activated = std::move(found->second);
    serviceActivations_.erase(found);
    activate(std::move(activated));
}

void DesktopNotifications::notificationClosed(uint id, uint) {
    serviceActivations_.erase(id);
}

void DesktopNotifications::activate(std::function<void()> activated) {
    if (activated) {
        activated();
    }
    emit broughtForward();
}

}  // namespace jw::qt
