#pragma once
// Records local saves for the cloud: installed as the store's commit hook, it runs inside each
// save's transaction on the saving connection and, while the store is attached, gives every
// saved object change a fresh stamp, keeps the stamps of the values written, marks removals,
// and queues the change for the next export. Nothing is recorded while the store is not
// attached: attaching exports the whole store instead.

#include "platform/store/CommitHooks.h"

namespace jw::sync {

void recordCommittedChanges(store::SqliteDatabase& db, const store::CommittedChanges& changes);

}  // namespace jw::sync
