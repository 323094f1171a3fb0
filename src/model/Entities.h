#pragma once
// The stored entities: Folder, List and Item, as object classes of the store with typed
// properties. Every property reads and writes the object's context; a change is not stored
// until the context is saved.
//
// The classes rely on the object model resource listing each entity's attributes and
// relationships in the order of the enums below; registerModelClasses() checks that, so a
// model file out of step with the code is refused at start-up rather than misread.
//
// Attributes of object type (strings, dates, data) and to-one relationships may be absent;
// scalars always hold a value (0 / false for a new object).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ObjectModel.h"

namespace jw::model {

using store::Blob;
using store::ManagedObject;

class List;
class Item;

// Makes the store build Folder, List and Item objects for those entities. Throws
// std::logic_error when the model does not have the attributes and relationships the classes
// expect, in their order and with their types.
void registerModelClasses(store::ObjectModel& model);

class Folder : public ManagedObject {
  public:
    enum Attribute : std::size_t { kCreated, kIconImage, kName, kSortNumber };
    enum Relationship : std::size_t { kLists };
    using ManagedObject::ManagedObject;

    static store::FetchRequest fetchRequest() { return store::FetchRequest::forEntity("Folder"); }

    std::optional<Date> created() const;
    void setCreated(std::optional<Date> value);
    std::optional<Blob> iconImage() const;
    void setIconImage(std::optional<Blob> value);
    std::optional<std::string> name() const;
    void setName(std::optional<std::string> value);
    std::int32_t sortNumber() const;
    void setSortNumber(std::int32_t value);
    std::vector<List*> lists() const;
};

class List : public ManagedObject {
  public:
    enum Attribute : std::size_t {
        kCreated,
        kDoneCount,
        kIconImage,
        kIsSmart,
        kName,
        kSmartCreatedFrom,
        kSmartCreatedTo,
        kSmartImportanceFrom,
        kSmartImportanceTo,
        kSmartStarsFrom,
        kSmartStarsTo,
        kSortMode,
        kSortNumber,
        kThemeKey
    };
    enum Relationship : std::size_t { kInFolder, kListItems, kSmartInLists, kSmartInListOf };
    using ManagedObject::ManagedObject;

    static store::FetchRequest fetchRequest() { return store::FetchRequest::forEntity("List"); }

    std::optional<Date> created() const;
    void setCreated(std::optional<Date> value);
    std::int32_t doneCount() const;
    void setDoneCount(std::int32_t value);
    std::optional<Blob> iconImage() const;
    void setIconImage(std::optional<Blob> value);
    bool isSmart() const;
    void setIsSmart(bool value);
    std::optional<std::string> name() const;
    void setName(std::optional<std::string> value);
    std::optional<Date> smartCreatedFrom() const;
    void setSmartCreatedFrom(std::optional<Date> value);
    std::int16_t smartCreatedTo() const;
    void setSmartCreatedTo(std::int16_t value);
    std::int16_t smartImportanceFrom() const;
    void setSmartImportanceFrom(std::int16_t value);
    std::int16_t smartImportanceTo() const;
    void setSmartImportanceTo(std::int16_t value);
    std::int16_t smartStarsFrom() const;
    void setSmartStarsFrom(std::int16_t value);
    std::int16_t smartStarsTo() const;
    void setSmartStarsTo(std::int16_t value);
    std::int16_t sortMode() const;
    void setSortMode(std::int16_t value);
    std::int32_t sortNumber() const;
    void setSortNumber(std::int32_t value);
    std::optional<std::string> themeKey() const;
    void setThemeKey(std::optional<std::string> value);

    Folder* inFolder() const;
    void setInFolder(Folder* folder);
    // Every item whose forList is this list, in no particular order (reads them all).
    std::vector<Item*> listItems() const;
    // Their number, without reading them.
    std::size_t listItemsCount() const;
    // Whether listItems would answer from memory, reading nothing from the store.
    bool hasLoadedListItems() const;
    std::vector<List*> smartInLists() const;
    List* smartInListOf() const;
    void setSmartInListOf(List* list);

    // The counts text and done fraction shown for the list: with n items (n >= 1) and the
    // stored doneCount d, prefix + (d >= 1 ? d + "/" : "") + n + suffix and d / n as floats
    // (not clamped; a stale doneCount is used as it is). No items: (nothing, 0).
    std::pair<std::optional<std::string>, float> progressInfo(const std::string& prefix,
                                                              const std::string& suffix) const;
};

class Item : public ManagedObject {
  public:
    enum Attribute : std::size_t {
        kBody,
        kCreated,
        kDoneDate,
        kImportance,
        kIsDone,
        kNote,
        kReminderDate,
        kSortNumber,
        kStars
    };
    enum Relationship : std::size_t { kForList };
    using ManagedObject::ManagedObject;

    static store::FetchRequest fetchRequest() { return store::FetchRequest::forEntity("Item"); }

    std::optional<std::string> body() const;
    void setBody(std::optional<std::string> value);
    std::optional<Date> created() const;
    void setCreated(std::optional<Date> value);
    std::optional<Date> doneDate() const;
    void setDoneDate(std::optional<Date> value);
    std::int16_t importance() const;
    void setImportance(std::int16_t value);
    bool isDone() const;
    void setIsDone(bool value);
    std::optional<std::string> note() const;
    void setNote(std::optional<std::string> value);
    std::optional<Date> reminderDate() const;
    void setReminderDate(std::optional<Date> value);
    std::int32_t sortNumber() const;
    void setSortNumber(std::int32_t value);
    std::int16_t stars() const;
    void setStars(std::int16_t value);

    List* forList() const;
    void setForList(List* list);
};

}  // namespace jw::model
