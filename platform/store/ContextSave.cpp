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
    auto& rows = impl_->rows;
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
            for (const auto& [raw, object] : impl_->unsavedInserted[e.index]) {
                std::vector<Value> values(raw->values_.begin(), raw->values_.end());
                for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                    const auto* destination = raw->toOne_[slot].destination;
                    if (destination && keyOf(destination) > 0) {
                        values.emplace_back(keyOf(destination));
                    } else {
                        values.emplace_back(std::monostate{});
                        if (destination) {
                            deferredLinks.emplace_back(raw, e.toOneRelationships[slot]);
                        }
                    }
                }
                newKeys[raw] = rows.insert(e, raw->globalID_, values);
            }
        }
        for (const auto& [object, r] : deferredLinks) {
            rows.update(*object->entity_, keyOf(object),
                        {{r->name, Value(keyOf(object->toOne_[r->toOneSlot].destination))}});
        }
        for (const auto& e : entities) {
            for (const auto& [raw, object] : impl_->unsavedUpdated[e.index]) {
                std::vector<std::pair<std::string_view, Value>> changed;
                for (const auto& a : e.attributes) {
                    if (!(raw->values_[a.index] == raw->committed_->values[a.index])) {
                        changed.emplace_back(a.name, raw->values_[a.index]);
                    }
                }
                for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                    if (raw->toOne_[slot].destination != raw->committed_->toOne[slot]) {
                        const auto key = keyOf(raw->toOne_[slot].destination);
                        changed.emplace_back(e.toOneRelationships[slot]->name,
                                             key > 0 ? Value(key) : Value(std::monostate{}));
                    }
                }
                if (changed.empty()) {
                    continue;  // changed and changed back
                }
                rows.update(e, raw->key_, changed);
                note.updated.push_back(raw->objectID());
            }
            if (!impl_->unsavedDeleted[e.index].empty()) {
                for (const auto& [raw, object] : impl_->unsavedDeleted[e.index]) {
                    rows.remove(e, raw->key_);
                    note.deleted.push_back(raw->objectID());
                }
            }
        }
        const auto hook = commitHookFor(impl_->connection.commitHookKey());
        if (hook) {
            hook(db, impl_->describeChanges(keyOf));
        }
        // A hooked store's log is the hook owner's to checkpoint (CommitHooks.h).
        db.setCheckpointFrames(hook ? 0 : SqliteDatabase::kCheckpointFrames);
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
