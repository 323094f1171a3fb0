#pragma once
// What the sync engine exchanges: changes to objects, named by global identifier, each value
// carrying the stamp of the change that wrote it.
//
// A stamp is a logical clock reading plus the writing device's identifier. Stamps order every
// change the same way on every device: first by counter, then by device. Per attribute, the
// value with the greater stamp wins; a removal wins over everything and is never undone.
//
// Stored in this program's own tables (pending exports, changes set aside) an object change
// is JSON:
//   {"e": entity, "g": global id, "x": [counter, device]    (the object was created),
//    "r": [counter, device]                                 (the object was removed),
//    "v": {key: [value] | [value, counter, device], ...}}   (values; no stamp = the "x" one)
// Values, here and in files: numbers and booleans as they are; strings as strings (or
// {"h": hex} when not valid UTF-8); dates as {"t": seconds since 1970}; data as {"b": hex};
// an absent value as null; a to-one relationship as the target's global id string, or null.
// Files carry the same changes in a denser form of their own (see ChangeFile.h).
//
// A local change waiting for its export (_sync_pending) is kept in a line form instead, made
// without building any JSON and written into a change file without decoding its values:
//   "#" kind " " counter " " entity "\n" device "\n" global id "\n" then key "\t" value "\n"...
// One stamp (counter, device) for the whole change, as a save gives it: kind "c" the object was
// created (its values carry the creation stamp), "u" its values were written, "r" it was
// removed (no values). A value is its JSON text as appendEncodedValue writes it (never an
// array, and never holding a newline or a tab). Pending changes of the JSON form above, left by
// an earlier version, are read as well.

#include <compare>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SyncError.h"
#include "platform/store/ObjectModel.h"
#include "platform/store/Value.h"

namespace jw::sync {

// A change this program refuses as it stands (an unknown entity or key, a value of the wrong
// form) is thrown as RefusedFile: the file that brings it is skipped and tried again at the
// next merge. Any other failure while applying a file is no reason to skip it: the merge fails
// and says so.

struct Stamp {
    std::int64_t counter = 0;
    std::string device;
    auto operator<=>(const Stamp&) const = default;
    bool operator==(const Stamp&) const = default;
};

struct KeyChange {
    nlohmann::json value;
    std::optional<Stamp> stamp;  // none: the object's creation stamp
};

struct ObjectChange {
    std::string entity;
    std::string globalID;  // canonical text form
    std::optional<Stamp> created;
    std::optional<Stamp> removed;
    std::map<std::string, KeyChange> values;

    // The stamp a key's value carries here (its own, else the creation stamp, else none).
    std::optional<Stamp> stampOf(const std::string& key) const;
    // Folds a change to the same object in: per key the greater stamp wins, removal wins.
    void absorb(const ObjectChange& other);
    // The highest clock counter mentioned.
    std::int64_t maxCounter() const;

    nlohmann::json toJson() const;
    // Throws RefusedFile with a reason for anything malformed.
    static ObjectChange fromJson(const nlohmann::json& json);
    // The same, taking the values out of `json` instead of copying them.
    static ObjectChange fromJson(nlohmann::json&& json);
};

// The line form of a pending change, built piece by piece: the value of each key is appended
// (appendEncodedValue, or any JSON text that is not an array) between key() and endValue().
class PendingChangeText {
  public:
    enum class Kind : char { created = 'c', updated = 'u', removed = 'r' };
    PendingChangeText(Kind kind, const Stamp& stamp, std::string_view entity,
                      std::string_view globalID);
    std::string& key(std::string_view name);  // returns the text to append the value to
    void endValue() { text_ += '\n'; }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// A pending change of the line form, as views into its text.
struct PendingChangeView {
    PendingChangeText::Kind kind = PendingChangeText::Kind::updated;
    Stamp stamp;
    std::string_view entity;
    std::string_view globalID;
    std::vector<std::pair<std::string_view, std::string_view>> values;  // key, value's JSON
};
// The line form read; none when `text` is of the JSON form. Throws RefusedFile when it is
// neither.
std::optional<PendingChangeView> readPendingChange(std::string_view text);
// A pending change of either form, its values decoded.
ObjectChange pendingChangeFrom(std::string_view text);

// Attribute values to and from their file form. Throws RefusedFile for a form that does not
// fit the type.
nlohmann::json encodeValue(store::AttributeType type, const store::Value& value);
store::Value decodeValue(store::AttributeType type, const nlohmann::json& json);
// Appends encodeValue(type, value) as compact JSON text, without building it.
void appendEncodedValue(std::string& out, store::AttributeType type, const store::Value& value);
// Whether a value reads back as the default value of its type (decodeValue gives the same
// for it as for null).
bool encodesAsDefault(store::AttributeType type, const store::Value& value);

}  // namespace jw::sync
