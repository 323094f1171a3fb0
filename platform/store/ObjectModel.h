#pragma once
// The object model: entities with their attributes and relationships, read from the model
// resource (a JSON document). Immutable once loaded; shared by every context of a container.
//
// Relationships always come in inverse pairs, and every to-many relationship's inverse is a
// to-one, which is what the store keeps as a column. Entities and their members keep the
// order of the model file; the index of an attribute or relationship is its position there.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Value.h"

namespace jw::store {

class ManagedObject;
class ManagedObjectContext;
struct EntityDescription;

struct AttributeDescription {
    std::string name;
    AttributeType type;
    std::size_t index = 0;  // position among the entity's attributes
};

enum class DeleteRule { Nullify, Cascade };

struct RelationshipDescription {
    std::string name;
    std::string destinationName;
    std::string inverseName;
    bool toMany = false;
    DeleteRule deleteRule = DeleteRule::Nullify;
    std::size_t index = 0;  // position among the entity's relationships
    const EntityDescription* destination = nullptr;
    const RelationshipDescription* inverse = nullptr;
    std::size_t toOneSlot = 0;   // to-one: position among the entity's to-one relationships
    std::size_t toManySlot = 0;  // to-many: position among the entity's to-many relationships
};

// An order the store keeps an index for, so that fetches sorted this way (each key breaking the
// ties of the one before, the global identifier last) walk the index instead of sorting, and
// counts of the objects that agree on its first keys read the index alone. An index led by a
// to-one relationship also finds that relationship's members: the store then makes no index of
// the relationship's own.
struct FetchIndexDescription {
    std::string name;
    struct Element {
        std::string column;  // an attribute's, or a to-one relationship's
        bool ascending = true;
    };
    std::vector<Element> elements;
    // The global identifier as the last key, as every sorted fetch has it. An index only for
    // finding and counting leaves it out: smaller, and rows that tie are found in file order.
    bool endsWithIdentifier = true;
};

using ObjectFactory =
    std::function<std::shared_ptr<ManagedObject>(const EntityDescription&, ManagedObjectContext&)>;

struct EntityDescription {
    std::string name;
    std::size_t index = 0;  // position among the model's entities
    std::vector<AttributeDescription> attributes;
    std::vector<RelationshipDescription> relationships;
    std::vector<const RelationshipDescription*> toOneRelationships;
    std::vector<const RelationshipDescription*> toManyRelationships;
    std::vector<FetchIndexDescription> fetchIndexes;
    ObjectFactory factory;  // makes the object class of this entity; a plain ManagedObject if empty

    const AttributeDescription* attribute(std::string_view name) const;
    const RelationshipDescription* relationship(std::string_view name) const;
    // Like attribute()/relationship(), but a missing name is a programming error: throws
    // std::logic_error naming the entity and the member.
    const AttributeDescription& requireAttribute(std::string_view name) const;
    const RelationshipDescription& requireRelationship(std::string_view name) const;
};

class ObjectModel {
  public:
    // Parses a model document. Throws StoreError describing the first problem found
    // (unknown type, missing inverse, inverse pair that does not match, duplicate name...).
    static std::shared_ptr<ObjectModel> fromJson(std::string_view json);
    // Reads and parses a model file. Throws StoreError when it is missing or unreadable.
    static std::shared_ptr<ObjectModel> fromFile(const std::filesystem::path& file);

    // The model's version identifier, recorded in every store made from it.
    int version() const { return version_; }
    const std::vector<EntityDescription>& entities() const { return entities_; }
    const EntityDescription* entity(std::string_view name) const;
    const EntityDescription& requireEntity(std::string_view name) const;

    // Sets the class that objects of `entityName` are made as. Call before any context exists.
    void setFactory(std::string_view entityName, ObjectFactory factory);

  private:
    int version_ = 0;
    std::vector<EntityDescription> entities_;
};

}  // namespace jw::store
