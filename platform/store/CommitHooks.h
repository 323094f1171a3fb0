#pragma once
// Observers of every save to a store file, run inside the save's transaction.
//
// Whoever must keep a record of local changes in step with the data (the sync engine's change
// log) installs a hook for the store file; every context saving to that file then calls the
// hook after writing its rows and before committing, on the saving connection. Whatever the
// hook writes commits or rolls back with the data. A hook that throws fails the save (the
// context keeps its changes). Hooks are keyed by the store file's absolute, normalised path.
//
// Checkpoints. A save to a store with a hook does not copy the write-ahead log back into the
// store file, however long the log: whoever installs a hook checkpoints the log after the
// work each save starts (the sync engine, on its worker), so the saving thread never waits
// for a checkpoint. Without a hook, a save checkpoints as SQLite does by default.

#include <filesystem>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "GlobalID.h"
#include "ObjectModel.h"
#include "Sqlite.h"
#include "Value.h"

namespace jw::store {

struct CommittedChange {
    enum class Kind { insert, update, remove };
    Kind kind = Kind::update;
    const EntityDescription* entity = nullptr;
    GlobalID globalID;
    std::int64_t key = 0;  // the row's key (for an insert, its new key)
    // Inserts list every attribute and to-one; updates only those that changed; removals none.
    std::vector<std::pair<std::size_t, Value>> attributes;  // attribute index, new value
    std::vector<std::pair<std::size_t, std::optional<GlobalID>>> toOnes;  // to-one slot, target
};

struct CommittedChanges {
    std::vector<CommittedChange> changes;
};

using CommitHook = std::function<void(SqliteDatabase&, const CommittedChanges&)>;

// The key hooks are kept under: the absolute, normalised path of the store file.
std::filesystem::path normalisedStorePath(const std::filesystem::path& storeFile);

// Installs (or, with an empty function, removes) the hook for a store file. Thread-safe.
void setCommitHook(const std::filesystem::path& storeFile, CommitHook hook);
// The hook for a store file given by its normalised path, if any. Thread-safe.
CommitHook commitHookFor(const std::filesystem::path& normalisedPath);

}  // namespace jw::store
