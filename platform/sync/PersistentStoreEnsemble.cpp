#include "PersistentStoreEnsemble.h"

#include <fmt/format.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>

#include "Baselines.h"
#include "ChangeApplier.h"
#include "ChangeFile.h"
#include "ChangeRecorder.h"
#include "CloudLayout.h"
#include "ObjectChange.h"
#include "Snapshot.h"
#include "SyncTables.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DebugLog.h"
#include "platform/foundation/RunLoop.h"
#include "platform/store/CommitHooks.h"
#include "platform/store/GlobalID.h"
#include "platform/store/StoreConnection.h"
#include "platform/store/StoreError.h"

namespace jw::sync {

namespace {

std::atomic<int> gLoggingLevel{0};

void log(int level, const std::string& text) {
    if (level <= gLoggingLevel.load()) {
        debugLog("sync: " + text);
    }
}

SyncError failure(SyncError::Kind kind, std::string text) {
    return SyncError{kind, std::move(text)};
}

}  // namespace

void setCurrentLoggingLevel(int level) {
    gLoggingLevel.store(level);
}

class PersistentStoreEnsemble::Engine {
  public:
    Engine(std::string ensembleIdentifier, std::filesystem::path storeURL,
           std::shared_ptr<const store::ObjectModel> model, std::shared_ptr<CloudFileSystem> fs,
           EnsembleTuning tuning, bool leeched)
        : identifier_(std::move(ensembleIdentifier)),
          storeURL_(std::move(storeURL)),
          model_(std::move(model)),
          fs_(std::move(fs)),
          tuning_(tuning),
          layout_{identifier_},
          mainLoop_(mainRunLoop()),
          alive_(std::make_shared<std::atomic<bool>>(true)),
          leeched_(leeched) {
        store::setCommitHook(storeURL_, recordCommittedChanges);
        worker_ = std::thread([this] { run(); });
    }

    ~Engine() {
        alive_->store(false);
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        worker_.join();
        store::setCommitHook(storeURL_, {});
    }

    PersistentStoreEnsemble* owner = nullptr;
    std::atomic<PersistentStoreEnsembleDelegate*> delegate{nullptr};
    const std::string& identifier() const { return identifier_; }
    bool leeched() const { return leeched_.load(); }
    std::string device() {
        std::lock_guard lock(deviceMutex_);
        return device_;
    }

    void enqueue(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_one();
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

    void leech(Date now, SyncCompletion completion) {
        complete(std::move(completion), guarded("attach", [&] { return doLeech(now); }));
    }

    void reattach(Date now, SyncCompletion completion) {
        complete(std::move(completion), guarded("reattach", [&] { return doReattach(now); }));
    }

    void merge(Date now, SyncCompletion completion) {
        complete(std::move(completion), guarded("merge", [&] { return doMerge(now); }));
    }

    Status status() {
        Status s;
        guarded("status", [&]() -> std::optional<SyncError> {
            auto& db = connection().database();
            SyncTables tables(db);
            s.leeched = leeched_.load();
            s.lost = tables.stateInteger("lost", 0) == 1;
            s.device = tables.state("device").value_or("");
            s.changesToExport = tables.pendingCount();
            auto& rows = db.cached("SELECT COUNT(*) FROM \"_sync_pending\"");
            rows.step();
            const auto records = rows.columnInt(0);
            rows.reset();
            const auto perFile = std::int64_t(tuning_.maxRecordsPerFile);
            s.filesToExport = (records + perFile - 1) / perFile;
            if (s.leeched) {
                const auto devices = fs_->list(layout_.devicesFolder());
                if (devices.status == CloudStatus::ok) {
                    countFilesToImport(lookAtFolder(devices), s);
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
            log(0, fmt::format("{} failed: {}", operation, e.what()));
            return e.error();
        } catch (const store::StoreError& e) {
            log(0, fmt::format("{} failed: store error: {}", operation, e.what()));
            return failure(SyncError::Kind::failed,
                           fmt::format("The local store could not be updated: {}", e.what()));
        } catch (const std::exception& e) {
            log(0, fmt::format("{} failed: {}", operation, e.what()));
            return failure(SyncError::Kind::failed, fmt::format("Syncing failed: {}", e.what()));
        }
    }

    void run() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
                if (tasks_.empty()) {
                    break;  // stopping, and nothing left to finish
                }
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
        connection_.reset();
    }

    store::StoreConnection& connection() {
        if (!connection_) {
            connection_ = std::make_unique<store::StoreConnection>(storeURL_, model_);
            SyncTables::create(connection_->database());
            std::lock_guard lock(deviceMutex_);
            device_ = SyncTables(connection_->database()).state("device").value_or("");
        }
        return *connection_;
    }

    void postNotification(store::ContextDidSaveNotification note) {
        if (note.inserted.empty() && note.updated.empty() && note.deleted.empty()) {
            return;
        }
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

    // Attaching ------------------------------------------------------------------------------

    // With `afresh`, attaches whatever the state: the attachment there was (if any) stands
    // until the new one is in place, so an attach that fails changes nothing.
    std::optional<SyncError> doLeech(Date now, bool afresh = false) {
        if (leeched_.load() && !afresh) {
            return std::nullopt;  // attached already: nothing to do
        }
        if (fs_->checkRoot() != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           "The cloud folder is not available, so the store cannot be attached.");
        }
        if (fs_->makeDirectory(layout_.devicesFolder()) != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           "The cloud folder cannot be written, so the store cannot be attached.");
        }
        auto ensembleFile = fs_->read(layout_.ensembleFile(), kMaxSmallFileBytes);
        if (ensembleFile.status == CloudStatus::notFound) {
            const auto status = fs_->writeAtomically(
                layout_.ensembleFile(), ensembleFileJson(store::GlobalID::generate().toString()));
            if (status != CloudStatus::ok) {
                return failure(
                    SyncError::Kind::unavailable,
                    fmt::format("The cloud folder cannot be written ({}).", describe(status)));
            }
            ensembleFile = fs_->read(layout_.ensembleFile(), kMaxSmallFileBytes);
        }
        if (ensembleFile.status != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           fmt::format("The cloud folder's ensemble cannot be read ({}).",
                                       describe(ensembleFile.status)));
        }
        std::string ensembleID;
        try {
            ensembleID = ensembleIdentifierFrom(ensembleFile.contents);
        } catch (const RefusedFile& e) {
            return failure(SyncError::Kind::notRecognised,
                           fmt::format("The cloud folder's ensemble is damaged ({}).", e.what()));
        }

        // The identity is chosen and kept here before it is registered there: an attach that
        // is cut short after registering comes back as the same device instead of leaving a
        // registration behind that nobody answers to (it would hold compaction back).
        auto& conn = connection();
        auto& db = conn.database();
        std::string device = SyncTables(db).state("attachingAs").value_or("");
        if (!store::GlobalID::fromString(device)) {
            device = store::GlobalID::generate().toString();
            SyncTables(db).setState("attachingAs", device);
        }
        for (const auto& folder :
             {layout_.changesFolder(device), layout_.baselinesFolder(device)}) {
            if (fs_->makeDirectory(folder) != CloudStatus::ok) {
                return failure(
                    SyncError::Kind::unavailable,
                    "The cloud folder cannot be written, so the store cannot be attached.");
            }
        }
        DeviceRegistration registration;
        registration.device = device;
        registration.ensemble = ensembleID;
        registration.lastSeen = now.secondsSinceEpoch;
        if (const auto status =
                fs_->writeAtomically(layout_.registrationFile(device), registration.toJson());
            status != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           fmt::format("This device could not be registered in the cloud "
                                       "folder ({}).",
                                       describe(status)));
        }

        {
            store::SqliteTransaction transaction(db);
            SyncTables tables(db);
            std::int64_t clock = tables.stateInteger("clock", 0);
            tables.setState("device", device);
            tables.setState("attachingAs", "");
            tables.setState("ensemble", ensembleID);
            tables.setState("cloudLocation", fs_->location());
            tables.setState("attached", 1);
            tables.setState("lost", 0);
            tables.setState("nextFile", 1);
            tables.setState("claimFile", 0);
            tables.setState("claimThrough", 0);
            tables.setState("exported", 0);
            tables.setState("baselines", "[]");
            db.execute("DELETE FROM \"_sync_pending\"; DELETE FROM \"_sync_applied\";");
            // Everything this store holds goes out as the device's first file; removals too,
            // for a store attached before whose deletions the others may not have seen.
            const Stamp stamp{++clock, device};
            for (const auto& change : snapshotStore(conn, stamp, true)) {
                tables.addPending(*store::GlobalID::fromString(change.globalID),
                                  change.toJson().dump());
            }
            tables.setState("clock", clock);
            transaction.commit();
        }
        {
            std::lock_guard lock(deviceMutex_);
            device_ = device;
        }
        ownFiles_.reset();
        ownBaselines_.reset();
        lastRegistration_.clear();
        objectCount_ = 0;
        leeched_.store(true);
        log(1, fmt::format("attached as device {}", device));
        if (auto error = exportPending()) {
            // The changes wait in the store; the next merge exports them.
            log(0, fmt::format("first export postponed: {}", error->localizedDescription));
        }
        return std::nullopt;
    }

    // A fresh attachment whatever the state, under a new identity.
    std::optional<SyncError> doReattach(Date now) {
        auto& db = connection().database();
        const auto oldDevice = SyncTables(db).state("device").value_or("");
        auto error = doLeech(now, true);
        if (!error && !oldDevice.empty() && oldDevice != device()) {
            // Were the old registration still here, it would hold compaction back for weeks.
            fs_->remove(layout_.registrationFile(oldDevice));
        }
        return error;
    }

    // Merging -------------------------------------------------------------------------------

    std::optional<SyncError> doMerge(Date now) {
        if (!leeched_.load()) {
            return failure(SyncError::Kind::failed, "The store is not attached to the cloud.");
        }
        connection();
        if (auto problem = checkAttachment()) {
            if (problem->kind == SyncError::Kind::lost) {
                endAttachment();
            }
            log(0, fmt::format("merge stopped: {}", problem->localizedDescription));
            return problem;
        }
        settleLocalChanges();
        removeStaleTemporaryFiles();
        const auto devices = fs_->list(layout_.devicesFolder());
        if (devices.status != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           "The cloud folder cannot be read just now.");
        }
        auto folder = lookAtFolder(devices);
        importAll(folder);
        auto exportError = exportPending();
        writeRegistration(now);
        compact(now, folder);
        if (exportError) {
            return exportError;
        }
        log(1, "merge done");
        return std::nullopt;
    }

    // What the main context saved since the last merge may need the engine's attention (see
    // ChangeApplier::settleLocalChanges); the context hears of it like of any merge.
    void settleLocalChanges() {
        auto& conn = *connection_;
        ChangeApplier applier(conn);
        store::SqliteTransaction transaction(conn.database());
        applier.settleLocalChanges();
        transaction.commit();
        postNotification(applier.takeNotification());
    }

    // A write of this device cut short by a crash leaves its temporary file behind, which the
    // file-sync service would carry everywhere. Only this device's own folders are looked at
    // (another device's temporary file may be a write under way), once per run: a write of
    // this run happens on this thread, never during the look.
    void removeStaleTemporaryFiles() {
        if (std::exchange(lookedForTemporaryFiles_, true)) {
            return;
        }
        const auto me = device();
        std::size_t removed = 0;
        for (const auto& folder :
             {layout_.deviceFolder(me), layout_.changesFolder(me), layout_.baselinesFolder(me)}) {
            removed += fs_->removeStaleTemporaryFiles(folder, tuning_.staleTemporaryFileSeconds);
        }
        if (removed > 0) {
            log(1, fmt::format("removed {} temporary files left by earlier writes", removed));
        }
    }

    // Whether the attachment still stands, as far as the folder can tell: none when it does,
    // else why not. Only `lost` ends it; everything else proves nothing and leaves it as it is.
    std::optional<SyncError> checkAttachment() {
        if (fs_->checkRoot() != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           "The cloud folder is not available (missing, not mounted or not "
                           "readable).");
        }
        SyncTables tables(connection_->database());
        const auto me = device();
        const auto own = fs_->read(layout_.registrationFile(me), kMaxSmallFileBytes);
        const bool registered = own.status == CloudStatus::ok || own.status == CloudStatus::invalid;
        // The folder attached to is remembered: another folder (a path typed wrong, a default
        // used by mistake) may hold anything and proves nothing about this attachment. The
        // same folder reached by another path still holds this device's registration.
        const auto here = fs_->location();
        const auto attachedTo = tables.state("cloudLocation").value_or("");
        if (!here.empty() && here != attachedTo) {
            if (!registered && !attachedTo.empty()) {
                return failure(
                    SyncError::Kind::otherFolder,
                    fmt::format("This store is attached to the cloud folder {}, not to {}.",
                                attachedTo, here));
            }
            if (registered) {
                tables.setState("cloudLocation", here);
            }
        }
        if (registered) {
            return std::nullopt;
        }
        if (own.status != CloudStatus::notFound) {
            return failure(SyncError::Kind::unavailable,
                           fmt::format("This device's registration cannot be read ({}).",
                                       describe(own.status)));
        }
        // Not registered here. That is a lost attachment only when the folder plainly holds an
        // ensemble that other devices are registered in: a folder emptied for a moment (an
        // unmounted drive, a sync client that has not filled it yet) holds nothing at all.
        const auto ensembleFile = fs_->read(layout_.ensembleFile(), kMaxSmallFileBytes);
        if (ensembleFile.status != CloudStatus::ok) {
            return failure(ensembleFile.status == CloudStatus::notFound
                               ? SyncError::Kind::notRecognised
                               : SyncError::Kind::unavailable,
                           "The cloud folder holds no synced data just now.");
        }
        const auto devices = fs_->list(layout_.devicesFolder());
        if (devices.status != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           "The cloud folder cannot be read just now.");
        }
        auto registrations = readRegistrations(devices);
        if (registrations.byDevice.empty()) {
            return failure(SyncError::Kind::notRecognised,
                           "This device is not registered in the cloud folder, and no other "
                           "device is either.");
        }
        return failure(SyncError::Kind::lost,
                       "The cloud folder no longer holds this device's registration; the store "
                       "is no longer attached.");
    }

    void endAttachment() {
        auto& db = connection_->database();
        store::SqliteTransaction transaction(db);
        SyncTables tables(db);
        tables.setState("attached", 0);
        tables.setState("lost", 1);
        transaction.commit();
        leeched_.store(false);
        log(0, "the cloud folder holds other devices and no longer this one: attachment lost");
    }

    // The folder as this device sees it ---------------------------------------------------------

    // The other devices' registrations. Not `complete` when the folder could not be read
    // through (an I/O error proves nothing): compaction then removes nothing, since a device
    // it did not see may still need every file.
    struct Registrations {
        std::map<std::string, DeviceRegistration> byDevice;
        bool complete = true;
    };

    // Every other device's change files by sequence; devices whose folder could not be
    // listed are in `unlisted` (their files are not known to be missing).
    struct FolderFiles {
        std::map<std::string, std::vector<std::int64_t>> byDevice;
        std::set<std::string> unlisted;
    };

    struct FolderView {
        Registrations registrations;
        FolderFiles others;
        std::vector<BaselineRef> baselines;  // the baselines that count (see Baselines.h)
    };

    FolderView lookAtFolder(const CloudListing& devices) {
        FolderView view;
        view.registrations = readRegistrations(devices);
        view.others = listOtherDevicesFiles(devices);
        view.baselines = presentBaselines(view.registrations);
        return view;
    }

    Registrations readRegistrations(const CloudListing& devices) {
        Registrations out;
        out.complete = devices.status == CloudStatus::ok;
        for (const auto& entry : devices.entries) {
            if (entry.kind != CloudEntryKind::directory || !CloudLayout::isDeviceName(entry.name) ||
                entry.name == device()) {
                continue;  // reported by listOtherDevicesFiles
            }
            const auto path = layout_.registrationFile(entry.name);
            const auto file = fs_->read(path, kMaxSmallFileBytes);
            if (file.status == CloudStatus::unavailable) {
                out.complete = false;
                continue;
            }
            if (file.status != CloudStatus::ok) {
                if (file.status != CloudStatus::notFound) {
                    reportStray(path, describe(file.status));
                }
                continue;
            }
            try {
                auto registration = DeviceRegistration::fromJson(file.contents);
                if (registration.device != entry.name) {
                    reportStray(path, "it registers another device");
                    continue;
                }
                out.byDevice.emplace(entry.name, std::move(registration));
            } catch (const RefusedFile& e) {
                reportStray(path, e.what());
            }
        }
        return out;
    }

    // What is not of the engine's making in the folder (a stray file, a link, a folder where a
    // file should be, a name that does not fit) is ignored and reported once.
    void reportStray(const std::string& path, const std::string& reason) {
        std::lock_guard lock(strayMutex_);
        if (reportedStrays_.insert(path).second) {
            log(0, fmt::format("skipped {}: {}", path, reason));
        }
    }

    FolderFiles listOtherDevicesFiles(const CloudListing& devices) {
        FolderFiles out;
        for (const auto& entry : devices.entries) {
            const auto path = layout_.devicesFolder() + "/" + entry.name;
            if (entry.kind != CloudEntryKind::directory || !CloudLayout::isDeviceName(entry.name)) {
                reportStray(path, "not a device's folder");
                continue;
            }
            if (entry.name == device()) {
                continue;
            }
            auto& files = out.byDevice[entry.name];
            const auto folder = layout_.changesFolder(entry.name);
            const auto listing = fs_->list(folder);
            if (listing.status != CloudStatus::ok) {
                if (listing.status == CloudStatus::invalid) {
                    reportStray(folder, "not a folder");
                } else if (listing.status != CloudStatus::notFound) {
                    out.unlisted.insert(entry.name);
                }
                continue;
            }
            for (const auto& file : listing.entries) {
                const auto filePath = folder + "/" + file.name;
                const auto seq = CloudLayout::changeFileSequence(file.name);
                if (!seq) {
                    reportStray(filePath, "not the name of a change file");
                } else if (file.kind != CloudEntryKind::file) {
                    reportStray(filePath, "not a file");
                } else {
                    files.push_back(*seq);
                }
            }
            std::sort(files.begin(), files.end());
        }
        return out;
    }

    // The baselines described by their writers that this device sees in the folder.
    std::vector<BaselineRef> presentBaselines(const Registrations& registrations) {
        std::vector<BaselineRef> out;
        auto collect = [&](const std::string& writer, const std::vector<BaselineInfo>& described) {
            if (described.empty()) {
                return;
            }
            const auto listing = fs_->list(layout_.baselinesFolder(writer));
            if (listing.status != CloudStatus::ok) {
                return;
            }
            for (const auto& b : described) {
                const auto name = CloudLayout::baselineFileName(b.sequence);
                const bool listed = std::any_of(
                    listing.entries.begin(), listing.entries.end(), [&](const CloudEntry& entry) {
                        return entry.name == name && entry.kind == CloudEntryKind::file;
                    });
                if (listed) {
                    out.push_back({writer, b});
                }
            }
        };
        for (const auto& [writer, registration] : registrations.byDevice) {
            collect(writer, registration.baselines);
        }
        collect(device(), ownBaselines());
        return out;
    }

    // This device's baselines, as kept in the store; read once, then kept here (only this
    // engine changes them).
    const std::vector<BaselineInfo>& ownBaselines() {
        if (!ownBaselines_) {
            ownBaselines_.emplace();
            SyncTables tables(connection_->database());
            try {
                for (const auto& b :
                     nlohmann::json::parse(tables.state("baselines").value_or("[]"))) {
                    ownBaselines_->push_back(
                        {b.at("sequence").get<std::int64_t>(),
                         b.at("coverage").get<std::map<std::string, std::int64_t>>()});
                }
            } catch (const nlohmann::json::exception&) {
                // A damaged list only keeps old baselines around longer.
            }
        }
        return *ownBaselines_;
    }

    // Inside the caller's transaction; the copy here follows once it committed (see
    // commitOwnBaselines).
    void setOwnBaselines(const std::vector<BaselineInfo>& baselines) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& b : baselines) {
            list.push_back({{"sequence", b.sequence}, {"coverage", b.coverage}});
        }
        SyncTables(connection_->database()).setState("baselines", list.dump());
    }

    void commitOwnBaselines(std::vector<BaselineInfo> baselines) {
        store::SqliteTransaction transaction(connection_->database());
        setOwnBaselines(baselines);
        transaction.commit();
        ownBaselines_ = std::move(baselines);
    }

    // The other devices this device has something to take in from: those with a folder here,
    // and those a baseline here holds files of.
    std::set<std::string> otherDevices(const FolderView& folder) {
        std::set<std::string> out;
        for (const auto& [other, files] : folder.others.byDevice) {
            out.insert(other);
        }
        for (const auto& b : folder.baselines) {
            for (const auto& [other, n] : b.info.coverage) {
                out.insert(other);
            }
        }
        out.erase(device());
        return out;
    }

    // Importing -------------------------------------------------------------------------------

    // Each other device's files in order, as far as they go; where the next one is missing, or
    // there and unreadable, the baseline that reaches furthest into that device's files closes
    // the gap. Files past a gap still come in (in any order) but never move the device's
    // watermark past the gap: what its files hold beyond it arrives when the gap is closed.
    void importAll(const FolderView& folder) {
        SyncTables tables(connection_->database());
        std::set<std::pair<std::string, std::int64_t>> baselinesTried;
        for (const auto& other : otherDevices(folder)) {
            if (folder.others.unlisted.count(other)) {
                continue;
            }
            static const std::vector<std::int64_t> kNone;
            const auto it = folder.others.byDevice.find(other);
            const auto& files = it == folder.others.byDevice.end() ? kNone : it->second;
            // Read again only when an import moved it.
            auto applied = tables.applied(other);
            for (;;) {
                const auto next = applied.watermark + 1;
                const bool there = std::binary_search(files.begin(), files.end(), next);
                if (there && importChangeFile(folder.registrations, other, next)) {
                    applied = tables.applied(other);
                    continue;
                }
                if (!there && !expectsMore(folder, other, next)) {
                    break;  // caught up
                }
                const auto baseline = reachingFurthest(folder.baselines, other, next);
                if (baseline && baseline->device == device()) {
                    // This store holds all its own baseline held: only the record of what was
                    // applied is behind.
                    store::SqliteTransaction transaction(connection_->database());
                    for (const auto& [writer, covered] : baseline->info.coverage) {
                        if (writer != device()) {
                            tables.raiseWatermark(writer, covered);
                        }
                    }
                    transaction.commit();
                    applied = tables.applied(other);
                    continue;
                }
                if (!baseline ||
                    !baselinesTried.emplace(baseline->device, baseline->info.sequence).second ||
                    !importBaseline(folder.registrations, *baseline)) {
                    if (!there) {
                        log(1, fmt::format("waiting for file {} of {}", next, other));
                    }
                    break;
                }
                applied = tables.applied(other);
            }
            for (auto seq : files) {
                if (!applied.contains(seq)) {
                    importChangeFile(folder.registrations, other, seq);
                }
            }
        }
    }

    // Whether `other` is known to have written file `next` or later.
    bool expectsMore(const FolderView& folder, const std::string& other, std::int64_t next) {
        const auto files = folder.others.byDevice.find(other);
        if (files != folder.others.byDevice.end() && !files->second.empty() &&
            files->second.back() >= next) {
            return true;
        }
        const auto registration = folder.registrations.byDevice.find(other);
        if (registration != folder.registrations.byDevice.end() &&
            registration->second.exported >= next) {
            return true;
        }
        return coveredThrough(folder.baselines, other) >= next;
    }

    // The other devices' files not applied yet, for status(): those in the folder, and those
    // the writer's registration or a baseline here says were written (a baseline here holds
    // them for the next merge; otherwise they have not arrived).
    void countFilesToImport(const FolderView& folder, Status& s) {
        SyncTables tables(connection_->database());
        for (const auto& other : otherDevices(folder)) {
            const auto applied = tables.applied(other);
            static const std::vector<std::int64_t> kNone;
            const auto it = folder.others.byDevice.find(other);
            const auto& files = it == folder.others.byDevice.end() ? kNone : it->second;
            for (auto seq : files) {
                s.filesToImport += applied.contains(seq) ? 0 : 1;
            }
            const auto covered = coveredThrough(folder.baselines, other);
            std::int64_t written = covered;
            if (const auto r = folder.registrations.byDevice.find(other);
                r != folder.registrations.byDevice.end()) {
                written = std::max(written, r->second.exported);
            }
            for (auto seq = applied.watermark + 1; seq <= written; ++seq) {
                if (!applied.contains(seq) &&
                    !std::binary_search(files.begin(), files.end(), seq)) {
                    ++s.filesToImport;
                    s.filesNotArrived += seq > covered ? 1 : 0;
                }
            }
        }
    }

    bool importChangeFile(const Registrations& registrations, const std::string& writer,
                          std::int64_t seq) {
        return importFile(registrations, writer,
                          layout_.changesFolder(writer) + "/" + CloudLayout::changeFileName(seq),
                          "changes", seq);
    }

    bool importBaseline(const Registrations& registrations, const BaselineRef& baseline) {
        return importFile(registrations, baseline.device,
                          layout_.baselinesFolder(baseline.device) + "/" +
                              CloudLayout::baselineFileName(baseline.info.sequence),
                          "baseline", baseline.info.sequence);
    }

    // Applies one file in one transaction with its bookkeeping; false (and a log line) when it
    // cannot be read or is refused, to be tried again at the next merge. Anything else thrown
    // on the way fails the merge (see guarded).
    bool importFile(const Registrations& registrations, const std::string& writer,
                    const std::string& path, const std::string& kind, std::int64_t seq) {
        const auto limit = kind == "baseline" ? kMaxBaselineBytes : kMaxChangeFileBytes;
        const auto read = fs_->read(path, limit);
        if (read.status != CloudStatus::ok) {
            log(0, fmt::format("skipped {}: {}", path, describe(read.status)));
            return false;
        }
        ChangeFile file;
        try {
            file = decodeChangeFile(read.contents, model_->version());
        } catch (const RefusedFile& e) {
            log(0, fmt::format("skipped {}: {}", path, e.what()));
            return false;
        }
        auto& conn = *connection_;
        SyncTables tables(conn.database());
        const auto& h = file.header;
        // A device's files carry the ensemble it attached to: this device's, or (when two
        // devices made the ensemble at once) the one its registration names.
        const auto registration = registrations.byDevice.find(writer);
        const bool ensembleFits = h.ensemble == tables.state("ensemble") ||
                                  (registration != registrations.byDevice.end() &&
                                   h.ensemble == registration->second.ensemble);
        if (h.kind != kind || h.device != writer || h.sequence != seq || !ensembleFits) {
            log(0, fmt::format("skipped {}: it is not this ensemble's file of that name", path));
            return false;
        }
        ChangeApplier applier(conn);
        try {
            store::SqliteTransaction transaction(conn.database());
            for (const auto& change : file.changes) {
                applier.apply(change);
            }
            if (kind == "baseline") {
                for (const auto& [other, covered] : h.coverage) {
                    if (other != device()) {
                        tables.raiseWatermark(other, covered);
                    }
                }
            } else {
                tables.markApplied(writer, seq);
            }
            tables.setState("clock",
                            std::max(tables.stateInteger("clock", 0), applier.maxCounter()));
            transaction.commit();
        } catch (const RefusedFile& e) {
            log(0, fmt::format("skipped {}: {}", path, e.what()));
            return false;
        }
        log(2, fmt::format("applied {}", path));
        postNotification(applier.takeNotification());
        return true;
    }

    // Exporting -----------------------------------------------------------------------------

    std::optional<SyncError> exportPending() {
        auto& db = connection_->database();
        SyncTables tables(db);
        // Pending records go out in files of at most tuning_.maxRecordsPerFile records, oldest
        // first, so that however much was saved while away, no file grows past what a reader
        // takes.
        // A file's records are claimed by noting its number and its last record in the state
        // (records only ever come after it): an export cut short writes the same file again.
        for (;;) {
            std::int64_t fileNumber = 0;
            std::int64_t through = 0;
            {
                store::SqliteTransaction transaction(db);
                fileNumber = tables.stateInteger("claimFile", 0);
                through = tables.stateInteger("claimThrough", 0);
                if (fileNumber == 0) {
                    auto& last = db.cached(
                        "SELECT \"seq\" FROM \"_sync_pending\" ORDER BY \"seq\" LIMIT 1 "
                        "OFFSET ?");
                    last.bindInt(1, std::int64_t(tuning_.maxRecordsPerFile) - 1);
                    if (last.step()) {
                        through = last.columnInt(0);
                    }
                    last.reset();
                    if (through == 0) {
                        auto& newest = db.cached("SELECT MAX(\"seq\") FROM \"_sync_pending\"");
                        newest.step();
                        through = newest.columnIsNull(0) ? 0 : newest.columnInt(0);
                        newest.reset();
                    }
                    if (through == 0) {
                        transaction.commit();
                        return std::nullopt;  // nothing to send
                    }
                    fileNumber = tables.stateInteger("nextFile", 1);
                    tables.setState("nextFile", fileNumber + 1);
                    tables.setState("claimFile", fileNumber);
                    tables.setState("claimThrough", through);
                }
                transaction.commit();
            }
            ChangeFileHeader header;
            header.kind = "changes";
            header.ensemble = tables.state("ensemble").value_or("");
            header.device = device();
            header.sequence = fileNumber;
            header.modelVersion = model_->version();
            // One change per object, in the order the objects were first changed. A record
            // goes out as it was stored; only an object changed more than once is decoded, to
            // fold its records into one.
            std::vector<std::string> encoded;
            {
                std::unordered_map<std::string, std::size_t> position;
                std::map<std::size_t, ObjectChange> folded;
                auto& rows = db.cached(
                    "SELECT \"gid\", \"payload\" FROM \"_sync_pending\" WHERE \"seq\" <= ? "
                    "ORDER BY \"seq\"");
                rows.bindInt(1, through);
                while (rows.step()) {
                    const auto* bytes = static_cast<const char*>(rows.columnBlobData(0));
                    std::string gid(bytes ? bytes : "",
                                    bytes ? std::size_t(rows.columnBytes(0)) : 0);
                    std::string payload = rows.columnText(1);
                    auto [it, first] = position.try_emplace(std::move(gid), encoded.size());
                    if (first) {
                        encoded.push_back(std::move(payload));
                        continue;
                    }
                    auto change = ObjectChange::fromJson(nlohmann::json::parse(payload));
                    auto [earlier, unfolded] = folded.try_emplace(it->second);
                    if (unfolded) {
                        earlier->second =
                            ObjectChange::fromJson(nlohmann::json::parse(encoded[it->second]));
                    }
                    earlier->second.absorb(change);
                }
                rows.reset();
                for (const auto& [index, change] : folded) {
                    encoded[index] = change.toJson().dump();
                }
            }
            const auto path =
                layout_.changesFolder(device()) + "/" + CloudLayout::changeFileName(fileNumber);
            if (const auto status = fs_->writeAtomically(path, encodeChangeFile(header, encoded));
                status != CloudStatus::ok) {
                return SyncError{SyncError::Kind::unavailable,
                                 fmt::format("Local changes could not be written to the cloud "
                                             "folder ({}); they will be sent at the next merge.",
                                             describe(status))};
            }
            store::SqliteTransaction transaction(db);
            auto& done = db.cached("DELETE FROM \"_sync_pending\" WHERE \"seq\" <= ?");
            done.bindInt(1, through);
            done.step();
            done.reset();
            tables.setState("claimFile", 0);
            tables.setState("claimThrough", 0);
            tables.setState("exported", std::max(tables.stateInteger("exported", 0), fileNumber));
            transaction.commit();
            if (ownFiles_) {
                ownFiles_->insert(fileNumber);
            }
            log(2, fmt::format("exported {}", path));
        }
        return std::nullopt;
    }

    // Rewrites this device's registration when what others rely on changed (what it applied,
    // its baselines), and otherwise at most every registrationRefreshSeconds to say it is
    // still about: a save then costs one file written, not two.
    void writeRegistration(Date now) {
        SyncTables tables(connection_->database());
        DeviceRegistration r;
        r.device = device();
        r.ensemble = tables.state("ensemble").value_or("");
        for (const auto& [device, watermark] : tables.watermarks()) {
            r.applied[device] = watermark;
        }
        r.baselines = ownBaselines();
        const std::string substance = r.toJson();
        if (substance == lastRegistration_ &&
            now.secondsSinceEpoch - lastRegistrationWrite_ < tuning_.registrationRefreshSeconds &&
            now.secondsSinceEpoch >= lastRegistrationWrite_) {
            return;
        }
        r.lastSeen = now.secondsSinceEpoch;
        r.exported = tables.stateInteger("exported", 0);
        const auto status = fs_->writeAtomically(layout_.registrationFile(r.device), r.toJson());
        if (status != CloudStatus::ok) {
            lastRegistration_.clear();
            log(0,
                fmt::format("could not update this device's registration ({})", describe(status)));
            return;
        }
        lastRegistration_ = substance;
        lastRegistrationWrite_ = now.secondsSinceEpoch;
    }

    // Compacting ----------------------------------------------------------------------------

    // Own change files in the folder. Listed once, then kept up to date as files are written
    // and removed here: no other device touches this device's folder.
    const std::set<std::int64_t>* ownChangeFiles() {
        if (!ownFiles_) {
            const auto listing = fs_->list(layout_.changesFolder(device()));
            if (listing.status != CloudStatus::ok) {
                return nullptr;
            }
            ownFiles_.emplace();
            for (const auto& entry : listing.entries) {
                if (auto seq = CloudLayout::changeFileSequence(entry.name)) {
                    ownFiles_->insert(*seq);
                }
            }
        }
        return &*ownFiles_;
    }

    void compact(Date now, FolderView& folder) {
        auto& db = connection_->database();
        SyncTables tables(db);
        const auto me = device();
        const auto exported = tables.stateInteger("exported", 0);

        const auto* ownFiles = ownChangeFiles();
        if (!ownFiles) {
            return;  // the folder cannot be read just now
        }
        std::size_t filesInFolder = ownFiles->size();
        for (const auto& [other, files] : folder.others.byDevice) {
            filesInFolder += files.size();
        }

        Coverage knowledge;
        for (const auto& [other, watermark] : tables.watermarks()) {
            knowledge[other] = watermark;
        }
        knowledge[me] = exported;
        // A baseline holds the whole store: the larger the store, the more files it waits
        // for, so that writing baselines never costs much more than the files it replaces.
        // The count is taken again only when the files reach what the last count asked for.
        auto enoughFor = [&](std::int64_t objects) {
            return std::max<std::int64_t>(std::int64_t(tuning_.baselineAfterFiles),
                                          objects / tuning_.objectsPerBaselineFile);
        };
        if (std::int64_t(filesInFolder) >= enoughFor(objectCount_)) {
            objectCount_ = storeObjectCount();
        }
        const auto enough = enoughFor(objectCount_);
        const auto top = topRanked(folder.baselines);
        const bool worthIt =
            std::int64_t(filesInFolder) >= enough &&
            (!top || (dominates(knowledge, top->info.coverage) &&
                      totalFiles(knowledge) - totalFiles(top->info.coverage) >= enough / 2));
        if (worthIt && tables.pendingCount() == 0) {
            if (auto written = writeBaseline(knowledge)) {
                folder.baselines.push_back(*written);
                writeRegistration(now);
            }
        }
        if (!folder.registrations.complete) {
            return;
        }
        // Own change files go once a baseline in the folder holds them and every device still
        // in touch has applied them; a device away too long no longer holds them back.
        std::int64_t removable = coveredThrough(folder.baselines, me);
        for (const auto& [other, registration] : folder.registrations.byDevice) {
            if (now.secondsSinceEpoch - registration.lastSeen > tuning_.staleDeviceSeconds) {
                continue;
            }
            auto it = registration.applied.find(me);
            removable = std::min(removable, it == registration.applied.end() ? 0 : it->second);
        }
        while (!ownFiles_->empty() && *ownFiles_->begin() <= removable) {
            const auto seq = *ownFiles_->begin();
            const auto status =
                fs_->remove(layout_.changesFolder(me) + "/" + CloudLayout::changeFileName(seq));
            if (status != CloudStatus::ok && status != CloudStatus::notFound) {
                ownFiles_.reset();  // listed afresh next time
                break;
            }
            ownFiles_->erase(ownFiles_->begin());
        }
        // Own baselines that one above them in the folder replaces.
        auto own = ownBaselines();
        const auto before = own.size();
        std::erase_if(own, [&](const BaselineInfo& b) {
            const bool superseded = isSuperseded(BaselineRef{me, b}, folder.baselines);
            if (superseded) {
                fs_->remove(layout_.baselinesFolder(me) + "/" +
                            CloudLayout::baselineFileName(b.sequence));
            }
            return superseded;
        });
        if (own.size() != before) {
            commitOwnBaselines(std::move(own));
            writeRegistration(now);
        }
    }

    std::int64_t storeObjectCount() {
        std::int64_t n = 0;
        for (const auto& e : model_->entities()) {
            auto& count = connection_->database().cached("SELECT COUNT(*) FROM " +
                                                         store::StoreConnection::quoted(e.name));
            count.step();
            n += count.columnInt(0);
            count.reset();
        }
        return n;
    }

    std::optional<BaselineRef> writeBaseline(const Coverage& coverage) {
        auto& conn = *connection_;
        auto& db = conn.database();
        SyncTables tables(db);
        ChangeFile file;
        file.header.kind = "baseline";
        file.header.ensemble = tables.state("ensemble").value_or("");
        file.header.device = device();
        file.header.modelVersion = model_->version();
        file.header.coverage = coverage;
        auto own = ownBaselines();
        file.header.sequence = own.empty() ? 1 : own.back().sequence + 1;
        {
            store::SqliteTransaction transaction(db);
            std::int64_t clock = tables.stateInteger("clock", 0);
            file.changes = snapshotStore(conn, Stamp{++clock, device()}, true);
            tables.setState("clock", clock);
            transaction.commit();
        }
        const auto path = layout_.baselinesFolder(device()) + "/" +
                          CloudLayout::baselineFileName(file.header.sequence);
        if (fs_->makeDirectory(layout_.baselinesFolder(device())) != CloudStatus::ok ||
            fs_->writeAtomically(path, encodeChangeFile(file)) != CloudStatus::ok) {
            log(0, "could not write a baseline; compaction waits");
            return std::nullopt;
        }
        own.push_back({file.header.sequence, coverage});
        commitOwnBaselines(own);
        log(1, fmt::format("wrote baseline {}", path));
        return BaselineRef{device(), own.back()};
    }

    std::string identifier_;
    std::filesystem::path storeURL_;
    std::shared_ptr<const store::ObjectModel> model_;
    std::shared_ptr<CloudFileSystem> fs_;
    EnsembleTuning tuning_;
    CloudLayout layout_;
    RunLoop& mainLoop_;
    std::shared_ptr<std::atomic<bool>> alive_;
    std::atomic<bool> leeched_;
    std::mutex deviceMutex_;
    std::string device_;
    std::mutex strayMutex_;
    std::set<std::string> reportedStrays_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread worker_;
    std::unique_ptr<store::StoreConnection> connection_;  // worker thread only
    std::string lastRegistration_;                        // worker thread only
    double lastRegistrationWrite_ = 0;                    // worker thread only
    std::int64_t objectCount_ = 0;  // the store's objects when compaction last counted them
    std::optional<std::set<std::int64_t>> ownFiles_;         // see ownChangeFiles()
    std::optional<std::vector<BaselineInfo>> ownBaselines_;  // see ownBaselines()
    bool lookedForTemporaryFiles_ = false;                   // worker thread only
};

// -----------------------------------------------------------------------------------------------

std::shared_ptr<PersistentStoreEnsemble> PersistentStoreEnsemble::create(
    const std::string& ensembleIdentifier, const std::filesystem::path& storeURL,
    const std::filesystem::path& managedObjectModelURL,
    std::shared_ptr<CloudFileSystem> cloudFileSystem, EnsembleTuning tuning, SyncError* whyNot) {
    auto refuse = [&](std::string why) -> std::shared_ptr<PersistentStoreEnsemble> {
        log(0, fmt::format("no ensemble: {}", why));
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
        leeched = SyncTables(connection.database()).stateInteger("attached", 0) == 1;
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
