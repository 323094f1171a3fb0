#include "Compactor.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <map>
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

// A write of this device cut short by a crash leaves its temporary file behind, which the
// file-sync service would carry everywhere. Only this device's own folders are looked at
// (another device's temporary file may be a write under way), once per run: a write of
// this run happens on this thread, never during the look.
void Compactor::removeStaleTemporaryFiles() {
    if (std::exchange(lookedForTemporaryFiles_, true)) {
        return;
    }
    const auto me = context_.device();
    std::size_t removed = 0;
    for (const auto& folder : {context_.layout.deviceFolder(me), context_.layout.changesFolder(me),
                               context_.layout.baselinesFolder(me)}) {
        removed += context_.fs->removeStaleTemporaryFiles(
            folder, context_.tuning.staleTemporaryFileSeconds);
    }
    if (removed > 0) {
        engineLog(1, fmt::format("removed {} temporary files left by earlier writes", removed));
    }
}

void Compactor::compact(Date now, FolderView& folder) {
    if (job_) {
        return;  // the compaction that began the baseline finishes after it
    }
    auto& db = context_.connection().database();
    SyncTables tables(db);
    SyncState record(db);
    const auto me = context_.device();
    const auto exported = record.get(state::exported);

    auto* ownFiles = context_.ownChangeFiles();
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
        return std::max<std::int64_t>(std::int64_t(context_.tuning.baselineAfterFiles),
                                      objects / context_.tuning.objectsPerBaselineFile);
    };
    if (std::int64_t(filesInFolder) >= enoughFor(context_.objectCount)) {
        context_.objectCount = storeObjectCount();
    }
    const auto enough = enoughFor(context_.objectCount);
    const auto top = topRanked(folder.baselines);
    const bool worthIt =
        std::int64_t(filesInFolder) >= enough &&
        (!top || (dominates(knowledge, top->info.coverage) &&
                  totalFiles(knowledge) - totalFiles(top->info.coverage) >= enough / 2));
    if (worthIt && tables.pendingCount() == 0 && startBaseline(knowledge)) {
        return;  // the rest follows the baseline, in finishBaseline
    }
    removeReplaced(now, folder);
}

void Compactor::removeReplaced(Date now, FolderView& folder) {
    const auto me = context_.device();
    auto* ownFiles = context_.ownChangeFiles();
    if (!ownFiles || !folder.registrations.complete) {
        return;
    }
    // Own change files go once a baseline in the folder holds them and every device still
    // in touch has applied them; a device away too long no longer holds them back.
    std::int64_t removable = coveredThrough(folder.baselines, me);
    for (const auto& [other, registration] : folder.registrations.byDevice) {
        if (now.secondsSinceEpoch - registration.lastSeen > context_.tuning.staleDeviceSeconds) {
            continue;
        }
        auto it = registration.applied.find(me);
        removable = std::min(removable, it == registration.applied.end() ? 0 : it->second);
    }
    while (!ownFiles->empty() && *ownFiles->begin() <= removable) {
        const auto seq = *ownFiles->begin();
        const auto status = context_.fs->remove(context_.layout.changesFolder(me) + "/" +
                                                CloudLayout::changeFileName(seq));
        if (status != CloudStatus::ok && status != CloudStatus::notFound) {
            context_.forgetOwnChangeFiles();  // listed afresh next time
            break;
        }
        ownFiles->erase(ownFiles->begin());
    }
    // Own baselines that one above them in the folder replaces.
    auto own = context_.ownBaselines();
    const auto before = own.size();
    std::erase_if(own, [&](const BaselineInfo& b) {
        const bool superseded = isSuperseded(BaselineRef{me, b}, folder.baselines);
        if (superseded) {
            context_.fs->remove(context_.layout.baselinesFolder(me) + "/" +
                                CloudLayout::baselineFileName(b.sequence));
        }
        return superseded;
    });
    if (own.size() != before) {
        context_.commitOwnBaselines(std::move(own));
        exporter_.writeRegistration(now);
    }
}

std::int64_t Compactor::storeObjectCount() {
    std::int64_t n = 0;
    for (const auto& e : context_.model->entities()) {
        auto& count = context_.connection().database().cached(
            "SELECT COUNT(*) FROM " + store::StoreConnection::quoted(e.name));
        count.step();
        n += count.columnInt(0);
        count.reset();
    }
    return n;
}

struct Compactor::BaselineJob {
    ChangeFileHeader header;
    std::string bytes;
    Stamp stampForNew;
    // Its read transaction begun on the worker; used and closed on the baseline's thread.
    std::unique_ptr<store::StoreConnection> reader;
    std::string folder;
    std::string path;
    bool written = false;

    // On the baseline's own thread: reads the store in the read transaction the worker began,
    // then encodes and writes the file. The worker's connection writes meanwhile (exports,
    // imports): the read transaction sees none of that and holds none of it back.
    void write(EngineContext& context) {
        try {
            // One file, however many objects: a baseline replaces files whole.
            bytes = std::move(snapshotFiles(*reader, stampForNew, true, header,
                                            std::numeric_limits<std::size_t>::max())
                                  .front());
            // Objects made before attaching get their creation stamp recorded by the
            // snapshot; kept only if no write came in between (else the commit fails, and the
            // next baseline tries again).
            reader->database().execute("COMMIT");
        } catch (const std::exception& e) {
            engineLog(0, fmt::format("could not read the store for a baseline ({}); compaction "
                                     "waits",
                                     e.what()));
            reader.reset();
            return;
        }
        reader.reset();
        if (context.fs->makeDirectory(folder) != CloudStatus::ok ||
            context.fs->writeAtomically(path, bytes) != CloudStatus::ok) {
            engineLog(0, "could not write a baseline; compaction waits");
            return;
        }
        bytes.clear();
        written = true;
    }
};

Compactor::~Compactor() {
    if (writer_.joinable()) {
        writer_.join();
    }
}

bool Compactor::startBaseline(const Coverage& coverage) {
    auto& db = context_.connection().database();
    SyncState record(db);
    const auto me = context_.device();
    auto job = std::make_shared<BaselineJob>();
    job->header.kind = "baseline";
    job->header.ensemble = record.get(state::ensemble);
    job->header.device = me;
    job->header.modelVersion = context_.model->version();
    job->header.coverage = coverage;
    const auto& own = context_.ownBaselines();
    job->header.sequence = own.empty() ? 1 : own.back().sequence + 1;
    {
        store::SqliteTransaction transaction(db);
        const std::int64_t clock = record.get(state::clock) + 1;
        record.set(state::clock, clock);
        transaction.commit();
        job->stampForNew = Stamp{clock, me};
    }
    // The read transaction holds the store as its first read finds it. A save may have come
    // in since `coverage` was taken: the baseline is then put off, as it would have been had
    // the save come a moment sooner.
    job->reader = std::make_unique<store::StoreConnection>(context_.storeURL, context_.model);
    auto& snapshot = job->reader->database();
    snapshot.execute("BEGIN");
    Coverage held;
    for (const auto& [other, watermark] : SyncTables(snapshot).watermarks()) {
        held[other] = watermark;
    }
    held[me] = SyncState(snapshot).get(state::exported);
    if (SyncTables(snapshot).pendingCount() != 0 || held != coverage) {
        snapshot.execute("ROLLBACK");
        return false;
    }
    job->folder = context_.layout.baselinesFolder(me);
    job->path = job->folder + "/" + CloudLayout::baselineFileName(job->header.sequence);
    job_ = job;
    writer_ = std::thread([this, job] {
        job->write(context_);
        baselineWritten_();
    });
    return true;
}

void Compactor::finishBaseline(Date now, FolderView& folder) {
    if (!job_) {
        return;
    }
    writer_.join();
    const auto job = std::exchange(job_, nullptr);
    if (job->written) {
        auto own = context_.ownBaselines();
        own.push_back({job->header.sequence, job->header.coverage});
        context_.commitOwnBaselines(own);
        engineLog(1, fmt::format("wrote baseline {}", job->path));
        folder.baselines.push_back(BaselineRef{job->header.device, own.back()});
        exporter_.writeRegistration(now);
    }
    removeReplaced(now, folder);
}

}  // namespace jw::sync
