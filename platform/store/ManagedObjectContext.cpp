#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

namespace {

constexpr std::size_t kRelationshipBit = 32;

// Temporary keys are unique in the process, not only in one context, so that the temporary
// address of an object handed to another context names nothing there.
std::int64_t nextTemporaryKey() {
    static std::atomic<std::int64_t> next{-1};
    return next.fetch_sub(1, std::memory_order_relaxed);
}

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

}  // namespace

// ---------------------------------------------------------------------------------------------
// Impl: identity map, faults, membership

ManagedObjectContext::Impl::Impl(ManagedObjectContext& o, StoreConnection& c)
    : owner(o), connection(c), model(c.model()) {
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

SqliteStatement& ManagedObjectContext::Impl::rowByKey(const EntityDescription& e,
                                                      std::int64_t key) {
    auto& statement = connection.database().cached(
        fmt::format("SELECT {} FROM {} WHERE \"_key\" = ?", StoreConnection::selectColumns(e),
                    StoreConnection::quoted(e.name)));
    statement.bindInt(1, key);
    return statement;
}

void ManagedObjectContext::Impl::fillFromRow(ManagedObject& object, const SqliteStatement& row) {
    const auto& e = *object.entity_;
    const auto* gid =
        static_cast<const unsigned char*>(row.columnBlobData(StoreConnection::kGlobalIDColumn));
    if (gid && row.columnBytes(StoreConnection::kGlobalIDColumn) == 16) {
        std::copy(gid, gid + 16, object.globalID_.bytes.begin());
    }
    for (const auto& a : e.attributes) {
        object.values_[a.index] =
            row.columnValue(StoreConnection::attributeColumn(a.index), a.type);
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
    auto& row = rowByKey(*object.entity_, object.key_);
    if (row.step()) {
        fillFromRow(object, row);
    } else {
        // The row is gone (deleted through another connection before this context heard of
        // it): the object reads as new and empty rather than failing every caller.
        object.fault_ = false;
    }
    row.reset();
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
    auto& row = rowByKey(e, object.key_);
    if (row.step()) {
        for (std::size_t slot = 0; slot < e.toManyRelationships.size(); ++slot) {
            object.toMany_[slot].committedCount =
                row.columnInt(StoreConnection::toManyCountColumn(e, slot));
        }
    }
    row.reset();
}

// ---------------------------------------------------------------------------------------------
// The context

ManagedObjectContext::ManagedObjectContext(std::shared_ptr<StoreConnection> connection)
    : connection_(std::move(connection)), impl_(std::make_unique<Impl>(*this, *connection_)) {}

ManagedObjectContext::~ManagedObjectContext() {
    // Objects that outlive the context must not reach back into it.
    auto detach = [](auto& maps) {
        for (auto& map : maps) {
            for (auto& [key, object] : map) {
                object->context_ = nullptr;
            }
        }
    };
    detach(impl_->saved);
    detach(impl_->temporary);
    for (auto& set : impl_->unsavedDeleted) {
        for (auto& [raw, object] : set) {
            object->context_ = nullptr;
        }
    }
    for (auto* set : {&impl_->reportInserted, &impl_->reportUpdated, &impl_->reportDeleted}) {
        for (auto& [raw, object] : *set) {
            object->context_ = nullptr;
        }
    }
}

const ObjectModel& ManagedObjectContext::model() const {
    return impl_->model;
}

const std::string& ManagedObjectContext::storeIdentifier() const {
    return connection_->storeIdentifier();
}

std::shared_ptr<ManagedObject> ManagedObjectContext::insertNewObject(std::string_view entityName) {
    const auto& e = impl_->model.requireEntity(entityName);
    auto object = e.factory ? e.factory(e, *this) : std::make_shared<ManagedObject>(e, *this);
    object->key_ = nextTemporaryKey();
    object->globalID_ = GlobalID::generate();
    object->inserted_ = true;
    // A new object's to-many relationships are empty and known to be.
    for (auto& slot : object->toMany_) {
        slot.loaded = true;
    }
    impl_->temporary[e.index].emplace(object->key_, object);
    impl_->unsavedInserted[e.index].emplace(object.get(), object);
    impl_->reportInserted.emplace(object.get(), object);
    return object;
}

void ManagedObjectContext::deleteObject(ManagedObject& object) {
    if (object.context_ != this || object.deleted_) {
        return;
    }
    object.fireFaultIfNeeded();
    auto keep = object.shared_from_this();
    const auto& e = *object.entity_;
    // The saved state stays known until the save: a merge may move it before then.
    impl_->objectWillChange(object);
    object.deleted_ = true;
    impl_->reportUpdated.erase(&object);
    impl_->reportInserted.erase(&object);

    for (const auto& r : e.relationships) {
        if (r.toMany) {
            // Copy: deleting or nullifying members changes the member list.
            std::vector<ManagedObject*> members = object.toMany(r);
            // Read objects that still name it here although the store has moved them on (a
            // merge on its way) go too: none may be left naming an object that is gone.
            const std::unordered_set<ManagedObject*> listed(members.begin(), members.end());
            const auto slot = r.inverse->toOneSlot;
            for (auto* map :
                 {&impl_->saved[r.destination->index], &impl_->temporary[r.destination->index]}) {
                for (const auto& [key, member] : *map) {
                    if (!member->fault_ && !member->deleted_ &&
                        member->toOne_[slot].destination == &object &&
                        !listed.contains(member.get())) {
                        members.push_back(member.get());
                    }
                }
            }
            for (auto* member : members) {
                if (r.deleteRule == DeleteRule::Cascade) {
                    deleteObject(*member);
                } else {
                    member->setToOne(*r.inverse, nullptr);
                }
            }
        } else if (auto* destination = object.toOne_[r.toOneSlot].destination) {
            impl_->removeMember(*destination, *r.inverse, object);
            object.toOne_[r.toOneSlot].destination = nullptr;
            if (r.deleteRule == DeleteRule::Cascade) {
                deleteObject(*destination);
            }
        }
    }

    if (object.inserted_) {
        impl_->unsavedInserted[e.index].erase(&object);
        impl_->temporary[e.index].erase(object.key_);
    } else {
        impl_->unsavedUpdated[e.index].erase(&object);
        impl_->unsavedDeleted[e.index].emplace(&object, keep);
    }
    // Reported even when its insertion never was: a fetch may have handed it out already.
    impl_->reportDeleted.emplace(&object, keep);
    if (object.inserted_) {
        object.context_ = nullptr;  // never saved: it leaves the context for good
    }
}

bool ManagedObjectContext::hasChanges() const {
    for (std::size_t i = 0; i < impl_->model.entities().size(); ++i) {
        if (impl_->hasUnsavedChanges(impl_->model.entities()[i])) {
            return true;
        }
    }
    return false;
}

std::size_t ManagedObjectContext::registeredObjectCount() const {
    std::size_t n = 0;
    for (const auto& map : impl_->saved) {
        n += map.size();
    }
    for (const auto& map : impl_->temporary) {
        n += map.size();
    }
    return n;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::objectWithID(ObjectID id) {
    if (!id.entity || &impl_->model.entities()[id.entity->index] != id.entity || id.key == 0) {
        return nullptr;
    }
    return impl_->registeredOrFault(*id.entity, id.key);
}

std::shared_ptr<ManagedObject> ManagedObjectContext::existingObjectWithURI(std::string_view uri) {
    constexpr std::string_view kScheme = "jotwell-store://";
    if (!uri.starts_with(kScheme)) {
        return nullptr;
    }
    uri.remove_prefix(kScheme.size());
    const auto storeEnd = uri.find('/');
    if (storeEnd == std::string_view::npos || uri.substr(0, storeEnd) != storeIdentifier()) {
        return nullptr;
    }
    uri.remove_prefix(storeEnd + 1);
    const auto entityEnd = uri.find('/');
    if (entityEnd == std::string_view::npos) {
        return nullptr;
    }
    const auto* e = impl_->model.entity(uri.substr(0, entityEnd));
    auto keyText = uri.substr(entityEnd + 1);
    if (!e || keyText.size() < 2 || (keyText[0] != 'p' && keyText[0] != 't')) {
        return nullptr;
    }
    std::int64_t key = 0;
    for (char c : keyText.substr(1)) {
        if (c < '0' || c > '9' || key > (INT64_MAX - 9) / 10) {
            return nullptr;
        }
        key = key * 10 + (c - '0');
    }
    if (key == 0) {
        return nullptr;
    }
    if (keyText[0] == 't') {
        auto object = impl_->registered(*e, -key);
        return object && !object->deleted_ ? object : nullptr;
    }
    if (auto object = impl_->registered(*e, key); object && !object->fault_) {
        return object->deleted_ ? nullptr : object;
    }
    // Not read yet (or registered only as a fault): the row decides whether the object exists;
    // materialize() fills a registered fault.
    auto& row = impl_->rowByKey(*e, key);
    std::shared_ptr<ManagedObject> object;
    if (row.step()) {
        object = impl_->materialize(*e, row);
    }
    row.reset();
    return object;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::existingObjectWithGlobalID(
    const EntityDescription& e, const GlobalID& id) {
    for (const auto& [key, object] : impl_->temporary[e.index]) {
        if (object->globalID_ == id) {
            return object;
        }
    }
    auto& statement = impl_->connection.database().cached(
        fmt::format("SELECT {} FROM {} WHERE \"_gid\" = ?", StoreConnection::selectColumns(e),
                    StoreConnection::quoted(e.name)));
    statement.bindBlob(1, id.bytes.data(), id.bytes.size());
    std::shared_ptr<ManagedObject> object;
    if (statement.step()) {
        object = impl_->materialize(e, statement);
    }
    statement.reset();
    return object && !object->deleted_ ? object : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Fetching

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::executeFetchRequest(
    const FetchRequest& request) {
    const CompiledFetch fetch(impl_->model, request);
    const auto& e = fetch.entity();

    std::string where;
    bool storeCanMatch = true;
    std::vector<const Value*> bindings;
    std::vector<std::int64_t> keyBindings;
    auto clause = [&](const std::string& text) {
        where += (where.empty() ? " WHERE " : " AND ") + text;
    };
    // Bind in clause order: attribute conditions first, then relationship keys.
    for (const auto& c : fetch.attributeConditions()) {
        const auto column = StoreConnection::quoted(e.attributes[c.attribute].name);
        if (isAbsent(c.value)) {
            clause(column + " IS NULL");
        } else {
            clause(column + " = ?");
            bindings.push_back(&c.value);
        }
    }
    for (const auto& c : fetch.relationshipConditions()) {
        const auto column = StoreConnection::quoted(c.relationship->name);
        if (!c.object) {
            clause(column + " IS NULL");
        } else if (c.object->objectID().key < 0 || c.object->managedObjectContext() != this) {
            storeCanMatch = false;  // an unsaved (or foreign) object has no rows pointing at it
        } else {
            clause(column + " = ?");
            keyBindings.push_back(c.object->objectID().key);
        }
    }
    // SQLite sorts the rows it returns (measured faster than sorting the objects for large
    // lists); the order is the one CompiledFetch::less gives in memory, global identifier last.
    std::string order;
    for (const auto& key : fetch.sortKeys()) {
        order += StoreConnection::quoted(e.attributes[key.attribute].name) +
                 (key.ascending ? " ASC, " : " DESC, ");
    }
    order += "\"_gid\" ASC";

    std::vector<std::shared_ptr<ManagedObject>> results;
    if (storeCanMatch) {
        auto& statement = impl_->connection.database().cached(
            fmt::format("SELECT {} FROM {}{} ORDER BY {}", StoreConnection::selectColumns(e),
                        StoreConnection::quoted(e.name), where, order));
        int index = 1;
        for (const auto* v : bindings) {
            statement.bindValue(index++, *v);
        }
        for (auto key : keyBindings) {
            statement.bindInt(index++, key);
        }
        try {
            while (statement.step()) {
                results.push_back(impl_->materialize(e, statement));
            }
        } catch (...) {
            statement.reset();
            throw;
        }
        statement.reset();
    }

    if (!impl_->hasUnsavedChanges(e)) {
        return results;
    }
    // Apply the unsaved state: in-memory values decide membership and order.
    std::unordered_set<ManagedObject*> present;
    std::erase_if(results, [&](const std::shared_ptr<ManagedObject>& o) {
        if (o->deleted_ || !fetch.matches(*o)) {
            return true;
        }
        present.insert(o.get());
        return false;
    });
    for (auto* set : {&impl_->unsavedInserted[e.index], &impl_->unsavedUpdated[e.index]}) {
        for (const auto& [raw, object] : *set) {
            if (!present.count(raw) && fetch.matches(*object)) {
                results.push_back(object);
            }
        }
    }
    std::sort(results.begin(), results.end(),
              [&](const auto& a, const auto& b) { return fetch.less(*a, *b); });
    return results;
}

// ---------------------------------------------------------------------------------------------
// Reporting changes

ManagedObjectContext::ObserverToken ManagedObjectContext::addChangeObserver(ChangeObserver o) {
    auto token = std::make_shared<ChangeObserver>(std::move(o));
    impl_->changeObservers.push_back(token);
    return token;
}

ManagedObjectContext::ObserverToken ManagedObjectContext::addSaveObserver(SaveObserver o) {
    auto token = std::make_shared<SaveObserver>(std::move(o));
    impl_->saveObservers.push_back(token);
    return token;
}

void ManagedObjectContext::processPendingChanges() {
    if (impl_->reporting) {
        return;  // an observer's own edits are reported in the next round
    }
    if (impl_->reportInserted.empty() && impl_->reportUpdated.empty() &&
        impl_->reportDeleted.empty()) {
        return;
    }
    ObjectsDidChange change;
    for (auto& [raw, object] : impl_->reportInserted) {
        raw->changedSinceLastReport_.reset();
        change.inserted.push_back(std::move(object));
    }
    for (auto& [raw, object] : impl_->reportUpdated) {
        change.updated.push_back({std::move(object), raw->changedSinceLastReport_});
        raw->changedSinceLastReport_.reset();
    }
    for (auto& [raw, object] : impl_->reportDeleted) {
        raw->changedSinceLastReport_.reset();
        change.deleted.push_back(std::move(object));
    }
    impl_->reportInserted.clear();
    impl_->reportUpdated.clear();
    impl_->reportDeleted.clear();

    impl_->reporting = true;
    try {
        for (auto& observer : liveObservers(impl_->changeObservers)) {
            (*observer)(change);
        }
    } catch (...) {
        impl_->reporting = false;
        throw;
    }
    impl_->reporting = false;
}

// ---------------------------------------------------------------------------------------------
// Saving

void ManagedObjectContext::save() {
    processPendingChanges();
    if (!hasChanges()) {
        return;
    }
    auto& db = impl_->connection.database();
    const auto& entities = impl_->model.entities();
    // Keys given to inserted objects inside the transaction; applied only once it commits.
    std::unordered_map<const ManagedObject*, std::int64_t> newKeys;
    auto keyOf = [&](const ManagedObject* o) -> std::int64_t {
        if (!o) {
            return 0;
        }
        if (o->key_ > 0) {
            return o->key_;
        }
        auto it = newKeys.find(o);
        return it == newKeys.end() ? 0 : it->second;
    };
    ContextDidSaveNotification note;
    {
        SqliteTransaction transaction(db);
        std::vector<std::pair<ManagedObject*, const RelationshipDescription*>> deferredLinks;
        for (const auto& e : entities) {
            if (impl_->unsavedInserted[e.index].empty()) {
                continue;
            }
            std::string columns = "\"_gid\"", values = "?";
            for (const auto& a : e.attributes) {
                columns += ", " + StoreConnection::quoted(a.name);
                values += ", ?";
            }
            for (const auto* r : e.toOneRelationships) {
                columns += ", " + StoreConnection::quoted(r->name);
                values += ", ?";
            }
            auto& insert = db.cached(fmt::format("INSERT INTO {} ({}) VALUES ({})",
                                                 StoreConnection::quoted(e.name), columns, values));
            for (const auto& [raw, object] : impl_->unsavedInserted[e.index]) {
                insert.reset();
                int i = 1;
                insert.bindBlob(i++, raw->globalID_.bytes.data(), 16);
                for (const auto& v : raw->values_) {
                    insert.bindValue(i++, v);
                }
                for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                    const auto* destination = raw->toOne_[slot].destination;
                    if (destination && keyOf(destination) > 0) {
                        insert.bindInt(i++, keyOf(destination));
                    } else {
                        insert.bindNull(i++);
                        if (destination) {
                            deferredLinks.emplace_back(raw, e.toOneRelationships[slot]);
                        }
                    }
                }
                insert.step();
                newKeys[raw] = db.lastInsertRowid();
            }
        }
        for (const auto& [object, r] : deferredLinks) {
            auto& link = db.cached(fmt::format("UPDATE {} SET {} = ? WHERE \"_key\" = ?",
                                               StoreConnection::quoted(object->entity_->name),
                                               StoreConnection::quoted(r->name)));
            link.bindInt(1, keyOf(object->toOne_[r->toOneSlot].destination));
            link.bindInt(2, keyOf(object));
            link.step();
        }
        for (const auto& e : entities) {
            for (const auto& [raw, object] : impl_->unsavedUpdated[e.index]) {
                std::string assignments;
                std::vector<std::size_t> changedAttributes, changedLinks;
                for (const auto& a : e.attributes) {
                    if (!(raw->values_[a.index] == raw->committed_->values[a.index])) {
                        assignments += (assignments.empty() ? "" : ", ") +
                                       StoreConnection::quoted(a.name) + " = ?";
                        changedAttributes.push_back(a.index);
                    }
                }
                for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                    if (raw->toOne_[slot].destination != raw->committed_->toOne[slot]) {
                        assignments += (assignments.empty() ? "" : ", ") +
                                       StoreConnection::quoted(e.toOneRelationships[slot]->name) +
                                       " = ?";
                        changedLinks.push_back(slot);
                    }
                }
                if (assignments.empty()) {
                    continue;  // changed and changed back
                }
                auto& update = db.cached(fmt::format("UPDATE {} SET {} WHERE \"_key\" = ?",
                                                     StoreConnection::quoted(e.name), assignments));
                int i = 1;
                for (auto index : changedAttributes) {
                    update.bindValue(i++, raw->values_[index]);
                }
                for (auto slot : changedLinks) {
                    const auto key = keyOf(raw->toOne_[slot].destination);
                    key > 0 ? update.bindInt(i++, key) : update.bindNull(i++);
                }
                update.bindInt(i, raw->key_);
                update.step();
                note.updated.push_back(raw->objectID());
            }
            if (!impl_->unsavedDeleted[e.index].empty()) {
                auto& remove = db.cached(fmt::format("DELETE FROM {} WHERE \"_key\" = ?",
                                                     StoreConnection::quoted(e.name)));
                for (const auto& [raw, object] : impl_->unsavedDeleted[e.index]) {
                    remove.reset();
                    remove.bindInt(1, raw->key_);
                    remove.step();
                    note.deleted.push_back(raw->objectID());
                }
            }
        }
        if (auto hook = commitHookFor(impl_->connection.commitHookKey())) {
            hook(db, impl_->describeChanges(keyOf));
        }
        transaction.commit();
    }

    // Committed: the in-memory state becomes the saved state.
    for (const auto& e : entities) {
        for (auto& [raw, object] : impl_->unsavedInserted[e.index]) {
            impl_->temporary[e.index].erase(raw->key_);
            raw->key_ = newKeys.at(raw);
            raw->inserted_ = false;
            impl_->saved[e.index][raw->key_] = object;
            note.inserted.push_back(raw->objectID());
        }
        for (auto& [raw, object] : impl_->unsavedUpdated[e.index]) {
            raw->committed_.reset();
        }
        for (auto& [raw, object] : impl_->unsavedDeleted[e.index]) {
            impl_->saved[e.index].erase(raw->key_);
            raw->context_ = nullptr;
        }
        impl_->unsavedInserted[e.index].clear();
        impl_->unsavedUpdated[e.index].clear();
        impl_->unsavedDeleted[e.index].clear();
        if (!e.toManyRelationships.empty()) {
            for (auto& [key, object] : impl_->saved[e.index]) {
                for (auto& slot : object->toMany_) {
                    if (slot.loaded) {
                        slot.committedCount = std::int64_t(slot.members.size());
                    } else {
                        slot.committedCount += slot.unsavedDelta;
                    }
                    slot.unsavedDelta = 0;
                }
            }
        }
    }
    for (auto& observer : liveObservers(impl_->saveObservers)) {
        (*observer)(note);
    }
}

// ---------------------------------------------------------------------------------------------
// Merging another connection's save

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
        auto& row = impl.rowByKey(*e, id.key);
        if (!row.step()) {
            row.reset();
            return;  // gone again since
        }
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
