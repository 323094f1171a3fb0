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
    if (worthIt && tables.pendingCount() == 0) {
        if (auto written = writeBaseline(knowledge)) {
            folder.baselines.push_back(*written);
            exporter_.writeRegistration(now);
        }
    }
    if (!folder.registrations.complete) {
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

std::optional<BaselineRef> Compactor::writeBaseline(const Coverage& coverage) {
    auto& conn = context_.connection();
    auto& db = conn.database();
    SyncState record(db);
    ChangeFile file;
    file.header.kind = "baseline";
    file.header.ensemble = record.get(state::ensemble);
    file.header.device = context_.device();
    file.header.modelVersion = context_.model->version();
    file.header.coverage = coverage;
    auto own = context_.ownBaselines();
    file.header.sequence = own.empty() ? 1 : own.back().sequence + 1;
    std::string bytes;
    {
        store::SqliteTransaction transaction(db);
        std::int64_t clock = record.get(state::clock);
        // One file, however many objects: a baseline replaces files whole.
        bytes = std::move(snapshotFiles(conn, Stamp{++clock, context_.device()}, true, file.header,
                                        std::numeric_limits<std::size_t>::max())
                              .front());
        record.set(state::clock, clock);
        transaction.commit();
    }
    const auto path = context_.layout.baselinesFolder(context_.device()) + "/" +
                      CloudLayout::baselineFileName(file.header.sequence);
    if (context_.fs->makeDirectory(context_.layout.baselinesFolder(context_.device())) !=
            CloudStatus::ok ||
        context_.fs->writeAtomically(path, bytes) != CloudStatus::ok) {
        engineLog(0, "could not write a baseline; compaction waits");
        return std::nullopt;
    }
    own.push_back({file.header.sequence, coverage});
    context_.commitOwnBaselines(own);
    engineLog(1, fmt::format("wrote baseline {}", path));
    return BaselineRef{context_.device(), own.back()};
}

}  // namespace jw::sync
