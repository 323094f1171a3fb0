#include "PersistentStoreEnsemble.h"

#include <fmt/format.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <utility>

#include "Attacher.h"
#include "ChangeRecorder.h"
#include "Compactor.h"
#include "EngineContext.h"
#include "Exporter.h"
#include "FolderView.h"
#include "Importer.h"
#include "SyncState.h"
#include "SyncTables.h"
#include "SyncWorker.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/RunLoop.h"
#include "platform/store/CommitHooks.h"
#include "platform/store/StoreConnection.h"
#include "platform/store/StoreError.h"

namespace jw::sync {

namespace {

// What the main context merges in one event: a slice this size costs it a few milliseconds.
constexpr std::size_t kObjectsPerDeliveredSlice = 500;

}  // namespace

// The engine: the parts over one context, run on one serial worker. The operations of the
// ensemble each become one task; a merge is attach check, import, export, compaction.
class PersistentStoreEnsemble::Engine {
  public:
    Engine(std::string ensembleIdentifier, std::filesystem::path storeURL,
           std::shared_ptr<const store::ObjectModel> model, std::shared_ptr<CloudFileSystem> fs,
           EnsembleTuning tuning, bool leeched)
        : mainLoop_(mainRunLoop()),
          alive_(std::make_shared<std::atomic<bool>>(true)),
          context_(std::move(ensembleIdentifier), std::move(storeURL), std::move(model),
                   std::move(fs), tuning, leeched,
                   [this](store::ContextDidSaveNotification note) { deliver(std::move(note)); }),
          exporter_(context_),
          attacher_(context_, exporter_),
          importer_(context_),
          compactor_(context_, exporter_,
                     [this] { workerForBaselines_->enqueue([this] { finishCompaction(); }); }) {
        store::setCommitHook(context_.storeURL, recordCommittedChanges);
        worker_ = std::make_unique<SyncWorker>([this] {
            finishCompaction();
            context_.closeConnection();
        });
        workerForBaselines_ = worker_.get();
    }

    ~Engine() {
        alive_->store(false);
        worker_.reset();  // lets the work under way finish
        store::setCommitHook(context_.storeURL, {});
    }

    PersistentStoreEnsemble* owner = nullptr;
    std::atomic<PersistentStoreEnsembleDelegate*> delegate{nullptr};
    const std::string& identifier() const { return context_.identifier; }
    bool leeched() const { return context_.leeched.load(); }

    // Any operation but a merge: a merge asked for after it runs after it.
    void enqueue(std::function<void()> task) {
        std::lock_guard lock(queuedMergeMutex_);
        queuedMerge_.reset();
        worker_->enqueue(std::move(task));
    }

    // Work that keeps the order of the queue (waiting, status).
    void enqueueInOrder(std::function<void()> task) { worker_->enqueue(std::move(task)); }

    // A merge asked for while another is queued and not begun joins it: saves in quick
    // succession then share one merge, and their changes one file. Each caller still gets a
    // merge that begins after its call, so nothing it saved before is left behind.
    void askForMerge(Date now, SyncCompletion completion) {
        ++mergesAsked_;
        std::lock_guard lock(queuedMergeMutex_);
        if (queuedMerge_) {
            queuedMerge_->now = std::max(queuedMerge_->now, now);
            queuedMerge_->completions.push_back(std::move(completion));
            return;
        }
        auto merge = std::make_shared<QueuedMerge>();
        merge->now = now;
        merge->completions.push_back(std::move(completion));
        queuedMerge_ = merge;
        worker_->enqueue([this, merge] { runQueuedMerge(merge); });
    }

    void leech(Date now, SyncCompletion completion) {
        finishCompaction();
        complete(std::move(completion),
                 guarded("attach", [&] { return attachThenRelease(now, false); }));
        context_.checkpointIfGrown();
    }

    // What the attach's staging freed goes back to the file system.
    std::optional<SyncError> attachThenRelease(Date now, bool afresh) {
        auto error = afresh ? attacher_.reattach(now) : attacher_.attach(now, false);
        context_.releaseFreePages();
        return error;
    }

    void reattach(Date now, SyncCompletion completion) {
        finishCompaction();
        complete(std::move(completion),
                 guarded("reattach", [&] { return attachThenRelease(now, true); }));
        context_.checkpointIfGrown();
    }

    Status status() {
        Status s;
        guarded("status", [&]() -> std::optional<SyncError> {
            auto& db = context_.connection().database();
            SyncState record(db);
            s.leeched = context_.leeched.load();
            s.lost = record.get(state::lost);
            s.device = record.get(state::device);
            s.changesToExport = SyncTables(db).pendingCount();
            auto& rows = db.cached("SELECT COUNT(*) FROM \"_sync_pending\"");
            rows.step();
            const auto records = rows.columnInt(0);
            rows.reset();
            const auto perFile = std::int64_t(context_.tuning.maxRecordsPerFile);
            s.filesToExport = (records + perFile - 1) / perFile;
            // An attach whose first files are not all written yet owes them too.
            if (const auto owed = record.get(state::firstFilesFrom); owed != 0) {
                s.filesToExport += record.get(state::firstFilesThrough) - owed + 1;
            }
            if (s.leeched) {
                const auto devices = context_.fs->list(context_.layout.devicesFolder());
                if (devices.status == CloudStatus::ok) {
                    importer_.countFilesToImport(lookAtFolder(context_, devices), s);
                }
            }
            return std::nullopt;
        });
        return s;
    }

  private:
    struct QueuedMerge {
        Date now;
        std::vector<SyncCompletion> completions;
    };

    bool mergeWaiting() {
        std::lock_guard lock(queuedMergeMutex_);
        return queuedMerge_ != nullptr;
    }

    void runQueuedMerge(const std::shared_ptr<QueuedMerge>& merge) {
        {
            // Begun: from now on a merge asked for queues a merge of its own.
            std::lock_guard lock(queuedMergeMutex_);
            if (queuedMerge_ == merge) {
                queuedMerge_.reset();
            }
        }
        bool compacting = false;
        const auto error =
            guarded("merge", [&] { return doMerge(merge->now, merge->completions, compacting); });
        if (!compacting) {
            completeAll(merge->completions, error);
        }
        context_.checkpointIfGrown();
    }

    void completeAll(std::vector<SyncCompletion>& completions,
                     const std::optional<SyncError>& error) {
        for (auto& completion : completions) {
            complete(std::move(completion), error);
        }
    }

    // A merge whose compaction is writing a baseline: it completes once the baseline is
    // recorded and what it replaces removed.
    struct Compaction {
        Date now;
        FolderView folder;
        std::vector<SyncCompletion> completions;
        std::optional<SyncError> exportError;
    };

    // Worker thread: finishes the compaction under way, if any (waiting for its baseline's
    // file). Runs when the baseline's thread is done, and before anything that changes the
    // attachment, which the baseline describes.
    void finishCompaction() {
        if (!compaction_) {
            return;
        }
        auto compaction = std::move(*compaction_);
        compaction_.reset();
        const auto error = guarded("merge", [&]() -> std::optional<SyncError> {
            compactor_.finishBaseline(compaction.now, compaction.folder);
            if (compaction.exportError) {
                return compaction.exportError;
            }
            engineLog(1, "merge done");
            return std::nullopt;
        });
        completeAll(compaction.completions, error);
        {
            std::lock_guard lock(compactionMutex_);
            compacting_ = false;
        }
        compactionDone_.notify_all();
    }

  public:
    // Any thread but the worker: waits until no baseline is being written.
    void waitForCompaction() {
        std::unique_lock lock(compactionMutex_);
        compactionDone_.wait(lock, [&] { return !compacting_; });
    }

  private:
    // Runs an operation, turning whatever it throws into its failure: a refused file that
    // reaches this far, a store error, or a fault nobody foresaw. Each is logged whatever the
    // logging level, so no failure goes unseen.
    template <typename F>
    std::optional<SyncError> guarded(const char* operation, F&& step) {
        try {
            return step();
        } catch (const RefusedFile& e) {
            engineLog(0, fmt::format("{} failed: {}", operation, e.what()));
            return e.error();
        } catch (const store::StoreError& e) {
            engineLog(0, fmt::format("{} failed: store error: {}", operation, e.what()));
            return failure(SyncError::Kind::failed,
                           fmt::format("The local store could not be updated: {}", e.what()));
        } catch (const std::exception& e) {
            engineLog(0, fmt::format("{} failed: {}", operation, e.what()));
            return failure(SyncError::Kind::failed, fmt::format("Syncing failed: {}", e.what()));
        }
    }

    // `compacting` is set when the merge goes on writing a baseline: its completions then wait
    // for it (see Compaction).
    std::optional<SyncError> doMerge(Date now, std::vector<SyncCompletion>& completions,
                                     bool& compacting) {
        if (!context_.leeched.load()) {
            return failure(SyncError::Kind::failed, "The store is not attached to the cloud.");
        }
        context_.connection();
        if (auto problem = attacher_.checkAttachment()) {
            if (problem->kind == SyncError::Kind::lost) {
                finishCompaction();
                attacher_.endAttachment();
            }
            engineLog(0, fmt::format("merge stopped: {}", problem->localizedDescription));
            return problem;
        }
        importer_.settleLocalChanges();
        compactor_.removeStaleTemporaryFiles();
        const auto devices = context_.fs->list(context_.layout.devicesFolder());
        if (devices.status != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           "The cloud folder cannot be read just now.");
        }
        auto folder = lookAtFolder(context_, devices);
        // A save waiting for its export does not wait for the whole import: what is saved so
        // far goes out between files. The store's first files, when an attach could not write
        // them all, go before what was saved since.
        const auto exportAll = [&] {
            auto error = attacher_.writeFirstFiles();
            return error ? error : exporter_.exportPending();
        };
        // A slice under way ends early for a merge asked for since the last stop between
        // slices, so that the save behind it is exported without waiting for the whole slice.
        auto answered = mergesAsked_.load();
        importer_.importAll(
            folder,
            [&] {
                answered = mergesAsked_.load();
                if (mergeWaiting()) {
                    if (const auto error = exportAll()) {
                        engineLog(1,
                                  "export between imported files: " + error->localizedDescription);
                    }
                }
            },
            [&] { return mergesAsked_.load() != answered; });
        auto exportError = exportAll();
        exporter_.writeRegistration(now);
        if (!compactor_.baselineUnderWay()) {
            compactor_.compact(now, folder);
            if (compactor_.baselineUnderWay()) {
                {
                    std::lock_guard lock(compactionMutex_);
                    compacting_ = true;
                }
                compaction_ = Compaction{now, std::move(folder), std::move(completions),
                                         std::move(exportError)};
                compacting = true;
                return std::nullopt;
            }
        }
        if (exportError) {
            return exportError;
        }
        engineLog(1, "merge done");
        return std::nullopt;
    }

    void complete(SyncCompletion completion, std::optional<SyncError> error) {
        if (!completion) {
            return;
        }
        auto alive = alive_;
        mainLoop_.post([alive, completion = std::move(completion), error = std::move(error)] {
            if (alive->load()) {
                completion(error);
            }
        });
    }

    // The merged changes go to the main thread in slices, each its own event, so that a large
    // import never holds the main run loop for long at once. Each slice is a sound notification
    // by itself: every row it names is already committed, and deletions come first, as in
    // the whole.
    void deliver(store::ContextDidSaveNotification note) {
        for (auto& slice : slices(std::move(note))) {
            auto alive = alive_;
            mainLoop_.post([alive, this, slice = std::move(slice)] {
                if (!alive->load()) {
                    return;
                }
                if (auto* d = delegate.load()) {
                    d->persistentStoreEnsembleDidSaveMergeChanges(*owner, slice);
                }
            });
        }
    }

    static std::vector<store::ContextDidSaveNotification> slices(
        store::ContextDidSaveNotification note) {
        std::vector<store::ContextDidSaveNotification> out(1);
        std::size_t inSlice = 0;
        auto take = [&](std::vector<store::ObjectID>& from,
                        std::vector<store::ObjectID> store::ContextDidSaveNotification::*to) {
            for (auto& id : from) {
                if (inSlice == kObjectsPerDeliveredSlice) {
                    out.emplace_back();
                    inSlice = 0;
                }
                (out.back().*to).push_back(id);
                ++inSlice;
            }
        };
        take(note.deleted, &store::ContextDidSaveNotification::deleted);
        take(note.inserted, &store::ContextDidSaveNotification::inserted);
        take(note.updated, &store::ContextDidSaveNotification::updated);
        return out;
    }

    RunLoop& mainLoop_;
    std::shared_ptr<std::atomic<bool>> alive_;
    EngineContext context_;
    Exporter exporter_;
    Attacher attacher_;
    Importer importer_;
    Compactor compactor_;
    std::optional<Compaction> compaction_;  // worker thread only
    std::mutex compactionMutex_;
    std::condition_variable compactionDone_;
    bool compacting_ = false;
    std::mutex queuedMergeMutex_;
    std::shared_ptr<QueuedMerge> queuedMerge_;  // asked for and not begun
    std::atomic<std::uint64_t> mergesAsked_{0};
    std::unique_ptr<SyncWorker> worker_;
    // The worker, for the baseline's thread: still there while the worker's own ending
    // finishes the compaction.
    SyncWorker* workerForBaselines_ = nullptr;
};

// -----------------------------------------------------------------------------------------------

std::shared_ptr<PersistentStoreEnsemble> PersistentStoreEnsemble::create(
    const std::string& ensembleIdentifier, const std::filesystem::path& storeURL,
    const std::filesystem::path& managedObjectModelURL,
    std::shared_ptr<CloudFileSystem> cloudFileSystem, EnsembleTuning tuning, SyncError* whyNot) {
    auto refuse = [&](std::string why) -> std::shared_ptr<PersistentStoreEnsemble> {
        engineLog(0, fmt::format("no ensemble: {}", why));
        if (whyNot) {
            *whyNot = failure(SyncError::Kind::failed, std::move(why));
        }
        return nullptr;
    };
    if (!cloudFileSystem) {
        return refuse("There is no cloud folder to sync with.");
    }
    if (ensembleIdentifier.empty()) {
        return refuse("The ensemble has no identifier.");
    }
    std::shared_ptr<const store::ObjectModel> model;
    bool leeched = false;
    try {
        model = store::ObjectModel::fromFile(managedObjectModelURL);
        store::StoreConnection connection(storeURL, model);
        SyncTables::create(connection.database());
        leeched = SyncState(connection.database()).get(state::attached);
    } catch (const std::exception& e) {
        return refuse(fmt::format("The store {} could not be opened for syncing: {}",
                                  storeURL.string(), e.what()));
    }
    auto engine = std::make_unique<Engine>(ensembleIdentifier, storeURL, std::move(model),
                                           std::move(cloudFileSystem), tuning, leeched);
    std::shared_ptr<PersistentStoreEnsemble> ensemble(
        new PersistentStoreEnsemble(std::move(engine)));
    ensemble->engine_->owner = ensemble.get();
    return ensemble;
}

PersistentStoreEnsemble::PersistentStoreEnsemble(std::unique_ptr<Engine> engine)
    : engine_(std::move(engine)) {}

PersistentStoreEnsemble::~PersistentStoreEnsemble() = default;

const std::string& PersistentStoreEnsemble::ensembleIdentifier() const {
    return engine_->identifier();
}

void PersistentStoreEnsemble::setDelegate(PersistentStoreEnsembleDelegate* delegate) {
    engine_->delegate.store(delegate);
}

bool PersistentStoreEnsemble::isLeeched() const {
    return engine_->leeched();
}

void PersistentStoreEnsemble::leechPersistentStore(SyncCompletion completion) {
    const auto now = currentClock().now().value_or(Date{});
    engine_->enqueue([engine = engine_.get(), now, completion = std::move(completion)]() mutable {
        engine->leech(now, std::move(completion));
    });
}

void PersistentStoreEnsemble::reattachPersistentStore(SyncCompletion completion) {
    const auto now = currentClock().now().value_or(Date{});
    engine_->enqueue([engine = engine_.get(), now, completion = std::move(completion)]() mutable {
        engine->reattach(now, std::move(completion));
    });
}

void PersistentStoreEnsemble::merge(SyncCompletion completion) {
    engine_->askForMerge(currentClock().now().value_or(Date{}), std::move(completion));
}

std::string PersistentStoreEnsemble::description() const {
    return fmt::format("<PersistentStoreEnsemble {} {}>", engine_->identifier(),
                       engine_->leeched() ? "attached" : "not attached");
}

PersistentStoreEnsemble::Status PersistentStoreEnsemble::status() {
    std::promise<Status> promise;
    auto future = promise.get_future();
    engine_->enqueueInOrder([&] { promise.set_value(engine_->status()); });
    return future.get();
}

void PersistentStoreEnsemble::waitUntilIdle() {
    std::promise<void> promise;
    auto future = promise.get_future();
    engine_->enqueueInOrder([&] { promise.set_value(); });
    future.wait();
    // A merge asked for before may still be writing its baseline.
    engine_->waitForCompaction();
}

}  // namespace jw::sync
