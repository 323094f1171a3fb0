#include "Attacher.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "Baselines.h"
#include "ChangeApplier.h"
#include "ChangeFile.h"
#include "CloudLayout.h"
#include "FolderView.h"
#include "ObjectChange.h"
#include "Snapshot.h"
#include "SyncState.h"
#include "SyncTables.h"
#include "platform/store/GlobalID.h"
#include "platform/store/Sqlite.h"

namespace jw::sync {

// With `afresh`, attaches whatever the state: the attachment there was (if any) stands
// until the new one is in place, so an attach that fails changes nothing.
std::optional<SyncError> Attacher::attach(Date now, bool afresh) {
    if (context_.leeched.load() && !afresh) {
        return std::nullopt;  // attached already: nothing to do
    }
    if (context_.fs->checkRoot() != CloudStatus::ok) {
        return failure(SyncError::Kind::unavailable,
                       "The cloud folder is not available, so the store cannot be attached.");
    }
    if (context_.fs->makeDirectory(context_.layout.devicesFolder()) != CloudStatus::ok) {
        return failure(SyncError::Kind::unavailable,
                       "The cloud folder cannot be written, so the store cannot be attached.");
    }
    auto ensembleFile = context_.fs->read(context_.layout.ensembleFile(),
                                          PersistentStoreEnsemble::kMaxSmallFileBytes);
    if (ensembleFile.status == CloudStatus::notFound) {
        const auto status =
            context_.fs->writeAtomically(context_.layout.ensembleFile(),
                                         ensembleFileJson(store::GlobalID::generate().toString()));
        if (status != CloudStatus::ok) {
            return cloudError(
                status, fmt::format("The cloud folder cannot be written ({}).", describe(status)));
        }
        ensembleFile = context_.fs->read(context_.layout.ensembleFile(),
                                         PersistentStoreEnsemble::kMaxSmallFileBytes);
    }
    if (ensembleFile.status != CloudStatus::ok) {
        return cloudError(ensembleFile.status,
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
    auto& conn = context_.connection();
    auto& db = conn.database();
    std::string device = SyncState(db).get(state::attachingAs);
    if (!store::GlobalID::fromString(device)) {
        device = store::GlobalID::generate().toString();
        SyncState(db).set(state::attachingAs, device);
    }
    for (const auto& folder :
         {context_.layout.changesFolder(device), context_.layout.baselinesFolder(device)}) {
        if (context_.fs->makeDirectory(folder) != CloudStatus::ok) {
            return failure(SyncError::Kind::unavailable,
                           "The cloud folder cannot be written, so the store cannot be attached.");
        }
    }
    DeviceRegistration registration;
    registration.device = device;
    registration.ensemble = ensembleID;
    registration.lastSeen = now.secondsSinceEpoch;
    if (const auto status = context_.fs->writeAtomically(context_.layout.registrationFile(device),
                                                         registration.toJson());
        status != CloudStatus::ok) {
        return cloudError(status, fmt::format("This device could not be registered in the cloud "
                                              "folder ({}).",
                                              describe(status)));
    }

    std::vector<std::string> files;
    {
        store::SqliteTransaction transaction(db);
        SyncState record(db);
        std::int64_t clock = record.get(state::clock);
        record.set(state::device, device);
        record.set(state::attachingAs, "");
        record.set(state::ensemble, ensembleID);
        record.set(state::cloudLocation, context_.fs->location());
        record.set(state::attached, true);
        record.set(state::lost, false);
        record.set(state::nextFile, 1);
        record.set(state::claimFile, 0);
        record.set(state::claimThrough, 0);
        record.set(state::exported, 0);
        record.set(state::baselines, "[]");
        db.execute("DELETE FROM \"_sync_pending\"; DELETE FROM \"_sync_applied\";");
        // Everything this store holds goes out as the device's first files, written here
        // straight from the rows and never staged; removals too, for a store attached before
        // whose deletions the others may not have seen. The files' numbers are claimed in the
        // same transaction, so that a write cut short is done again (writeFirstFiles).
        files = snapshotFiles(conn, Stamp{++clock, device}, true, firstHeader(1),
                              context_.tuning.maxRecordsPerFile);
        record.set(state::clock, clock);
        record.set(state::nextFile, 1 + std::int64_t(files.size()));
        record.set(state::firstFilesFrom, 1);
        record.set(state::firstFilesThrough, std::int64_t(files.size()));
        transaction.commit();
    }
    context_.setDevice(device);
    context_.forgetAttachment();
    context_.leeched.store(true);
    engineLog(1, fmt::format("attached as device {}", device));
    auto error = writeClaimed(files);
    if (!error) {
        error = exporter_.exportPending();
    }
    if (error) {
        // What is not written yet is owed in the store; the next merge writes it.
        engineLog(0, fmt::format("first export postponed: {}", error->localizedDescription));
    }
    return std::nullopt;
}

ChangeFileHeader Attacher::firstHeader(std::int64_t sequence) const {
    ChangeFileHeader header;
    header.kind = "changes";
    header.ensemble = SyncState(context_.connection().database()).get(state::ensemble);
    header.device = SyncState(context_.connection().database()).get(state::device);
    header.sequence = sequence;
    header.modelVersion = context_.model->version();
    return header;
}

std::optional<SyncError> Attacher::writeClaimed(const std::vector<std::string>& files) {
    auto& db = context_.connection().database();
    SyncState record(db);
    const auto first = record.get(state::firstFilesFrom);
    const auto device = context_.device();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto number = first + std::int64_t(i);
        const auto path =
            context_.layout.changesFolder(device) + "/" + CloudLayout::changeFileName(number);
        if (const auto status = context_.fs->writeAtomically(path, files[i]);
            status != CloudStatus::ok) {
            return cloudError(status, fmt::format("The store could not be written to the cloud "
                                                  "folder ({}); it will be sent at the next "
                                                  "merge.",
                                                  describe(status)));
        }
    }
    const auto last = first + std::int64_t(files.size()) - 1;
    store::SqliteTransaction transaction(db);
    record.set(state::firstFilesFrom, 0);
    record.set(state::firstFilesThrough, 0);
    record.set(state::exported, std::max(record.get(state::exported), last));
    transaction.commit();
    for (auto number = first; number <= last; ++number) {
        context_.noteOwnChangeFileWritten(number);
    }
    engineLog(2, fmt::format("wrote the store in files {} to {}", first, last));
    return std::nullopt;
}

std::optional<SyncError> Attacher::writeFirstFiles() {
    auto& conn = context_.connection();
    auto& db = conn.database();
    SyncState record(db);
    const auto from = record.get(state::firstFilesFrom);
    if (from == 0) {
        return std::nullopt;
    }
    // What the cut-short try left is unknown: any of its files may be there, whole, or not.
    // Each is written again empty; the store then goes out whole under new numbers.
    const auto through = record.get(state::firstFilesThrough);
    for (auto number = from; number <= through; ++number) {
        ChangeFileWriter blank(firstHeader(number));
        const auto path = context_.layout.changesFolder(context_.device()) + "/" +
                          CloudLayout::changeFileName(number);
        if (const auto status = context_.fs->writeAtomically(path, blank.finish());
            status != CloudStatus::ok) {
            return cloudError(status, fmt::format("The store could not be written to the cloud "
                                                  "folder ({}); it will be sent at the next "
                                                  "merge.",
                                                  describe(status)));
        }
        context_.noteOwnChangeFileWritten(number);
    }
    std::vector<std::string> files;
    {
        store::SqliteTransaction transaction(db);
        std::int64_t clock = record.get(state::clock);
        const auto first = std::max(record.get(state::nextFile), through + 1);
        files = snapshotFiles(conn, Stamp{++clock, context_.device()}, true, firstHeader(first),
                              context_.tuning.maxRecordsPerFile);
        record.set(state::clock, clock);
        record.set(state::nextFile, first + std::int64_t(files.size()));
        record.set(state::firstFilesFrom, first);
        record.set(state::firstFilesThrough, first + std::int64_t(files.size()) - 1);
        record.set(state::exported, std::max(record.get(state::exported), through));
        transaction.commit();
    }
    return writeClaimed(files);
}

// A fresh attachment whatever the state, under a new identity.
std::optional<SyncError> Attacher::reattach(Date now) {
    auto& db = context_.connection().database();
    const auto oldDevice = SyncState(db).get(state::device);
    auto error = attach(now, true);
    if (!error && !oldDevice.empty() && oldDevice != context_.device()) {
        // Were the old registration still here, it would hold compaction back for weeks.
        context_.fs->remove(context_.layout.registrationFile(oldDevice));
    }
    return error;
}
// Whether the attachment still stands, as far as the folder can tell: none when it does,
// else why not. Only `lost` ends it; everything else proves nothing and leaves it as it is.
std::optional<SyncError> Attacher::checkAttachment() {
    if (context_.fs->checkRoot() != CloudStatus::ok) {
        return failure(SyncError::Kind::unavailable,
                       "The cloud folder is not available (missing, not mounted or not "
                       "readable).");
    }
    SyncState record(context_.connection().database());
    const auto me = context_.device();
    const auto own = context_.fs->read(context_.layout.registrationFile(me),
                                       PersistentStoreEnsemble::kMaxSmallFileBytes);
    const bool registered = own.status == CloudStatus::ok || own.status == CloudStatus::invalid;
    // The folder attached to is remembered: another folder (a path typed wrong, a default
    // used by mistake) may hold anything and proves nothing about this attachment. The
    // same folder reached by another path still holds this device's registration.
    const auto here = context_.fs->location();
    const auto attachedTo = record.get(state::cloudLocation);
    if (!here.empty() && here != attachedTo) {
        if (!registered && !attachedTo.empty()) {
            return failure(SyncError::Kind::otherFolder,
                           fmt::format("This store is attached to the cloud folder {}, not to {}.",
                                       attachedTo, here));
        }
        if (registered) {
            record.set(state::cloudLocation, here);
        }
    }
    if (registered) {
        return std::nullopt;
    }
    if (own.status != CloudStatus::notFound) {
        return cloudError(own.status, fmt::format("This device's registration cannot be read ({}).",
                                                  describe(own.status)));
    }
    // Not registered here. That is a lost attachment only when the folder plainly holds an
    // ensemble that other devices are registered in: a folder emptied for a moment (an
    // unmounted drive, a sync client that has not filled it yet) holds nothing at all.
    const auto ensembleFile = context_.fs->read(context_.layout.ensembleFile(),
                                                PersistentStoreEnsemble::kMaxSmallFileBytes);
    if (ensembleFile.status != CloudStatus::ok) {
        return failure(ensembleFile.status == CloudStatus::notFound ? SyncError::Kind::notRecognised
                                                                    : SyncError::Kind::unavailable,
                       "The cloud folder holds no synced data just now.");
    }
    const auto devices = context_.fs->list(context_.layout.devicesFolder());
    if (devices.status != CloudStatus::ok) {
        return failure(SyncError::Kind::unavailable, "The cloud folder cannot be read just now.");
    }
    auto registrations = readRegistrations(context_, devices);
    if (registrations.byDevice.empty()) {
        return failure(SyncError::Kind::notRecognised,
                       "This device is not registered in the cloud folder, and no other "
                       "device is either.");
    }
    return failure(SyncError::Kind::lost,
                   "The cloud folder no longer holds this device's registration; the store "
                   "is no longer attached.");
}

void Attacher::endAttachment() {
    auto& db = context_.connection().database();
    store::SqliteTransaction transaction(db);
    SyncState record(db);
    record.set(state::attached, false);
    record.set(state::lost, true);
    transaction.commit();
    context_.leeched.store(false);
    engineLog(0, "the cloud folder holds other devices and no longer this one: attachment lost");
}

}  // namespace jw::sync
