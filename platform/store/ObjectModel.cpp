#include "ObjectModel.h"

#include <algorithm>

#include <fmt/format.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#include "StoreError.h"

namespace jw::store {

namespace {

using nlohmann::json;

[[noreturn]] void invalid(const std::string& what) {
    throw StoreError("The object model is invalid", what);
}

AttributeType parseType(const std::string& name) {
    static const std::pair<const char*, AttributeType> kTypes[] = {
        {"integer16", AttributeType::Integer16}, {"integer32", AttributeType::Integer32},
        {"integer64", AttributeType::Integer64}, {"boolean", AttributeType::Boolean},
        {"double", AttributeType::Double},       {"string", AttributeType::String},
        {"date", AttributeType::Date},           {"binary", AttributeType::Binary},
    };
    for (const auto& [text, type] : kTypes) {
        if (name == text) {
            return type;
        }
    }
    invalid(fmt::format("unknown attribute type \"{}\"", name));
}

std::string requireString(const json& object, const char* key, const std::string& where) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string() || it->get<std::string>().empty()) {
        invalid(fmt::format("{} needs a non-empty string \"{}\"", where, key));
    }
    return it->get<std::string>();
}

// An optional member: its value, the fallback when it is missing; one of another type is an
// error of the document (and not the JSON library's exception).
template <typename T>
T optionalMember(const json& object, const char* key, T fallback, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return fallback;
    }
    try {
        return it->template get<T>();
    } catch (const json::exception&) {
        invalid(fmt::format("{} has a \"{}\" of the wrong type", where, key));
    }
}

}  // namespace

const AttributeDescription* EntityDescription::attribute(std::string_view n) const {
    for (const auto& a : attributes) {
        if (a.name == n) {
            return &a;
        }
    }
    return nullptr;
}

const RelationshipDescription* EntityDescription::relationship(std::string_view n) const {
    for (const auto& r : relationships) {
        if (r.name == n) {
            return &r;
        }
    }
    return nullptr;
}

const AttributeDescription& EntityDescription::requireAttribute(std::string_view n) const {
    if (auto a = attribute(n)) {
        return *a;
    }
    throw std::logic_error(fmt::format("entity {} has no attribute {}", name, n));
}

const RelationshipDescription& EntityDescription::requireRelationship(std::string_view n) const {
    if (auto r = relationship(n)) {
        return *r;
    }
    throw std::logic_error(fmt::format("entity {} has no relationship {}", name, n));
}

std::shared_ptr<ObjectModel> ObjectModel::fromJson(std::string_view text) {
    json document;
    try {
        document = json::parse(text);
    } catch (const json::parse_error& e) {
        invalid(e.what());
    }
    if (!document.is_object() || !document.contains("entities") ||
        !document["entities"].is_array()) {
        invalid("the document needs an array \"entities\"");
    }
    auto model = std::make_shared<ObjectModel>();
    model->version_ = optionalMember(document, "version", 0, "the document");
    if (model->version_ < 1) {
        invalid("the document needs a positive \"version\"");
    }

    std::set<std::string> entityNames;
    for (const auto& e : document["entities"]) {
        EntityDescription entity;
        entity.name = requireString(e, "name", "an entity");
        if (!entityNames.insert(entity.name).second || entity.name.starts_with('_')) {
            invalid(fmt::format("entity name \"{}\" is repeated or reserved", entity.name));
        }
        entity.index = model->entities_.size();
        std::set<std::string> memberNames;
        auto claim = [&](const std::string& name) {
            if (!memberNames.insert(name).second || name.starts_with('_')) {
                invalid(fmt::format("{}.{} is repeated or reserved", entity.name, name));
            }
        };
        for (const auto& a : e.value("attributes", json::array())) {
            AttributeDescription attribute;
            attribute.name = requireString(a, "name", "an attribute of " + entity.name);
            claim(attribute.name);
            attribute.type =
                parseType(requireString(a, "type", entity.name + "." + attribute.name));
            attribute.index = entity.attributes.size();
            entity.attributes.push_back(attribute);
        }
        for (const auto& r : e.value("relationships", json::array())) {
            RelationshipDescription relationship;
            relationship.name = requireString(r, "name", "a relationship of " + entity.name);
            claim(relationship.name);
            relationship.destinationName = requireString(r, "destination", relationship.name);
            relationship.inverseName = requireString(r, "inverse", relationship.name);
            const std::string where = entity.name + "." + relationship.name;
            relationship.toMany = optionalMember(r, "toMany", false, where);
            const std::string rule = optionalMember(r, "deleteRule", std::string("nullify"), where);
            if (rule == "cascade") {
                relationship.deleteRule = DeleteRule::Cascade;
            } else if (rule != "nullify") {
                invalid(fmt::format("unknown delete rule \"{}\"", rule));
            }
            relationship.index = entity.relationships.size();
            entity.relationships.push_back(relationship);
        }
        for (const auto& f : e.value("fetchIndexes", json::array())) {
            FetchIndexDescription index;
            index.name = requireString(f, "name", "a fetch index of " + entity.name);
            const std::string where = entity.name + "." + index.name;
            for (const auto& element : f.value("elements", json::array())) {
                const auto key = requireString(element, "key", where);
                const bool toOne = std::any_of(
                    entity.relationships.begin(), entity.relationships.end(),
                    [&](const auto& r) { return r.name == key && !r.toMany; });
                if (!entity.attribute(key) && !toOne) {
                    invalid(fmt::format(
                        "fetch index {} names {}, neither an attribute nor a to-one relationship",
                        where, key));
                }
                index.elements.push_back({key, optionalMember(element, "ascending", true, where)});
            }
            if (index.elements.empty()) {
                invalid(fmt::format("fetch index {} has no elements", where));
            }
            index.endsWithIdentifier = optionalMember(f, "endsWithIdentifier", true, where);
            entity.fetchIndexes.push_back(std::move(index));
        }
        if (entity.attributes.size() + entity.relationships.size() > 32 ||
            entity.relationships.size() > 32) {
            invalid(fmt::format("entity {} has too many members", entity.name));
        }
        model->entities_.push_back(std::move(entity));
    }

    // Resolve destinations and inverses now that every entity exists; the vector no longer
    // grows, so pointers into it stay valid.
    for (auto& entity : model->entities_) {
        for (auto& relationship : entity.relationships) {
            relationship.destination = model->entity(relationship.destinationName);
            if (!relationship.destination) {
                invalid(fmt::format("{}.{} names unknown entity {}", entity.name, relationship.name,
                                    relationship.destinationName));
            }
            relationship.inverse = relationship.destination->relationship(relationship.inverseName);
            const auto* inverse = relationship.inverse;
            if (!inverse || inverse->destinationName != entity.name ||
                inverse->inverseName != relationship.name) {
                invalid(fmt::format("{}.{} and its inverse {} do not form a pair", entity.name,
                                    relationship.name, relationship.inverseName));
            }
            if (relationship.toMany == inverse->toMany) {
                invalid(
                    fmt::format("{}.{}: a relationship pair must be one to-one and one "
                                "to-many",
                                entity.name, relationship.name));
            }
            if (relationship.toMany) {
                relationship.toManySlot = entity.toManyRelationships.size();
                entity.toManyRelationships.push_back(&relationship);
            } else {
                relationship.toOneSlot = entity.toOneRelationships.size();
                entity.toOneRelationships.push_back(&relationship);
            }
        }
    }
    return model;
}

std::shared_ptr<ObjectModel> ObjectModel::fromFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw StoreError("The object model could not be read", file.string());
    }
    std::ostringstream text;
    text << in.rdbuf();
    return fromJson(text.str());
}

const EntityDescription* ObjectModel::entity(std::string_view name) const {
    for (const auto& e : entities_) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

const EntityDescription& ObjectModel::requireEntity(std::string_view name) const {
    if (auto e = entity(name)) {
        return *e;
    }
    throw std::logic_error(fmt::format("the object model has no entity {}", name));
}

void ObjectModel::setFactory(std::string_view entityName, ObjectFactory factory) {
    for (auto& e : entities_) {
        if (e.name == entityName) {
            e.factory = std::move(factory);
            return;
        }
    }
    throw std::logic_error(fmt::format("the object model has no entity {}", entityName));
}

}  // namespace jw::store
