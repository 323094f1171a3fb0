#include "Exporter.h"

#include <fmt/format.h>

#include <algorithm>
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

std::optional<SyncError> Exporter::exportPending() {
    auto& db = context_.connection().database();
    SyncState record(db);
    // Pending records go out in files of at most context_.tuning.maxRecordsPerFile records, oldest
    // first, so that however much was saved while away, no file grows past what a reader
    // takes.
    // A file's records are claimed by noting its number and its last record in the state
    // (records only ever come after it): an export cut short writes the same file again.
    for (;;) {
        std::int64_t fileNumber = 0;
        std::int64_t through = 0;
        {
            store::SqliteTransaction transaction(db);
            fileNumber = record.get(state::claimFile);
            through = record.get(state::claimThrough);
            if (fileNumber == 0) {
                auto& last = db.cached(
                    "SELECT \"seq\" FROM \"_sync_pending\" ORDER BY \"seq\" LIMIT 1 "
                    "OFFSET ?");
                last.bindInt(1, std::int64_t(context_.tuning.maxRecordsPerFile) - 1);
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
                fileNumber = record.get(state::nextFile);
                record.set(state::nextFile, fileNumber + 1);
                record.set(state::claimFile, fileNumber);
                record.set(state::claimThrough, through);
            }
            transaction.commit();
        }
        ChangeFileHeader header;
        header.kind = "changes";
        header.ensemble = record.get(state::ensemble);
        header.device = context_.device();
        header.sequence = fileNumber;
        header.modelVersion = context_.model->version();
        // One change per object, in the order the objects were first changed. A record
        // goes out as it was stored, its values undecoded; only an object changed more than
        // once is decoded, to fold its records into one.
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
                std::string gid(bytes ? bytes : "", bytes ? std::size_t(rows.columnBytes(0)) : 0);
                std::string payload = rows.columnText(1);
                auto [it, first] = position.try_emplace(std::move(gid), encoded.size());
                if (first) {
                    encoded.push_back(std::move(payload));
                    continue;
                }
                auto [earlier, unfolded] = folded.try_emplace(it->second);
                if (unfolded) {
                    earlier->second = pendingChangeFrom(encoded[it->second]);
                }
                earlier->second.absorb(pendingChangeFrom(payload));
            }
            rows.reset();
            for (const auto& [index, change] : folded) {
                encoded[index] = change.toJson().dump();  // read back as it would be stored
            }
        }
        const auto path = context_.layout.changesFolder(context_.device()) + "/" +
                          CloudLayout::changeFileName(fileNumber);
        if (const auto status =
                context_.fs->writeAtomically(path, encodeChangeFile(header, encoded));
            status != CloudStatus::ok) {
            return cloudError(status, fmt::format("Local changes could not be written to the "
                                                  "cloud folder ({}); they will be sent at the "
                                                  "next merge.",
                                                  describe(status)));
        }
        store::SqliteTransaction transaction(db);
        auto& done = db.cached("DELETE FROM \"_sync_pending\" WHERE \"seq\" <= ?");
        done.bindInt(1, through);
        done.step();
        done.reset();
        record.set(state::claimFile, 0);
        record.set(state::claimThrough, 0);
        record.set(state::exported, std::max(record.get(state::exported), fileNumber));
        transaction.commit();
        context_.noteOwnChangeFileWritten(fileNumber);
        engineLog(2, fmt::format("exported {}", path));
    }
    return std::nullopt;
}

// Rewrites this device's registration when what others rely on changed (what it applied,
// its baselines), and otherwise at most every registrationRefreshSeconds to say it is
// still about: a save then costs one file written, not two.
void Exporter::writeRegistration(Date now) {
    SyncTables tables(context_.connection().database());
    SyncState record(context_.connection().database());
    DeviceRegistration r;
    r.device = context_.device();
    r.ensemble = record.get(state::ensemble);
    for (const auto& [device, watermark] : tables.watermarks()) {
        r.applied[device] = watermark;
    }
    r.baselines = context_.ownBaselines();
    const std::string substance = r.toJson();
    if (substance == context_.lastRegistration &&
        now.secondsSinceEpoch - context_.lastRegistrationWrite <
            context_.tuning.registrationRefreshSeconds &&
        now.secondsSinceEpoch >= context_.lastRegistrationWrite) {
        return;
    }
    r.lastSeen = now.secondsSinceEpoch;
    r.exported = record.get(state::exported);
    const auto status =
        context_.fs->writeAtomically(context_.layout.registrationFile(r.device), r.toJson());
    if (status != CloudStatus::ok) {
        context_.lastRegistration.clear();
        engineLog(
            0, fmt::format("could not update this device's registration ({})", describe(status)));
        return;
    }
    context_.lastRegistration = substance;
    context_.lastRegistrationWrite = now.secondsSinceEpoch;
}

}  // namespace jw::sync
