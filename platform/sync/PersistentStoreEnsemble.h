#pragma once
// An ensemble: one store kept in step with the same store on the user's other devices through
// a cloud folder.
//
// - leechPersistentStore attaches the store: it registers this device in the cloud folder
//   under a fresh device identifier and exports the whole local store, so lists made before
//   attaching come along. isLeeched() stays true across launches (it is kept in the store),
//   and the store remembers which folder it attached to.
// - merge imports every change file of the other devices not applied yet (in any order, each
//   in one transaction with its bookkeeping; a gap in a device's files is closed from a
//   baseline, see Baselines.h), then exports the local changes saved since the last export,
//   then compacts what every device has applied.
// - Local saves are recorded by a commit hook on the store file while the ensemble lives;
//   merged changes are saved on the ensemble's own connection and reported to the delegate as
//   did-save notifications for the main context to merge: a large one in slices, each slice a
//   main-loop event of its own and sound by itself (it names only committed rows).
// - The attachment ends (isLeeched() becomes false and stays so) only on plain evidence: the
//   folder it attached to holds the ensemble, with other devices registered in it, and no
//   longer this device. A folder that cannot be read, is empty, holds no ensemble, or is
//   another folder than the one attached to proves nothing: the merge fails with the reason
//   and the attachment stays. reattachPersistentStore starts afresh from the folder as it is.
// - Refused files (partial, damaged, foreign, of a newer format, see SyncError.h) are skipped
//   with a log line and tried again at the next merge; they never stop other files from
//   merging. Any other failure on the way fails the merge: it is logged and its completion
//   says why, and the file it met is tried again at the next merge.
//
// Threading: the calls are made on the main thread; the work runs on one worker thread with
// its own SQLite connection (a baseline is read and written on a thread of its own, so that
// exports go on meanwhile; the merge that began it completes after it). Every completion and every
// delegate call is posted to the main run loop (the one installed when the ensemble was made).
// Destroying the ensemble waits for the work under way; completions not yet delivered are then
// dropped.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "CloudFileSystem.h"
#include "SyncError.h"
#include "platform/foundation/Date.h"
#include "platform/store/ChangeNotifications.h"

namespace jw::sync {

// Called on the main thread with none on success, else why the operation failed.
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

// Thresholds of the engine; tests lower them to reach compaction in a few saves.
struct EnsembleTuning {
    // A baseline is written once this many change files are in the folder, or one for every
    // objectsPerBaselineFile objects in the store if that is more.
    std::size_t baselineAfterFiles = 40;
    std::int64_t objectsPerBaselineFile = 100;
    // A device not seen for this long stops holding back the removal of files it has not
    // applied; when it comes back it catches up from a baseline.
    double staleDeviceSeconds = 30.0 * 24 * 3600;
    // A registration that says nothing new is rewritten only this often (to show the device
    // is still about).
    double registrationRefreshSeconds = 3600;
    // An export writes at most this many change records per file (a few MiB), so the first
    // file of a large store, or a long time away, never makes a file past kMaxChangeFileBytes.
    std::size_t maxRecordsPerFile = 20'000;
    // An arriving file is applied in transactions of at most this many changes, each ending
    // once it has taken transactionTime, and at once when a save on the main thread waits for
    // the write lock (see WriteTurns.h) or for its export. Every commit writes again the pages
    // of the identifier index that the slice touched (identifiers are random, so nearly all of
    // them): fewer, larger slices write them fewer times.
    std::size_t changesPerTransaction = 4000;
    std::chrono::milliseconds transactionTime{100};
    // This device's temporary files older than this are left from a write cut short.
    double staleTemporaryFileSeconds = 15 * 60;
};

class PersistentStoreEnsemble {
  public:
    // The read limits, all of them: a file larger than its limit is refused unread, so a
    // hostile folder cannot exhaust memory.
    static constexpr std::size_t kMaxChangeFileBytes = 64u << 20;
    static constexpr std::size_t kMaxBaselineBytes = 512u << 20;
    // The ensemble file and the device registrations.
    static constexpr std::size_t kMaxSmallFileBytes = 1u << 20;
    // Opens the ensemble for the store file. Answers none when it cannot: no cloud folder or
    // identifier given, or the store or the model cannot be opened; `whyNot` (when given)
    // then says which, as a `failed` error, and is left alone otherwise.
    static std::shared_ptr<PersistentStoreEnsemble> create(
        const std::string& ensembleIdentifier, const std::filesystem::path& storeURL,
        const std::filesystem::path& managedObjectModelURL,
        std::shared_ptr<CloudFileSystem> cloudFileSystem, EnsembleTuning tuning = {},
        SyncError* whyNot = nullptr);
    ~PersistentStoreEnsemble();
    PersistentStoreEnsemble(const PersistentStoreEnsemble&) = delete;
    PersistentStoreEnsemble& operator=(const PersistentStoreEnsemble&) = delete;

    const std::string& ensembleIdentifier() const;
    // Not owned; may be none.
    void setDelegate(PersistentStoreEnsembleDelegate* delegate);
    bool isLeeched() const;

    void leechPersistentStore(SyncCompletion completion);
    // A merge asked for while another is waiting to begin joins it (both completions get its
    // outcome): saves in quick succession share one merge and one change file. Every merge
    // still begins after the call that asked for it.
    void merge(SyncCompletion completion);
    // Attaches the store afresh to the cloud folder as it is now, whatever its state (lost,
    // attached to another folder, attached): a new device identity, the whole store exported
    // again (removals included), every other device's files applied again. Objects keep their
    // global identifiers, so nothing is doubled. The attachment there was stands until the new
    // one is in place; its registration then goes, so it holds nothing back.
    void reattachPersistentStore(SyncCompletion completion);

    // For logs: "<PersistentStoreEnsemble " + the ensemble identifier + " attached>", or
    // " not attached>" while isLeeched() is false.
    std::string description() const;

    // For status displays and tests; these wait for the worker.
    struct Status {
        bool leeched = false;
        bool lost = false;
        std::string device;
        std::int64_t changesToExport = 0;  // objects changed locally since the last export
        // The files the next export writes for them, and the store's first files an attach
        // could not write yet.
        std::int64_t filesToExport = 0;
        // Other devices' files not applied yet: those in the folder as this device sees it,
        // and those it knows were written but cannot see yet and no baseline here holds.
        std::int64_t filesToImport = 0;
        std::int64_t filesNotArrived = 0;  // of filesToImport, the ones it cannot see yet
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
