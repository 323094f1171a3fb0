#pragma once
// The one database of the program: the store stack named "Jotwell" (its object model is the
// resource "Jotwell.momd"), its main context, and its attachment to the cloud ensemble
// "MainStore". One instance lives for the whole process (`sharedDatabase`); screens and
// jotwell-cli save through it after every change.
//
// Cloud sync has three states, derived from the ensemble and the user default
// "cloudDBAlreadyLeeched":
//   attached          an ensemble exists and isLeeched() is true;
//   not yet attached  no ensemble, or not leeched while the flag is false (attaching is
//                     retried at every save and every 10 seconds while sync runs);
//   attachment lost   an ensemble exists, not leeched, and the flag is true (no sync at all).
// A store file made afresh starts "not yet attached" whatever the flag says: the flag speaks
// of a store that is gone. After merged changes reach the main context, the lists they touch
// are recounted and saved (see DoneCounts.h).
//
// Creation stops the program when the model resource is missing or the store cannot be
// loaded; a failed save stops it too, with the "Unresolved error " message. Every diagnostic
// line goes to debugLog. Main thread only; ensemble completions arrive on the main run loop.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/PersistentContainer.h"
#include "platform/sync/CloudFileSystem.h"
#include "platform/sync/PersistentStoreEnsemble.h"
#include "src/model/DoneCounts.h"

namespace jw::model {

enum class SyncState { attached, notYetAttached, attachmentLost };

class JWDatabase : public sync::PersistentStoreEnsembleDelegate {
  public:
    struct Locations {
        std::filesystem::path dataDirectory;      // where "Jotwell.sqlite" lives
        std::filesystem::path resourceDirectory;  // where "Jotwell.momd" is found
        // The cloud folder: a file system over it, or the folder itself. With neither, there
        // is no ensemble and sync stays off.
        std::shared_ptr<sync::CloudFileSystem> cloudFileSystem = nullptr;
        std::optional<std::filesystem::path> cloudDirectory = std::nullopt;
        // The user defaults holding "cloudDBAlreadyLeeched"; the standard ones when none (tests
        // that simulate several devices in one process give each its own).
        UserDefaults* settings = nullptr;
        // The sync engine's thresholds (tests lower them).
        sync::EnsembleTuning syncTuning = {};
    };

    explicit JWDatabase(const Locations& locations);
    ~JWDatabase() override;
    JWDatabase(const JWDatabase&) = delete;
    JWDatabase& operator=(const JWDatabase&) = delete;

    store::PersistentContainer& persistentContainer() { return *persistentContainer_; }
    store::ManagedObjectContext& viewContext() { return persistentContainer_->viewContext(); }
    std::shared_ptr<store::ManagedObjectContext> sharedViewContext() {
        return persistentContainer_->sharedViewContext();
    }
    const std::filesystem::path& storeURL() const { return persistentContainer_->storeURL(); }
    const std::filesystem::path& managedObjectModelURL() const { return managedObjectModelURL_; }
    sync::PersistentStoreEnsemble* ensemble() const { return ensemble_.get(); }
    Timer* syncTimer() const { return syncTimer_.get(); }
    UserDefaults& settings() const { return settings_; }
    const std::string cloudDBAlreadyLeeched = "cloudDBAlreadyLeeched";

    SyncState syncState() const;

    // The application became active: start the 10-second timer and attach or merge.
    void sync();
    // Attach when never attached before; report a lost attachment.
    void leech();
    // Exchange changes with the cloud while attached.
    void merge();
    // Saves the main context when it has changes; then stops sync (resigning active) or goes
    // on with it (merge or attach).
    void saveContext(bool willResignActive);

    // Attaches the store afresh to the cloud folder as it is now (see
    // PersistentStoreEnsemble::reattachPersistentStore): the way back from a lost attachment,
    // or to another folder. On success the flag is set and a merge follows.
    void reattach();

    // Moves sync to another cloud folder, losing nothing: a store attached where it is first
    // merges there (what the other devices left is taken in, what this device changed is sent;
    // a folder out of reach only skips this), then the ensemble is opened over `folder` and the
    // store attached to it afresh (reattach: the whole store is sent there, every device found
    // there applied, nothing doubled); a store never attached just attaches there at the next
    // sync. While it runs, sync, saves and the timer start nothing (`isMovingCloudFolder`).
    // `completion` runs on the main run loop with none on success; on failure the store stays
    // attached to the folder it had (its ensemble opened over it again), the error is also the
    // last sync error, and a merge follows there. Throws std::logic_error while a move runs.
    void moveToCloudFolder(std::shared_ptr<sync::CloudFileSystem> folder,
                           sync::SyncCompletion completion);
    bool isMovingCloudFolder() const { return moving_; }

    // Attach and merge operations started and not yet completed (for programs that must wait
    // for them before exiting).
    int operationsInFlight() const { return operationsInFlight_; }
    // Why the last attach or merge that completed failed; none when it succeeded (or none
    // completed yet). With a cloud folder given but no ensemble opened, why it could not be.
    const std::optional<sync::SyncError>& lastSyncError() const { return lastSyncError_; }

    void persistentStoreEnsembleDidSaveMergeChanges(
        sync::PersistentStoreEnsemble& ensemble,
        const store::ContextDidSaveNotification& notification) override;

  private:
    void askForIntro();
    // Opens the ensemble over `folder`; none (and the reason as the last sync error) when it
    // cannot be.
    std::shared_ptr<sync::PersistentStoreEnsemble> openEnsemble(
        std::shared_ptr<sync::CloudFileSystem> folder);
    // The steps of moveToCloudFolder once the old folder is done with.
    void switchCloudFolder(std::shared_ptr<sync::CloudFileSystem> folder,
                           sync::SyncCompletion completion);
    void finishMove(const std::optional<sync::SyncError>& error, sync::SyncCompletion completion);
    // Bookkeeping of an attach or merge completing: none on success.
    void completed(const std::optional<sync::SyncError>& error);
    // Recounts waiting lists in tasks of their own on the main run loop, one after another
    // until none waits; an operation in flight until then.
    void scheduleRecounts();

    UserDefaults& settings_;
    std::filesystem::path managedObjectModelURL_;
    std::unique_ptr<store::PersistentContainer> persistentContainer_;
    sync::EnsembleTuning syncTuning_;
    std::shared_ptr<sync::CloudFileSystem> cloudFileSystem_;
    std::shared_ptr<sync::CloudFileSystem> previousCloudFileSystem_;  // during a move
    bool moving_ = false;
    std::shared_ptr<sync::PersistentStoreEnsemble> ensemble_;
    std::shared_ptr<Timer> syncTimer_;
    int operationsInFlight_ = 0;
    // Counts put right after merged changes, saved when the operation in flight completes:
    // a save now would wait for the store while the engine is still writing what it merges.
    bool recountedUnsaved_ = false;
    // Lists that merged changes touched, waiting for their recount, and whether a task to
    // recount them is queued. A task reads about this many items.
    static constexpr std::size_t kItemsRecountedPerTask = 2000;
    PendingRecounts pendingRecounts_;
    bool recountsScheduled_ = false;
    std::optional<sync::SyncError> lastSyncError_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The application-wide database; none until one is set at launch.
JWDatabase* sharedDatabase();
void setSharedDatabase(std::shared_ptr<JWDatabase> database);

}  // namespace jw::model
