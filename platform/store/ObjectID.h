#pragma once
// The identity of an object within one store: its entity and its row key. Keys of saved
// objects are positive and never reused; objects inserted but not yet saved carry a negative,
// temporary key that the save replaces.

#include <cstdint>
#include <functional>

namespace jw::store {

struct EntityDescription;

struct ObjectID {
    const EntityDescription* entity = nullptr;
    std::int64_t key = 0;

    bool isTemporary() const { return key < 0; }
    bool operator==(const ObjectID&) const = default;
};

}  // namespace jw::store
