#pragma once
// Applies other devices' object changes to the store, on the sync engine's own connection and
// inside the caller's transaction, so that every device reaches the same state whatever order
// the changes arrive in and however often:
// - per key, a value replaces the local one only when its stamp is greater;
// - a removal removes the object for good (a tombstone stays) and takes the objects its
//   cascading relationships own with it, stamped alike, on every device the same way;
// - a change to an object that has not been created here yet waits (parked) for its creation;
// - a to-one value whose target has not arrived yet stays empty and is filled in when the
//   target arrives; one whose target was removed stays empty, or removes the object when
//   the target owns it (a list's items go with the list).
// What changed is collected as a did-save notification for the main context.

#include <set>
#include <utility>

#include "ObjectChange.h"
#include "SyncTables.h"
#include "platform/store/ChangeNotifications.h"
#include "platform/store/StoreConnection.h"

namespace jw::sync {

class ChangeApplier {
  public:
    explicit ChangeApplier(store::StoreConnection& connection);

    // Throws std::invalid_argument when the change names an unknown entity, key or value form
    // (the caller rolls the whole file back and tries it again later).
    void apply(const ObjectChange& change);

    // The highest clock counter seen in applied changes.
    std::int64_t maxCounter() const { return maxCounter_; }
    // What changed since the last call, as the main context merges it.
    store::ContextDidSaveNotification takeNotification();

  private:
    using RowID = std::pair<std::size_t, std::int64_t>;  // entity index, key

    std::optional<std::int64_t> keyFor(const store::EntityDescription& e,
                                       const store::GlobalID& id);
    void insertObject(const store::EntityDescription& e, const store::GlobalID& id,
                      const ObjectChange& change);
    void updateObject(const store::EntityDescription& e, const store::GlobalID& id,
                      std::int64_t key, const ObjectChange& change);
    void removeObject(const store::EntityDescription& e, const store::GlobalID& id,
                      const Stamp& stamp);
    // Writes one key's value; answers the tombstone stamp when the object must go with a
    // removed owner.
    std::optional<Stamp> writeKey(const store::EntityDescription& e, const store::GlobalID& id,
                                  std::int64_t key, const std::string& name,
                                  const nlohmann::json& value);
    void settleLinksTo(const store::GlobalID& target, std::optional<std::int64_t> targetKey,
                       const std::optional<Stamp>& removal);
    void noteInserted(const store::EntityDescription& e, std::int64_t key);
    void noteUpdated(const store::EntityDescription& e, std::int64_t key);
    void noteDeleted(const store::EntityDescription& e, std::int64_t key);

    store::StoreConnection& connection_;
    store::SqliteDatabase& db_;
    const store::ObjectModel& model_;
    SyncTables tables_;
    std::int64_t maxCounter_ = 0;
    std::set<RowID> inserted_, updated_, deleted_;
};

}  // namespace jw::sync
