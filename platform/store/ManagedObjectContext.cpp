#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include <atomic>
#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

namespace {

// Temporary keys are unique in the process, not only in one context, so that the temporary
// address of an object handed to another context names nothing there.
std::int64_t nextTemporaryKey() {
    static std::atomic<std::int64_t> next{-1};
    return next.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace

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
    std::shared_ptr<ManagedObject> object;
    if (auto* row = impl_->rows.selectByKey(*e, key)) {
        object = impl_->materialize(*e, *row);
        row->reset();
    }
    return object;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::existingObjectWithGlobalID(
    const EntityDescription& e, const GlobalID& id) {
    for (const auto& [key, object] : impl_->temporary[e.index]) {
        if (object->globalID_ == id) {
            return object;
        }
    }
    std::shared_ptr<ManagedObject> object;
    if (auto* row = impl_->rows.selectByGlobalID(e, id)) {
        object = impl_->materialize(e, *row);
        row->reset();
    }
    return object && !object->deleted_ ? object : nullptr;
}

}  // namespace jw::store
