#pragma once
// The sync engine's own tables, kept in the store file beside the data so that every change
// to them commits or rolls back with the data it describes:
//   _sync_state       the record of this device's attachment, read and written through
//                     SyncState (SyncState.h), one typed field per key
//   _sync_stamps      the stamp of each object's creation (key "") and of each value written
//                     since (key = attribute or relationship name)
//   _sync_tombstones  removed objects; a removal is never undone (of several removals of one
//                     object, the least stamp is kept)
//   _sync_pending     local changes not yet exported, one object change (JSON) per row
//   _sync_applied     which files of which device are applied (a contiguous watermark plus
//                     the numbers above it)
//   _sync_parked      changes to objects whose creation has not arrived yet, and objects set
//                     aside whole (with their creation) while their owner is removed
//   _sync_links       to-one values whose target has not arrived yet
// A SyncTables works on whichever connection it is given, inside the caller's transaction.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ObjectChange.h"
#include "platform/store/GlobalID.h"
#include "platform/store/Sqlite.h"

namespace jw::sync {

class SyncTables {
  public:
    explicit SyncTables(store::SqliteDatabase& db) : db_(db) {}

    // Creates the tables when they are missing.
    static void create(store::SqliteDatabase& db);

    // The stamp of a key's current value: its own, else the object's creation stamp.
    std::optional<Stamp> stampOf(const store::GlobalID& id, const std::string& key);
    std::optional<Stamp> explicitStamp(const store::GlobalID& id, const std::string& key);
    void setStamp(const store::GlobalID& id, const std::string& key, const Stamp& stamp);
    void clearStamps(const store::GlobalID& id);

    std::optional<Stamp> tombstone(const store::GlobalID& id);
    void setTombstone(const store::GlobalID& id, const std::string& entity, const Stamp& stamp);

    void addPending(const store::GlobalID& id, const std::string& payload);
    std::int64_t pendingCount();

    struct Applied {
        std::int64_t watermark = 0;
        std::set<std::int64_t> above;
        bool contains(std::int64_t seq) const { return seq <= watermark || above.count(seq); }
    };
    Applied applied(const std::string& device);
    void markApplied(const std::string& device, std::int64_t seq);
    void raiseWatermark(const std::string& device, std::int64_t seq);
    std::vector<std::pair<std::string, std::int64_t>> watermarks();

    std::optional<ObjectChange> parked(const store::GlobalID& id);
    void park(const store::GlobalID& id, const ObjectChange& change);
    void unpark(const store::GlobalID& id);

    struct Link {
        store::GlobalID source;
        std::string entity;
        std::string key;
    };
    void setLink(const store::GlobalID& source, const std::string& entity, const std::string& key,
                 const store::GlobalID& target);
    void clearLink(const store::GlobalID& source, const std::string& key);
    void clearLinks(const store::GlobalID& source);
    std::vector<Link> linksTo(const store::GlobalID& target);

  private:
    void storeApplied(const std::string& device, const Applied& applied);

    store::SqliteDatabase& db_;
};

}  // namespace jw::sync
