#pragma once
// The bookkeeping behind ManagedObjectContext, shared with ManagedObject. Internal to the store.

#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "CommitHooks.h"
#include "ManagedObjectContext.h"
#include "StoreConnection.h"
#include "StoreRows.h"

namespace jw::store {

// The bit of a relationship in ManagedObject's changed-since-report bits (attributes come
// first, one bit each).
inline constexpr std::size_t kRelationshipBit = 32;

// The observers still alive; the others are dropped from `list`.
template <typename Observer>
std::vector<std::shared_ptr<Observer>> liveObservers(std::vector<std::weak_ptr<Observer>>& list) {
    std::vector<std::shared_ptr<Observer>> live;
    std::erase_if(list, [&](const std::weak_ptr<Observer>& w) {
        auto s = w.lock();
        if (!s) {
            return true;
        }
        live.push_back(std::move(s));
        return false;
    });
    return live;
}

using ObjectSet = std::unordered_map<ManagedObject*, std::shared_ptr<ManagedObject>>;

class ManagedObjectContext::Impl {
  public:
    Impl(ManagedObjectContext& owner, StoreConnection& connection);

    // Identity map: saved objects by entity and key, inserted ones by temporary key.
    std::shared_ptr<ManagedObject> registered(const EntityDescription& e, std::int64_t key) const;
    std::shared_ptr<ManagedObject> registeredOrFault(const EntityDescription& e, std::int64_t key);
    // Reads the row at the statement's cursor into the registered object for it (made if
    // needed). An object that is registered and already read keeps its in-memory state.
    std::shared_ptr<ManagedObject> materialize(const EntityDescription& e,
                                               const SqliteStatement& row);
    void fillFromRow(ManagedObject& object, const SqliteStatement& row);
    void fireFault(ManagedObject& object);

    // Change tracking.
    void objectWillChange(ManagedObject& object);
    void noteForReport(ManagedObject& object, std::size_t bit);
    // Marks the owner of a to-many whose members change here as updated.
    void ownerWillChange(ManagedObject& owner);
    // To-many membership, kept from the to-one side. `alreadySaved` says the change is the
    // store's already (a merge), so an unloaded member list's unsaved count stays as it is.
    void addMember(ManagedObject& owner, const RelationshipDescription& toMany,
                   ManagedObject& member, bool alreadySaved = false);
    void removeMember(ManagedObject& owner, const RelationshipDescription& toMany,
                      ManagedObject& member, bool alreadySaved = false);
    void loadMembers(ManagedObject& owner, const RelationshipDescription& toMany);
    void linkToOne(ManagedObject& object, const RelationshipDescription& toOne,
                   ManagedObject* destination, bool alreadySaved = false);

    bool hasUnsavedChanges(const EntityDescription& e) const;
    // The unsaved changes as the commit hook sees them; keyOf gives inserted objects' new keys.
    CommittedChanges describeChanges(
        const std::function<std::int64_t(const ManagedObject*)>& keyOf) const;
    void refreshCounts(ManagedObject& owner);

    ManagedObjectContext& owner;
    StoreConnection& connection;
    StoreRows rows;  // on the connection's database
    const ObjectModel& model;

    std::vector<std::unordered_map<std::int64_t, std::shared_ptr<ManagedObject>>> saved;
    std::vector<std::unordered_map<std::int64_t, std::shared_ptr<ManagedObject>>> temporary;

    // Unsaved changes, per entity.
    std::vector<ObjectSet> unsavedInserted, unsavedUpdated, unsavedDeleted;
    // Changes not yet reported to the change observers.
    ObjectSet reportInserted, reportUpdated, reportDeleted;

    // One merge of another connection's save (ContextMerge.cpp).
    class Merge;

    std::vector<std::weak_ptr<ChangeObserver>> changeObservers;
    std::vector<std::weak_ptr<SaveObserver>> saveObservers;
    std::vector<std::weak_ptr<KeyHolder>> keyHolders;
    // Whether a live key holder keeps this key of the entity.
    bool keyHeld(const EntityDescription& e, std::int64_t key);
    bool reporting = false;
    // Objects registered after the last release (releaseUnreferencedObjectsIfGrown).
    std::size_t registeredAfterRelease = 0;
};

}  // namespace jw::store
