#include "PersistentStoreEnsemble.h"

#include <fmt/format.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>

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

// Whether the attachment still stands, as far as the cloud folder can tell.
enum class Attachment { attached, lost, unknown };

std::int64_t total(const std::map<std::string, std::int64_t>& coverage) {
    std::int64_t sum = 0;
    for (const auto& [device, n] : coverage) {
        sum += n;
    }
    return sum;
}

bool dominates(const std::map<std::string, std::int64_t>& a,
               const std::map<std::string, std::int64_t>& b) {
    for (const auto& [device, n] : b) {
        auto it = a.find(device);
        if (it == a.end() || it->second < n) {
            return false;
        }
    }
    return true;
}

}  // namespace

void setCurrentLoggingLevel(int level) {
    gLoggingLevel.store(level);
}

class PersistentStoreEnsemble::Engine {
  public:
    Engine(std::string ensembleIdentifier, std::filesystem::path storeURL,
           std::shared_ptr<const store::ObjectModel> model, std::shared_ptr<CloudFileSystem> fs,
           bool leeched)
        : identifier_(std::move(ensembleIdentifier)),
          storeURL_(std::move(storeURL)),
          model_(std::move(model)),
          fs_(std::move(fs)),
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
        complete(std::move(completion), guarded([&] { return doLeech(now); }));
    }

    void merge(Date now, SyncCompletion completion) {
        complete(std::move(completion), guarded([&] { return doMerge(now); }));
    }

    Status status() {
        Status s;
        guarded([&]() -> std::optional<SyncError> {
            auto& db = connection().database();
            SyncTables tables(db);
            s.leeched = leeched_.load();
            s.lost = tables.stateInteger("lost", 0) == 1;
            s.device = tables.state("device").value_or("");
            s.changesToExport = tables.pendingCount();
            if (s.leeched) {
                for (const auto& [device, files] : listOtherDevicesFiles().byDevice) {
                    const auto applied = tables.applied(device);
                    for (auto seq : files) {
                        s.filesToImport += applied.contains(seq) ? 0 : 1;
                    }
                }
            }
            return std::nullopt;
        });
        return s;
    }

  private:
    // Runs a step, turning store and unexpected failures into a sync error.
    template <typename F>
    std::optional<SyncError> guarded(F&& step) {
        try {
            return step();
        } catch (const store::StoreError& e) {
            log(0, fmt::format("store error: {}", e.what()));
            return SyncError{fmt::format("The local store could not be updated: {}", e.what())};
        } catch (const std::exception& e) {
            log(0, fmt::format("error: {}", e.what()));
            return SyncError{fmt::format("Syncing failed: {}", e.what())};
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

    std::optional<SyncError> doLeech(Date now) {
        if (leeched_.load()) {
            return std::nullopt;  // attached already: nothing to do
        }
        if (fs_->checkRoot() != CloudStatus::ok) {
            return SyncError{"The cloud folder is not available, so the store cannot be attached."};
        }
        if (fs_->makeDirectory(layout_.devicesFolder()) != CloudStatus::ok) {
            return SyncError{
                "The cloud folder cannot be written, so the store cannot be attached."};
        }
        auto ensembleFile = fs_->read(layout_.ensembleFile(), 64 * 1024);
        if (ensembleFile.status == CloudStatus::notFound) {
            const auto status = fs_->writeAtomically(
                layout_.ensembleFile(), ensembleFileJson(store::GlobalID::generate().toString()));
            if (status != CloudStatus::ok) {
                return SyncError{
                    fmt::format("The cloud folder cannot be written ({}).", describe(status))};
            }
            ensembleFile = fs_->read(layout_.ensembleFile(), 64 * 1024);
        }
        if (ensembleFile.status != CloudStatus::ok) {
            return SyncError{fmt::format("The cloud folder's ensemble cannot be read ({}).",
                                         describe(ensembleFile.status))};
        }
        std::string ensembleID;
        try {
            ensembleID = ensembleIdentifierFrom(ensembleFile.contents);
        } catch (const std::invalid_argument& e) {
            return SyncError{fmt::format("The cloud folder's ensemble is damaged ({}).", e.what())};
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
                return SyncError{
                    "The cloud folder cannot be written, so the store cannot be "
                    "attached."};
            }
        }
        DeviceRegistration registration;
        registration.device = device;
        registration.ensemble = ensembleID;
        registration.lastSeen = now.secondsSinceEpoch;
        if (const auto status =
                fs_->writeAtomically(layout_.registrationFile(device), registration.toJson());
            status != CloudStatus::ok) {
            return SyncError{
                fmt::format("This device could not be registered in the cloud "
                            "folder ({}).",
                            describe(status))};
        }

        {
            store::SqliteTransaction transaction(db);
            SyncTables tables(db);
            std::int64_t clock = tables.stateInteger("clock", 0);
            tables.setState("device", device);
            tables.setState("attachingAs", "");
            tables.setState("ensemble", ensembleID);
            tables.setState("attached", 1);
            tables.setState("lost", 0);
            tables.setState("nextFile", 1);
            tables.setState("claimFile", 0);
            tables.setState("claimThrough", 0);
            tables.setState("exported", 0);
            tables.setState("baselines", "[]");
            db.execute("DELETE FROM \"_sync_pending\"; DELETE FROM \"_sync_applied\";");
            // Everything this store holds goes out as the device's first file.
            const Stamp stamp{++clock, device};
            for (const auto& change : snapshotStore(conn, stamp, false)) {
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
        leeched_.store(true);
        log(1, fmt::format("attached as device {}", device));
        if (auto error = exportPending()) {
            // The changes wait in the store; the next merge exports them.
            log(0, fmt::format("first export postponed: {}", error->localizedDescription));
        }
        return std::nullopt;
    }

    // Merging -------------------------------------------------------------------------------

    std::optional<SyncError> doMerge(Date now) {
        if (!leeched_.load()) {
            return SyncError{"The store is not attached to the cloud."};
        }
        connection();
        switch (checkAttachment()) {
            case Attachment::lost:
                endAttachment();
                return SyncError{
                    "The cloud folder no longer holds this store's data; the store "
                    "is no longer attached."};
            case Attachment::unknown:
                return SyncError{"The cloud folder is not available."};
            case Attachment::attached:
                break;
        }
        settleLocalChanges();
        const auto devices = fs_->list(layout_.devicesFolder());
        if (devices.status != CloudStatus::ok) {
            return SyncError{"The cloud folder cannot be read just now."};
        }
        auto registrations = readRegistrations(devices);
        const auto others = listOtherDevicesFiles(devices);
        importAll(registrations, others);
        auto exportError = exportPending();
        writeRegistration(now);
        compact(now, registrations, others);
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

    Attachment checkAttachment() {
        if (fs_->checkRoot() != CloudStatus::ok) {
            return Attachment::unknown;
        }
        SyncTables tables(connection_->database());
        const auto ensembleFile = fs_->read(layout_.ensembleFile(), 64 * 1024);
        if (ensembleFile.status == CloudStatus::notFound) {
            return Attachment::lost;
        }
        if (ensembleFile.status != CloudStatus::ok) {
            return Attachment::unknown;
        }
        try {
            // Another identifier alone proves nothing: two devices attaching before either
            // saw the other's ensemble file each wrote one, and one of the two stays. A folder
            // replaced by another ensemble no longer holds this device's registration.
            ensembleIdentifierFrom(ensembleFile.contents);
        } catch (const std::invalid_argument&) {
            return Attachment::unknown;
        }
        const auto own = fs_->read(layout_.registrationFile(device()), 1 << 20);
        if (own.status == CloudStatus::notFound) {
            return Attachment::lost;
        }
        return own.status == CloudStatus::ok || own.status == CloudStatus::invalid
                   ? Attachment::attached
                   : Attachment::unknown;
    }

    void endAttachment() {
        auto& db = connection_->database();
        store::SqliteTransaction transaction(db);
        SyncTables tables(db);
        tables.setState("attached", 0);
        tables.setState("lost", 1);
        transaction.commit();
        leeched_.store(false);
        log(0,
            "the cloud folder no longer holds this store's ensemble or registration: "
            "attachment lost");
    }

    // The other devices' registrations. Not `complete` when the folder could not be read
    // through (an I/O error proves nothing): compaction then removes nothing, since a device
    // it did not see may still need every file.
    struct Registrations {
        std::map<std::string, DeviceRegistration> byDevice;
        bool complete = true;
    };

    Registrations readRegistrations(const CloudListing& devices) {
        Registrations out;
        out.complete = devices.status == CloudStatus::ok;
        for (const auto& entry : devices.entries) {
            if (entry.kind != CloudEntryKind::directory || !CloudLayout::isDeviceName(entry.name) ||
                entry.name == device()) {
                continue;  // reported by listOtherDevicesFiles
            }
            const auto path = layout_.registrationFile(entry.name);
            const auto file = fs_->read(path, 1 << 20);
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
                    log(0, fmt::format("skipped {}: it registers another device", path));
                    continue;
                }
                out.byDevice.emplace(entry.name, std::move(registration));
            } catch (const std::invalid_argument& e) {
                log(0, fmt::format("skipped {}: {}", path, e.what()));
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

    // Every other device's change files by sequence; devices whose folder could not be
    // listed are in `unlisted` (their files are not known to be missing).
    struct FolderFiles {
        std::map<std::string, std::vector<std::int64_t>> byDevice;
        std::set<std::string> unlisted;
    };

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

    FolderFiles listOtherDevicesFiles() {
        return listOtherDevicesFiles(fs_->list(layout_.devicesFolder()));
    }

    struct BaselineRef {
        std::string device;
        BaselineInfo info;
    };

    std::optional<BaselineRef> newestBaseline(const Registrations& registrations) {
        std::optional<BaselineRef> best;
        auto consider = [&](const std::string& device, const BaselineInfo& info) {
            if (!best || (dominates(info.coverage, best->info.coverage) &&
                          total(info.coverage) > total(best->info.coverage))) {
                best = BaselineRef{device, info};
            }
        };
        for (const auto& [device, registration] : registrations.byDevice) {
            for (const auto& b : registration.baselines) {
                consider(device, b);
            }
        }
        for (const auto& b : ownBaselines()) {
            consider(device(), b);
        }
        return best;
    }

    std::vector<BaselineInfo> ownBaselines() {
        SyncTables tables(connection_->database());
        std::vector<BaselineInfo> out;
        try {
            for (const auto& b : nlohmann::json::parse(tables.state("baselines").value_or("[]"))) {
                out.push_back({b.at("sequence").get<std::int64_t>(),
                               b.at("coverage").get<std::map<std::string, std::int64_t>>()});
            }
        } catch (const std::exception&) {
            // A damaged list only keeps old baselines around longer.
        }
        return out;
    }

    void setOwnBaselines(const std::vector<BaselineInfo>& baselines) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& b : baselines) {
            list.push_back({{"sequence", b.sequence}, {"coverage", b.coverage}});
        }
        SyncTables(connection_->database()).setState("baselines", list.dump());
    }

    void importAll(const Registrations& registrations, FolderFiles folder) {
        auto& files = folder.byDevice;
        SyncTables tables(connection_->database());
        // A baseline first, when some device's next file is gone because it replaced it.
        if (auto baseline = newestBaseline(registrations);
            baseline && baseline->device != device()) {
            bool needed = false;
            for (const auto& [other, covered] : baseline->info.coverage) {
                if (other == device() || folder.unlisted.count(other)) {
                    continue;
                }
                const auto applied = tables.applied(other);
                const auto& present = files[other];
                const bool nextMissing =
                    !std::binary_search(present.begin(), present.end(), applied.watermark + 1);
                needed = needed || (applied.watermark < covered && nextMissing);
            }
            if (needed) {
                importFile(registrations, baseline->device,
                           layout_.baselinesFolder(baseline->device) + "/" +
                               CloudLayout::baselineFileName(baseline->info.sequence),
                           "baseline", baseline->info.sequence);
            }
        }
        for (const auto& [other, sequences] : files) {
            for (auto seq : sequences) {
                if (tables.applied(other).contains(seq)) {
                    continue;
                }
                importFile(registrations, other,
                           layout_.changesFolder(other) + "/" + CloudLayout::changeFileName(seq),
                           "changes", seq);
            }
        }
    }

    void importFile(const Registrations& registrations, const std::string& device,
                    const std::string& path, const std::string& kind, std::int64_t seq) {
        const auto limit = kind == "baseline" ? kMaxBaselineBytes : kMaxChangeFileBytes;
        const auto read = fs_->read(path, limit);
        if (read.status != CloudStatus::ok) {
            log(0, fmt::format("skipped {}: {}", path, describe(read.status)));
            return;
        }
        ChangeFile file;
        try {
            file = decodeChangeFile(read.contents, model_->version());
        } catch (const std::exception& e) {
            log(0, fmt::format("skipped {}: {}", path, e.what()));
            return;
        }
        auto& conn = *connection_;
        SyncTables tables(conn.database());
        const auto& h = file.header;
        // A device's files carry the ensemble it attached to: this device's, or (when two
        // devices made the ensemble at once) the one its registration names.
        const auto writer = registrations.byDevice.find(device);
        const bool ensembleFits =
            h.ensemble == tables.state("ensemble") ||
            (writer != registrations.byDevice.end() && h.ensemble == writer->second.ensemble);
        if (h.kind != kind || h.device != device || h.sequence != seq || !ensembleFits) {
            log(0, fmt::format("skipped {}: it is not this ensemble's file of that name", path));
            return;
        }
        ChangeApplier applier(conn);
        try {
            store::SqliteTransaction transaction(conn.database());
            for (const auto& change : file.changes) {
                applier.apply(change);
            }
            if (kind == "baseline") {
                for (const auto& [other, covered] : h.coverage) {
                    if (other != this->device()) {
                        tables.raiseWatermark(other, covered);
                    }
                }
            } else {
                tables.markApplied(device, seq);
            }
            tables.setState("clock",
                            std::max(tables.stateInteger("clock", 0), applier.maxCounter()));
            transaction.commit();
        } catch (const std::invalid_argument& e) {
            log(0, fmt::format("skipped {}: {}", path, e.what()));
            return;
        }
        log(2, fmt::format("applied {}", path));
        postNotification(applier.takeNotification());
    }

    // Exporting -----------------------------------------------------------------------------

    std::optional<SyncError> exportPending() {
        auto& db = connection_->database();
        SyncTables tables(db);
        // Pending records go out in files of at most kMaxRecordsPerFile records, oldest first,
        // so that however much was saved while away, no file grows past what a reader takes.
        // A file's records are claimed by noting its number and its last record in the state
        // (records only ever come after it): an export cut short writes the same file again.
        for (;;) {
            std::int64_t fileNumber = 0;
            std::int64_t through = 0;
            {
                store::SqliteTransaction transaction(db);
                adoptUnfinishedExportOfEarlierVersions(tables);
                fileNumber = tables.stateInteger("claimFile", 0);
                through = tables.stateInteger("claimThrough", 0);
                if (fileNumber == 0) {
                    auto& last = db.cached(
                        "SELECT \"seq\" FROM \"_sync_pending\" ORDER BY \"seq\" LIMIT 1 "
                        "OFFSET ?");
                    last.bindInt(1, std::int64_t(kMaxRecordsPerFile) - 1);
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
                return SyncError{
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

    // Earlier versions claimed a file's records by marking each with the file's number; an
    // export of theirs cut short is finished as a claim of ours. Looked for once per run.
    void adoptUnfinishedExportOfEarlierVersions(SyncTables& tables) {
        if (std::exchange(lookedForMarkedRecords_, true) ||
            tables.stateInteger("claimFile", 0) != 0) {
            return;
        }
        auto& db = connection_->database();
        auto& marked = db.cached(
            "SELECT \"file\", MAX(\"seq\") FROM \"_sync_pending\" WHERE \"file\" IS NOT NULL "
            "GROUP BY \"file\" ORDER BY \"file\" LIMIT 1");
        if (marked.step()) {
            tables.setState("claimFile", marked.columnInt(0));
            tables.setState("claimThrough", marked.columnInt(1));
        }
        marked.reset();
    }

    // Rewrites this device's registration when what others rely on changed (what it applied,
    // its baselines), and otherwise at most every kRegistrationRefreshSeconds to say it is
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
            now.secondsSinceEpoch - lastRegistrationWrite_ < kRegistrationRefreshSeconds &&
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

    void compact(Date now, const Registrations& registrations, const FolderFiles& others) {
        auto& conn = *connection_;
        auto& db = conn.database();
        SyncTables tables(db);
        const auto me = device();
        const auto exported = tables.stateInteger("exported", 0);

        const auto* ownFiles = ownChangeFiles();
        if (!ownFiles) {
            return;  // the folder cannot be read just now
        }
        std::size_t filesInFolder = ownFiles->size();
        for (const auto& [other, files] : others.byDevice) {
            filesInFolder += files.size();
        }

        std::map<std::string, std::int64_t> knowledge;
        for (const auto& [other, watermark] : tables.watermarks()) {
            knowledge[other] = watermark;
        }
        knowledge[me] = exported;
        // A baseline holds the whole store: the larger the store, the more files it waits
        // for, so that writing baselines never costs much more than the files it replaces.
        // The count is taken again only when the files reach what the last count asked for.
        auto enoughFor = [](std::int64_t objects) {
            return std::max<std::int64_t>(kBaselineAfterFiles, objects / kObjectsPerBaselineFile);
        };
        if (std::int64_t(filesInFolder) >= enoughFor(objectCount_)) {
            objectCount_ = storeObjectCount();
        }
        const auto enough = enoughFor(objectCount_);
        auto newest = newestBaseline(registrations);
        const bool worthIt =
            std::int64_t(filesInFolder) >= enough &&
            (!newest || (dominates(knowledge, newest->info.coverage) &&
                         total(knowledge) - total(newest->info.coverage) >= enough / 2));
        if (worthIt && tables.pendingCount() == 0) {
            writeBaseline(knowledge);
            newest = newestBaseline(registrations);
            writeRegistration(now);
        }
        if (!newest || !registrations.complete) {
            return;
        }
        // Own change files go once a baseline holds them and every device still in touch has
        // applied them; a device away too long no longer holds them back.
        std::int64_t removable = newest->info.coverage.count(me) ? newest->info.coverage.at(me) : 0;
        for (const auto& [other, registration] : registrations.byDevice) {
            if (now.secondsSinceEpoch - registration.lastSeen > kStaleDeviceSeconds) {
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
        // Own baselines that a newer one replaces.
        auto own = ownBaselines();
        const auto before = own.size();
        std::erase_if(own, [&](const BaselineInfo& b) {
            const bool superseded =
                !(newest->device == me && newest->info.sequence == b.sequence) &&
                dominates(newest->info.coverage, b.coverage);
            if (superseded) {
                fs_->remove(layout_.baselinesFolder(me) + "/" +
                            CloudLayout::baselineFileName(b.sequence));
            }
            return superseded;
        });
        if (own.size() != before) {
            store::SqliteTransaction transaction(db);
            setOwnBaselines(own);
            transaction.commit();
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

    void writeBaseline(const std::map<std::string, std::int64_t>& coverage) {
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
            return;
        }
        own.push_back({file.header.sequence, coverage});
        store::SqliteTransaction transaction(db);
        setOwnBaselines(own);
        transaction.commit();
        log(1, fmt::format("wrote baseline {}", path));
    }

    std::string identifier_;
    std::filesystem::path storeURL_;
    std::shared_ptr<const store::ObjectModel> model_;
    std::shared_ptr<CloudFileSystem> fs_;
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
    std::optional<std::set<std::int64_t>> ownFiles_;  // see ownChangeFiles()
    bool lookedForMarkedRecords_ = false;             // worker thread only
};

// -----------------------------------------------------------------------------------------------

std::shared_ptr<PersistentStoreEnsemble> PersistentStoreEnsemble::create(
    const std::string& ensembleIdentifier, const std::filesystem::path& storeURL,
    const std::filesystem::path& managedObjectModelURL,
    std::shared_ptr<CloudFileSystem> cloudFileSystem) {
    if (!cloudFileSystem || ensembleIdentifier.empty()) {
        return nullptr;
    }
    std::shared_ptr<const store::ObjectModel> model;
    bool leeched = false;
    try {
        model = store::ObjectModel::fromFile(managedObjectModelURL);
        store::StoreConnection connection(storeURL, model);
        SyncTables::create(connection.database());
        leeched = SyncTables(connection.database()).stateInteger("attached", 0) == 1;
    } catch (const std::exception& e) {
        log(0, fmt::format("no ensemble: {}", e.what()));
        return nullptr;
    }
    auto engine = std::make_unique<Engine>(ensembleIdentifier, storeURL, std::move(model),
                                           std::move(cloudFileSystem), leeched);
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
