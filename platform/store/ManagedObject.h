#pragma once
// One object of the store, as its context sees it. Owned by its context (which holds one
// object per row, so pointer identity is object identity); callers that keep an object beyond
// the current operation hold it through shared_ptr, which keeps it valid (but detached) after
// it was deleted and the deletion saved. An unchanged object that nobody holds so may be let
// go between run-loop events (see releaseUnreferencedObjects) and read again as a new object:
// a raw pointer or reference never outlives the event it was taken in.
//
// An object may be a fault: registered but not yet read; touching any value reads its row.
// All access happens on the context's thread.
//
// Relationships: setting a to-one keeps the inverse to-many of the old and new destination in
// step at once (before any save). A to-many is read as a set (no order) and is loaded on first
// use; its count is known without loading it.

#include <bitset>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "GlobalID.h"
#include "ObjectID.h"
#include "ObjectModel.h"
#include "Value.h"

namespace jw::store {

class ManagedObjectContext;

class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
  public:
    ManagedObject(const EntityDescription& entity, ManagedObjectContext& context);
    virtual ~ManagedObject();
    ManagedObject(const ManagedObject&) = delete;
    ManagedObject& operator=(const ManagedObject&) = delete;

    const EntityDescription& entity() const { return *entity_; }
    // The owning context; none once the object's deletion was saved or merged.
    ManagedObjectContext* managedObjectContext() const { return context_; }
    ObjectID objectID() const { return ObjectID{entity_, key_}; }
    // The object's identity as an in-memory key.
    const void* id() const { return this; }
    const GlobalID& globalID() const;
    // The object's address, stable across launches and unique per store, e.g.
    // "jotwell-store://<store identifier>/Item/p42". Objects not yet saved have a temporary
    // address ("jotwell-store://<store identifier>/Item/t7") that changes at the save.
    std::string uriRepresentation() const;

    bool isFault() const { return fault_; }
    bool isInserted() const { return inserted_; }
    bool isDeleted() const { return deleted_; }
    // Changed since the last save (attributes or relationships, including inverse ends).
    bool isUpdated() const { return committed_ != nullptr && !inserted_ && !deleted_; }

    // Attributes, by index (fast) or by name (throws std::logic_error for an unknown name).
    const Value& valueAt(std::size_t attributeIndex) const;
    // The same without reading a fault: for hot loops over objects known to be read (fetch
    // results), where the check would be paid once per comparison.
    const Value& loadedValueAt(std::size_t attributeIndex) const {
        return fault_ ? valueAt(attributeIndex) : values_[attributeIndex];
    }
    const GlobalID& loadedGlobalID() const { return fault_ ? globalID() : globalID_; }
    void setValueAt(std::size_t attributeIndex, Value value);
    const Value& value(std::string_view name) const;
    void setValue(std::string_view name, Value value);

    // To-one relationships: the destination, or none.
    ManagedObject* toOne(const RelationshipDescription& relationship) const;
    void setToOne(const RelationshipDescription& relationship, ManagedObject* destination);
    // To-many relationships: the members (loads them), or just their number (no loading).
    const std::vector<ManagedObject*>& toMany(const RelationshipDescription& relationship) const;
    std::size_t toManyCount(const RelationshipDescription& relationship) const;
    // Whether the members are in memory (toMany would not read the store).
    bool hasLoadedMembers(const RelationshipDescription& relationship) const;

    std::shared_ptr<ManagedObject> shared() { return shared_from_this(); }

  private:
    friend class ManagedObjectContext;

    struct ToOneSlot {
        ManagedObject* destination = nullptr;
        std::size_t positionInDestination = 0;  // index in the destination's member vector
    };
    struct ToManySlot {
        bool loaded = false;
        std::vector<ManagedObject*> members;  // valid while loaded
        std::int64_t committedCount = 0;      // members in the store at the last read or save
        std::int64_t unsavedDelta = 0;        // members added minus removed since, while unloaded
    };
    struct Snapshot {  // the saved state, kept while the object has unsaved changes
        std::vector<Value> values;
        std::vector<ManagedObject*> toOne;
    };

    void fireFaultIfNeeded() const;
    void willChange();
    void noteChanged(std::size_t bit);

    const EntityDescription* entity_;
    ManagedObjectContext* context_;
    std::int64_t key_ = 0;
    GlobalID globalID_;
    bool fault_ = false;
    bool inserted_ = false;
    bool deleted_ = false;
    bool kept_ = false;  // mark of the context's release pass
    std::vector<Value> values_;
    std::vector<ToOneSlot> toOne_;
    std::vector<ToManySlot> toMany_;
    std::unique_ptr<Snapshot> committed_;
    // Attributes (bit = attribute index) and relationships (bit = 32 + relationship index)
    // changed since the context last reported its changes.
    std::bitset<64> changedSinceLastReport_;
};

}  // namespace jw::store
