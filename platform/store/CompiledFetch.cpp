#include "CompiledFetch.h"

#include <fmt/format.h>

#include "StoreError.h"

namespace jw::store {

CompiledFetch::CompiledFetch(const ObjectModel& model, const FetchRequest& request) {
    entity_ = model.entity(request.entityName);
    if (!entity_) {
        throw StoreError("The fetch request names an unknown entity",
                         fmt::format("{{entity: {}}}", request.entityName));
    }
    for (const auto& condition : request.predicate) {
        if (const auto* a = entity_->attribute(condition.key)) {
            attributes_.push_back({a->index, condition.value});
        } else if (const auto* r = entity_->relationship(condition.key); r && !r->toMany) {
            relationships_.push_back({r, condition.object});
        } else {
            throw StoreError("The fetch request's predicate names an unknown key",
                             fmt::format("{{entity: {}, key: {}}}", entity_->name, condition.key));
        }
    }
    for (const auto& sort : request.sortDescriptors) {
        const auto* a = entity_->attribute(sort.key);
        if (!a) {
            throw StoreError("The fetch request sorts by an unknown key",
                             fmt::format("{{entity: {}, key: {}}}", entity_->name, sort.key));
        }
        sortKeys_.push_back({a->index, sort.ascending});
        sortKeyBits_.set(a->index);
    }
}

bool CompiledFetch::matches(const ManagedObject& object) const {
    for (const auto& c : attributes_) {
        if (compareValues(object.valueAt(c.attribute), c.value) != 0) {
            return false;
        }
    }
    for (const auto& c : relationships_) {
        if (object.toOne(*c.relationship) != c.object) {
            return false;
        }
    }
    return true;
}

bool CompiledFetch::less(const ManagedObject& a, const ManagedObject& b) const {
    for (const auto& key : sortKeys_) {
        const int c = compareValues(a.loadedValueAt(key.attribute), b.loadedValueAt(key.attribute));
        if (c != 0) {
            return key.ascending ? c < 0 : c > 0;
        }
    }
    return a.loadedGlobalID() < b.loadedGlobalID();
}

}  // namespace jw::store
