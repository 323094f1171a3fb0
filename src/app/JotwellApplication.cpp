#include "src/app/JotwellApplication.h"

#include <mutex>
#include <stdexcept>
#include <system_error>

#include "platform/foundation/Paths.h"
#include "src/ads/JWAdvertising.h"
#include "src/app/AdScreenPresenter.h"
#include "src/app/AppDelegate.h"
#include "src/app/Storyboards.h"
#include "src/model/ListsScreenHook.h"

namespace jw {

namespace {

// The data folder of the application running in this process, if any.
std::mutex& runningMutex() {
    static std::mutex mutex;
    return mutex;
}
std::optional<std::filesystem::path>& runningFolder() {
    static std::optional<std::filesystem::path> folder;
    return folder;
}

std::filesystem::path comparable(const std::filesystem::path& folder) {
    std::error_code ignored;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(folder), ignored);
    return canonical.empty() ? folder.lexically_normal() : canonical;
}

// Takes the process's one application slot for `folder`, or says why it cannot.
std::filesystem::path claim(const std::filesystem::path& folder) {
    const auto wanted = comparable(folder);
    std::lock_guard lock(runningMutex());
    auto& running = runningFolder();
    if (running && *running == wanted) {
        throw std::logic_error("Jotwell is already running over the data folder " +
                               wanted.string() +
                               " in this process; a second launch would open its store twice");
    }
    if (running) {
        throw std::logic_error("Jotwell is already running in this process, over the data folder " +
                               running->string() + "; only one application can run at a time");
    }
    running = wanted;
    return wanted;
}

void release(const std::filesystem::path& folder) {
    std::lock_guard lock(runningMutex());
    if (runningFolder() == folder) {
        runningFolder().reset();
    }
}

}  // namespace

std::unique_ptr<JotwellApplication> JotwellApplication::launch(LaunchSettings settings) {
    std::unique_ptr<JotwellApplication> app(new JotwellApplication(std::move(settings)));
    app->install();
    app->application_->launch();
    return app;
}

JotwellApplication::JotwellApplication(LaunchSettings settings)
    : settings_(std::move(settings)), claimedFolder_(claim(settings_.dataDirectory)) {
    try {
        std::filesystem::create_directories(settings_.dataDirectory);
        folderLock_ = FolderLock::acquire(settings_.dataDirectory, "jotwell");
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        release(claimedFolder_);
        throw;
    }
}

void JotwellApplication::install() {
    std::filesystem::create_directories(settings_.dataDirectory);

    if (settings_.clock) {
        putBack_.push_back([previous = installClock(settings_.clock)] { installClock(previous); });
    }
    if (settings_.runLoop) {
        putBack_.push_back(
            [previous = installMainRunLoop(settings_.runLoop)] { installMainRunLoop(previous); });
    }
    if (settings_.userDefaults) {
        putBack_.push_back([previous = UserDefaults::installStandard(settings_.userDefaults)] {
            UserDefaults::installStandard(previous);
        });
    }

    advertising_ = settings_.advertising
                       ? settings_.advertising
                       : std::make_shared<ads::MobileAds>(
                             ads::HouseAdNetworkOptions{settings_.resourceDirectory / "ads"});
    advertising_->setFullScreenAdPresenter(std::make_shared<AdScreenPresenter>());
    putBack_.push_back([advertising = advertising_,
                        previous = ads::MobileAds::installSharedInstance(advertising_)] {
        advertising->setFullScreenAdPresenter(nullptr);
        ads::MobileAds::installSharedInstance(previous);
    });

    putBack_.push_back(
        [previous = JWAdvertising::installShared(std::make_shared<JWAdvertising>())] {
            JWAdvertising::installShared(previous);
        });

    const AppPaths paths{settings_.dataDirectory, {}, settings_.resourceDirectory};
    notificationCenter_ =
        UserNotificationCenter::create(UserNotificationCenter::stateFileIn(paths));
    notificationCenter_->setAuthorizationPrompt(settings_.notificationPrompt);
    notificationCenter_->setNotificationPresenter(settings_.notificationPresenter);
    putBack_.push_back(
        [center = notificationCenter_,
         previous = UserNotificationCenter::installCurrentNotificationCenter(notificationCenter_)] {
            center->setDelegate(nullptr);
            UserNotificationCenter::installCurrentNotificationCenter(previous);
        });

    application_ = std::make_shared<ui::Application>();
    putBack_.push_back([previous = ui::Application::install(application_)] {
        ui::Application::install(previous);
    });
    application_->setObserver(settings_.observer);
    auto main = makeMainStoryboard();
    application_->registerStoryboard(main);
    application_->registerStoryboard(makeIntroStoryboard());
    window_ = std::make_shared<ui::Window>(settings_.windowSize);
    application_->setWindow(window_);
    window_->setRootViewController(main->instantiateInitialViewController());

    model::JWDatabase::Locations locations{settings_.dataDirectory, settings_.resourceDirectory};
    locations.cloudFileSystem = settings_.cloudFileSystem;
    locations.cloudDirectory = settings_.cloudDirectory;
    locations.syncTuning = settings_.syncTuning;
    delegate_ = std::make_shared<AppDelegate>(std::move(locations));
    delegate_->window = window_;
    application_->setDelegate(delegate_);
}

JotwellApplication::~JotwellApplication() {
    // The screens go first: they hold the store's objects, and the lists screen is the
    // database's listsScreen. Then the database, then what was installed, newest first.
    if (notificationCenter_) {
        notificationCenter_->setDelegate(nullptr);
    }
    model::setListsScreen(nullptr);
    if (application_) {
        application_->setDelegate(nullptr);
        application_->setWindow(nullptr);
    }
    if (delegate_) {
        delegate_->window.reset();
    }
    delegate_.reset();
    window_.reset();
    model::setSharedDatabase(nullptr);
    for (auto undo = putBack_.rbegin(); undo != putBack_.rend(); ++undo) {
        (*undo)();
    }
    folderLock_.reset();
    release(claimedFolder_);
}

model::JWDatabase& JotwellApplication::database() {
    auto* db = model::sharedDatabase();
    if (!db) {
        throw std::logic_error("the application has no database (it has not launched)");
    }
    return *db;
}

}  // namespace jw
