#include "ManagedObject.h"

#include <fmt/format.h>

#include <stdexcept>

#include "ContextInternals.h"

namespace jw::store {

ManagedObject::ManagedObject(const EntityDescription& entity, ManagedObjectContext& context)
    : entity_(&entity), context_(&context) {
    values_.reserve(entity.attributes.size());
    for (const auto& a : entity.attributes) {
        values_.push_back(defaultValueFor(a.type));
    }
    toOne_.resize(entity.toOneRelationships.size());
    toMany_.resize(entity.toManyRelationships.size());
}

ManagedObject::~ManagedObject() = default;

const GlobalID& ManagedObject::globalID() const {
    fireFaultIfNeeded();
    return globalID_;
}

std::string ManagedObject::uriRepresentation() const {
    const std::string store = context_ ? context_->storeIdentifier() : std::string();
    return key_ < 0 ? fmt::format("jotwell-store://{}/{}/t{}", store, entity_->name, -key_)
                    : fmt::format("jotwell-store://{}/{}/p{}", store, entity_->name, key_);
}

void ManagedObject::fireFaultIfNeeded() const {
    if (fault_ && context_) {
        context_->impl_->fireFault(const_cast<ManagedObject&>(*this));
    }
}

const Value& ManagedObject::valueAt(std::size_t attributeIndex) const {
    fireFaultIfNeeded();
    return values_.at(attributeIndex);
}

void ManagedObject::setValueAt(std::size_t attributeIndex, Value value) {
    fireFaultIfNeeded();
    auto& slot = values_.at(attributeIndex);
    if (slot == value || deleted_) {
        return;
    }
    willChange();
    slot = std::move(value);
    noteChanged(attributeIndex);
}

const Value& ManagedObject::value(std::string_view name) const {
    return valueAt(entity_->requireAttribute(name).index);
}

void ManagedObject::setValue(std::string_view name, Value value) {
    setValueAt(entity_->requireAttribute(name).index, std::move(value));
}

ManagedObject* ManagedObject::toOne(const RelationshipDescription& relationship) const {
    fireFaultIfNeeded();
    return toOne_.at(relationship.toOneSlot).destination;
}

void ManagedObject::setToOne(const RelationshipDescription& relationship,
                             ManagedObject* destination) {
    if (relationship.toMany) {
        throw std::logic_error(
            fmt::format("{}.{} is a to-many relationship", entity_->name, relationship.name));
    }
    fireFaultIfNeeded();
    if (toOne_.at(relationship.toOneSlot).destination == destination || deleted_ || !context_) {
        return;
    }
    if (destination && destination->context_ != context_) {
        throw std::logic_error("an object can only be related to objects of its own context");
    }
    willChange();
    context_->impl_->linkToOne(*this, relationship, destination);
    noteChanged(32 + relationship.index);
}

const std::vector<ManagedObject*>& ManagedObject::toMany(
    const RelationshipDescription& relationship) const {
    fireFaultIfNeeded();
    auto& slot = const_cast<ManagedObject*>(this)->toMany_.at(relationship.toManySlot);
    if (!slot.loaded && context_) {
        context_->impl_->loadMembers(const_cast<ManagedObject&>(*this), relationship);
    }
    return slot.members;
}

std::size_t ManagedObject::toManyCount(const RelationshipDescription& relationship) const {
    fireFaultIfNeeded();
    const auto& slot = toMany_.at(relationship.toManySlot);
    if (slot.loaded) {
        return slot.members.size();
    }
    const auto count = slot.committedCount + slot.unsavedDelta;
    return count > 0 ? std::size_t(count) : 0;
}

bool ManagedObject::hasLoadedMembers(const RelationshipDescription& relationship) const {
    return !fault_ && toMany_.at(relationship.toManySlot).loaded;
}

void ManagedObject::willChange() {
    if (context_) {
        context_->impl_->objectWillChange(*this);
    }
}

void ManagedObject::noteChanged(std::size_t bit) {
    if (context_) {
        context_->impl_->noteForReport(*this, bit);
    }
}

}  // namespace jw::store
