#include "ChangeApplier.h"

#include <fmt/format.h>

#include <stdexcept>

namespace jw::sync {

using store::GlobalID;
using store::StoreConnection;

namespace {

GlobalID parseID(const std::string& text) {
    auto id = GlobalID::fromString(text);
    if (!id) {
        throw std::invalid_argument(fmt::format("\"{}\" is not a global identifier", text));
    }
    return *id;
}

}  // namespace

ChangeApplier::ChangeApplier(store::StoreConnection& connection)
    : connection_(connection),
      db_(connection.database()),
      model_(connection.model()),
      tables_(connection.database()) {}

std::optional<std::int64_t> ChangeApplier::keyFor(const store::EntityDescription& e,
                                                  const GlobalID& id) {
    auto& s = db_.cached(
        fmt::format("SELECT \"_key\" FROM {} WHERE \"_gid\" = ?", StoreConnection::quoted(e.name)));
    s.bindBlob(1, id.bytes.data(), id.bytes.size());
    std::optional<std::int64_t> key;
    if (s.step()) {
        key = s.columnInt(0);
    }
    s.reset();
    return key;
}

void ChangeApplier::apply(const ObjectChange& change) {
    const auto* e = model_.entity(change.entity);
    if (!e) {
        throw std::invalid_argument(fmt::format("unknown entity \"{}\"", change.entity));
    }
    for (const auto& [key, value] : change.values) {
        if (!e->attribute(key) && !(e->relationship(key) && !e->relationship(key)->toMany)) {
            throw std::invalid_argument(fmt::format("unknown key {}.{}", e->name, key));
        }
    }
    maxCounter_ = std::max(maxCounter_, change.maxCounter());
    const auto id = parseID(change.globalID);
    if (tables_.tombstone(id)) {
        return;  // removed for good
    }
    if (change.removed) {
        removeObject(*e, id, *change.removed);
        return;
    }
    const auto key = keyFor(*e, id);
    if (key) {
        updateObject(*e, id, *key, change);
    } else if (change.created) {
        ObjectChange whole = change;
        if (auto waiting = tables_.parked(id)) {
            whole.absorb(*waiting);
            tables_.unpark(id);
        }
        insertObject(*e, id, whole);
    } else {
        tables_.park(id, change);
    }
}

void ChangeApplier::insertObject(const store::EntityDescription& e, const GlobalID& id,
                                 const ObjectChange& change) {
    auto& insert = db_.cached(
        fmt::format("INSERT INTO {} (\"_gid\") VALUES (?)", StoreConnection::quoted(e.name)));
    insert.bindBlob(1, id.bytes.data(), id.bytes.size());
    insert.step();
    insert.reset();
    const auto key = db_.lastInsertRowid();
    tables_.setStamp(id, "", *change.created);
    noteInserted(e, key);
    std::optional<Stamp> removal;
    for (const auto& [name, value] : change.values) {
        if (auto r = writeKey(e, id, key, name, value.value)) {
            removal = r;
        }
        if (value.stamp && *value.stamp != *change.created) {
            tables_.setStamp(id, name, *value.stamp);
        }
    }
    settleLinksTo(id, key, std::nullopt);
    if (removal) {
        removeObject(e, id, *removal);
    }
}

void ChangeApplier::updateObject(const store::EntityDescription& e, const GlobalID& id,
                                 std::int64_t key, const ObjectChange& change) {
    if (change.created && !tables_.explicitStamp(id, "")) {
        tables_.setStamp(id, "", *change.created);
    }
    std::optional<Stamp> removal;
    for (const auto& [name, value] : change.values) {
        const auto incoming = change.stampOf(name);
        const auto local = tables_.stampOf(id, name);
        if (!incoming || (local && !(*local < *incoming))) {
            continue;
        }
        if (auto r = writeKey(e, id, key, name, value.value)) {
            removal = r;
        }
        tables_.setStamp(id, name, *incoming);
        noteUpdated(e, key);
    }
    if (removal) {
        removeObject(e, id, *removal);
    }
}

std::optional<Stamp> ChangeApplier::writeKey(const store::EntityDescription& e, const GlobalID& id,
                                             std::int64_t key, const std::string& name,
                                             const nlohmann::json& value) {
    auto& update =
        db_.cached(fmt::format("UPDATE {} SET {} = ? WHERE \"_key\" = ?",
                               StoreConnection::quoted(e.name), StoreConnection::quoted(name)));
    auto finish = [&] {
        update.bindInt(2, key);
        update.step();
        update.reset();
    };
    if (const auto* a = e.attribute(name)) {
        update.bindValue(1, decodeValue(a->type, value));
        finish();
        return std::nullopt;
    }
    const auto& r = e.requireRelationship(name);
    tables_.clearLink(id, name);
    if (value.is_null()) {
        update.bindNull(1);
        finish();
        return std::nullopt;
    }
    if (!value.is_string()) {
        throw std::invalid_argument(fmt::format("{}.{} must name an object", e.name, name));
    }
    const auto target = parseID(value.get<std::string>());
    update.bindNull(1);
    if (const auto removed = tables_.tombstone(target)) {
        finish();
        if (r.inverse->deleteRule == store::DeleteRule::Cascade) {
            return removed;
        }
        return std::nullopt;
    }
    const auto targetKey = keyFor(*r.destination, target);
    if (targetKey) {
        update.bindInt(1, *targetKey);
    } else {
        tables_.setLink(id, e.name, name, target);
    }
    finish();
    return std::nullopt;
}

void ChangeApplier::settleLinksTo(const GlobalID& target, std::optional<std::int64_t> targetKey,
                                  const std::optional<Stamp>& removal) {
    for (const auto& link : tables_.linksTo(target)) {
        const auto* e = model_.entity(link.entity);
        const auto* r = e ? e->relationship(link.key) : nullptr;
        tables_.clearLink(link.source, link.key);
        if (!r) {
            continue;
        }
        const auto sourceKey = keyFor(*e, link.source);
        if (!sourceKey) {
            continue;
        }
        if (removal) {
            if (r->inverse->deleteRule == store::DeleteRule::Cascade) {
                removeObject(*e, link.source, *removal);
            }
            continue;
        }
        auto& update = db_.cached(fmt::format("UPDATE {} SET {} = ? WHERE \"_key\" = ?",
                                              StoreConnection::quoted(e->name),
                                              StoreConnection::quoted(r->name)));
        update.bindInt(1, *targetKey);
        update.bindInt(2, *sourceKey);
        update.step();
        update.reset();
        noteUpdated(*e, *sourceKey);
    }
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
            std::vector<std::pair<std::int64_t, GlobalID>> members;
            auto& s = db_.cached(fmt::format("SELECT \"_key\", \"_gid\" FROM {} WHERE {} = ?",
                                             StoreConnection::quoted(member.name),
                                             StoreConnection::quoted(r->inverse->name)));
            s.bindInt(1, *key);
            while (s.step()) {
                GlobalID memberID;
                const auto* data = static_cast<const unsigned char*>(s.columnBlobData(1));
                if (data && s.columnBytes(1) == 16) {
                    std::copy(data, data + 16, memberID.bytes.begin());
                }
                members.emplace_back(s.columnInt(0), memberID);
            }
            s.reset();
            for (const auto& [memberKey, memberID] : members) {
                if (r->deleteRule == store::DeleteRule::Cascade) {
                    removeObject(member, memberID, stamp);
                } else {
                    auto& clear =
                        db_.cached(fmt::format("UPDATE {} SET {} = NULL WHERE \"_key\" = ?",
                                               StoreConnection::quoted(member.name),
                                               StoreConnection::quoted(r->inverse->name)));
                    clear.bindInt(1, memberKey);
                    clear.step();
                    clear.reset();
                    noteUpdated(member, memberKey);
                }
            }
        }
        auto& remove = db_.cached(
            fmt::format("DELETE FROM {} WHERE \"_key\" = ?", StoreConnection::quoted(e.name)));
        remove.bindInt(1, *key);
        remove.step();
        remove.reset();
        noteDeleted(e, *key);
    }
    settleLinksTo(id, std::nullopt, stamp);
}

void ChangeApplier::noteInserted(const store::EntityDescription& e, std::int64_t key) {
    inserted_.emplace(e.index, key);
}

void ChangeApplier::noteUpdated(const store::EntityDescription& e, std::int64_t key) {
    if (!inserted_.count({e.index, key})) {
        updated_.emplace(e.index, key);
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
