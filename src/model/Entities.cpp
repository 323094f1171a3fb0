#include "Entities.h"

#include <fmt/format.h>

#include <stdexcept>

namespace jw::model {

using store::AttributeType;
using store::Value;

namespace {

std::optional<std::string> readString(const ManagedObject& o, std::size_t i) {
    return store::stringOf(o.valueAt(i));
}
std::optional<Date> readDate(const ManagedObject& o, std::size_t i) {
    return store::dateOf(o.valueAt(i));
}
std::optional<Blob> readBlob(const ManagedObject& o, std::size_t i) {
    if (auto b = std::get_if<Blob>(&o.valueAt(i))) {
        return *b;
    }
    return std::nullopt;
}
std::int64_t readInteger(const ManagedObject& o, std::size_t i) {
    return store::integerOf(o.valueAt(i));
}
template <typename T>
Value optionalValue(std::optional<T> v) {
    return v ? Value{std::move(*v)} : Value{};
}

const store::RelationshipDescription& relationship(const ManagedObject& o, std::size_t i) {
    return o.entity().relationships[i];
}

template <typename T>
std::vector<T*> membersAs(const ManagedObject& o, std::size_t relationshipIndex) {
    const auto& members = o.toMany(relationship(o, relationshipIndex));
    std::vector<T*> out;
    out.reserve(members.size());
    for (auto* m : members) {
        out.push_back(static_cast<T*>(m));
    }
    return out;
}

struct Expected {
    const char* entity;
    std::vector<std::pair<const char*, AttributeType>> attributes;
    std::vector<std::pair<const char*, bool /*toMany*/>> relationships;
};

void check(const store::EntityDescription& e, const Expected& expected) {
    auto fail = [&](const std::string& what) {
        throw std::logic_error(
            fmt::format("the object model does not fit the {} class: {}", e.name, what));
    };
    if (e.attributes.size() != expected.attributes.size()) {
        fail(fmt::format("{} attributes, expected {}", e.attributes.size(),
                         expected.attributes.size()));
    }
    for (std::size_t i = 0; i < expected.attributes.size(); ++i) {
        if (e.attributes[i].name != expected.attributes[i].first ||
            e.attributes[i].type != expected.attributes[i].second) {
            fail(fmt::format("attribute {} is {}", i, e.attributes[i].name));
        }
    }
    if (e.relationships.size() != expected.relationships.size()) {
        fail("relationship count");
    }
    for (std::size_t i = 0; i < expected.relationships.size(); ++i) {
        if (e.relationships[i].name != expected.relationships[i].first ||
            e.relationships[i].toMany != expected.relationships[i].second) {
            fail(fmt::format("relationship {} is {}", i, e.relationships[i].name));
        }
    }
}

}  // namespace

void registerModelClasses(store::ObjectModel& model) {
    using T = AttributeType;
    check(model.requireEntity("Folder"), {"Folder",
                                          {{"created", T::Date},
                                           {"iconImage", T::Binary},
                                           {"name", T::String},
                                           {"sortNumber", T::Integer32}},
                                          {{"lists", true}}});
    check(model.requireEntity("List"), {"List",
                                        {{"created", T::Date},
                                         {"doneCount", T::Integer32},
                                         {"iconImage", T::Binary},
                                         {"isSmart", T::Boolean},
                                         {"name", T::String},
                                         {"smartCreatedFrom", T::Date},
                                         {"smartCreatedTo", T::Integer16},
                                         {"smartImportanceFrom", T::Integer16},
                                         {"smartImportanceTo", T::Integer16},
                                         {"smartStarsFrom", T::Integer16},
                                         {"smartStarsTo", T::Integer16},
                                         {"sortMode", T::Integer16},
                                         {"sortNumber", T::Integer32},
                                         {"themeKey", T::String}},
                                        {{"inFolder", false},
                                         {"listItems", true},
                                         {"smartInLists", true},
                                         {"smartInListOf", false}}});
    check(model.requireEntity("Item"), {"Item",
                                        {{"body", T::String},
                                         {"created", T::Date},
                                         {"doneDate", T::Date},
                                         {"importance", T::Integer16},
                                         {"isDone", T::Boolean},
                                         {"note", T::String},
                                         {"reminderDate", T::Date},
                                         {"sortNumber", T::Integer32},
                                         {"stars", T::Integer16}},
                                        {{"forList", false}}});
    model.setFactory("Folder",
                     [](const store::EntityDescription& e, store::ManagedObjectContext& c) {
                         return std::make_shared<Folder>(e, c);
                     });
    model.setFactory("List", [](const store::EntityDescription& e, store::ManagedObjectContext& c) {
        return std::make_shared<List>(e, c);
    });
    model.setFactory("Item", [](const store::EntityDescription& e, store::ManagedObjectContext& c) {
        return std::make_shared<Item>(e, c);
    });
}

// Folder ------------------------------------------------------------------------------------

std::optional<Date> Folder::created() const {
    return readDate(*this, kCreated);
}
void Folder::setCreated(std::optional<Date> v) {
    setValueAt(kCreated, optionalValue(v));
}
std::optional<Blob> Folder::iconImage() const {
    return readBlob(*this, kIconImage);
}
void Folder::setIconImage(std::optional<Blob> v) {
    setValueAt(kIconImage, optionalValue(v));
}
std::optional<std::string> Folder::name() const {
    return readString(*this, kName);
}
void Folder::setName(std::optional<std::string> v) {
    setValueAt(kName, optionalValue(v));
}
std::int32_t Folder::sortNumber() const {
    return std::int32_t(readInteger(*this, kSortNumber));
}
void Folder::setSortNumber(std::int32_t v) {
    setValueAt(kSortNumber, std::int64_t{v});
}
std::vector<List*> Folder::lists() const {
    return membersAs<List>(*this, kLists);
}

// List --------------------------------------------------------------------------------------

std::optional<Date> List::created() const {
    return readDate(*this, kCreated);
}
void List::setCreated(std::optional<Date> v) {
    setValueAt(kCreated, optionalValue(v));
}
std::int32_t List::doneCount() const {
    return std::int32_t(readInteger(*this, kDoneCount));
}
void List::setDoneCount(std::int32_t v) {
    setValueAt(kDoneCount, std::int64_t{v});
}
std::optional<Blob> List::iconImage() const {
    return readBlob(*this, kIconImage);
}
void List::setIconImage(std::optional<Blob> v) {
    setValueAt(kIconImage, optionalValue(v));
}
bool List::isSmart() const {
    return store::booleanOf(valueAt(kIsSmart));
}
void List::setIsSmart(bool v) {
    setValueAt(kIsSmart, v);
}
std::optional<std::string> List::name() const {
    return readString(*this, kName);
}
void List::setName(std::optional<std::string> v) {
    setValueAt(kName, optionalValue(v));
}
std::optional<Date> List::smartCreatedFrom() const {
    return readDate(*this, kSmartCreatedFrom);
}
void List::setSmartCreatedFrom(std::optional<Date> v) {
    setValueAt(kSmartCreatedFrom, optionalValue(v));
}
std::int16_t List::smartCreatedTo() const {
    return std::int16_t(readInteger(*this, kSmartCreatedTo));
}
void List::setSmartCreatedTo(std::int16_t v) {
    setValueAt(kSmartCreatedTo, std::int64_t{v});
}
std::int16_t List::smartImportanceFrom() const {
    return std::int16_t(readInteger(*this, kSmartImportanceFrom));
}
void List::setSmartImportanceFrom(std::int16_t v) {
    setValueAt(kSmartImportanceFrom, std::int64_t{v});
}
std::int16_t List::smartImportanceTo() const {
    return std::int16_t(readInteger(*this, kSmartImportanceTo));
}
void List::setSmartImportanceTo(std::int16_t v) {
    setValueAt(kSmartImportanceTo, std::int64_t{v});
}
std::int16_t List::smartStarsFrom() const {
    return std::int16_t(readInteger(*this, kSmartStarsFrom));
}
void List::setSmartStarsFrom(std::int16_t v) {
    setValueAt(kSmartStarsFrom, std::int64_t{v});
}
std::int16_t List::smartStarsTo() const {
    return std::int16_t(readInteger(*this, kSmartStarsTo));
}
void List::setSmartStarsTo(std::int16_t v) {
    setValueAt(kSmartStarsTo, std::int64_t{v});
}
std::int16_t List::sortMode() const {
    return std::int16_t(readInteger(*this, kSortMode));
}
void List::setSortMode(std::int16_t v) {
    setValueAt(kSortMode, std::int64_t{v});
}
std::int32_t List::sortNumber() const {
    return std::int32_t(readInteger(*this, kSortNumber));
}
void List::setSortNumber(std::int32_t v) {
    setValueAt(kSortNumber, std::int64_t{v});
}
std::optional<std::string> List::themeKey() const {
    return readString(*this, kThemeKey);
}
void List::setThemeKey(std::optional<std::string> v) {
    setValueAt(kThemeKey, optionalValue(v));
}

Folder* List::inFolder() const {
    return static_cast<Folder*>(toOne(relationship(*this, kInFolder)));
}
void List::setInFolder(Folder* folder) {
    setToOne(relationship(*this, kInFolder), folder);
}
std::vector<Item*> List::listItems() const {
    return membersAs<Item>(*this, kListItems);
}
std::size_t List::listItemsCount() const {
    return toManyCount(relationship(*this, kListItems));
}
bool List::hasLoadedListItems() const {
    return hasLoadedMembers(relationship(*this, kListItems));
}
std::vector<List*> List::smartInLists() const {
    return membersAs<List>(*this, kSmartInLists);
}
List* List::smartInListOf() const {
    return static_cast<List*>(toOne(relationship(*this, kSmartInListOf)));
}
void List::setSmartInListOf(List* list) {
    setToOne(relationship(*this, kSmartInListOf), list);
}

std::pair<std::optional<std::string>, float> List::progressInfo(const std::string& prefix,
                                                                const std::string& suffix) const {
    const auto count = listItemsCount();
    if (count < 1) {
        return {std::nullopt, 0.0f};
    }
    const std::int32_t done = doneCount();
    std::string text = prefix;
    if (done >= 1) {
        text += std::to_string(done) + "/";
    }
    text += std::to_string(count) + suffix;
    return {std::move(text), float(done) / float(count)};
}

// Item --------------------------------------------------------------------------------------

std::optional<std::string> Item::body() const {
    return readString(*this, kBody);
}
void Item::setBody(std::optional<std::string> v) {
    setValueAt(kBody, optionalValue(v));
}
std::optional<Date> Item::created() const {
    return readDate(*this, kCreated);
}
void Item::setCreated(std::optional<Date> v) {
    setValueAt(kCreated, optionalValue(v));
}
std::optional<Date> Item::doneDate() const {
    return readDate(*this, kDoneDate);
}
void Item::setDoneDate(std::optional<Date> v) {
    setValueAt(kDoneDate, optionalValue(v));
}
std::int16_t Item::importance() const {
    return std::int16_t(readInteger(*this, kImportance));
}
void Item::setImportance(std::int16_t v) {
    setValueAt(kImportance, std::int64_t{v});
}
bool Item::isDone() const {
    return store::booleanOf(valueAt(kIsDone));
}
void Item::setIsDone(bool v) {
    setValueAt(kIsDone, v);
}
std::optional<std::string> Item::note() const {
    return readString(*this, kNote);
}
void Item::setNote(std::optional<std::string> v) {
    setValueAt(kNote, optionalValue(v));
}
std::optional<Date> Item::reminderDate() const {
    return readDate(*this, kReminderDate);
}
void Item::setReminderDate(std::optional<Date> v) {
    setValueAt(kReminderDate, optionalValue(v));
}
std::int32_t Item::sortNumber() const {
    return std::int32_t(readInteger(*this, kSortNumber));
}
void Item::setSortNumber(std::int32_t v) {
    setValueAt(kSortNumber, std::int64_t{v});
}
std::int16_t Item::stars() const {
    return std::int16_t(readInteger(*this, kStars));
}
void Item::setStars(std::int16_t v) {
    setValueAt(kStars, std::int64_t{v});
}

List* Item::forList() const {
    return static_cast<List*>(toOne(relationship(*this, kForList)));
}
void Item::setForList(List* list) {
    setToOne(relationship(*this, kForList), list);
}

}  // namespace jw::model
