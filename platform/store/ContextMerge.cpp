// Merging another connection's save into the context: the deleted objects leave, the inserted
// and updated ones are read again (keeping this context's unsaved edits), saves that landed in
// an owner deleted here follow that deletion, and every owner whose member count may have
// moved is recounted. One Merge object per notification carries what the steps share.

#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

class ManagedObjectContext::Impl::Merge {
  public:
    explicit Merge(Impl& impl) : context_(impl.owner), impl_(impl) {}

    void run(const ContextDidSaveNotification& note) {
        // One snapshot for every row read: a read of its own per object would lock and
        // unlock the log each time, and start on an empty page cache whenever the saving
        // connection committed in between.
        SqliteReadSnapshot snapshot(impl_.connection.database());
        for (const auto& id : note.deleted) {
            if (const auto* e = resolve(id)) {
                removeDeleted(*e, id.key);
            }
        }
        for (const auto& id : note.inserted) {
            bringIn(id, true);
        }
        for (const auto& id : note.updated) {
            bringIn(id, false);
        }
        followOwnersDeletedHere();
        recountOwners();
    }

  private:
    // Every registered destination of the object's to-ones: their member counts may move.
    void noteOwners(ManagedObject& object) {
        for (const auto& slot : object.toOne_) {
            if (slot.destination) {
                owners_.insert(slot.destination);
            }
        }
    }

    // An object this context never read that was deleted or changed elsewhere may have left
    // an owner whose count this context holds; which one is unknown, so every registered
    // owner of its to-one destinations is recounted.
    void noteUnknownOwners(const EntityDescription& e) {
        for (const auto* r : e.toOneRelationships) {
            ownersUnknown_.insert(r->destination);
        }
    }

    // The saving connection may describe entities with its own copy of the model.
    const EntityDescription* resolve(const ObjectID& id) const {
        if (!id.entity || id.key <= 0) {
            return nullptr;
        }
        const auto& entities = impl_.model.entities();
        if (id.entity->index < entities.size() && &entities[id.entity->index] == id.entity) {
            return id.entity;
        }
        return impl_.model.entity(id.entity->name);
    }

    // The saved destination of an object edited or deleted here moves to what the store now
    // says; the unsaved change's share in the counts of unloaded member lists moves with it
    // (the old destination's store count no longer includes the object, the new one's does).
    void rebaseToOne(ManagedObject& object, const RelationshipDescription& r,
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
            owners_.insert(baseline);
        }
        if (stored) {
            if (!stored->toMany_[members].loaded) {
                --stored->toMany_[members].unsavedDelta;
            }
            owners_.insert(stored);
        }
        baseline = stored;
    }

    // The object a stored row's to-one names, registered (as a fault if need be).
    ManagedObject* storedDestination(const EntityDescription& e, const SqliteStatement& row,
                                     std::size_t slot) {
        const int column = StoreConnection::toOneColumn(e, slot);
        return row.columnIsNull(column)
                   ? nullptr
                   : impl_
                         .registeredOrFault(*e.toOneRelationships[slot]->destination,
                                            row.columnInt(column))
                         .get();
    }

    void removeDeleted(const EntityDescription& e, std::int64_t key) {
        auto object = impl_.registered(e, key);
        if (!object && impl_.keyHeld(e, key)) {
            // A controller shows the row by its key alone: it must hear of the deletion as of
            // any other object's, so the row gets an object, unread, to be deleted.
            object = impl_.registeredOrFault(e, key);
        }
        if (!object || object->fault_) {
            noteUnknownOwners(e);
        }
        if (!object) {
            return;
        }
        if (!object->fault_) {
            unlinkFromOwners(e, *object);
        }
        unlinkMembers(e, *object);
        object->deleted_ = true;
        object->committed_.reset();
        impl_.unsavedUpdated[e.index].erase(object.get());
        impl_.unsavedDeleted[e.index].erase(object.get());
        impl_.reportUpdated.erase(object.get());
        impl_.saved[e.index].erase(key);
        impl_.reportDeleted.emplace(object.get(), object);
        object->context_ = nullptr;
    }

    // A read object deleted elsewhere leaves the member lists of its owners; a move made here
    // and not saved is void now.
    void unlinkFromOwners(const EntityDescription& e, ManagedObject& object) {
        noteOwners(object);
        for (const auto* r : e.toOneRelationships) {
            auto* destination = object.toOne_[r->toOneSlot].destination;
            const bool changedHere =
                object.committed_ && object.committed_->toOne[r->toOneSlot] != destination;
            if (changedHere) {
                rebaseToOne(object, *r, nullptr);
            }
            if (destination) {
                impl_.removeMember(*destination, *r->inverse, object, !changedHere);
                object.toOne_[r->toOneSlot].destination = nullptr;
            }
        }
    }

    // Nothing may keep pointing at a deleted owner: members saved elsewhere arrive in this
    // same notification, but unsaved ones (and ones read before) still name it here.
    void unlinkMembers(const EntityDescription& e, ManagedObject& object) {
        for (const auto* r : e.toManyRelationships) {
            const auto slot = r->inverse->toOneSlot;
            for (auto* map :
                 {&impl_.saved[r->destination->index], &impl_.temporary[r->destination->index]}) {
                for (auto& [key, member] : *map) {
                    if (member->committed_ && member->committed_->toOne[slot] == &object) {
                        member->committed_->toOne[slot] = nullptr;
                    }
                    if (member->toOne_[slot].destination == &object) {
                        member->toOne_[slot].destination = nullptr;
                        impl_.noteForReport(*member, kRelationshipBit + r->inverse->index);
                    }
                }
            }
            object.toMany_[r->toManySlot].members.clear();
        }
    }

    void bringIn(const ObjectID& id, bool inserted) {
        const auto* e = resolve(id);
        if (!e) {
            return;
        }
        auto* selected = impl_.rows.selectByKey(*e, id.key);
        if (!selected) {
            return;  // gone again since
        }
        auto& row = *selected;
        auto object = impl_.registered(*e, id.key);
        if (!object || object->fault_) {
            readAfresh(*e, row, inserted);
        } else if (object->deleted_) {
            // Deleted here and not saved yet: the deletion stands, wherever the store now
            // files the object.
            for (std::size_t slot = 0; object->committed_ && slot < e->toOneRelationships.size();
                 ++slot) {
                rebaseToOne(*object, *e->toOneRelationships[slot],
                            storedDestination(*e, row, slot));
            }
        } else {
            mergeIntoRead(*e, row, object, inserted);
        }
        row.reset();
    }

    void readAfresh(const EntityDescription& e, const SqliteStatement& row, bool inserted) {
        if (!inserted) {
            noteUnknownOwners(e);
        }
        auto object = impl_.materialize(e, row);
        noteOwners(*object);
        merged_.push_back(object);
        if (inserted) {
            impl_.reportInserted.emplace(object.get(), object);
        } else {
            object->changedSinceLastReport_.set();
            impl_.reportUpdated.emplace(object.get(), object);
        }
    }

    // A registered, read object takes the store's values except where this context has an
    // unsaved edit of its own, whose saved baseline moves to the store's value.
    void mergeIntoRead(const EntityDescription& e, const SqliteStatement& row,
                       const std::shared_ptr<ManagedObject>& object, bool inserted) {
        auto& o = *object;
        for (const auto& a : e.attributes) {
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
                impl_.noteForReport(o, a.index);
            }
        }
        for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
            const auto* r = e.toOneRelationships[slot];
            ManagedObject* stored = storedDestination(e, row, slot);
            const bool editedHere =
                o.committed_ && o.committed_->toOne[slot] != o.toOne_[slot].destination;
            if (editedHere) {
                rebaseToOne(o, *r, stored);
            } else if (o.toOne_[slot].destination != stored) {
                if (o.toOne_[slot].destination) {
                    owners_.insert(o.toOne_[slot].destination);
                }
                if (o.committed_) {
                    o.committed_->toOne[slot] = stored;
                }
                impl_.linkToOne(o, *r, stored, true);
                impl_.noteForReport(o, kRelationshipBit + r->index);
            }
        }
        for (std::size_t slot = 0; slot < e.toManyRelationships.size(); ++slot) {
            o.toMany_[slot].committedCount =
                row.columnInt(StoreConnection::toManyCountColumn(e, slot));
        }
        noteOwners(o);
        merged_.push_back(object);
        if (inserted) {
            // Read here before the notification arrived: still news to whoever holds an
            // earlier fetch, so it is reported as inserted (and only so).
            impl_.reportUpdated.erase(&o);
            o.changedSinceLastReport_.reset();
            impl_.reportInserted.emplace(&o, object);
        }
    }

    // Saved elsewhere into an owner deleted here and not saved yet: the deletion reaches it
    // as if it had been there when the owner was deleted, so nothing is left naming an owner
    // that is about to go.
    void followOwnersDeletedHere() {
        for (const auto& object : merged_) {
            for (const auto* r : object->entity_->toOneRelationships) {
                if (object->deleted_ || object->context_ != &context_) {
                    break;
                }
                auto* owner = object->toOne_[r->toOneSlot].destination;
                if (!owner || !owner->deleted_) {
                    continue;
                }
                if (r->inverse->deleteRule == DeleteRule::Cascade) {
                    context_.deleteObject(*object);
                } else {
                    object->setToOne(*r, nullptr);
                }
            }
        }
    }

    // Each owner whose counts moved is reported under the key of each to-many whose members
    // changed.
    void recountOwners() {
        for (const auto* entity : ownersUnknown_) {
            for (const auto& [key, object] : impl_.saved[entity->index]) {
                owners_.insert(object.get());
            }
        }
        for (auto* owner : owners_) {
            if (owner->fault_ || owner->deleted_) {
                continue;
            }
            const auto& toManys = owner->entity_->toManyRelationships;
            std::vector<std::int64_t> before;
            for (const auto& slot : owner->toMany_) {
                before.push_back(slot.committedCount);
            }
            impl_.refreshCounts(*owner);
            for (std::size_t slot = 0; slot < toManys.size(); ++slot) {
                if (owner->toMany_[slot].committedCount != before[slot]) {
                    impl_.noteForReport(*owner, kRelationshipBit + toManys[slot]->index);
                }
            }
        }
    }

    ManagedObjectContext& context_;
    Impl& impl_;
    std::unordered_set<ManagedObject*> owners_;  // whose member counts may have moved
    std::unordered_set<const EntityDescription*> ownersUnknown_;
    std::vector<std::shared_ptr<ManagedObject>> merged_;  // brought in and not deleted here
};

void ManagedObjectContext::mergeChangesFromContextDidSaveNotification(
    const ContextDidSaveNotification& note) {
    Impl::Merge(*impl_).run(note);
    processPendingChanges();
}

}  // namespace jw::store
