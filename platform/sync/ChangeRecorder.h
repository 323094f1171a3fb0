#pragma once
// Records local saves for the cloud: installed as the store's commit hook, it runs inside each
// save's transaction on the saving connection and gives every saved object change a fresh
// stamp, keeps the stamps of the values written and marks removals, for any store that was
// ever attached (a lost attachment, one being made afresh); while the store is attached it also
// queues the change for the next export. Nothing is recorded for a store never attached:
// attaching exports the whole store instead.

#include "platform/store/CommitHooks.h"

namespace jw::sync {

void recordCommittedChanges(store::SqliteDatabase& db, const store::CommittedChanges& changes);

}  // namespace jw::sync
