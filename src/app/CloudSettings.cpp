#include "src/app/CloudSettings.h"

#include <system_error>

#include "platform/sync/FolderCloudFileSystem.h"
#include "src/model/SyncStatusText.h"

namespace jw {

namespace {

const model::SyncRemedies kDialogRemedies{
    "choose \"Attach Again\" to attach them to",
    "choose \"Attach Again\"",
    "Choose that folder again",
};

std::filesystem::path comparable(const std::filesystem::path& folder) {
    std::error_code ignored;
    auto canonical = std::filesystem::weakly_canonical(folder, ignored);
    return canonical.empty() ? folder.lexically_normal() : canonical;
}

}  // namespace

CloudSettings::CloudSettings(model::JWDatabase& database, AppPaths paths,
                             std::filesystem::path cloudDirectory, bool folderFromCommandLine)
    : database_(database),
      paths_(std::move(paths)),
      cloudDirectory_(std::move(cloudDirectory)),
      folderFromCommandLine_(folderFromCommandLine) {}

CloudSettings::~CloudSettings() {
    *alive_ = false;
}

CloudSettings::Summary CloudSettings::summary() {
    Summary summary;
    summary.folder = cloudDirectory_.string();
    summary.busy = database_.operationsInFlight() > 0 || database_.isMovingCloudFolder();
    const auto state = database_.syncState();
    summary.state =
        database_.isMovingCloudFolder() ? "moving to this folder" : model::syncStateText(state);
    if (!summary.busy || !waiting_) {
        // Counting waits for the worker: only while it has nothing else to do, or the first
        // time (when nothing was counted yet it is worth the wait).
        sync::PersistentStoreEnsemble::Status status;
        if (auto* ensemble = database_.ensemble()) {
            status = ensemble->status();
        }
        waiting_ = model::pendingChangesText(status);
    }
    summary.waiting = *waiting_;
    const auto& error = database_.lastSyncError();
    summary.problem =
        model::syncProblemText(state, error, cloudDirectory_, kDialogRemedies).value_or("");
    using Kind = sync::SyncError::Kind;
    summary.canReattach =
        database_.ensemble() && !summary.busy &&
        (state == model::SyncState::attachmentLost ||
         (error && (error->kind == Kind::otherFolder || error->kind == Kind::notRecognised)));
    if (folderFromCommandLine_) {
        summary.note =
            "Jotwell was started with --cloud-dir, which wins at every start: a folder chosen "
            "here is used now, and at the next start without --cloud-dir.";
    }
    return summary;
}

void CloudSettings::reattach() {
    database_.reattach();
}

void CloudSettings::chooseFolder(const std::filesystem::path& chosen, MoveCompletion completion) {
    const auto folder = std::filesystem::absolute(chosen);
    if (comparable(folder) == comparable(cloudDirectory_)) {
        completion(std::nullopt);
        return;
    }
    if (database_.isMovingCloudFolder()) {
        completion(
            "Jotwell is still moving to the folder chosen before; try again when it is done.");
        return;
    }
    database_.moveToCloudFolder(
        std::make_shared<sync::FolderCloudFileSystem>(folder),
        [this, alive = alive_, folder, completion](const std::optional<sync::SyncError>& error) {
            if (!*alive) {
                return;
            }
            if (error) {
                completion("Jotwell stays with " + cloudDirectory_.string() + ": " +
                           error->localizedDescription);
                return;
            }
            cloudDirectory_ = folder;
            try {
                paths_.saveCloudDirectoryChoice(folder);
            } catch (const std::exception& saveError) {
                completion("Jotwell now syncs with " + folder.string() +
                           ", but could not remember it for the next start: " + saveError.what());
                return;
            }
            completion(std::nullopt);
        });
}

}  // namespace jw
