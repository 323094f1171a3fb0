#pragma once
// The sync engine's own tables, kept in the store file beside the data so that every change
// to them commits or rolls back with the data it describes:
//   _sync_state       the record of this device's attachment, read and written through
//                     SyncState (SyncState.h), one typed field per key
//   _sync_stamps      the stamp of each object's creation (key "") and of each value written
//                     since (key = attribute or relationship name); the writing device as its
//                     number in _sync_devices, so that a row holds no device identifier text
//   _sync_devices     the devices named by stamps, numbered in the order this store met them
//                     (the numbers are this store's own and never leave it)
//   _sync_tombstones  removed objects; a removal is never undone (of several removals of one
//                     object, the least stamp is kept)
//   _sync_pending     local changes not yet exported, one object change per row (in the line
//                     form of ObjectChange.h, or JSON when an earlier version kept it)
//   _sync_applied     which files of which device are applied (a contiguous watermark plus
//                     the numbers above it)
//   _sync_parked      changes to objects whose creation has not arrived yet, and objects set
//                     aside whole (with their creation) while their owner is removed
//   _sync_links       to-one values whose target has not arrived yet
// A SyncTables works on whichever connection it is given, inside the caller's transaction.
// It keeps what it learnt of the devices table (and what preload() read) for its lifetime, so
// one instance serves one transaction, or several when none of them rolls back after it wrote.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ObjectChange.h"
#include "platform/store/GlobalID.h"
#include "platform/store/Sqlite.h"

namespace jw::sync {

class SyncTables {
  public:
    explicit SyncTables(store::SqliteDatabase& db) : db_(db) {}

    // Creates the tables when they are missing, and brings tables of an earlier layout to this
    // one (in a transaction of its own: call it outside any).
    static void create(store::SqliteDatabase& db);

    // Reads at once, in a few statements, what these tables hold for `ids`: their stamps,
    // removals, and whether anything is parked for them or links from or to them. The calls
    // below then answer for those objects without a statement (and skip writes that would
    // change nothing), keeping what was read up to date as they write. Only writes through
    // this instance are seen: call it where this instance is the tables' only writer until
    // the transaction ends.
    void preload(const std::vector<store::GlobalID>& ids);

    // Every stamp there is, by object and key.
    using StampsByKey = std::map<std::string, Stamp>;
    std::unordered_map<store::GlobalID, StampsByKey, store::GlobalIDHash> allStamps();
    // Stamps every row of `table` (an entity's table) that has no creation stamp with `stamp`,
    // in the order of the stamps' key, so that the new rows go in one after the other.
    void stampUnstamped(const std::string& table, const Stamp& stamp);

    // The stamp of a key's current value: its own, else the object's creation stamp.
    std::optional<Stamp> stampOf(const store::GlobalID& id, const std::string& key);
    std::optional<Stamp> explicitStamp(const store::GlobalID& id, const std::string& key);
    void setStamp(const store::GlobalID& id, const std::string& key, const Stamp& stamp);
    // The same stamp for several keys of one object, in one statement.
    void setStamps(const store::GlobalID& id, const std::vector<std::string_view>& keys,
                   const Stamp& stamp);
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
    // The number of a device in _sync_devices, added when new; the device a number names.
    std::int64_t deviceNumber(const std::string& device);
    const std::string& deviceNamed(std::int64_t number);
    void readDevices();

    store::SqliteDatabase& db_;
    std::unordered_map<std::string, std::int64_t> deviceNumbers_;
    std::unordered_map<std::int64_t, std::string> deviceNames_;

    // What preload() read: every stamp of each object it covers (an empty map for none).
    using IDSet = std::unordered_set<store::GlobalID, store::GlobalIDHash>;
    std::unordered_map<store::GlobalID, StampsByKey, store::GlobalIDHash> stamps_;
    std::unordered_map<store::GlobalID, Stamp, store::GlobalIDHash> tombstones_;
    // Objects known to have nothing parked, no link of their own, no link to them.
    IDSet unparked_, linkless_, untargeted_;
};

}  // namespace jw::sync
