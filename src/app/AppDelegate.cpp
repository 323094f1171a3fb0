#include "src/app/AppDelegate.h"

#include <stdexcept>

#include "platform/ads/MobileAds.h"
#include "platform/ads/TrackingAuthorization.h"
#include "platform/foundation/DebugLog.h"
#include "platform/notifications/UserNotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bars.h"
#include "platform/ui/NavigationController.h"
#include "src/items/DetailViewController.h"
#include "src/themes/Palette.h"

namespace jw {

const std::vector<std::string>& AppDelegate::testDeviceIdentifiers() {
    static const std::vector<std::string> devices{"5A1C0D6E9B8F47A2B3C4D5E6F7A8B9C0"};
    return devices;
}

AppDelegate::AppDelegate(model::JWDatabase::Locations databaseLocations)
    : databaseLocations_(std::move(databaseLocations)) {}

bool AppDelegate::applicationDidFinishLaunching(ui::Application& application) {
    application.setStatusBarStyle(ui::StatusBarStyle::lightContent);
    model::setSharedDatabase(std::make_shared<model::JWDatabase>(databaseLocations_));

    const auto split =
        window ? std::dynamic_pointer_cast<ui::SplitViewController>(window->rootViewController())
               : nullptr;
    if (!split) {
        throw std::logic_error("the main storyboard's root is not a split view controller");
    }
    split->setDelegate(std::weak_ptr<ui::SplitViewControllerDelegate>(shared_from_this()));
    split->setPreferredDisplayMode(ui::DisplayMode::allVisible);

    ui::NavigationBar::appearance().setTintColor(grey20);
    ui::Toolbar::appearance().setTintColor(grey20);

    UserNotificationCenter::currentNotificationCenter().setDelegate(this);
    return true;
}

void AppDelegate::applicationDidBecomeActive(ui::Application&) {
    // The answer comes on another thread, possibly after this delegate is gone: it holds only
    // the flag.
    ads::TrackingManager::requestTrackingAuthorization(
        [didLoadAds = didLoadAds_](ads::TrackingAuthorizationStatus status) {
            debugLog("ATTrackingManager status " + std::to_string(static_cast<int>(status)));
            if (didLoadAds->exchange(true)) {
                return;
            }
            // Held for the call: the application may put another network in place meanwhile.
            const auto network = ads::MobileAds::sharedHandle();
            network->start([](const ads::InitializationStatus&) {
                auto& started = ads::MobileAds::sharedInstance();
                started.start();
                started.requestConfiguration().setTestDeviceIdentifiers(testDeviceIdentifiers());
            });
        });
    if (auto* db = model::sharedDatabase()) {
        db->sync();
    }
    // The computer may have slept, or the clock been set, while the application was away: a
    // reminder that fell due meanwhile is delivered now rather than at the centre's next look
    // at the clock.
    UserNotificationCenter::currentNotificationCenter().wallClockChanged();
}

void AppDelegate::applicationWillResignActive(ui::Application&) {
    if (auto* db = model::sharedDatabase()) {
        db->saveContext(true);
    }
}

bool AppDelegate::collapseSecondaryViewController(ui::SplitViewController&,
                                                  ui::ViewController& secondary,
                                                  ui::ViewController&) {
    const auto* navigation = dynamic_cast<ui::NavigationController*>(&secondary);
    if (!navigation) {
        return false;
    }
    const auto items =
        std::dynamic_pointer_cast<DetailViewController>(navigation->topViewController());
    return !items || !items->list();
}

void AppDelegate::willPresentNotification(
    UserNotificationCenter&, const Notification&,
    std::function<void(PresentationOptions)> completionHandler) {
    completionHandler(PresentationOptions::alert | PresentationOptions::sound);
}

void AppDelegate::didReceiveNotificationResponse(UserNotificationCenter&,
                                                 const NotificationResponse&,
                                                 std::function<void()> completionHandler) {
    completionHandler();
}

}  // namespace jw
