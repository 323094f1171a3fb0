// Letting go of objects nobody needs. The context keeps one object per row it has handed out,
// so that pointer identity is object identity; without this, every row ever read would stay in
// memory until the context goes. An object can go when reading its row again would give the
// same object: it is saved and unchanged, and nothing can tell the new one from the old. That
// holds when no one outside the context has it (its only owner is the identity map) and no
// object that stays points at it through a relationship: relationships are raw pointers, kept
// valid by the context holding both ends.

#include "ManagedObjectContext.h"

#include <atomic>

#include "ContextInternals.h"

namespace jw::store {

namespace {

std::atomic<std::size_t> releaseFloor{10'000};

}  // namespace

std::size_t ManagedObjectContext::objectReleaseFloor() {
    return releaseFloor.load(std::memory_order_relaxed);
}

void ManagedObjectContext::setObjectReleaseFloor(std::size_t count) {
    releaseFloor.store(count, std::memory_order_relaxed);
}

std::size_t ManagedObjectContext::releaseUnreferencedObjects() {
    // Mark what stays, then follow its relationships: whatever a kept object points at stays
    // too (its to-one destinations, its loaded members, the destinations of its saved state).
    std::vector<ManagedObject*> frontier;
    auto keep = [&](ManagedObject* object) {
        if (object && !object->kept_) {
            object->kept_ = true;
            frontier.push_back(object);
        }
    };
    for (auto* maps : {&impl_->saved, &impl_->temporary}) {
        for (auto& map : *maps) {
            for (auto& [key, object] : map) {
                object->kept_ = false;
            }
        }
    }
    for (auto* maps : {&impl_->saved, &impl_->temporary}) {
        for (auto& map : *maps) {
            for (auto& [key, object] : map) {
                const bool releasable = object.use_count() == 1 && !object->inserted_ &&
                                        !object->deleted_ && !object->committed_ &&
                                        object->changedSinceLastReport_.none();
                if (!releasable) {
                    keep(object.get());
                }
            }
        }
    }
    while (!frontier.empty()) {
        const auto* object = frontier.back();
        frontier.pop_back();
        for (const auto& slot : object->toOne_) {
            keep(slot.destination);
        }
        if (object->committed_) {
            for (auto* destination : object->committed_->toOne) {
                keep(destination);
            }
        }
        for (const auto& slot : object->toMany_) {
            if (slot.loaded) {
                for (auto* member : slot.members) {
                    keep(member);
                }
            }
        }
    }
    std::size_t released = 0;
    for (auto& map : impl_->saved) {
        released += std::erase_if(map, [](const auto& entry) { return !entry.second->kept_; });
    }
    return released;
}

bool ManagedObjectContext::releaseIsDue() const {
    const auto count = registeredObjectCount();
    const auto floor = objectReleaseFloor();
    return floor == 0 || (count >= floor && count >= 2 * impl_->registeredAfterRelease);
}

void ManagedObjectContext::releaseUnreferencedObjectsIfGrown() {
    if (!releaseIsDue()) {
        return;
    }
    releaseUnreferencedObjects();
    impl_->registeredAfterRelease = registeredObjectCount();
}

}  // namespace jw::store
