#pragma once
// A fetch request resolved against the model: attribute and relationship positions instead
// of names, so that matching and ordering objects in memory is cheap. The SQL a fetch runs
// and the in-memory order here must agree; both end with the global identifier.
// Internal to the store.

#include <string>
#include <vector>

#include "FetchRequest.h"
#include "ManagedObject.h"
#include "ObjectModel.h"

namespace jw::store {

class CompiledFetch {
  public:
    // Throws StoreError for an unknown entity or key, or a sort key that is not an attribute.
    CompiledFetch(const ObjectModel& model, const FetchRequest& request);

    const EntityDescription& entity() const { return *entity_; }

    // Whether a (non-fault) object satisfies the predicate, by its current values.
    bool matches(const ManagedObject& object) const;
    // Strict order of two objects of the entity by the sort keys, then the global identifier.
    bool less(const ManagedObject& a, const ManagedObject& b) const;
    // Whether a change to these keys (see ObjectsDidChange) may move an object.
    bool sortKeysIntersect(const std::bitset<64>& changedKeys) const {
        return (changedKeys & sortKeyBits_).any();
    }

    struct AttributeCondition {
        std::size_t attribute;
        Value value;
    };
    struct RelationshipCondition {
        const RelationshipDescription* relationship;
        const ManagedObject* object;
    };
    struct SortKey {
        std::size_t attribute;
        bool ascending;
    };
    const std::vector<AttributeCondition>& attributeConditions() const { return attributes_; }
    const std::vector<RelationshipCondition>& relationshipConditions() const {
        return relationships_;
    }
    const std::vector<SortKey>& sortKeys() const { return sortKeys_; }

  private:
    const EntityDescription* entity_;
    std::vector<AttributeCondition> attributes_;
    std::vector<RelationshipCondition> relationships_;
    std::vector<SortKey> sortKeys_;
    std::bitset<64> sortKeyBits_;
};

}  // namespace jw::store
