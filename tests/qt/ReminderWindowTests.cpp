// Reminders and ads in the window: desktop notifications over a private session bus (a stand-in
// service plays the desktop's), banners, the permission question, date wheels and the house ad.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QObject>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QVariantMap>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "platform/ads/MobileAds.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/notifications/NotificationStateFile.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "src/ads/JWAdvertising.h"
#include "src/app/JotwellApplication.h"
#include "src/items/DetailViewController.h"
#include "src/model/Operations.h"
#include "src/reminders/ReminderViewController.h"
#include "tests/notifications/NotificationTestSupport.h"
#include "tests/qt/WindowDriver.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

using test::WindowDriver;

// org.freedesktop.Notifications as a desktop runs it, reduced to what the app uses: Notify is
// recorded and answered with a new id; click() is the person clicking a bubble. It has its own
// connection to the bus, so the app's calls really travel over it.
class FakeNotificationService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    FakeNotificationService()
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName)) {
        registered =
            bus_.registerObject(QString::fromLatin1(qt::DesktopNotifications::servicePath), this,
                                QDBusConnection::ExportAllSlots) &&
            bus_.registerService(QString::fromLatin1(qt::DesktopNotifications::serviceName));
    }
    ~FakeNotificationService() override {
        bus_.unregisterService(QString::fromLatin1(qt::DesktopNotifications::serviceName));
        bus_.unregisterObject(QString::fromLatin1(qt::DesktopNotifications::servicePath));
        QDBusConnection::disconnectFromBus(connectionName);
    }

    void click(uint id) {
        auto signal = QDBusMessage::createSignal(
            QString::fromLatin1(qt::DesktopNotifications::servicePath),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        bus_.send(signal);
    }

    bool registered = false;
    // One line per Notify: "<app> | <summary> | <body> | <actions> | <hints> | <timeout>".
    std::vector<std::string> received;

  public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        QStringList hintTexts;
        for (auto it = hints.begin(); it != hints.end(); ++it) {
            hintTexts.push_back(it.key() + "=" + it.value().toString());
        }
        received.push_back(QStringList{appName, summary, body, actions.join(' '),
                                       hintTexts.join(' '), QString::number(timeout)}
                               .join(" | ")
                               .toStdString());
        return static_cast<uint>(received.size());
    }
    QStringList GetCapabilities() { return capabilities; }

  public:
    QStringList capabilities{QStringLiteral("body"), QStringLiteral("actions")};

  private:
    static constexpr const char* connectionName = "fake-notification-service";
    QDBusConnection bus_;
};

Date now() {
    return currentClock().now().value();
}

class ReminderWindow : public ::testing::Test {
  protected:
    std::filesystem::path dataFolder() const { return folder_.path() / "device"; }
    void launch(QSize size, const std::function<void(qt::HostSettings&)>& adjust = {}) {
        window_.launch(dataFolder(), folder_.path() / "cloud", size, adjust);
    }
    model::JWDatabase& db() { return window_.host().application().database(); }
    ui::ViewController& root() {
        return *window_.host().application().window().rootViewController();
    }
    DetailViewController& itemsScreen() {
        auto* items = find<DetailViewController>(root().shared_from_this());
        if (!items) {
            throw std::runtime_error("no items screen in the tree");
        }
        return *items;
    }
    // The list "Groceries" with "Milk", open beside the lists, and its reminder screen in front.
    ReminderViewController& openReminderForMilk() {
        auto list = model::newList(db(), "Groceries");
        auto milk = model::newItem(db(), *list, "Milk");
        window_.click(QStringLiteral("row:Groceries"));
        window_.waitUntil("the list opens",
                          [&] { return window_.find(QStringLiteral("row:Milk")); });
        itemsScreen().presentReminder(milk);
        window_.waitUntil("the reminder screen shows",
                          [&] { return window_.find(QStringLiteral("datePicker")); });
        auto* screen = find<ReminderViewController>(root().shared_from_this());
        if (!screen) {
            throw std::runtime_error("no reminder screen in the tree");
        }
        return *screen;
    }
    // The first controller of class T in the tree under `from`, presented ones included.
    template <class T>
    static T* find(const std::shared_ptr<const ui::Responder>& start) {
        const auto from = std::dynamic_pointer_cast<ui::ViewController>(
            std::const_pointer_cast<ui::Responder>(start));
        if (!from) {
            return nullptr;
        }
        if (auto* found = dynamic_cast<T*>(from.get())) {
            return found;
        }
        for (const auto& child : from->childViewControllers()) {
            if (auto* found = find<T>(child)) {
                return found;
            }
        }
        return find<T>(from->presentedViewController());
    }

    test::TempDir folder_;
    WindowDriver window_;
};

TEST_F(ReminderWindow, TheDesktopServiceGetsTitleAndBodyAndItsClickOpensTheReminder) {
    FakeNotificationService service;
    ASSERT_TRUE(service.registered) << "run under dbus-run-session";
    qt::DesktopNotifications notifications(QDBusConnection::sessionBus());
    QSignalSpy forward(&notifications, &qt::DesktopNotifications::broughtForward);
    int opened = 0;
    notifications.presenter()->presentNotification(
        Notification{test::reminderRequest("item-1", 60), now(), false},
        PresentationOptions::alert | PresentationOptions::sound, [&] { ++opened; });
    window_.waitUntil("the service is told", [&] { return !service.received.empty(); });
    EXPECT_EQ(service.received, std::vector<std::string>{
                                    "Jotwell | Groceries | Buy milk | default Open | "
                                    "desktop-entry=jotwell sound-name=message-new-instant | -1"});

    service.click(1);
    window_.waitUntil("the click arrives", [&] { return opened > 0; });
    EXPECT_EQ(std::to_string(opened) + " opened, " + std::to_string(forward.count()) +
                  " brought forward, " + std::to_string(notifications.banners().size()) +
                  " banners",
              "1 opened, 1 brought forward, 0 banners");
}

// The body is the item's text as typed: a service that reads markup in bodies gets it escaped.
TEST_F(ReminderWindow, TheBodyIsPlainTextWhateverTheServiceReads) {
    FakeNotificationService service;
    ASSERT_TRUE(service.registered) << "run under dbus-run-session";
    qt::DesktopNotifications notifications(QDBusConnection::sessionBus());
    const auto present = [&](QStringList capabilities) {
        service.capabilities = std::move(capabilities);
        const auto before = service.received.size();
        notifications.presenter()->presentNotification(
            Notification{test::reminderRequest("item-1", 60, "Milk & <b>eggs</b>"), now(), false},
            PresentationOptions::alert, [] {});
        window_.waitUntil("the service is told", [&] { return service.received.size() > before; });
        return QString::fromStdString(service.received.back()).section(" | ", 2, 2).toStdString();
    };
    EXPECT_EQ(present({"body", "actions"}), "Milk & <b>eggs</b>");
    EXPECT_EQ(present({"body", "body-markup", "actions"}), "Milk &amp; &lt;b&gt;eggs&lt;/b&gt;");
}

TEST_F(ReminderWindow, AReminderDueWhileClosedShowsAtStartAsALateBannerWithoutAService) {
    // Allowed earlier, and due an hour ago, while the application was not running.
    NotificationCenterState state;
    state.authorizationStatus = AuthorizationStatus::authorized;
    state.pending.push_back({test::reminderRequest("item-1", 60), now().addingSeconds(-3600)});
    NotificationStateFile(dataFolder() / "notifications.json").save(state);

    // The banner stays until tapped, however long the start takes.
    launch(WindowDriver::phone,
           [](qt::HostSettings& settings) { settings.notificationBannerSeconds = 3600; });
    window_.waitUntil("the banner shows",
                      [&] { return window_.find(QStringLiteral("banner:Groceries")); });
    // "Missed at ..." or, when an hour ago was the local day before, "Missed on ...": the
    // wording's own table is the notification text's.
    const QString body = window_.find(QStringLiteral("bannerBody"))->property("text").toString();
    EXPECT_EQ(
        (body.section('\n', 0, 0) + " / " + body.section('\n', 1).section(' ', 0, 0)).toStdString(),
        "Buy milk / Missed");
    EXPECT_EQ(window_.scene(), "Lists [] > banner:Groceries");

    QSignalSpy forward(&window_.host().notifications(), &qt::DesktopNotifications::broughtForward);
    window_.click(QStringLiteral("banner:Groceries"));
    window_.waitUntil("the banner goes", [&] { return !window_.find("banner:Groceries"); });
    EXPECT_EQ(forward.count(), 1);
    EXPECT_EQ(window_.scene(), "Lists []");
}

TEST_F(ReminderWindow, TheFirstSetAsksAndEachAnswerEndsAsThePersonChose) {
    struct Case {
        QString answer;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("Allow"), "Lists [Groceries] | Groceries (1) [Milk]"},
        {QStringLiteral("Don't Allow"),
         "Lists [Groceries] | Groceries (1) [Milk] > Reminder [] > "
         "alert:Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer.toStdString());
        // A device of its own for each case: nothing of the other answer is remembered.
        const auto device = folder_.path() / c.answer.toStdString();
        window_.launch(device / "data", device / "cloud", WindowDriver::tablet);
        openReminderForMilk();
        window_.click(QStringLiteral("barButton:Set"));
        window_.waitUntil("the question shows",
                          [&] { return window_.find(QStringLiteral("permissionPrompt")); });
        EXPECT_EQ(window_.host().permissionPrompt().title().toStdString(),
                  "Jotwell Would Like to Send You Notifications");
        window_.click("promptButton:" + c.answer);
        window_.waitUntil("the answer is taken", [&] {
            return !window_.find(QStringLiteral("permissionPrompt")) &&
                   (!window_.find(QStringLiteral("datePicker")) ||
                    window_.find(QStringLiteral("alert:Error")));
        });
        EXPECT_EQ(window_.scene(), c.expected);
        window_.quit();
    }
}

TEST_F(ReminderWindow, TheWheelsPickTheDateThroughThePicker) {
    launch(WindowDriver::phone);
    auto& screen = openReminderForMilk();
    const auto picker = screen.datePicker.lock();
    const auto pickedAfter = [&](const QString& wheel, Qt::Key key) {
        const Date before = picker->date();
        window_.click(wheel);
        QTest::keyClick(&window_.window(), key);
        window_.waitUntil("the wheel picks", [&] { return picker->date() != before; });
        // In whole seconds: the window's dates keep milliseconds.
        return std::round(picker->date().secondsSince(before));
    };
    const int hour =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(picker->date().secondsSinceEpoch))
            .time()
            .hour();
    const int minute =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(picker->date().secondsSinceEpoch))
            .time()
            .minute();
    // The hour and minute wheels go round without changing the day, as a clock's hands do.
    const double hourStep = pickedAfter(QStringLiteral("hourWheel"), Qt::Key_Down);
    const double minuteStep = pickedAfter(QStringLiteral("minuteWheel"), Qt::Key_Up);
    EXPECT_EQ(hourStep, ((hour + 1) % 24 - hour) * 3600.0);
    EXPECT_EQ(minuteStep, ((minute + 59) % 60 - minute) * 60.0);
    const double dayStep = pickedAfter(QStringLiteral("dayWheel"), Qt::Key_Down);
    EXPECT_NEAR(dayStep, 86400.0, 3600.0) << "a day on, give or take a change of clocks";
}

TEST_F(ReminderWindow, AHouseAdCoversTheWindowUntilItsCloseButtonTellsThePacer) {
    // The grace period and the last ad are long past; ads load at once.
    UserDefaults defaults(AppPaths::resolve(dataFolder()).userDefaultsFile());
    defaults.setDate(JWAdvertising::firstInitAdsKey, now().addingSeconds(-7200));
    defaults.setDate(JWAdvertising::lastShownSettingKey, now().addingSeconds(-3600));
    launch(WindowDriver::tablet, [](qt::HostSettings& settings) {
        settings.advertising = std::make_shared<ads::MobileAds>(
            ads::HouseAdNetworkOptions{settings.paths.resourceDirectory / "ads", 0.0, 0.0, 7});
    });
    model::newList(db(), "A");
    model::newList(db(), "B");
    window_.click(QStringLiteral("row:A"));
    window_.waitUntil("an ad has loaded",
                      [] { return JWAdvertising::shared().holdsInterstitial(); });
    window_.click(QStringLiteral("row:B"));
    window_.waitUntil("the ad shows", [&] { return window_.find(QStringLiteral("adOverlay")); });
    auto* overlay = window_.find(QStringLiteral("adOverlay"));
    EXPECT_EQ(QSizeF(overlay->width(), overlay->height()), QSizeF(window_.window().size()));
    EXPECT_EQ(window_.scene(), "Lists [A, B] | (table) [] > adOverlay");
    const Date beforeClosing = now();

    window_.click(QStringLiteral("adClose"));
    window_.waitUntil("the ad goes", [&] { return !window_.find(QStringLiteral("adOverlay")); });
    EXPECT_EQ(window_.scene(), "Lists [A, B] | (table) []");
    EXPECT_FALSE(JWAdvertising::shared().holdsInterstitial());
    EXPECT_GE(UserDefaults::standard().dateForKey(JWAdvertising::lastShownSettingKey),
              beforeClosing)
        << "closing restarts the pacer's interval";
}

}  // namespace
}  // namespace jw

#include "ReminderWindowTests.moc"
