#include "ChangeApplier.h"

#include <fmt/format.h>

#include <stdexcept>

#include "SyncState.h"

namespace jw::sync {

using store::GlobalID;
using store::StoreConnection;

namespace {

GlobalID parseID(const std::string& text) {
    auto id = GlobalID::fromString(text);
    if (!id) {
        throw RefusedFile(fmt::format("\"{}\" is not a global identifier", text));
    }
    return *id;
}

}  // namespace

ChangeApplier::ChangeApplier(store::StoreConnection& connection)
    : db_(connection.database()),
      rows_(connection.database()),
      model_(connection.model()),
      tables_(connection.database()) {}

std::optional<std::int64_t> ChangeApplier::keyFor(const store::EntityDescription& e,
                                                  const GlobalID& id) {
    if (const auto known = knownKeys_.find(id);
        known != knownKeys_.end() && known->second.first == e.index) {
        return known->second.second;
    }
    if (lookedUp_.count({e.index, id})) {
        return std::nullopt;
    }
    const auto key = rows_.keyByGlobalID(e, id);
    if (key) {
        knownKeys_[id] = {e.index, *key};
    }
    return key;
}

void ChangeApplier::prepare(std::span<const ObjectChange> changes) {
    // A few set-wise statements per file instead of several point lookups per object.
    std::vector<GlobalID> all;
    std::vector<std::vector<GlobalID>> byEntity(model_.entities().size());
    auto add = [&](const store::EntityDescription& e, const std::string& text) {
        if (const auto id = GlobalID::fromString(text)) {
            all.push_back(*id);
            byEntity[e.index].push_back(*id);
        }
    };
    for (const auto& change : changes) {
        const auto* e = model_.entity(change.entity);
        if (!e) {
            continue;
        }
        add(*e, change.globalID);
        for (const auto* r : e->toOneRelationships) {
            const auto it = change.values.find(r->name);
            if (it != change.values.end() && it->second.value.is_string()) {
                add(*r->destination, it->second.value.get_ref<const std::string&>());
            }
        }
    }
    tables_.preload(all);
    for (const auto& e : model_.entities()) {
        for (const auto& [id, key] : rows_.keysByGlobalIDs(e, byEntity[e.index])) {
            knownKeys_.try_emplace(id, RowID{e.index, key});
        }
        for (const auto& id : byEntity[e.index]) {
            lookedUp_.emplace(e.index, id);
        }
    }
}

void ChangeApplier::apply(const ObjectChange& change) {
    check(model_, change);
    applyChecked(change);
}

void ChangeApplier::check(const store::ObjectModel& model, const ObjectChange& change) {
    const auto* e = model.entity(change.entity);
    if (!e) {
        throw RefusedFile(fmt::format("unknown entity \"{}\"", change.entity));
    }
    parseID(change.globalID);
    // Every value is checked now, even one that must wait for its object: a malformed value
    // kept aside would fail the file that brings the object, and with it good changes.
    for (const auto& [key, value] : change.values) {
        if (const auto* a = e->attribute(key)) {
            decodeValue(a->type, value.value);
        } else if (const auto* r = e->relationship(key); r && !r->toMany) {
            if (!value.value.is_null() && !(value.value.is_string() &&
                                            GlobalID::fromString(value.value.get<std::string>()))) {
                throw RefusedFile(fmt::format("{}.{} must name an object", e->name, key));
            }
        } else {
            throw RefusedFile(fmt::format("unknown key {}.{}", e->name, key));
        }
    }
}

void ChangeApplier::applyChecked(const ObjectChange& change) {
    const auto* e = &model_.requireEntity(change.entity);
    maxCounter_ = std::max(maxCounter_, change.maxCounter());
    const auto id = parseID(change.globalID);
    if (tables_.tombstone(id)) {
        return;  // removed for good
    }
    if (change.removed) {
        removeObject(*e, id, *change.removed);
        return;
    }
    if (const auto key = keyFor(*e, id)) {
        // A creation says every key it leaves out holds its default, here as in a new row
        // (the same object created twice, from two copies of a store, settles the same).
        updateObject(*e, id, *key, change.created ? completed(*e, change) : change);
        return;
    }
    // Not here: not created yet, or set aside with a removed owner. (Copied only when
    // something waits for it: most objects arrive whole, once.)
    std::optional<ObjectChange> merged;
    if (auto waiting = tables_.parked(id)) {
        merged = change;
        merged->absorb(*waiting);
    }
    const ObjectChange& whole = merged ? *merged : change;
    if (!whole.created) {
        tables_.park(id, whole);
        return;
    }
    if (ownerRemoved(*e, whole)) {
        tables_.park(id, completed(*e, whole));
        return;
    }
    if (merged) {
        tables_.unpark(id);
    }
    insertObject(*e, id, whole);
}

ObjectChange ChangeApplier::completed(const store::EntityDescription& e, ObjectChange change) {
    // A key a creation leaves out holds the default, as an inserted row does; spelled out, an
    // object set aside reads the same however it came to be set aside.
    for (const auto& a : e.attributes) {
        change.values.try_emplace(
            a.name, KeyChange{encodeValue(a.type, store::defaultValueFor(a.type)), std::nullopt});
    }
    for (const auto* r : e.toOneRelationships) {
        change.values.try_emplace(r->name, KeyChange{nullptr, std::nullopt});
    }
    return change;
}

bool ChangeApplier::ownerRemoved(const store::EntityDescription& e, const ObjectChange& change) {
    for (const auto* r : e.toOneRelationships) {
        if (r->inverse->deleteRule != store::DeleteRule::Cascade) {
            continue;
        }
        const auto it = change.values.find(r->name);
        if (it != change.values.end() && it->second.value.is_string() &&
            tables_.tombstone(parseID(it->second.value.get<std::string>()))) {
            return true;
        }
    }
    return false;
}

void ChangeApplier::insertObject(const store::EntityDescription& e, const GlobalID& id,
                                 const ObjectChange& change) {
    // One row in one statement, every column named in the entity's order (a key the change
    // leaves out at its default, as in completed()), so each entity has one statement whatever
    // the files hold.
    std::vector<store::Value> values;
    values.reserve(e.attributes.size() + e.toOneRelationships.size());
    for (const auto& a : e.attributes) {
        const auto it = change.values.find(a.name);
        values.push_back(it == change.values.end() ? store::defaultValueFor(a.type)
                                                   : decodeValue(a.type, it->second.value));
    }
    for (const auto* r : e.toOneRelationships) {
        const auto it = change.values.find(r->name);
        std::optional<std::int64_t> target;
        if (it != change.values.end()) {
            target = resolveTarget(e, id, r->name, it->second.value);
        }
        if (target) {
            values.emplace_back(*target);
        } else {
            values.emplace_back(std::monostate{});
        }
    }
    const auto key = rows_.insert(e, id, values);
    knownKeys_[id] = {e.index, key};
    tables_.clearStamps(id);
    tables_.setStamp(id, "", *change.created);
    noteInserted(e, key);
    for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
        if (const auto* target = std::get_if<std::int64_t>(&values[e.attributes.size() + slot])) {
            noteUpdated(*e.toOneRelationships[slot]->destination, *target);
        }
    }
    for (const auto& [name, value] : change.values) {
        if (value.stamp && *value.stamp != *change.created) {
            tables_.setStamp(id, name, *value.stamp);
        }
    }
    settleLinksTo(id, key, false);
}

void ChangeApplier::updateObject(const store::EntityDescription& e, const GlobalID& id,
                                 std::int64_t key, const ObjectChange& change) {
    if (change.created && !tables_.explicitStamp(id, "")) {
        tables_.setStamp(id, "", *change.created);
    }
    auto wins = [&](const std::string& name) {
        const auto incoming = change.stampOf(name);
        const auto local = tables_.stampOf(id, name);
        return incoming && (!local || *local < *incoming);
    };
    // A winning owner that is removed takes the object with it, set aside whole.
    for (const auto* r : e.toOneRelationships) {
        const auto it = change.values.find(r->name);
        if (r->inverse->deleteRule == store::DeleteRule::Cascade && it != change.values.end() &&
            wins(r->name) && it->second.value.is_string() &&
            tables_.tombstone(parseID(it->second.value.get<std::string>()))) {
            setAside(e, id, key, &change);
            return;
        }
    }
    for (const auto& [name, value] : change.values) {
        if (!wins(name)) {
            continue;
        }
        writeKey(e, id, key, name, value.value);
        tables_.setStamp(id, name, *change.stampOf(name));
        noteUpdated(e, key);
    }
}

void ChangeApplier::writeKey(const store::EntityDescription& e, const GlobalID& id,
                             std::int64_t key, const std::string& name,
                             const nlohmann::json& value) {
    store::Value stored;
    if (const auto* a = e.attribute(name)) {
        stored = decodeValue(a->type, value);
    } else {
        // The object leaves one owner's to-many and joins another's: both changed.
        const auto& r = e.requireRelationship(name);
        if (const auto old = toOneTarget(e, key, r)) {
            noteUpdated(*r.destination, *old);
        }
        if (const auto target = resolveTarget(e, id, name, value)) {
            stored = *target;
            noteUpdated(*r.destination, *target);
        }
    }
    rows_.update(e, key, {{name, std::move(stored)}});
}

std::optional<std::int64_t> ChangeApplier::resolveTarget(const store::EntityDescription& e,
                                                         const GlobalID& id,
                                                         const std::string& name,
                                                         const nlohmann::json& value) {
    const auto& r = e.requireRelationship(name);
    tables_.clearLink(id, name);
    if (value.is_null()) {
        return std::nullopt;
    }
    if (!value.is_string()) {
        throw RefusedFile(fmt::format("{}.{} must name an object", e.name, name));
    }
    const auto target = parseID(value.get<std::string>());
    if (const auto known = knownKeys_.find(target);
        known != knownKeys_.end() && known->second.first == r.destination->index) {
        return known->second.second;  // stored, so not removed
    }
    if (tables_.tombstone(target)) {
        return std::nullopt;  // a removed target reads as none (an owner's removal is handled
                              // before)
    }
    if (const auto targetKey = keyFor(*r.destination, target)) {
        return targetKey;
    }
    tables_.setLink(id, e.name, name, target);  // filled in when the target arrives
    return std::nullopt;
}

void ChangeApplier::settleLinksTo(const GlobalID& target, std::optional<std::int64_t> targetKey,
                                  bool removed) {
    for (const auto& link : tables_.linksTo(target)) {
        const auto* e = model_.entity(link.entity);
        const auto* r = e ? e->relationship(link.key) : nullptr;
        const auto sourceKey = e ? keyFor(*e, link.source) : std::nullopt;
        if (!r || !sourceKey) {
            tables_.clearLink(link.source, link.key);
            continue;
        }
        if (removed && r->inverse->deleteRule == store::DeleteRule::Cascade) {
            setAside(*e, link.source, *sourceKey, nullptr);  // reads the link, then clears it
            continue;
        }
        tables_.clearLink(link.source, link.key);
        rows_.update(*e, *sourceKey,
                     {{r->name, removed ? store::Value() : store::Value(*targetKey)}});
        noteUpdated(*e, *sourceKey);
    }
}

ObjectChange ChangeApplier::storedState(const store::EntityDescription& e, const GlobalID& id,
                                        std::int64_t key) {
    ObjectChange state;
    state.entity = e.name;
    state.globalID = id.toString();
    // Every object has a creation stamp once the store is attached; should one be missing,
    // the lowest stamp there is lets any other value win.
    state.created = tables_.explicitStamp(id, "").value_or(Stamp{0, "0"});
    std::vector<std::pair<const store::RelationshipDescription*, std::optional<std::int64_t>>>
        targets;
    {
        if (auto* row = rows_.selectByKey(e, key)) {
            auto& s = *row;
            for (const auto& a : e.attributes) {
                state.values[a.name] = {
                    encodeValue(a.type,
                                s.columnValue(StoreConnection::attributeColumn(a.index), a.type)),
                    std::nullopt};
            }
            for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                const int column = StoreConnection::toOneColumn(e, slot);
                targets.emplace_back(e.toOneRelationships[slot],
                                     s.columnIsNull(column)
                                         ? std::nullopt
                                         : std::optional<std::int64_t>(s.columnInt(column)));
            }
            s.reset();
        }
    }
    for (const auto& [r, targetKey] : targets) {
        nlohmann::json value = nullptr;
        if (targetKey) {
            if (const auto target = rows_.globalIDByKey(*r->destination, *targetKey)) {
                value = target->toString();
            }
        }
        if (value.is_null()) {
            // No target stored (or one no longer there): the value is the one still waiting.
            auto& s = db_.cached(
                "SELECT \"target\" FROM \"_sync_links\" WHERE \"gid\" = ? AND \"key\" = ?");
            s.bindBlob(1, id.bytes.data(), id.bytes.size());
            s.bindText(2, r->name);
            if (s.step()) {
                if (const auto target = store::StoreRows::globalIDAt(s, 0)) {
                    value = target->toString();
                }
            }
            s.reset();
        }
        state.values[r->name] = {std::move(value), std::nullopt};
    }
    for (auto& [name, value] : state.values) {
        if (auto stamp = tables_.explicitStamp(id, name); stamp && *stamp != *state.created) {
            value.stamp = stamp;
        }
    }
    return state;
}

std::vector<std::pair<std::int64_t, GlobalID>> ChangeApplier::membersOf(
    const store::RelationshipDescription& toMany, std::int64_t ownerKey) {
    return rows_.membersOf(toMany, ownerKey);
}

void ChangeApplier::setAside(const store::EntityDescription& e, const GlobalID& id,
                             std::int64_t key, const ObjectChange* change) {
    ObjectChange whole = storedState(e, id, key);
    if (change) {
        whole.absorb(*change);
    }
    // Its own members wait for it as for an object that has not arrived.
    for (const auto* r : e.toManyRelationships) {
        for (const auto& [memberKey, memberID] : membersOf(*r, key)) {
            rows_.update(*r->destination, memberKey, {{r->inverse->name, store::Value()}});
            tables_.setLink(memberID, r->destination->name, r->inverse->name, id);
            noteUpdated(*r->destination, memberKey);
        }
    }
    tables_.clearStamps(id);
    tables_.clearLinks(id);
    noteOwnersOf(e, key);
    rows_.remove(e, key);
    knownKeys_.erase(id);
    noteDeleted(e, key);
    tables_.unpark(id);
    tables_.park(id, whole);
}

void ChangeApplier::removeObject(const store::EntityDescription& e, const GlobalID& id,
                                 const Stamp& stamp) {
    tables_.setTombstone(id, e.name, stamp);
    tables_.clearStamps(id);
    tables_.unpark(id);
    tables_.clearLinks(id);
    if (const auto key = keyFor(e, id)) {
        for (const auto* r : e.toManyRelationships) {
            const auto& member = *r->destination;
            for (const auto& [memberKey, memberID] : membersOf(*r, *key)) {
                if (r->deleteRule == store::DeleteRule::Cascade) {
                    setAside(member, memberID, memberKey, nullptr);
                } else {
                    rows_.update(member, memberKey, {{r->inverse->name, store::Value()}});
                    noteUpdated(member, memberKey);
                }
            }
        }
        noteOwnersOf(e, *key);
        rows_.remove(e, *key);
        knownKeys_.erase(id);
        noteDeleted(e, *key);
    }
    settleLinksTo(id, std::nullopt, true);
}

void ChangeApplier::settleLocalChanges() {
    // Objects a local save gave an owner that was removed meanwhile: the save left a link to
    // the removed owner (see the change recorder).
    std::vector<GlobalID> removedTargets;
    {
        auto& s = db_.cached(
            "SELECT DISTINCT \"target\" FROM \"_sync_links\" WHERE \"target\" IN (SELECT "
            "\"gid\" FROM \"_sync_tombstones\")");
        while (s.step()) {
            if (const auto target = store::StoreRows::globalIDAt(s, 0)) {
                removedTargets.push_back(*target);
            }
        }
        s.reset();
    }
    for (const auto& target : removedTargets) {
        settleLinksTo(target, std::nullopt, true);
    }
    // Objects set aside that a local save has given an owner that exists.
    SyncState record(db_);
    if (!record.get(state::asideChanged)) {
        return;
    }
    record.set(state::asideChanged, false);
    std::vector<ObjectChange> comeBack;
    {
        auto& s = db_.cached("SELECT \"payload\" FROM \"_sync_parked\"");
        while (s.step()) {
            try {
                auto change = ObjectChange::fromJson(nlohmann::json::parse(s.columnText(0)));
                const auto* e = model_.entity(change.entity);
                if (change.created && e && !ownerRemoved(*e, change)) {
                    comeBack.push_back(std::move(change));
                }
            } catch (const std::exception&) {
                // A damaged entry stays as it is; it came from a file another device keeps.
            }
        }
        s.reset();
    }
    for (const auto& change : comeBack) {
        const auto id = parseID(change.globalID);
        const auto& e = model_.requireEntity(change.entity);
        if (!keyFor(e, id) && !tables_.tombstone(id)) {
            tables_.unpark(id);
            insertObject(e, id, change);
        }
    }
}

void ChangeApplier::noteInserted(const store::EntityDescription& e, std::int64_t key) {
    inserted_.emplace(e.index, key);
}

void ChangeApplier::noteUpdated(const store::EntityDescription& e, std::int64_t key) {
    if (!inserted_.count({e.index, key}) && !deleted_.count({e.index, key})) {
        updated_.emplace(e.index, key);
    }
}

std::optional<std::int64_t> ChangeApplier::toOneTarget(const store::EntityDescription& e,
                                                       std::int64_t key,
                                                       const store::RelationshipDescription& r) {
    auto& s =
        db_.cached(fmt::format("SELECT {} FROM {} WHERE \"_key\" = ?",
                               StoreConnection::quoted(r.name), StoreConnection::quoted(e.name)));
    s.bindInt(1, key);
    std::optional<std::int64_t> target;
    if (s.step() && !s.columnIsNull(0)) {
        target = s.columnInt(0);
    }
    s.reset();
    return target;
}

void ChangeApplier::noteOwnersOf(const store::EntityDescription& e, std::int64_t key) {
    for (const auto* r : e.toOneRelationships) {
        if (const auto owner = toOneTarget(e, key, *r)) {
            noteUpdated(*r->destination, *owner);
        }
    }
}

void ChangeApplier::noteDeleted(const store::EntityDescription& e, std::int64_t key) {
    const RowID row{e.index, key};
    const bool wasNew = inserted_.erase(row) > 0;
    updated_.erase(row);
    if (!wasNew) {
        deleted_.insert(row);
    }
}

store::ContextDidSaveNotification ChangeApplier::takeNotification() {
    store::ContextDidSaveNotification note;
    const auto& entities = model_.entities();
    for (const auto& [entity, key] : inserted_) {
        note.inserted.push_back({&entities[entity], key});
    }
    for (const auto& [entity, key] : updated_) {
        note.updated.push_back({&entities[entity], key});
    }
    for (const auto& [entity, key] : deleted_) {
        note.deleted.push_back({&entities[entity], key});
    }
    inserted_.clear();
    updated_.clear();
    deleted_.clear();
    return note;
}

}  // namespace jw::sync
