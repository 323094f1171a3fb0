#pragma once
// The whole store as object changes: every object with every value and the stamp each value
// carries, plus (for baselines) every removal. Applying a snapshot anywhere brings that
// device at least to the state the snapshot was taken in, and never undoes anything newer.
// Runs inside the caller's transaction.

#include <optional>
#include <vector>

#include "ObjectChange.h"
#include "platform/store/GlobalID.h"
#include "platform/store/StoreConnection.h"

namespace jw::sync {

// Objects without a creation stamp (made before the store was attached) get `stampForNew`,
// which is recorded as their creation stamp.
std::vector<ObjectChange> snapshotStore(store::StoreConnection& connection,
                                        const Stamp& stampForNew, bool includeRemovals);

}  // namespace jw::sync
