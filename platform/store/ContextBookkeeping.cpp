// The context's bookkeeping (ManagedObjectContext::Impl): the identity map, faults, change
// tracking and to-many membership.

#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

ManagedObjectContext::Impl::Impl(ManagedObjectContext& o, StoreConnection& c)
    : owner(o), connection(c), rows(c.database()), model(c.model()) {
    const auto n = model.entities().size();
    saved.resize(n);
    temporary.resize(n);
    unsavedInserted.resize(n);
    unsavedUpdated.resize(n);
    unsavedDeleted.resize(n);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::Impl::registered(const EntityDescription& e,
                                                                      std::int64_t key) const {
    const auto& map = key < 0 ? temporary[e.index] : saved[e.index];
    auto it = map.find(key);
    return it == map.end() ? nullptr : it->second;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::Impl::registeredOrFault(
    const EntityDescription& e, std::int64_t key) {
    if (key < 0) {
        return registered(e, key);
    }
    auto& slot = saved[e.index][key];
    if (!slot) {
        slot = e.factory ? e.factory(e, owner) : std::make_shared<ManagedObject>(e, owner);
        slot->key_ = key;
        slot->fault_ = true;
    }
    return slot;
}

void ManagedObjectContext::Impl::fillFromRow(ManagedObject& object, const SqliteStatement& row) {
    const auto& e = *object.entity_;
    if (const auto id = StoreRows::globalIDAt(row, StoreConnection::kGlobalIDColumn)) {
        object.globalID_ = *id;
    }
    for (const auto& a : e.attributes) {
        row.readColumn(StoreConnection::attributeColumn(a.index), a.type, object.values_[a.index]);
    }
    object.fault_ = false;
    for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
        const auto* r = e.toOneRelationships[slot];
        const int column = StoreConnection::toOneColumn(e, slot);
        ManagedObject* destination = nullptr;
        if (!row.columnIsNull(column)) {
            destination = registeredOrFault(*r->destination, row.columnInt(column)).get();
        }
        object.toOne_[slot].destination = destination;
        // A destination whose members are already loaded must list this object too.
        if (destination) {
            auto& members = destination->toMany_[r->inverse->toManySlot];
            auto& position = object.toOne_[slot].positionInDestination;
            if (members.loaded &&
                !(position < members.members.size() && members.members[position] == &object)) {
                position = members.members.size();
                members.members.push_back(&object);
            }
        }
    }
    for (std::size_t slot = 0; slot < e.toManyRelationships.size(); ++slot) {
        object.toMany_[slot].committedCount =
            row.columnInt(StoreConnection::toManyCountColumn(e, slot));
    }
}

std::shared_ptr<ManagedObject> ManagedObjectContext::Impl::materialize(const EntityDescription& e,
                                                                       const SqliteStatement& row) {
    auto object = registeredOrFault(e, row.columnInt(StoreConnection::kKeyColumn));
    if (object->fault_) {
        fillFromRow(*object, row);
    }
    return object;
}

void ManagedObjectContext::Impl::fireFault(ManagedObject& object) {
    if (auto* row = rows.selectByKey(*object.entity_, object.key_)) {
        fillFromRow(object, *row);
        row->reset();
    } else {
        // The row is gone (deleted through another connection before this context heard of
        // it): the object reads as new and empty rather than failing every caller.
        object.fault_ = false;
    }
}

void ManagedObjectContext::Impl::objectWillChange(ManagedObject& object) {
    if (object.inserted_ || object.deleted_ || object.committed_) {
        return;
    }
    auto snapshot = std::make_unique<ManagedObject::Snapshot>();
    snapshot->values = object.values_;
    snapshot->toOne.reserve(object.toOne_.size());
    for (const auto& slot : object.toOne_) {
        snapshot->toOne.push_back(slot.destination);
    }
    object.committed_ = std::move(snapshot);
    unsavedUpdated[object.entity_->index].emplace(&object, object.shared_from_this());
}

void ManagedObjectContext::Impl::noteForReport(ManagedObject& object, std::size_t bit) {
    object.changedSinceLastReport_.set(bit);
    if (!object.deleted_ && !reportInserted.count(&object)) {
        reportUpdated.emplace(&object, object.shared_from_this());
    }
}

void ManagedObjectContext::Impl::ownerWillChange(ManagedObject& owner) {
    // A changed to-many makes its owner updated, against its saved values: read them first.
    if (owner.deleted_) {
        return;
    }
    if (owner.fault_) {
        fireFault(owner);
    }
    objectWillChange(owner);
}

void ManagedObjectContext::Impl::addMember(ManagedObject& owner, const RelationshipDescription& r,
                                           ManagedObject& member, bool alreadySaved) {
    if (!alreadySaved) {
        ownerWillChange(owner);
    }
    auto& slot = owner.toMany_[r.toManySlot];
    if (slot.loaded) {
        member.toOne_[r.inverse->toOneSlot].positionInDestination = slot.members.size();
        slot.members.push_back(&member);
    } else if (!alreadySaved) {
        ++slot.unsavedDelta;
    }
    noteForReport(owner, kRelationshipBit + r.index);
}

void ManagedObjectContext::Impl::removeMember(ManagedObject& owner,
                                              const RelationshipDescription& r,
                                              ManagedObject& member, bool alreadySaved) {
    if (!alreadySaved) {
        ownerWillChange(owner);
    }
    auto& slot = owner.toMany_[r.toManySlot];
    if (slot.loaded) {
        const auto inverseSlot = r.inverse->toOneSlot;
        const auto position = member.toOne_[inverseSlot].positionInDestination;
        if (position < slot.members.size() && slot.members[position] == &member) {
            ManagedObject* last = slot.members.back();
            slot.members[position] = last;
            last->toOne_[inverseSlot].positionInDestination = position;
            slot.members.pop_back();
        }
    } else if (!alreadySaved) {
        --slot.unsavedDelta;
    }
    noteForReport(owner, kRelationshipBit + r.index);
}

void ManagedObjectContext::Impl::linkToOne(ManagedObject& object, const RelationshipDescription& r,
                                           ManagedObject* destination, bool alreadySaved) {
    auto& slot = object.toOne_[r.toOneSlot];
    if (slot.destination) {
        removeMember(*slot.destination, *r.inverse, object, alreadySaved);
    }
    slot.destination = destination;
    if (destination) {
        addMember(*destination, *r.inverse, object, alreadySaved);
    }
}

void ManagedObjectContext::Impl::loadMembers(ManagedObject& owner,
                                             const RelationshipDescription& r) {
    auto& slot = owner.toMany_[r.toManySlot];
    const auto& memberEntity = *r.destination;
    const auto inverseSlot = r.inverse->toOneSlot;
    // Mark loaded first: reading member rows attaches them to loaded destinations.
    slot.loaded = true;
    slot.members.clear();
    auto include = [&](ManagedObject& member) {
        auto& position = member.toOne_[inverseSlot].positionInDestination;
        if (position < slot.members.size() && slot.members[position] == &member) {
            return;
        }
        position = slot.members.size();
        slot.members.push_back(&member);
    };
    if (owner.key_ > 0) {
        auto& statement = connection.database().cached(fmt::format(
            "SELECT {} FROM {} WHERE {} = ?", StoreConnection::selectColumns(memberEntity),
            StoreConnection::quoted(memberEntity.name), StoreConnection::quoted(r.inverse->name)));
        statement.bindInt(1, owner.key_);
        while (statement.step()) {
            auto member = materialize(memberEntity, statement);
            // In-memory state wins: an unsaved move away or delete keeps it out.
            if (!member->deleted_ && member->toOne_[inverseSlot].destination == &owner) {
                include(*member);
            }
        }
        statement.reset();
    }
    // Unsaved moves into this owner, and unsaved inserts.
    for (auto* set : {&unsavedInserted[memberEntity.index], &unsavedUpdated[memberEntity.index]}) {
        for (const auto& [member, keep] : *set) {
            if (member->toOne_[inverseSlot].destination == &owner) {
                include(*member);
            }
        }
    }
    slot.unsavedDelta = 0;
}

CommittedChanges ManagedObjectContext::Impl::describeChanges(
    const std::function<std::int64_t(const ManagedObject*)>& keyOf) const {
    CommittedChanges out;
    auto target = [](const ManagedObject* destination) -> std::optional<GlobalID> {
        return destination ? std::optional<GlobalID>(destination->globalID()) : std::nullopt;
    };
    for (const auto& e : model.entities()) {
        for (const auto& [raw, object] : unsavedInserted[e.index]) {
            CommittedChange change{
                CommittedChange::Kind::insert, &e, raw->globalID_, keyOf(raw), {}, {}};
            for (const auto& a : e.attributes) {
                change.attributes.emplace_back(a.index, raw->values_[a.index]);
            }
            for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                change.toOnes.emplace_back(slot, target(raw->toOne_[slot].destination));
            }
            out.changes.push_back(std::move(change));
        }
        for (const auto& [raw, object] : unsavedUpdated[e.index]) {
            CommittedChange change{
                CommittedChange::Kind::update, &e, raw->globalID_, raw->key_, {}, {}};
            for (const auto& a : e.attributes) {
                if (!(raw->values_[a.index] == raw->committed_->values[a.index])) {
                    change.attributes.emplace_back(a.index, raw->values_[a.index]);
                }
            }
            for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                if (raw->toOne_[slot].destination != raw->committed_->toOne[slot]) {
                    change.toOnes.emplace_back(slot, target(raw->toOne_[slot].destination));
                }
            }
            if (!change.attributes.empty() || !change.toOnes.empty()) {
                out.changes.push_back(std::move(change));
            }
        }
        for (const auto& [raw, object] : unsavedDeleted[e.index]) {
            out.changes.push_back(
                {CommittedChange::Kind::remove, &e, raw->globalID_, raw->key_, {}, {}});
        }
    }
    return out;
}

bool ManagedObjectContext::Impl::hasUnsavedChanges(const EntityDescription& e) const {
    return !unsavedInserted[e.index].empty() || !unsavedUpdated[e.index].empty() ||
           !unsavedDeleted[e.index].empty();
}

void ManagedObjectContext::Impl::refreshCounts(ManagedObject& object) {
    const auto& e = *object.entity_;
    if (e.toManyRelationships.empty() || object.fault_ || object.key_ < 0) {
        return;
    }
    if (auto* row = rows.selectByKey(e, object.key_)) {
        for (std::size_t slot = 0; slot < e.toManyRelationships.size(); ++slot) {
            object.toMany_[slot].committedCount =
                row->columnInt(StoreConnection::toManyCountColumn(e, slot));
        }
        row->reset();
    }
}

}  // namespace jw::store
