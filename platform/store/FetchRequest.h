#pragma once
// What to fetch: one entity, a predicate (equalities joined by AND, on attributes or to-one
// relationships), an order (sort descriptors, each key breaking the ties of the one before)
// and a batch size. Every fetch orders objects that tie on all keys by their global
// identifier, so the order is total and the same in the store and in memory.

#include <memory>
#include <string>
#include <vector>

#include "Value.h"

namespace jw::store {

class ManagedObject;

struct SortDescriptor {
    std::string key;  // an attribute name
    bool ascending = true;
};

struct EqualityCondition {
    std::string key;                        // an attribute or to-one relationship name
    Value value;                            // for an attribute
    const ManagedObject* object = nullptr;  // for a to-one relationship (none matches absent)
};

struct FetchRequest {
    std::string entityName;
    std::vector<EqualityCondition> predicate;  // all must hold; empty means every object
    std::vector<SortDescriptor> sortDescriptors;
    // 0 reads every matching object at once. Otherwise the first `fetchBatchSize` objects are
    // read and the others come back as faults (in order), each read when first touched.
    std::size_t fetchBatchSize = 0;

    static FetchRequest forEntity(std::string name) {
        FetchRequest r;
        r.entityName = std::move(name);
        return r;
    }
    FetchRequest& where(std::string key, Value value) {
        predicate.push_back({std::move(key), std::move(value), nullptr});
        return *this;
    }
    FetchRequest& whereRelated(std::string key, const ManagedObject* object) {
        predicate.push_back({std::move(key), Value{}, object});
        return *this;
    }
    FetchRequest& sortedBy(std::string key, bool ascending) {
        sortDescriptors.push_back({std::move(key), ascending});
        return *this;
    }
};

}  // namespace jw::store
