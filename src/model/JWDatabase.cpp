#include "JWDatabase.h"

#include <fmt/format.h>

#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

#include "DoneCounts.h"
#include "Entities.h"
#include "ListsScreenHook.h"
#include "platform/foundation/DebugLog.h"
#include "platform/foundation/Fatal.h"
#include "platform/sync/FolderCloudFileSystem.h"

namespace jw::model {

namespace {

// A save the store refuses leaves nothing sound to go on with.
void saveOrStop(store::ManagedObjectContext& context) {
    if (context.hasChanges()) {
        try {
            context.save();
        } catch (const store::StoreError& error) {
            fatalError(error.description(), error.userInfo());
        }
    }
}

std::shared_ptr<JWDatabase> gSharedDatabase;
std::shared_ptr<ListsScreenHook> gListsScreen;

void cloudLog(const std::string& text) {
    debugLog("CloudDB: " + text);
}

// The store's location as the absolute string of a file URL: an absolute path, with every
// byte that may not stand in a URL path percent-encoded ("My Lists" becomes "My%20Lists").
std::string fileURLString(const std::filesystem::path& path) {
    std::error_code ignored;  // without a working directory the path is shown as it is
    auto absolute = std::filesystem::absolute(path, ignored);
    if (absolute.empty()) {
        absolute = path;
    }
    static constexpr std::string_view kAllowed = "!$&'()*+,-./:;=@_~";
    std::string url = "file://";
    for (const unsigned char c : absolute.lexically_normal().string()) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || kAllowed.find(char(c)) != kAllowed.npos;
        url += plain ? std::string(1, char(c)) : fmt::format("%{:02X}", c);
    }
    return url;
}

}  // namespace

ListsScreenHook* listsScreen() {
    return gListsScreen.get();
}
void setListsScreen(std::shared_ptr<ListsScreenHook> screen) {
    gListsScreen = std::move(screen);
}

JWDatabase::JWDatabase(const Locations& locations)
    : settings_(locations.settings ? *locations.settings : UserDefaults::standard()) {
    managedObjectModelURL_ =
        store::PersistentContainer::modelURL(locations.resourceDirectory, "Jotwell");
    std::shared_ptr<store::ObjectModel> model;
    try {
        model = store::ObjectModel::fromFile(managedObjectModelURL_);
        registerModelClasses(*model);
    } catch (const store::StoreError& error) {
        fatalError(error.description(), error.userInfo());
    } catch (const std::logic_error& error) {
        fatalError("The object model does not fit this program", error.what());
    }
    persistentContainer_ = std::make_unique<store::PersistentContainer>("Jotwell", std::move(model),
                                                                        locations.dataDirectory);
    std::error_code ignored;
    const bool storeIsNew =
        !std::filesystem::exists(locations.dataDirectory / "Jotwell.sqlite", ignored);
    persistentContainer_->loadPersistentStores([](const store::StoreError* error) {
        if (error) {
            fatalError(error->description(), error->userInfo());
        }
    });
    debugLog("PSC location: " + fileURLString(storeURL()));
    if (storeIsNew && settings_.boolForKey(cloudDBAlreadyLeeched).value_or(false)) {
        // The settings outlived the store they describe; this store was never attached.
        settings_.setBool(cloudDBAlreadyLeeched, false);
        cloudLog("new store: the earlier store's attachment no longer applies");
    }

    cloudLog("setup begin");
    sync::setCurrentLoggingLevel(0);
    syncTuning_ = locations.syncTuning;
    auto fileSystem = locations.cloudFileSystem;
    if (!fileSystem && locations.cloudDirectory) {
        fileSystem = std::make_shared<sync::FolderCloudFileSystem>(*locations.cloudDirectory);
    }
    if (fileSystem) {
        cloudFileSystem_ = fileSystem;
        ensemble_ = openEnsemble(fileSystem);
    }
    cloudLog("setup end " + (ensemble_ ? ensemble_->description() : std::string("nil")));
}

std::shared_ptr<sync::PersistentStoreEnsemble> JWDatabase::openEnsemble(
    std::shared_ptr<sync::CloudFileSystem> folder) {
    // Why there is no ensemble is told as the last sync error, for the front ends to show.
    sync::SyncError whyNot;
    auto ensemble = sync::PersistentStoreEnsemble::create(
        "MainStore", storeURL(), managedObjectModelURL_, std::move(folder), syncTuning_, &whyNot);
    if (ensemble) {
        ensemble->setDelegate(this);
    } else {
        lastSyncError_ = whyNot;
    }
    return ensemble;
}

JWDatabase::~JWDatabase() {
    *alive_ = false;
    if (syncTimer_) {
        syncTimer_->invalidate();
    }
    if (ensemble_) {
        ensemble_->setDelegate(nullptr);
    }
}

SyncState JWDatabase::syncState() const {
    if (ensemble_ && ensemble_->isLeeched()) {
        return SyncState::attached;
    }
    if (ensemble_ && settings_.boolForKey(cloudDBAlreadyLeeched).value_or(false)) {
        return SyncState::attachmentLost;
    }
    return SyncState::notYetAttached;
}

void JWDatabase::askForIntro() {
    if (auto* screen = listsScreen()) {
        screen->presentIntroIfNeeded();
    }
}

void JWDatabase::sync() {
    cloudLog("Sync called");
    if (moving_) {
        cloudLog("moving to another cloud folder; sync waits");
        return;
    }
    if (!ensemble_) {
        cloudLog("no ensembles instance yet");
        cloudLog("Sync call done");
        return;
    }
    if (settings_.boolForKey(cloudDBAlreadyLeeched).value_or(false) && !ensemble_->isLeeched()) {
        askForIntro();
        return;
    }
    if (!syncTimer_) {
        auto alive = alive_;
        syncTimer_ = mainRunLoop().scheduleTimer(10.0, true, [this, alive](Timer&) {
            if (*alive) {
                saveContext(false);
            }
        });
        cloudLog("setup syncTimer");
    }
    if (ensemble_->isLeeched()) {
        merge();
    } else {
        leech();
    }
    cloudLog("Sync call done");
}

void JWDatabase::leech() {
    if (!ensemble_ || moving_) {
        return;
    }
    if (ensemble_->isLeeched()) {
        settings_.setBool(cloudDBAlreadyLeeched, true);
        return;
    }
    if (!settings_.boolForKey(cloudDBAlreadyLeeched).value_or(false)) {
        ++operationsInFlight_;
        auto alive = alive_;
        ensemble_->leechPersistentStore([this, alive](const std::optional<sync::SyncError>& error) {
            if (!*alive) {
                return;
            }
            completed(error);
            cloudLog("leech complete");
            if (error) {
                cloudLog("leech error: " + error->localizedDescription);
                askForIntro();
                return;
            }
            settings_.setBool(cloudDBAlreadyLeeched, true);
            cloudLog("leeched calling to merge");
            merge();
        });
        return;
    }
    cloudLog("icloud setting changed must reinstall app");
    askForIntro();
}

void JWDatabase::completed(const std::optional<sync::SyncError>& error) {
    --operationsInFlight_;
    lastSyncError_ = error;
    if (std::exchange(recountedUnsaved_, false)) {
        saveContext(false);
    }
}

void JWDatabase::reattach() {
    if (!ensemble_ || moving_) {
        return;
    }
    ++operationsInFlight_;
    auto alive = alive_;
    ensemble_->reattachPersistentStore([this, alive](const std::optional<sync::SyncError>& error) {
        if (!*alive) {
            return;
        }
        completed(error);
        cloudLog("reattach complete");
        if (error) {
            cloudLog("reattach error: " + error->localizedDescription);
            askForIntro();
            return;
        }
        settings_.setBool(cloudDBAlreadyLeeched, true);
        merge();
    });
}

void JWDatabase::merge() {
    if (!ensemble_ || moving_) {
        return;
    }
    if (!ensemble_->isLeeched()) {
        cloudLog("no Ensemble instance to merge");
        return;
    }
    settings_.setBool(cloudDBAlreadyLeeched, true);
    ++operationsInFlight_;
    auto alive = alive_;
    ensemble_->merge([this, alive](const std::optional<sync::SyncError>& error) {
        if (!*alive) {
            return;
        }
        completed(error);
        cloudLog("merge complete");
        if (error) {
            cloudLog("merge error: " + error->localizedDescription);
        }
    });
}

void JWDatabase::saveContext(bool willResignActive) {
    saveOrStop(viewContext());
    if (willResignActive) {
        cloudLog("willResignActive so wont bother with sync");
        if (syncTimer_) {
            syncTimer_->invalidate();
            syncTimer_.reset();
        }
        return;
    }
    if (ensemble_) {
        if (ensemble_->isLeeched()) {
            merge();
        } else {
            leech();
        }
    }
}

void JWDatabase::moveToCloudFolder(std::shared_ptr<sync::CloudFileSystem> folder,
                                   sync::SyncCompletion completion) {
    if (moving_) {
        throw std::logic_error("the store is already moving to another cloud folder");
    }
    cloudLog("moving to another cloud folder");
    // What is typed so far goes along; the sync that a save starts waits for the move.
    saveOrStop(viewContext());
    moving_ = true;
    // The move counts as one operation, so programs that wait for sync wait for it.
    ++operationsInFlight_;
    auto alive = alive_;
    auto next = [this, alive, folder, completion](const std::optional<sync::SyncError>& error) {
        if (!*alive) {
            return;
        }
        if (error) {
            // An old folder out of reach only means nothing more comes from it now: the whole
            // store goes to the new folder, and what the other devices left in the old one
            // comes along when they move too.
            cloudLog("merge before moving: " + error->localizedDescription);
        }
        if (ensemble_) {
            // Work started before the move finishes, and its completions run, before the
            // ensemble goes (an ensemble that goes drops what it has not delivered).
            ensemble_->waitUntilIdle();
        }
        runOnMain([this, alive, folder, completion] {
            if (*alive) {
                switchCloudFolder(folder, completion);
            }
        });
    };
    if (ensemble_ && ensemble_->isLeeched()) {
        ensemble_->merge(next);
    } else {
        next(std::nullopt);
    }
}

void JWDatabase::switchCloudFolder(std::shared_ptr<sync::CloudFileSystem> folder,
                                   sync::SyncCompletion completion) {
    // Attached, or lost: the store remembers a folder, and only attaching afresh leaves it.
    const bool attachedBefore = (ensemble_ && ensemble_->isLeeched()) ||
                                settings_.boolForKey(cloudDBAlreadyLeeched).value_or(false);
    previousCloudFileSystem_ = cloudFileSystem_;
    if (ensemble_) {
        ensemble_->setDelegate(nullptr);
        ensemble_.reset();
    }
    ensemble_ = openEnsemble(folder);
    if (!ensemble_) {
        const auto error = lastSyncError_;
        if (previousCloudFileSystem_) {
            ensemble_ = openEnsemble(previousCloudFileSystem_);
        }
        finishMove(error, completion);
        return;
    }
    cloudFileSystem_ = folder;
    if (!attachedBefore) {
        finishMove(std::nullopt, completion);
        return;
    }
    auto alive = alive_;
    ensemble_->reattachPersistentStore(
        [this, alive, completion](const std::optional<sync::SyncError>& error) {
            if (!*alive) {
                return;
            }
            if (error) {
                // The attachment there was stands until the new one is in place: back to it.
                ensemble_->setDelegate(nullptr);
                ensemble_.reset();
                cloudFileSystem_ = previousCloudFileSystem_;
                if (cloudFileSystem_) {
                    ensemble_ = openEnsemble(cloudFileSystem_);
                }
            } else {
                settings_.setBool(cloudDBAlreadyLeeched, true);
            }
            finishMove(error, completion);
        });
}

void JWDatabase::finishMove(const std::optional<sync::SyncError>& error,
                            sync::SyncCompletion completion) {
    moving_ = false;
    previousCloudFileSystem_.reset();
    completed(error);
    cloudLog(error ? "move failed: " + error->localizedDescription : "moved");
    // Sync goes on where the store is now attached, if it was running.
    if (syncTimer_ && ensemble_) {
        ensemble_->isLeeched() ? merge() : leech();
    }
    if (completion) {
        completion(error);
    }
}

void JWDatabase::persistentStoreEnsembleDidSaveMergeChanges(
    sync::PersistentStoreEnsemble&, const store::ContextDidSaveNotification& notification) {
    // Queued on the main context's own queue, as any merge of another connection's save.
    auto context = persistentContainer_->sharedViewContext();
    auto alive = alive_;
    runOnMain([this, alive, context, notification] {
        context->mergeChangesFromContextDidSaveNotification(notification);
        // Merged counts are last-writer values: put right what the merged items say, and send
        // it on, so every device shows the true count once it has merged.
        if (*alive) {
            pendingRecounts_.add(listsTouchedBy(*context, notification));
            scheduleRecounts();
        }
    });
}

void JWDatabase::scheduleRecounts() {
    if (recountsScheduled_ || pendingRecounts_.empty()) {
        return;
    }
    // The recounts are part of the merge that asked for them: waiting for the operations in
    // flight waits for them too, and what they put right is saved when the last completes.
    recountsScheduled_ = true;
    ++operationsInFlight_;
    auto alive = alive_;
    runOnMain([this, alive] {
        if (!*alive) {
            return;
        }
        recountsScheduled_ = false;
        if (pendingRecounts_.recountSome(kItemsRecountedPerTask)) {
            recountedUnsaved_ = true;
        }
        scheduleRecounts();
        // Saved once no operation is in flight: before then the engine may still be writing.
        if (--operationsInFlight_ == 0 && std::exchange(recountedUnsaved_, false)) {
            saveContext(false);
        }
    });
}

JWDatabase* sharedDatabase() {
    return gSharedDatabase.get();
}

void setSharedDatabase(std::shared_ptr<JWDatabase> database) {
    gSharedDatabase = std::move(database);
}

}  // namespace jw::model
