#pragma once
// An ensemble: one store kept in step with the same store on the user's other devices through
// a cloud folder.
//
// - leechPersistentStore attaches the store: it registers this device in the cloud folder
//   under a fresh device identifier and exports the whole local store, so lists made before
//   attaching come along. isLeeched() stays true across launches (it is kept in the store).
// - merge imports every change file of the other devices not applied yet (in any order, each
//   in one transaction with its bookkeeping), then exports the local changes saved since the
//   last export as one new file, then compacts what every device has applied.
// - Local saves are recorded by a commit hook on the store file while the ensemble lives;
//   merged changes are saved on the ensemble's own connection and reported to the delegate as
//   a did-save notification for the main context to merge.
// - A cloud folder that definitely no longer holds this ensemble or this device's
//   registration (deleted, or replaced by another ensemble) ends the attachment: isLeeched()
//   becomes false and stays so. A folder that cannot be read proves nothing: the merge fails
//   and the attachment stays.
// - Bad files (partial, damaged, foreign, of a newer format) are skipped with a log line and
//   tried again at the next merge; they never stop other files from merging.
//
// Threading: the calls are made on the main thread; the work runs on one worker thread with
// its own SQLite connection. Every completion and every delegate call is posted to the main
// run loop (the one installed when the ensemble was made). Destroying the ensemble waits for
// the work under way; completions not yet delivered are then dropped.

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "CloudFileSystem.h"
#include "platform/foundation/Date.h"
#include "platform/store/ChangeNotifications.h"

namespace jw::sync {

struct SyncError {
    std::string localizedDescription;
};
using SyncCompletion = std::function<void(const std::optional<SyncError>&)>;

class PersistentStoreEnsemble;

class PersistentStoreEnsembleDelegate {
  public:
    virtual ~PersistentStoreEnsembleDelegate() = default;
    // Merged changes were saved to the store; `notification` names them for the main context.
    virtual void persistentStoreEnsembleDidSaveMergeChanges(
        PersistentStoreEnsemble& ensemble,
        const store::ContextDidSaveNotification& notification) = 0;
};

// How much the engine tells debugLog: 0 only what went wrong (skipped files, a lost
// attachment), 1 also each merge's outcome, 2 everything.
void setCurrentLoggingLevel(int level);

class PersistentStoreEnsemble {
  public:
    // Files larger than these are refused unread, so a hostile folder cannot exhaust memory.
    static constexpr std::size_t kMaxChangeFileBytes = 64u << 20;
    static constexpr std::size_t kMaxBaselineBytes = 512u << 20;
    // A device not seen for this long stops holding back the removal of files it has not
    // applied; when it comes back it catches up from a baseline.
    static constexpr double kStaleDeviceSeconds = 30.0 * 24 * 3600;
    // A baseline is written once this many change files are in the folder, or one for every
    // kObjectsPerBaselineFile objects in the store if that is more.
    static constexpr std::size_t kBaselineAfterFiles = 40;
    static constexpr std::int64_t kObjectsPerBaselineFile = 100;
    // A registration that says nothing new is rewritten only this often (to show the device
    // is still about; see kStaleDeviceSeconds).
    static constexpr double kRegistrationRefreshSeconds = 3600;
    // An export writes at most this many change records per file (a few MiB), so the first
    // file of a large store, or a long time away, never makes a file past kMaxChangeFileBytes.
    static constexpr std::size_t kMaxRecordsPerFile = 20'000;

    // Opens the ensemble for the store file. Answers none when the store or the model cannot
    // be opened.
    static std::shared_ptr<PersistentStoreEnsemble> create(
        const std::string& ensembleIdentifier, const std::filesystem::path& storeURL,
        const std::filesystem::path& managedObjectModelURL,
        std::shared_ptr<CloudFileSystem> cloudFileSystem);
    ~PersistentStoreEnsemble();
    PersistentStoreEnsemble(const PersistentStoreEnsemble&) = delete;
    PersistentStoreEnsemble& operator=(const PersistentStoreEnsemble&) = delete;

    const std::string& ensembleIdentifier() const;
    // Not owned; may be none.
    void setDelegate(PersistentStoreEnsembleDelegate* delegate);
    bool isLeeched() const;

    void leechPersistentStore(SyncCompletion completion);
    void merge(SyncCompletion completion);

    // "<PersistentStoreEnsemble MainStore attached device ...>", for logs.
    std::string description() const;

    // For status displays and tests; these wait for the worker.
    struct Status {
        bool leeched = false;
        bool lost = false;
        std::string device;
        std::int64_t changesToExport = 0;  // objects changed locally since the last export
        std::int64_t filesToImport = 0;    // other devices' files not applied yet
    };
    Status status();
    // Returns once every operation asked for before the call has finished on the worker (its
    // completion is then posted, not necessarily run).
    void waitUntilIdle();

  private:
    class Engine;
    explicit PersistentStoreEnsemble(std::unique_ptr<Engine> engine);
    std::unique_ptr<Engine> engine_;
};

}  // namespace jw::sync
