#pragma once
// The files devices leave in the cloud folder: change files (what one device changed since its
// previous file) and baselines (everything one device knew, replacing older change files).
// Both are immutable once written, and written under a temporary name and renamed.
//
// Format 2. One header line of JSON, then the payload, a JSON array of object changes:
//   {"jotwell-sync": 2, "kind": "changes"|"baseline", "ensemble": <identifier>,
//    "device": <device>, "sequence": <n>, "model": <model version>,
//    "coverage": {device: n, ...} (baselines),
//    "devices": [<device>, ...]            (the other devices stamps name, by position),
//    "entities": [[<entity>, [<key>, ...], [<link key index>, ...]], ...]
//                                          (the entities and keys changes name; the values of
//                                          link keys are global identifiers, see below),
//    "length": <payload bytes>, "crc32": <n>}\n
//   [ change, change, ... ]
// A change is an array:
//   [entity, "id", created, [key, value, key, value, ...]]   or the same with a fifth
//   element, removed.
//   entity     an index into "entities"
//   id         the object's global identifier in its 22-character short form
//   created    the stamp of its creation, or null
//   key        an index into that entity's keys
//   value      a value (see ObjectChange.h) carrying the creation stamp, or
//              [value, counter] / [value, counter, device index] with a stamp of its own
//              (values are never arrays, so an array always means a stamped value)
//   removed    the stamp of its removal
// The value of a link key (a to-one relationship) is its target's global identifier in the
// short form, or null; the same key may be listed twice, once as a link and once not (then
// its values are written as any other, identifiers in their canonical text).
// A stamp is a bare counter when the writer (the header's "device") made it, else
// [counter, index into "devices"]. In a creation, a key left out holds its default value
// under the creation stamp, exactly as if it were spelled out.
//
// A reader checks everything it can: the format is the one it knows (older formats are
// refused like newer ones) and the model is not newer than it knows, the file is whole
// (length), undamaged (CRC-32) and where it should be (ensemble, device, sequence), every
// index names an entry of its table; a file failing any check is refused with the reason.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ObjectChange.h"
#include "platform/store/GlobalID.h"

namespace jw::sync {

constexpr int kChangeFileFormat = 2;

struct ChangeFileHeader {
    int format = kChangeFileFormat;
    std::string kind = "changes";
    std::string ensemble;
    std::string device;
    std::int64_t sequence = 0;
    int modelVersion = 0;
    std::map<std::string, std::int64_t> coverage;
};

struct ChangeFile {
    ChangeFileHeader header;
    std::vector<ObjectChange> changes;
};

// Writes one file, change by change, into one string; the tables the changes refer to are
// gathered on the way and written in the header by finish(). Changes go in either whole
// (add) or piece by piece straight from other data (beginChange, value, endChange), the
// values then appended as their file text (see appendEncodedValue). Not thread-safe.
class ChangeFileWriter {
  public:
    explicit ChangeFileWriter(ChangeFileHeader header);

    // Appends a change. One whose global identifier is not a canonical one is left out: no
    // device could apply it.
    void add(const ObjectChange& change);
    // Appends a pending change as the store keeps it (see ObjectChange.h), either form; the
    // line form's values go in as they are, undecoded.
    void addPending(std::string_view stored);

    // The index of an entity, and of a key of it, in the header's tables. A `link` key's
    // values are written with link().
    std::size_t entity(const std::string& name);
    std::size_t key(std::size_t entity, const std::string& name, bool link = false);
    void beginChange(std::size_t entity, const store::GlobalID& id,
                     const std::optional<Stamp>& created);
    // Appends a key; `appendValue(std::string&)` appends its value's JSON text.
    template <typename AppendValue>
    void value(std::size_t key, const std::optional<Stamp>& stamp, AppendValue&& appendValue) {
        beginValue(key, stamp.has_value());
        appendValue(payload_);
        endValue(stamp);
    }
    // Appends a link key with its target (none: null).
    void link(std::size_t key, const std::optional<Stamp>& stamp,
              const std::optional<store::GlobalID>& target);
    void endChange(const std::optional<Stamp>& removed);

    std::size_t changeCount() const { return changes_; }
    // The file's bytes; the writer is spent.
    std::string finish();

  private:
    void beginValue(std::size_t key, bool stamped);
    void endValue(const std::optional<Stamp>& stamp);
    void appendStamp(const Stamp& stamp);

    struct EntityTable {
        std::string name;
        std::vector<std::string> keys;
        std::vector<std::size_t> links;                         // which keys are link keys
        std::unordered_map<std::string, std::size_t> index[2];  // plain keys, link keys
    };
    ChangeFileHeader header_;
    std::string payload_;
    std::size_t changes_ = 0;
    bool firstValue_ = true;
    std::vector<std::string> devices_;
    std::unordered_map<std::string, std::size_t> deviceIndex_;
    std::vector<EntityTable> entities_;
    std::unordered_map<std::string, std::size_t> entityIndex_;
};

std::string encodeChangeFile(const ChangeFile& file);
// The same, from pending changes as the store keeps them (either form, see ObjectChange.h); one
// that does not parse is an error (std::exception), not left out.
std::string encodeChangeFile(const ChangeFileHeader& header,
                             const std::vector<std::string>& storedChanges);

// Throws RefusedFile with the reason when the bytes are not a whole, undamaged file
// of a format and model this program understands.
ChangeFile decodeChangeFile(const std::string& bytes, int supportedModelVersion);

}  // namespace jw::sync
