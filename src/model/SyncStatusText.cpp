#include "src/model/SyncStatusText.h"

#include <fmt/format.h>

namespace jw::model {

std::string syncStateText(SyncState state) {
    switch (state) {
        case SyncState::attached:
            return "attached";
        case SyncState::attachmentLost:
            return "attachment lost";
        case SyncState::notYetAttached:
            break;
    }
    return "not yet attached";
}

std::string pendingChangesText(const sync::PersistentStoreEnsemble::Status& status) {
    auto files = [](std::int64_t n) { return fmt::format("{} {}", n, n == 1 ? "file" : "files"); };
    std::string text =
        fmt::format("to export: {} changed objects ({})\nto import: {}", status.changesToExport,
                    files(status.filesToExport), files(status.filesToImport));
    if (status.filesNotArrived > 0) {
        text += fmt::format(" ({} not in the cloud folder yet: waiting for it to be synced)",
                            status.filesNotArrived);
    }
    return text;
}

std::optional<std::string> syncProblemText(SyncState state,
                                           const std::optional<sync::SyncError>& error,
                                           const std::filesystem::path& cloudDirectory,
                                           const SyncRemedies& remedies) {
    const auto folder = cloudDirectory.string();
    switch (state) {
        case SyncState::attachmentLost:
            return fmt::format(
                "this device is no longer attached to the cloud folder (the folder holds other "
                "devices and no longer this one). Your lists are safe here; {} {} again.",
                remedies.reattachTo, folder);
        case SyncState::notYetAttached:
            if (!error) {
                return std::nullopt;
            }
            return fmt::format(
                "not attached to the cloud folder {}: {} Your changes are kept here and sent "
                "once it attaches.",
                folder, error->localizedDescription);
        case SyncState::attached:
            break;
    }
    if (!error) {
        return std::nullopt;
    }
    using Kind = sync::SyncError::Kind;
    switch (error->kind) {
        case Kind::otherFolder:
            return fmt::format("not synced: {} {}, or {} to attach this store to {}.",
                               error->localizedDescription, remedies.useAttachedFolder,
                               remedies.reattach, folder);
        case Kind::notRecognised:
            return fmt::format(
                "not synced: {} If the file-sync service is still filling {}, try again later; "
                "if you emptied or replaced it on purpose, {}.",
                error->localizedDescription, folder, remedies.reattach);
        case Kind::lost:
        case Kind::unavailable:
        case Kind::notFound:
        case Kind::refused:
        case Kind::failed:
            break;
    }
    return fmt::format("not synced: {} Your changes are kept here and sent at the next sync.",
                       error->localizedDescription);
}

}  // namespace jw::model
