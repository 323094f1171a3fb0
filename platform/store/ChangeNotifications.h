#pragma once
// What a context tells its observers.
//
// ObjectsDidChange: sent when the context processes its pending changes (at the end of each
// run-loop event, before a save, and after merging another connection's save). It names every
// object inserted, updated or deleted since the previous report, whatever the cause: a local
// edit, an inverse relationship kept in step, or a merge. Fetched-results controllers listen to
// it.
//
// ContextDidSave: sent after a save committed, naming the saved objects by ObjectID (keys are
// the permanent ones). Another context on the same store file merges it with
// mergeChangesFromContextDidSaveNotification.

#include <bitset>
#include <memory>
#include <vector>

#include "ObjectID.h"

namespace jw::store {

class ManagedObject;

struct ObjectsDidChange {
    struct Updated {
        std::shared_ptr<ManagedObject> object;
        std::bitset<64> changedKeys;  // attribute index, or 32 + relationship index
    };
    std::vector<std::shared_ptr<ManagedObject>> inserted;
    std::vector<Updated> updated;
    std::vector<std::shared_ptr<ManagedObject>> deleted;
    bool empty() const { return inserted.empty() && updated.empty() && deleted.empty(); }
};

struct ContextDidSaveNotification {
    std::vector<ObjectID> inserted;
    std::vector<ObjectID> updated;
    std::vector<ObjectID> deleted;
};

}  // namespace jw::store
