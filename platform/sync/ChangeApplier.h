#pragma once
// Applies other devices' object changes to the store, on the sync engine's own connection and
// inside the caller's transaction, so that every device reaches the same state whatever order
// the changes arrive in and however often:
// - per key, a value replaces the local one only when its stamp is greater;
// - a removal removes the object for good (a tombstone stays) and takes the objects its
//   cascading relationships own with it, stamped alike, on every device the same way;
// - a change to an object that has not been created here yet waits (parked) for its creation;
// - a to-one value whose target has not arrived yet stays empty and is filled in when the
//   target arrives; one whose target was removed stays empty;
// - an object whose owner is removed (a list's items, when the list goes) goes with it. Which
//   owner an object has is itself a value that other devices may still change: an item moved
//   out of a list on one device while another device removed the list belongs to the list
//   the greater stamp names. So an object that goes with its owner is set aside, whole, with
//   the stamps of its values (parked with its creation), rather than removed for good: it
//   comes back when a change with a greater stamp gives it an owner that still exists, and
//   stays away otherwise. Every device thus keeps exactly the objects whose winning owner
//   still exists, whatever order the changes arrive in.
// What changed is collected as a did-save notification for the main context; an object
// whose to-many relationship gained or lost a member counts as updated.

#include <set>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ObjectChange.h"
#include "SyncTables.h"
#include "platform/store/ChangeNotifications.h"
#include "platform/store/StoreConnection.h"
#include "platform/store/StoreRows.h"

namespace jw::sync {

class ChangeApplier {
  public:
    explicit ChangeApplier(store::StoreConnection& connection);

    // Reads at once what the store holds for the objects these changes name (and the
    // objects their to-one values name): their rows, stamps, removals, what waits for them.
    // The apply() calls that follow, in the same transaction, then mostly write. Optional: a
    // change prepare() has not seen is looked up as it comes. Names that do not parse are
    // left to apply() to refuse.
    void prepare(std::span<const ObjectChange> changes);

    // Throws RefusedFile when the change names an unknown entity, key or value form (the
    // caller rolls the whole file back and tries it again later).
    void apply(const ObjectChange& change);
    // The same checks alone, writing nothing; and apply() for a change that passed them.
    static void check(const store::ObjectModel& model, const ObjectChange& change);
    void applyChecked(const ObjectChange& change);

    // Settles what local saves left for the engine (the main context saves on its own
    // connection while this one applies other devices' changes): an object saved with an
    // owner that a merge had removed meanwhile goes the way of the owner's other objects, and
    // an object set aside whose local save gave it an owner that exists comes back.
    void settleLocalChanges();

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
    // Whether `change` gives the object an owner (a to-one whose inverse cascades) that is
    // removed.
    bool ownerRemoved(const store::EntityDescription& e, const ObjectChange& change);
    // A creation with every key the entity has (those left out at their default).
    static ObjectChange completed(const store::EntityDescription& e, ObjectChange change);
    // The object as it is stored: every value, with its stamp.
    ObjectChange storedState(const store::EntityDescription& e, const store::GlobalID& id,
                             std::int64_t key);
    // Sets the stored object aside with `change` folded in (see above).
    void setAside(const store::EntityDescription& e, const store::GlobalID& id, std::int64_t key,
                  const ObjectChange* change);
    // The stored members of an owner in a to-many relationship: key and global identifier.
    std::vector<std::pair<std::int64_t, store::GlobalID>> membersOf(
        const store::RelationshipDescription& toMany, std::int64_t ownerKey);
    void writeKey(const store::EntityDescription& e, const store::GlobalID& id, std::int64_t key,
                  const std::string& name, const nlohmann::json& value);
    // The stored key a to-one value names: none for none, for a removed target, or for one
    // that has not arrived (then a link waits for it). Throws for a value that names nothing.
    std::optional<std::int64_t> resolveTarget(const store::EntityDescription& e,
                                              const store::GlobalID& id, const std::string& name,
                                              const nlohmann::json& value);
    void settleLinksTo(const store::GlobalID& target, std::optional<std::int64_t> targetKey,
                       bool removed);
    // The stored target of one of the object's to-one relationships.
    std::optional<std::int64_t> toOneTarget(const store::EntityDescription& e, std::int64_t key,
                                            const store::RelationshipDescription& r);
    // The objects whose to-many relationships hold this one (a list, for its item) change with
    // it: they are told as updated, as a context's own save tells them.
    void noteOwnersOf(const store::EntityDescription& e, std::int64_t key);
    void noteInserted(const store::EntityDescription& e, std::int64_t key);
    void noteUpdated(const store::EntityDescription& e, std::int64_t key);
    void noteDeleted(const store::EntityDescription& e, std::int64_t key);

    store::SqliteDatabase& db_;
    store::StoreRows rows_;
    const store::ObjectModel& model_;
    SyncTables tables_;
    std::int64_t maxCounter_ = 0;
    std::set<RowID> inserted_, updated_, deleted_;
    // The entity and stored key of each object looked up or inserted here, until its row is
    // deleted here (the applier's work is one transaction: nothing else changes rows meanwhile).
    std::unordered_map<store::GlobalID, RowID, store::GlobalIDHash> knownKeys_;
    // Objects whose rows of an entity prepare() looked for: absent from knownKeys_ (under that
    // entity), they have none.
    struct LookedUpHash {
        std::size_t operator()(const std::pair<std::size_t, store::GlobalID>& p) const noexcept {
            return store::GlobalIDHash{}(p.second) ^ p.first;
        }
    };
    std::unordered_set<std::pair<std::size_t, store::GlobalID>, LookedUpHash> lookedUp_;
};

}  // namespace jw::sync
