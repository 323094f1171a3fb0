// Saving: the context's unsaved changes written to the store in one transaction.

#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

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

}  // namespace jw::store
