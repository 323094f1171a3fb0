#include "frontends/qt/AppHost.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QEvent>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QUrl>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Window.h"
#include "src/app/CloudSettings.h"
#include "src/app/JotwellApplication.h"
#include "src/model/JWDatabase.h"

namespace jw::qt {

namespace {
constexpr double kSyncGraceSeconds = 5.0;
}

AppHost::AppHost(HostSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
    // The Basic style draws everything under Qt Quick's software renderer too (headless runs).
    if (QQuickStyle::name().isEmpty()) {
        QQuickStyle::setStyle(QStringLiteral("Basic"));
    }
    runLoop_ = std::make_shared<QtRunLoop>();
    bridge_ = new SceneBridge(this);
    connect(bridge_, &SceneBridge::urlOpened, this,
            [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });

    notifications_ = new DesktopNotifications(QDBusConnection::sessionBus(), this);
    notifications_->setBannerSeconds(settings_.notificationBannerSeconds);
    permissionPrompt_ = new PermissionPrompt(this);

    settings_.paths.createDirectories();
    LaunchSettings launch;
    launch.dataDirectory = settings_.paths.dataDirectory;
    launch.resourceDirectory = settings_.paths.resourceDirectory;
    launch.cloudDirectory = settings_.cloudDirectory;
    launch.runLoop = runLoop_;
    launch.userDefaults = std::make_shared<UserDefaults>(settings_.paths.userDefaultsFile());
    launch.observer = bridge_->observer();
    launch.notificationPresenter = notifications_->presenter();
    launch.notificationPrompt = permissionPrompt_->prompt();
    launch.advertising = settings_.advertising;
    launch.windowSize = ui::Size{static_cast<double>(settings_.windowSize.width()),
                                 static_cast<double>(settings_.windowSize.height())};
    application_ = JotwellApplication::launch(std::move(launch));
    settingsPanel_ =
        new SettingsPanel(std::make_unique<CloudSettings>(application_->database(), settings_.paths,
                                                          settings_.cloudDirectory,
                                                          settings_.cloudDirectoryFromCommandLine),
                          this);
    shareActions_ = new ShareActions(*bridge_, this);

    engine_ = std::make_unique<QQmlApplicationEngine>();
    engine_->addImageProvider(QStringLiteral("jw"), new ImageProvider(bridge_->imageStore()));
    engine_->rootContext()->setContextProperty(QStringLiteral("bridge"), bridge_);
    engine_->rootContext()->setContextProperty(QStringLiteral("notifications"), notifications_);
    engine_->rootContext()->setContextProperty(QStringLiteral("permissionPrompt"),
                                               permissionPrompt_);
    engine_->rootContext()->setContextProperty(QStringLiteral("settings"), settingsPanel_);
    engine_->rootContext()->setContextProperty(QStringLiteral("sharing"), shareActions_);
    engine_->rootContext()->setContextProperty(QStringLiteral("initialWidth"),
                                               settings_.windowSize.width());
    engine_->rootContext()->setContextProperty(QStringLiteral("initialHeight"),
                                               settings_.windowSize.height());
    bridge_->refresh();
    engine_->load(QUrl(QStringLiteral("qrc:/Jotwell/qml/Main.qml")));
    if (engine_->rootObjects().isEmpty() ||
        !(window_ = qobject_cast<QQuickWindow*>(engine_->rootObjects().first()))) {
        throw std::runtime_error("the window's QML did not load (see the messages above)");
    }
    window_->installEventFilter(this);
    // Acting on a reminder only brings the application forward.
    connect(notifications_, &DesktopNotifications::broughtForward, this, [this] {
        if (window_) {
            if (window_->visibility() == QWindow::Minimized) {
                window_->showNormal();
            }
            window_->raise();
            window_->requestActivate();
        }
    });
    window_->setIcon(QIcon(QStringLiteral(":/Jotwell/icons/jotwell.svg")));
}

bool AppHost::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Close) {
        shutDown();
    }
    return QObject::eventFilter(watched, event);
}

void AppHost::bringForward() {
    window_->show();
    if (window_->windowState() & Qt::WindowMinimized) {
        window_->setWindowStates(window_->windowStates() & ~Qt::WindowMinimized);
    }
    window_->raise();
    window_->requestActivate();
}

AppHost::~AppHost() {
    shutDown();
    engine_.reset();
    // The dialog's model goes before the database it reads.
    delete settingsPanel_;
    settingsPanel_ = nullptr;
    // What the application posted for the screens runs before it goes (see JotwellApplication).
    runLoop_->runPosted();
    application_.reset();
}

void AppHost::shutDown() {
    if (shutDown_ || !application_) {
        return;
    }
    shutDown_ = true;
    auto& application = application_->application();
    // A row being edited hands on its text first, so the save below keeps it.
    application.endEditing();
    application.resignActive();
    application.enterBackground();
    application.terminate();
    // The save just made is sent on the sync worker; give it a moment to reach the folder.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kSyncGraceSeconds);
    while (application_->database().operationsInFlight() > 0 &&
           std::chrono::steady_clock::now() < deadline) {
        runLoop_->runPosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    runLoop_->runPosted();
}

}  // namespace jw::qt
