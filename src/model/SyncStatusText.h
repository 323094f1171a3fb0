#pragma once
// What the front ends say about sync, composed once for jotwell-cli and the app's settings
// dialog alike:
// - syncStateText: "attached", "not yet attached" or "attachment lost";
// - pendingChangesText: what waits in each direction, two lines
//   "to export: N changed objects (M files)" and "to import: K files", the latter followed by
//   " (J not in the cloud folder yet: waiting for it to be synced)" when some have not
//   arrived; no line feed after the last;
// - syncProblemText: why the store is not attached, or why the last attach or merge failed,
//   and what to do, in words; none when all is well. What to do is named through `remedies`,
//   as each front end offers it (a command to run, a button to press).
// Plain functions of their arguments.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/sync/PersistentStoreEnsemble.h"
#include "platform/sync/SyncError.h"
#include "src/model/JWDatabase.h"

namespace jw::model {

std::string syncStateText(SyncState state);

std::string pendingChangesText(const sync::PersistentStoreEnsemble::Status& status);

struct SyncRemedies {
    // Attaching this store afresh to the folder, as an imperative that a folder follows:
    // "run \"jotwell-cli sync --reattach\" to attach them to".
    std::string reattachTo;
    // Attaching afresh, standing alone: "run \"jotwell-cli sync --reattach\"".
    std::string reattach;
    // Going back to the folder the store is attached to: "Use that folder again (--cloud-dir)".
    std::string useAttachedFolder;
};

std::optional<std::string> syncProblemText(SyncState state,
                                           const std::optional<sync::SyncError>& lastError,
                                           const std::filesystem::path& cloudDirectory,
                                           const SyncRemedies& remedies);

}  // namespace jw::model
