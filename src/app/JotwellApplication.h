#pragma once
// Putting the application together: the one place that builds the system (database, window,
// storyboards, delegate, notification centre, advertising) from the folders and platform pieces
// it is given, so the Qt front end and the tests start it the same way.
//
// JotwellApplication::launch installs, in this order, then launches before returning:
//   1. the given clock, main run loop and user defaults as the process's own, so that every
//      date the ad pacer keeps lives in those defaults (in their file, when they have one)
//      from the first check on;
//   2. the advertising network with the full-screen ad presenter (AdScreenPresenter), before
//      any ad can load;
//   3. the notification centre on "notifications.json" in the data folder, with the given
//      permission prompt and presenter; it starts delivering at the run loop's next turn;
//   4. the user-interface application: the "Main" and "Intro" storyboards, the window with the
//      main storyboard's split view, the AppDelegate, and the given observer;
//   then the application launches: the delegate creates the database and becomes the centre's
//   delegate, the window comes on screen and the application becomes active. All of it happens
//   before the run loop turns again, so no reminder falls due without a delegate (such a
//   reminder would be dropped for good).
//
// Destroying it ends the application as a process exit does (nothing more is saved) and puts
// back everything it installed. Drain the run loop first: work still queued for the screens is
// not run afterwards.
//
// One application per process: launching while one is running is a programming error
// (std::logic_error naming the data folder it holds). One program per data folder across
// processes: the application holds the folder's FolderLock while it lives, and launching over
// a folder another process holds (another application, jotwell-cli) throws FolderInUse naming
// the holder. Main thread only.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ads/MobileAds.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/FolderLock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/notifications/UserNotificationCenter.h"
#include "platform/sync/CloudFileSystem.h"
#include "platform/sync/PersistentStoreEnsemble.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "src/model/JWDatabase.h"

namespace jw {

class AppDelegate;

struct LaunchSettings {
    // The store and the notification state live here (created when missing).
    std::filesystem::path dataDirectory;
    // The object model, artwork and house ads.
    std::filesystem::path resourceDirectory;
    // The cloud folder, as a file system or as a folder; with neither, sync stays off and the
    // intro keeps checking.
    std::shared_ptr<sync::CloudFileSystem> cloudFileSystem = nullptr;
    std::optional<std::filesystem::path> cloudDirectory = std::nullopt;
    // The platform pieces. None keeps what the process has now.
    std::shared_ptr<Clock> clock = nullptr;
    std::shared_ptr<RunLoop> runLoop = nullptr;
    std::shared_ptr<UserDefaults> userDefaults = nullptr;
    std::shared_ptr<AuthorizationPrompt> notificationPrompt = nullptr;
    std::shared_ptr<NotificationPresenter> notificationPresenter = nullptr;
    // The advertising network; none: house ads from the resource folder's "ads".
    std::shared_ptr<ads::MobileAds> advertising = nullptr;
    // Whatever draws the screens (the front end); none: nothing is told.
    std::shared_ptr<ui::Observer> observer = nullptr;
    ui::Size windowSize = ui::Window::phoneSize;
    sync::EnsembleTuning syncTuning = {};
};

class JotwellApplication {
  public:
    // Builds and launches (see above). Throws std::logic_error when an application is running.
    static std::unique_ptr<JotwellApplication> launch(LaunchSettings settings);
    ~JotwellApplication();
    JotwellApplication(const JotwellApplication&) = delete;
    JotwellApplication& operator=(const JotwellApplication&) = delete;

    ui::Application& application() { return *application_; }
    ui::Window& window() { return *window_; }
    AppDelegate& delegate() { return *delegate_; }
    model::JWDatabase& database();
    UserNotificationCenter& notificationCenter() { return *notificationCenter_; }
    ads::MobileAds& advertising() { return *advertising_; }
    const LaunchSettings& settings() const { return settings_; }

  private:
    explicit JotwellApplication(LaunchSettings settings);
    void install();

    LaunchSettings settings_;
    std::filesystem::path claimedFolder_;
    std::unique_ptr<FolderLock> folderLock_;

    std::shared_ptr<ui::Application> application_;
    std::shared_ptr<ui::Window> window_;
    std::shared_ptr<AppDelegate> delegate_;
    std::shared_ptr<UserNotificationCenter> notificationCenter_;
    std::shared_ptr<ads::MobileAds> advertising_;

    // Each puts back what one installation replaced; run newest first at the end.
    std::vector<std::function<void()>> putBack_;
};

}  // namespace jw
