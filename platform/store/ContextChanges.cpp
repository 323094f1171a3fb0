// Reporting changes to the change observers, and the observers themselves.

#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

ManagedObjectContext::ObserverToken ManagedObjectContext::addChangeObserver(ChangeObserver o) {
    auto token = std::make_shared<ChangeObserver>(std::move(o));
    impl_->changeObservers.push_back(token);
    return token;
}

ManagedObjectContext::ObserverToken ManagedObjectContext::addKeyHolder(KeyHolder holds) {
    auto token = std::make_shared<KeyHolder>(std::move(holds));
    impl_->keyHolders.push_back(token);
    return token;
}

bool ManagedObjectContext::Impl::keyHeld(const EntityDescription& e, std::int64_t key) {
    for (const auto& holder : liveObservers(keyHolders)) {
        if ((*holder)(e, key)) {
            return true;
        }
    }
    return false;
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

}  // namespace jw::store
