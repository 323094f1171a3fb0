#pragma once
// The running application in a Qt window: the one place that puts the system, the run loop
// on Qt's event loop, the bridge and the QML scene together, for the `jotwell` program and
// for the UI tests alike.
//
// Construction installs a QtRunLoop as the main run loop, launches the system through
// JotwellApplication (the same bootstrap the screen tests use) with the bridge as the
// tree's observer, and loads the QML scene into a window of `windowSize` points. The window's
// size drives the user-interface window (so the split view collapses and expands as it is
// resized), its activation makes the application become active or resign, and closing it
// shuts the application down (below) before the window goes. Reminders reach the person
// through DesktopNotifications (the desktop's notification service, or banners in the window,
// which bring the window forward when acted on) and the permission question through the
// window's own PermissionPrompt.
//
// shutDown(): the application resigns active (which saves the store), enters the background
// and terminates; the sync work already started is given a few seconds to finish so what was
// saved also reaches the cloud folder. Idempotent; the destructor calls it.
//
// Needs a QApplication (printing uses widgets); main thread only. Throws what the bootstrap throws
// (another application running, a store that cannot be opened) and std::runtime_error when the QML
// scene does not load.

#include <QObject>
#include <QSize>

#include <filesystem>
#include <memory>
#include <optional>

#include "frontends/qt/DesktopNotifications.h"
#include "frontends/qt/PermissionPrompt.h"
#include "frontends/qt/QtRunLoop.h"
#include "frontends/qt/SceneBridge.h"
#include "frontends/qt/SettingsPanel.h"
#include "frontends/qt/ShareActions.h"
#include "platform/foundation/Paths.h"

class QQmlApplicationEngine;
class QQuickWindow;

namespace jw {
class JotwellApplication;
namespace ads {
class MobileAds;
}
}  // namespace jw

namespace jw::qt {

struct HostSettings {
    AppPaths paths;
    // The cloud folder (see AppPaths::cloudDirectory).
    std::filesystem::path cloudDirectory;
    // Whether the cloud folder was given with --cloud-dir (the settings dialog says it wins).
    bool cloudDirectoryFromCommandLine = false;
    QSize windowSize{390, 844};
    // The advertising network; none: the house ads of the resource folder (JotwellApplication).
    std::shared_ptr<ads::MobileAds> advertising = nullptr;
    // How long a notification banner stays in the window unless acted on.
    int notificationBannerSeconds = DesktopNotifications::defaultBannerSeconds;
};

class AppHost final : public QObject {
    Q_OBJECT
  public:
    explicit AppHost(HostSettings settings, QObject* parent = nullptr);
    ~AppHost() override;

    QQuickWindow* window() const { return window_; }
    QQmlApplicationEngine& engine() const { return *engine_; }
    SceneBridge& bridge() const { return *bridge_; }
    DesktopNotifications& notifications() const { return *notifications_; }
    PermissionPrompt& permissionPrompt() const { return *permissionPrompt_; }
    // The settings dialog's model ("settings" in QML) and the share sheet's activities
    // ("sharing").
    SettingsPanel& settingsPanel() const { return *settingsPanel_; }
    ShareActions& shareActions() const { return *shareActions_; }
    QtRunLoop& runLoop() const { return *runLoop_; }
    JotwellApplication& application() const { return *application_; }

    void shutDown();
    // Shows the window, raised and asking for the keyboard (a second start over this folder).
    void bringForward();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    HostSettings settings_;
    std::shared_ptr<QtRunLoop> runLoop_;
    std::shared_ptr<RunLoop> previousRunLoop_;
    SceneBridge* bridge_ = nullptr;
    DesktopNotifications* notifications_ = nullptr;
    PermissionPrompt* permissionPrompt_ = nullptr;
    SettingsPanel* settingsPanel_ = nullptr;
    ShareActions* shareActions_ = nullptr;
    std::unique_ptr<JotwellApplication> application_;
    std::unique_ptr<QQmlApplicationEngine> engine_;
    QQuickWindow* window_ = nullptr;
    bool shutDown_ = false;
};

}  // namespace jw::qt
