#pragma once
// The sync engine's record of this device's attachment, kept in the store's _sync_state table
// (see SyncTables.h): one typed field per key, so that the attacher, the importer, the
// exporter, the compactor, the change recorder and the change applier name each key once.
//
// Works on whichever connection it is given, inside the caller's transaction. A field never
// written reads as its `absent` value.

#include <cstdint>
#include <string>

#include "platform/store/Sqlite.h"

namespace jw::sync {

struct SyncTextField {
    const char* key;
    const char* absent;
};
struct SyncNumberField {
    const char* key;
    std::int64_t absent;
};
struct SyncFlagField {  // stored as 1 or 0
    const char* key;
};

namespace state {
// This device's identifier in the ensemble; empty until the store is first attached.
inline constexpr SyncTextField device{"device", ""};
// The identity an attach under way registers with, kept so that an attach cut short comes
// back as the same device; empty when no attach is under way.
inline constexpr SyncTextField attachingAs{"attachingAs", ""};
inline constexpr SyncTextField ensemble{"ensemble", ""};  // the ensemble file's identifier
// Where the cloud folder attached to was reached (CloudFileSystem::location()).
inline constexpr SyncTextField cloudLocation{"cloudLocation", ""};
// This device's baselines: [{"sequence": n, "coverage": {device: files}}, ...].
inline constexpr SyncTextField baselines{"baselines", "[]"};
inline constexpr SyncFlagField attached{"attached"};
inline constexpr SyncFlagField lost{"lost"};  // the attachment ended on plain evidence
// A local save touched an object set aside by a merge; the next merge looks at them again.
inline constexpr SyncFlagField asideChanged{"asideChanged"};
inline constexpr SyncNumberField clock{"clock", 0};        // the logical clock of the stamps
inline constexpr SyncNumberField nextFile{"nextFile", 1};  // the next change file's number
// The change file an export has claimed records for (0: none) and its last record: an export
// cut short writes the same file again.
inline constexpr SyncNumberField claimFile{"claimFile", 0};
inline constexpr SyncNumberField claimThrough{"claimThrough", 0};
inline constexpr SyncNumberField exported{"exported", 0};  // own change files written, 1..n
// The files an attach claimed for the store's snapshot, firstFilesFrom..firstFilesThrough,
// until they are all written (0: none owed): the next merge writes them again.
inline constexpr SyncNumberField firstFilesFrom{"firstFilesFrom", 0};
inline constexpr SyncNumberField firstFilesThrough{"firstFilesThrough", 0};
}  // namespace state

class SyncState {
  public:
    explicit SyncState(store::SqliteDatabase& db) : db_(db) {}

    std::string get(const SyncTextField& field);
    std::int64_t get(const SyncNumberField& field);
    bool get(const SyncFlagField& field);
    void set(const SyncTextField& field, const std::string& value);
    void set(const SyncNumberField& field, std::int64_t value);
    void set(const SyncFlagField& field, bool value);

  private:
    store::SqliteDatabase& db_;
};

}  // namespace jw::sync
