// Merging another connection's save into the context.

#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

void ManagedObjectContext::mergeChangesFromContextDidSaveNotification(
    const ContextDidSaveNotification& note) {
    auto& impl = *impl_;
    std::unordered_set<ManagedObject*> owners;  // whose member counts may have moved
    auto noteOwners = [&](ManagedObject& object) {
        for (const auto& slot : object.toOne_) {
            if (slot.destination) {
                owners.insert(slot.destination);
            }
        }
    };
    // An object this context never read that was deleted or changed elsewhere may have left
    // an owner whose count this context holds; which one is unknown, so every registered
    // owner of its to-one destinations is refreshed.
    std::unordered_set<const EntityDescription*> ownersUnknown;
    auto noteUnknownOwners = [&](const EntityDescription& e) {
        for (const auto* r : e.toOneRelationships) {
            ownersUnknown.insert(r->destination);
        }
    };
    // The saved destination of an object edited or deleted here moves to what the store now
    // says; the unsaved change's share in the counts of unloaded member lists moves with it
    // (the old destination's store count no longer includes the object, the new one's does).
    auto rebaseToOne = [&](ManagedObject& object, const RelationshipDescription& r,
                           ManagedObject* stored) {
        auto& baseline = object.committed_->toOne[r.toOneSlot];
        if (baseline == stored) {
            return;
        }
        const auto members = r.inverse->toManySlot;
        if (baseline) {
            if (!baseline->toMany_[members].loaded) {
                ++baseline->toMany_[members].unsavedDelta;
            }
            owners.insert(baseline);
        }
        if (stored) {
            if (!stored->toMany_[members].loaded) {
                --stored->toMany_[members].unsavedDelta;
            }
            owners.insert(stored);
        }
        baseline = stored;
    };
    // The saving connection may describe entities with its own copy of the model.
    auto resolve = [&](const ObjectID& id) -> const EntityDescription* {
        if (!id.entity || id.key <= 0) {
            return nullptr;
        }
        const auto& entities = impl.model.entities();
        if (id.entity->index < entities.size() && &entities[id.entity->index] == id.entity) {
            return id.entity;
        }
        return impl.model.entity(id.entity->name);
    };

    for (const auto& id : note.deleted) {
        const auto* e = resolve(id);
        if (!e) {
            continue;
        }
        auto object = impl.registered(*e, id.key);
        if (!object || object->fault_) {
            noteUnknownOwners(*e);
        }
        if (!object) {
            continue;
        }
        if (!object->fault_) {
            noteOwners(*object);
            for (const auto* r : e->toOneRelationships) {
                auto* destination = object->toOne_[r->toOneSlot].destination;
                // Moved (or deleted) here and not saved: that change is void now.
                const bool changedHere =
                    object->committed_ && object->committed_->toOne[r->toOneSlot] != destination;
                if (changedHere) {
                    rebaseToOne(*object, *r, nullptr);
                }
                if (destination) {
                    impl.removeMember(*destination, *r->inverse, *object, !changedHere);
                    object->toOne_[r->toOneSlot].destination = nullptr;
                }
            }
        }
        // Nothing may keep pointing at it: members saved elsewhere arrive in this same
        // notification, but unsaved ones (and ones read before) still name it here.
        for (const auto* r : e->toManyRelationships) {
            const auto slot = r->inverse->toOneSlot;
            for (auto* map :
                 {&impl.saved[r->destination->index], &impl.temporary[r->destination->index]}) {
                for (auto& [key, member] : *map) {
                    if (member->committed_ && member->committed_->toOne[slot] == object.get()) {
                        member->committed_->toOne[slot] = nullptr;
                    }
                    if (member->toOne_[slot].destination == object.get()) {
                        member->toOne_[slot].destination = nullptr;
                        impl.noteForReport(*member, kRelationshipBit + r->inverse->index);
                    }
                }
            }
            object->toMany_[r->toManySlot].members.clear();
        }
        object->deleted_ = true;
        object->committed_.reset();
        impl.unsavedUpdated[e->index].erase(object.get());
        impl.unsavedDeleted[e->index].erase(object.get());
        impl.reportUpdated.erase(object.get());
        impl.saved[e->index].erase(id.key);
        impl.reportDeleted.emplace(object.get(), object);
        object->context_ = nullptr;
    }

    // The object a stored row's to-one names, registered (as a fault if need be).
    auto storedDestination = [&](const EntityDescription& e, const SqliteStatement& row,
                                 std::size_t slot) -> ManagedObject* {
        const int column = StoreConnection::toOneColumn(e, slot);
        return row.columnIsNull(column)
                   ? nullptr
                   : impl.registeredOrFault(*e.toOneRelationships[slot]->destination,
                                            row.columnInt(column))
                         .get();
    };
    std::vector<std::shared_ptr<ManagedObject>> merged;  // brought in and not deleted here
    auto bringIn = [&](const ObjectID& id, bool inserted) {
        const auto* e = resolve(id);
        if (!e) {
            return;
        }
        auto* selected = impl.rows.selectByKey(*e, id.key);
        if (!selected) {
            return;  // gone again since
        }
        auto& row = *selected;
        auto object = impl.registered(*e, id.key);
        if (!object || object->fault_) {
            if (!inserted) {
                noteUnknownOwners(*e);
            }
            object = impl.materialize(*e, row);
            noteOwners(*object);
            merged.push_back(object);
            if (inserted) {
                impl.reportInserted.emplace(object.get(), object);
            } else {
                object->changedSinceLastReport_.set();
                impl.reportUpdated.emplace(object.get(), object);
            }
            row.reset();
            return;
        }
        if (object->deleted_) {
            // Deleted here and not saved yet: the deletion stands, wherever the store now
            // files the object.
            for (std::size_t slot = 0; object->committed_ && slot < e->toOneRelationships.size();
                 ++slot) {
                rebaseToOne(*object, *e->toOneRelationships[slot],
                            storedDestination(*e, row, slot));
            }
            row.reset();
            return;
        }
        // A registered, read object: take the store's values except where this context has an
        // unsaved edit of its own, whose saved baseline moves to the store's value.
        auto& o = *object;
        for (const auto& a : e->attributes) {
            Value stored = row.columnValue(StoreConnection::attributeColumn(a.index), a.type);
            const bool editedHere =
                o.committed_ && !(o.committed_->values[a.index] == o.values_[a.index]);
            if (editedHere) {
                o.committed_->values[a.index] = std::move(stored);
            } else if (!(o.values_[a.index] == stored)) {
                if (o.committed_) {
                    o.committed_->values[a.index] = stored;
                }
                o.values_[a.index] = std::move(stored);
                impl.noteForReport(o, a.index);
            }
        }
        for (std::size_t slot = 0; slot < e->toOneRelationships.size(); ++slot) {
            const auto* r = e->toOneRelationships[slot];
            ManagedObject* stored = storedDestination(*e, row, slot);
            const bool editedHere =
                o.committed_ && o.committed_->toOne[slot] != o.toOne_[slot].destination;
            if (editedHere) {
                rebaseToOne(o, *r, stored);
            } else if (o.toOne_[slot].destination != stored) {
                if (o.toOne_[slot].destination) {
                    owners.insert(o.toOne_[slot].destination);
                }
                if (o.committed_) {
                    o.committed_->toOne[slot] = stored;
                }
                impl.linkToOne(o, *r, stored, true);
                impl.noteForReport(o, kRelationshipBit + r->index);
            }
        }
        for (std::size_t slot = 0; slot < e->toManyRelationships.size(); ++slot) {
            o.toMany_[slot].committedCount =
                row.columnInt(StoreConnection::toManyCountColumn(*e, slot));
        }
        noteOwners(o);
        merged.push_back(object);
        if (inserted) {
            // Read here before the notification arrived: still news to whoever holds an
            // earlier fetch, so it is reported as inserted (and only so).
            impl.reportUpdated.erase(&o);
            o.changedSinceLastReport_.reset();
            impl.reportInserted.emplace(&o, object);
        }
        row.reset();
    };
    for (const auto& id : note.inserted) {
        bringIn(id, true);
    }
    for (const auto& id : note.updated) {
        bringIn(id, false);
    }
    // Saved elsewhere into an owner deleted here and not saved yet: the deletion reaches it
    // as if it had been there when the owner was deleted, so nothing is left naming an owner
    // that is about to go.
    for (const auto& object : merged) {
        for (const auto* r : object->entity_->toOneRelationships) {
            if (object->deleted_ || object->context_ != this) {
                break;
            }
            auto* owner = object->toOne_[r->toOneSlot].destination;
            if (!owner || !owner->deleted_) {
                continue;
            }
            if (r->inverse->deleteRule == DeleteRule::Cascade) {
                deleteObject(*object);
            } else {
                object->setToOne(*r, nullptr);
            }
        }
    }
    for (const auto* entity : ownersUnknown) {
        for (const auto& [key, object] : impl.saved[entity->index]) {
            owners.insert(object.get());
        }
    }
    for (auto* owner : owners) {
        if (owner->fault_ || owner->deleted_) {
            continue;
        }
        const auto& toManys = owner->entity_->toManyRelationships;
        std::vector<std::int64_t> before;
        for (const auto& slot : owner->toMany_) {
            before.push_back(slot.committedCount);
        }
        impl.refreshCounts(*owner);
        // Reported under the key of each to-many whose members changed.
        for (std::size_t slot = 0; slot < toManys.size(); ++slot) {
            if (owner->toMany_[slot].committedCount != before[slot]) {
                impl.noteForReport(*owner, kRelationshipBit + toManys[slot]->index);
            }
        }
    }
    processPendingChanges();
}

}  // namespace jw::store
