#include "Importer.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <span>
#include <unordered_map>
#include <utility>

#include "Baselines.h"
#include "ChangeApplier.h"
#include "ChangeFile.h"
#include "CloudLayout.h"
#include "ObjectChange.h"
#include "Snapshot.h"
#include "SyncState.h"
#include "SyncTables.h"
#include "platform/store/GlobalID.h"
#include "platform/store/Sqlite.h"

namespace jw::sync {

// What the main context saved since the last merge may need the engine's attention (see
// ChangeApplier::settleLocalChanges); the context hears of it like of any merge.
void Importer::settleLocalChanges() {
    auto& conn = context_.connection();
    ChangeApplier applier(conn);
    store::SqliteTransaction transaction(conn.database());
    applier.settleLocalChanges();
    transaction.commit();
    context_.postNotification(applier.takeNotification());
}

namespace {

// The log size at which the engine's commits checkpoint while files are applied: about 32 MB.
constexpr int kImportCheckpointFrames = 8000;

}  // namespace

// Each other device's files in order, as far as they go; where the next one is missing, or
// there and unreadable, the baseline that reaches furthest into that device's files closes
// the gap. Files past a gap still come in (in any order) but never move the device's
// watermark past the gap: what its files hold beyond it arrives when the gap is closed.
void Importer::importAll(const FolderView& folder, const std::function<void()>& betweenFiles,
                         const std::function<bool()>& waiting) {
    // Files are applied in several transactions; betweenFiles runs between them too.
    // Each of those transactions rewrites much the same index pages: checkpointing after
    // fewer of them copies each page back into the store file fewer times. The log is cut
    // back to its usual size after (EngineContext::checkpointIfGrown).
    struct Applying {
        Importer& importer;
        store::SqliteDatabase& db;
        ~Applying() {
            importer.betweenFiles_ = nullptr;
            importer.waiting_ = nullptr;
            db.setCheckpointFrames(store::SqliteDatabase::kCheckpointFrames);
        }
    } applying{*this, context_.connection().database()};
    betweenFiles_ = betweenFiles;
    waiting_ = waiting;
    applying.db.setCheckpointFrames(kImportCheckpointFrames);
    importEach(folder, betweenFiles);
}

void Importer::importEach(const FolderView& folder, const std::function<void()>& betweenFiles) {
    auto afterFile = [&] {
        if (betweenFiles) {
            betweenFiles();
        }
    };
    SyncTables tables(context_.connection().database());
    std::set<std::pair<std::string, std::int64_t>> baselinesTried;
    for (const auto& other : otherDevices(context_, folder)) {
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
                afterFile();
                applied = tables.applied(other);
                continue;
            }
            if (!there && !expectsMore(folder, other, next)) {
                break;  // caught up
            }
            const auto baseline = reachingFurthest(folder.baselines, other, next);
            if (baseline && baseline->device == context_.device()) {
                // This store holds all its own baseline held: only the record of what was
                // applied is behind.
                store::SqliteTransaction transaction(context_.connection().database());
                for (const auto& [writer, covered] : baseline->info.coverage) {
                    if (writer != context_.device()) {
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
                    engineLog(1, fmt::format("waiting for file {} of {}", next, other));
                }
                break;
            }
            afterFile();
            applied = tables.applied(other);
        }
        for (auto seq : files) {
            if (!applied.contains(seq) && importChangeFile(folder.registrations, other, seq)) {
                afterFile();
            }
        }
    }
    context_.releaseFreePages();
}

// Whether `other` is known to have written file `next` or later.
bool Importer::expectsMore(const FolderView& folder, const std::string& other, std::int64_t next) {
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
void Importer::countFilesToImport(const FolderView& folder, PersistentStoreEnsemble::Status& s) {
    SyncTables tables(context_.connection().database());
    for (const auto& other : otherDevices(context_, folder)) {
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
            if (!applied.contains(seq) && !std::binary_search(files.begin(), files.end(), seq)) {
                ++s.filesToImport;
                s.filesNotArrived += seq > covered ? 1 : 0;
            }
        }
    }
}

bool Importer::importChangeFile(const Registrations& registrations, const std::string& writer,
                                std::int64_t seq) {
    return importFile(
        registrations, writer,
        context_.layout.changesFolder(writer) + "/" + CloudLayout::changeFileName(seq), "changes",
        seq);
}

bool Importer::importBaseline(const Registrations& registrations, const BaselineRef& baseline) {
    return importFile(registrations, baseline.device,
                      context_.layout.baselinesFolder(baseline.device) + "/" +
                          CloudLayout::baselineFileName(baseline.info.sequence),
                      "baseline", baseline.info.sequence);
}

// Applies one file in one transaction with its bookkeeping; false (and a log line) when it
// cannot be read or is refused, to be tried again at the next merge. Anything else thrown
// on the way fails the merge (see guarded).
bool Importer::importFile(const Registrations& registrations, const std::string& writer,
                          const std::string& path, const std::string& kind, std::int64_t seq) {
    const auto limit = kind == "baseline" ? PersistentStoreEnsemble::kMaxBaselineBytes
                                          : PersistentStoreEnsemble::kMaxChangeFileBytes;
    const auto read = context_.fs->read(path, limit);
    if (read.status != CloudStatus::ok) {
        engineLog(0, fmt::format("skipped {}: {}", path, describe(read.status)));
        return false;
    }
    ChangeFile file;
    try {
        file = decodeChangeFile(read.contents, context_.model->version());
    } catch (const RefusedFile& e) {
        engineLog(0, fmt::format("skipped {}: {}", path, e.what()));
        return false;
    }
    SyncState record(context_.connection().database());
    const auto& h = file.header;
    // A device's files carry the ensemble it attached to: this device's, or (when two
    // devices made the ensemble at once) the one its registration names.
    const auto registration = registrations.byDevice.find(writer);
    const bool ensembleFits = h.ensemble == record.get(state::ensemble) ||
                              (registration != registrations.byDevice.end() &&
                               h.ensemble == registration->second.ensemble);
    if (h.kind != kind || h.device != writer || h.sequence != seq || !ensembleFits) {
        engineLog(0, fmt::format("skipped {}: it is not this ensemble's file of that name", path));
        return false;
    }
    try {
        for (const auto& change : file.changes) {
            ChangeApplier::check(*context_.model, change);
        }
    } catch (const RefusedFile& e) {
        engineLog(0, fmt::format("skipped {}: {}", path, e.what()));
        return false;
    }
    // Checked, a change is refused only for what the store holds (a damaged parked change):
    // the slices applied before it stay, as they would had the file been cut off there.
    try {
        applyInSlices(file, writer, seq);
    } catch (const RefusedFile& e) {
        engineLog(0, fmt::format("skipped {}: {}", path, e.what()));
        return false;
    }
    engineLog(2, fmt::format("applied {}", path));
    return true;
}

void Importer::applyInSlices(const ChangeFile& file, const std::string& writer, std::int64_t seq) {
    using Clock = std::chrono::steady_clock;
    auto& conn = context_.connection();
    SyncTables tables(conn.database());
    SyncState record(conn.database());
    const auto& h = file.header;
    const std::span<const ObjectChange> changes(file.changes);
    const auto perTransaction = std::max<std::size_t>(1, context_.tuning.changesPerTransaction);
    const auto timeLimit = context_.tuning.transactionTime;
    // After a slice that ran out of time, the next takes what fitted, so that its preload
    // reads no more than is applied.
    std::size_t take = perTransaction;
    for (std::size_t begin = 0;;) {
        const auto slice = changes.subspan(begin, std::min(take, changes.size() - begin));
        // A new applier for each transaction: what it knows of the store holds only as long
        // as nothing else writes, and a save may come in between.
        ChangeApplier applier(conn);
        store::SqliteTransaction transaction(conn.database());
        const auto started = Clock::now();
        applier.prepare(slice);
        std::size_t applied = 0;
        bool outOfTime = false;
        while (applied < slice.size()) {
            applier.applyChecked(slice[applied++]);
            // Asked every few changes (each takes microseconds): a save waiting on the main
            // thread for the write lock, or for its export, ends the slice at once, and so does
            // the slice's time running out.
            if (applied % 16 == 0 &&
                (conn.database().othersWaitToWrite() || (waiting_ && waiting_()) ||
                 (outOfTime = Clock::now() - started >= timeLimit))) {
                break;
            }
        }
        take = outOfTime ? applied : std::min(perTransaction, 2 * take);
        begin += applied;
        const bool last = begin == changes.size();
        if (last && h.kind == "baseline") {
            for (const auto& [other, covered] : h.coverage) {
                if (other != context_.device()) {
                    tables.raiseWatermark(other, covered);
                }
            }
        } else if (last) {
            tables.markApplied(writer, seq);
        }
        record.set(state::clock, std::max(record.get(state::clock), applier.maxCounter()));
        transaction.commit();
        context_.postNotification(applier.takeNotification());
        if (last) {
            break;
        }
        if (betweenFiles_) {
            betweenFiles_();
        }
    }
}

}  // namespace jw::sync
