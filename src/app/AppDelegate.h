#pragma once
// The application delegate: the first object of the system that runs, and the receiver of the
// lifecycle events, of the split view's collapse question and of the notification centre's
// deliveries.
//
// - Launch: light status bar; the database is created (store loaded, ensemble set up, nothing
//   synchronised yet) and becomes `sharedDatabase`; the delegate takes the window's root split
//   view (a root of another kind is a build fault: std::logic_error) and shows both columns;
//   every navigation bar and toolbar gets the tint grey20; the delegate becomes the current
//   notification centre's delegate.
// - Becoming active, each time: asks for tracking authorisation and, without waiting for the
//   answer, runs `sync`. The answer arrives on another thread and touches only the shared
//   "ads loaded" flag, debugLog and the advertising network: the first answer of the process
//   starts the network once. Then the notification centre is told the wall clock may have
//   moved (the computer slept, or the clock was set), so a reminder that fell due meanwhile
//   is delivered at once.
// - Resigning active: saves the store and stops the sync timer.
// - Collapse rule: the items column is dropped when the split view collapses unless it shows a
//   list (see collapseSecondaryViewController).
// - Notifications: one that arrives in the foreground shows with alert and sound; acting on
//   one only brings the application forward.
//
// Owned by the Application (a shared_ptr); the split view and the notification centre refer to
// it without owning it: whoever installs it unregisters it before it goes. Main thread, but
// for the tracking answer.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/notifications/UserNotificationCenterDelegate.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Window.h"
#include "src/model/JWDatabase.h"

namespace jw {

class AppDelegate : public ui::ApplicationDelegate,
                    public ui::SplitViewControllerDelegate,
                    public UserNotificationCenterDelegate,
                    public std::enable_shared_from_this<AppDelegate> {
  public:
    // The advertising network's test devices: one 32-digit hexadecimal device identifier.
    static const std::vector<std::string>& testDeviceIdentifiers();

    // `databaseLocations` say where the database created at launch keeps its store and which
    // cloud it reaches.
    explicit AppDelegate(model::JWDatabase::Locations databaseLocations);

    // Set by whoever builds the window from the main storyboard.
    std::shared_ptr<ui::Window> window;

    // The advertising network was started in this process (shared with the tracking answers,
    // which may outlive the delegate).
    bool didLoadAds() const { return didLoadAds_->load(); }

    bool applicationDidFinishLaunching(ui::Application& application) override;
    void applicationDidBecomeActive(ui::Application& application) override;
    void applicationWillResignActive(ui::Application& application) override;

    // True (drop the items column) when it is not a navigation controller showing the items
    // screen with a list: no top screen, the empty placeholder, or the items screen without a
    // list. False for anything that is not a navigation controller (the default collapse).
    bool collapseSecondaryViewController(ui::SplitViewController& splitViewController,
                                         ui::ViewController& secondary,
                                         ui::ViewController& primary) override;

    void willPresentNotification(
        UserNotificationCenter& center, const Notification& notification,
        std::function<void(PresentationOptions)> completionHandler) override;
    void didReceiveNotificationResponse(UserNotificationCenter& center,
                                        const NotificationResponse& response,
                                        std::function<void()> completionHandler) override;

  private:
    model::JWDatabase::Locations databaseLocations_;
    std::shared_ptr<std::atomic<bool>> didLoadAds_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace jw
