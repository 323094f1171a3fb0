#include "PersistentStoreEnsemble.h"

#include <fmt/format.h>

#include <future>
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
          compactor_(context_, exporter_) {
        store::setCommitHook(context_.storeURL, recordCommittedChanges);
        worker_ = std::make_unique<SyncWorker>([this] { context_.closeConnection(); });
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

    void enqueue(std::function<void()> task) { worker_->enqueue(std::move(task)); }

    void leech(Date now, SyncCompletion completion) {
        complete(std::move(completion),
                 guarded("attach", [&] { return attachThenRelease(now, false); }));
    }

    // What the attach's staging freed goes back to the file system.
    std::optional<SyncError> attachThenRelease(Date now, bool afresh) {
        auto error = afresh ? attacher_.reattach(now) : attacher_.attach(now, false);
        context_.releaseFreePages();
        return error;
    }

    void reattach(Date now, SyncCompletion completion) {
        complete(std::move(completion),
                 guarded("reattach", [&] { return attachThenRelease(now, true); }));
    }

    void merge(Date now, SyncCompletion completion) {
        complete(std::move(completion), guarded("merge", [&] { return doMerge(now); }));
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

    std::optional<SyncError> doMerge(Date now) {
        if (!context_.leeched.load()) {
            return failure(SyncError::Kind::failed, "The store is not attached to the cloud.");
        }
        context_.connection();
        if (auto problem = attacher_.checkAttachment()) {
            if (problem->kind == SyncError::Kind::lost) {
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
        importer_.importAll(folder);
        // The store's first files, when an attach could not write them all, go before what
        // was saved since.
        auto exportError = attacher_.writeFirstFiles();
        if (!exportError) {
            exportError = exporter_.exportPending();
        }
        exporter_.writeRegistration(now);
        compactor_.compact(now, folder);
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

    void deliver(store::ContextDidSaveNotification note) {
        auto alive = alive_;
        mainLoop_.post([alive, this, note = std::move(note)] {
            if (!alive->load()) {
                return;
            }
            if (auto* d = delegate.load()) {
                d->persistentStoreEnsembleDidSaveMergeChanges(*owner, note);
            }
        });
    }

    RunLoop& mainLoop_;
    std::shared_ptr<std::atomic<bool>> alive_;
    EngineContext context_;
    Exporter exporter_;
    Attacher attacher_;
    Importer importer_;
    Compactor compactor_;
    std::unique_ptr<SyncWorker> worker_;
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
    const auto now = currentClock().now().value_or(Date{});
    engine_->enqueue([engine = engine_.get(), now, completion = std::move(completion)]() mutable {
        engine->merge(now, std::move(completion));
    });
}

std::string PersistentStoreEnsemble::description() const {
    return fmt::format("<PersistentStoreEnsemble {} {}>", engine_->identifier(),
                       engine_->leeched() ? "attached" : "not attached");
}

PersistentStoreEnsemble::Status PersistentStoreEnsemble::status() {
    std::promise<Status> promise;
    auto future = promise.get_future();
    engine_->enqueue([&] { promise.set_value(engine_->status()); });
    return future.get();
}

void PersistentStoreEnsemble::waitUntilIdle() {
    std::promise<void> promise;
    auto future = promise.get_future();
    engine_->enqueue([&] { promise.set_value(); });
    future.wait();
}

}  // namespace jw::sync
