#include "SyncTables.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include "platform/store/StoreConnection.h"
#include "platform/store/StoreRows.h"

namespace jw::sync {

using store::GlobalID;

namespace {

void bindID(store::SqliteStatement& s, int index, const GlobalID& id) {
    s.bindBlob(index, id.bytes.data(), id.bytes.size());
}

GlobalID idFrom(const store::SqliteStatement& s, int column) {
    return store::StoreRows::globalIDAt(s, column).value_or(GlobalID{});
}

}  // namespace

namespace {

// `name` may start with IF NOT EXISTS.
std::string stampsTable(std::string_view name) {
    return fmt::format(
        "CREATE TABLE {} (\"gid\" BLOB NOT NULL, \"key\" TEXT NOT NULL, \"counter\" INTEGER "
        "NOT NULL, \"device\" INTEGER NOT NULL, PRIMARY KEY (\"gid\", \"key\")) WITHOUT ROWID",
        name);
}

// The first layout kept each stamp's device as its identifier text.
bool stampsNameDevicesByText(store::SqliteDatabase& db) {
    auto& s = db.cached(
        "SELECT \"type\" FROM pragma_table_info('_sync_stamps') WHERE \"name\" = 'device'");
    const bool text = s.step() && s.columnText(0) == "TEXT";
    s.reset();
    return text;
}

}  // namespace

void SyncTables::create(store::SqliteDatabase& db) {
    db.execute(
        "CREATE TABLE IF NOT EXISTS \"_sync_state\" (\"key\" TEXT PRIMARY KEY, \"value\" TEXT);"
        "CREATE TABLE IF NOT EXISTS \"_sync_devices\" (\"number\" INTEGER PRIMARY KEY, "
        "\"device\" TEXT NOT NULL UNIQUE);"
        "CREATE TABLE IF NOT EXISTS \"_sync_tombstones\" (\"gid\" BLOB PRIMARY KEY, \"entity\" "
        "TEXT NOT NULL, \"counter\" INTEGER NOT NULL, \"device\" TEXT NOT NULL) WITHOUT ROWID;"
        "CREATE TABLE IF NOT EXISTS \"_sync_pending\" (\"seq\" INTEGER PRIMARY KEY "
        "AUTOINCREMENT, \"file\" INTEGER, \"gid\" BLOB NOT NULL, \"payload\" TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS \"_sync_applied\" (\"device\" TEXT PRIMARY KEY, "
        "\"watermark\" INTEGER NOT NULL, \"above\" TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS \"_sync_parked\" (\"gid\" BLOB PRIMARY KEY, \"payload\" TEXT "
        "NOT NULL) WITHOUT ROWID;"
        "CREATE TABLE IF NOT EXISTS \"_sync_links\" (\"gid\" BLOB NOT NULL, \"key\" TEXT NOT "
        "NULL, \"entity\" TEXT NOT NULL, \"target\" BLOB NOT NULL, PRIMARY KEY (\"gid\", "
        "\"key\")) WITHOUT ROWID;"
        "CREATE INDEX IF NOT EXISTS \"_sync_links_target\" ON \"_sync_links\" (\"target\");");
    db.execute(stampsTable("IF NOT EXISTS \"_sync_stamps\""));
    if (!stampsNameDevicesByText(db)) {
        return;
    }
    // Rebuilt whole in one transaction: a store cut short here keeps the old table.
    store::SqliteTransaction transaction(db);
    if (!stampsNameDevicesByText(db)) {
        return;  // another connection did it meanwhile
    }
    db.execute(
        "INSERT OR IGNORE INTO \"_sync_devices\" (\"device\") SELECT DISTINCT \"device\" FROM "
        "\"_sync_stamps\" ORDER BY \"device\"");
    db.execute("DROP TABLE IF EXISTS \"_sync_stamps_new\"");
    db.execute(stampsTable("\"_sync_stamps_new\""));
    db.execute(
        "INSERT INTO \"_sync_stamps_new\" (\"gid\", \"key\", \"counter\", \"device\") SELECT "
        "s.\"gid\", s.\"key\", s.\"counter\", d.\"number\" FROM \"_sync_stamps\" s JOIN "
        "\"_sync_devices\" d ON d.\"device\" = s.\"device\"");
    db.execute("DROP TABLE \"_sync_stamps\"");
    db.execute("ALTER TABLE \"_sync_stamps_new\" RENAME TO \"_sync_stamps\"");
    transaction.commit();
}

void SyncTables::readDevices() {
    auto& s = db_.cached("SELECT \"number\", \"device\" FROM \"_sync_devices\"");
    while (s.step()) {
        auto name = s.columnText(1);
        deviceNumbers_[name] = s.columnInt(0);
        deviceNames_[s.columnInt(0)] = std::move(name);
    }
    s.reset();
}

std::int64_t SyncTables::deviceNumber(const std::string& device) {
    if (const auto it = deviceNumbers_.find(device); it != deviceNumbers_.end()) {
        return it->second;
    }
    // The one device asked for (a save names only its own), not the whole table.
    auto& known = db_.cached("SELECT \"number\" FROM \"_sync_devices\" WHERE \"device\" = ?");
    known.bindText(1, device);
    std::optional<std::int64_t> found;
    if (known.step()) {
        found = known.columnInt(0);
    }
    known.reset();
    if (found) {
        deviceNumbers_[device] = *found;
        deviceNames_[*found] = device;
        return *found;
    }
    // Another connection may add it meanwhile: its number stands.
    auto& s = db_.cached(
        "INSERT INTO \"_sync_devices\" (\"device\") VALUES (?) ON CONFLICT (\"device\") DO "
        "UPDATE SET \"device\" = excluded.\"device\" RETURNING \"number\"");
    s.bindText(1, device);
    if (!s.step()) {
        db_.fail("numbering a device");
    }
    const auto number = s.columnInt(0);
    s.reset();
    deviceNumbers_[device] = number;
    deviceNames_[number] = device;
    return number;
}

const std::string& SyncTables::deviceNamed(std::int64_t number) {
    auto it = deviceNames_.find(number);
    if (it == deviceNames_.end()) {
        readDevices();  // numbered by another connection since
        it = deviceNames_.find(number);
    }
    if (it == deviceNames_.end()) {
        // A number no device has reads as the least device there is, so any other stamp wins.
        static const std::string kNone;
        return kNone;
    }
    return it->second;
}

void SyncTables::preload(const std::vector<GlobalID>& ids) {
    if (ids.empty()) {
        return;
    }
    for (const auto& id : ids) {
        stamps_.try_emplace(id);
        unparked_.insert(id);
        linkless_.insert(id);
        untargeted_.insert(id);
    }
    const auto in = store::StoreRows::globalIDsIn(1);
    {
        auto& s = db_.cached(
            "SELECT \"gid\", \"key\", \"counter\", \"device\" FROM \"_sync_stamps\" WHERE \"gid\" "
            "IN " +
            in);
        store::StoreRows::bindGlobalIDs(s, 1, ids);
        while (s.step()) {
            stamps_[idFrom(s, 0)][s.columnText(1)] =
                Stamp{s.columnInt(2), deviceNamed(s.columnInt(3))};
        }
        s.reset();
    }
    // The side tables are empty most of the time: asking each of them for every object of a
    // slice would cost a probe per object for nothing.
    bool hasTombstones = false, hasParked = false, hasLinks = false;
    {
        auto& s = db_.cached(
            "SELECT EXISTS (SELECT 1 FROM \"_sync_tombstones\"), EXISTS (SELECT 1 FROM "
            "\"_sync_parked\"), EXISTS (SELECT 1 FROM \"_sync_links\")");
        s.step();
        hasTombstones = s.columnInt(0) != 0;
        hasParked = s.columnInt(1) != 0;
        hasLinks = s.columnInt(2) != 0;
        s.reset();
    }
    if (hasTombstones) {
        auto& s = db_.cached(
            "SELECT \"gid\", \"counter\", \"device\" FROM \"_sync_tombstones\" WHERE \"gid\" IN " +
            in);
        store::StoreRows::bindGlobalIDs(s, 1, ids);
        while (s.step()) {
            tombstones_[idFrom(s, 0)] = Stamp{s.columnInt(1), s.columnText(2)};
        }
        s.reset();
    }
    struct Known {
        bool any;
        const char* sql;
        IDSet* without;
    };
    for (const auto& [any, sql, without] :
         {Known{hasParked, "SELECT \"gid\" FROM \"_sync_parked\" WHERE \"gid\" IN ", &unparked_},
          Known{hasLinks, "SELECT \"gid\" FROM \"_sync_links\" WHERE \"gid\" IN ", &linkless_},
          Known{hasLinks, "SELECT \"target\" FROM \"_sync_links\" WHERE \"target\" IN ",
                &untargeted_}}) {
        if (!any) {
            continue;
        }
        auto& s = db_.cached(sql + in);
        store::StoreRows::bindGlobalIDs(s, 1, ids);
        while (s.step()) {
            without->erase(idFrom(s, 0));
        }
        s.reset();
    }
}

std::unordered_map<GlobalID, SyncTables::StampsByKey, store::GlobalIDHash> SyncTables::allStamps() {
    std::unordered_map<GlobalID, StampsByKey, store::GlobalIDHash> stamps;
    auto& s = db_.cached("SELECT \"gid\", \"key\", \"counter\", \"device\" FROM \"_sync_stamps\"");
    while (s.step()) {
        stamps[idFrom(s, 0)][s.columnText(1)] = Stamp{s.columnInt(2), deviceNamed(s.columnInt(3))};
    }
    s.reset();
    return stamps;
}

void SyncTables::stampUnstamped(const std::string& table, const Stamp& stamp) {
    const auto device = deviceNumber(stamp.device);
    auto& s = db_.cached(fmt::format(
        "INSERT OR IGNORE INTO \"_sync_stamps\" (\"gid\", \"key\", \"counter\", \"device\") "
        "SELECT \"_gid\", '', ?, ? FROM {} ORDER BY \"_gid\"",
        store::StoreConnection::quoted(table)));
    s.bindInt(1, stamp.counter);
    s.bindInt(2, device);
    s.step();
    s.reset();
    stamps_.clear();  // what preload() read no longer holds
}

std::optional<Stamp> SyncTables::explicitStamp(const GlobalID& id, const std::string& key) {
    if (const auto known = stamps_.find(id); known != stamps_.end()) {
        const auto it = known->second.find(key);
        return it == known->second.end() ? std::nullopt : std::optional<Stamp>(it->second);
    }
    auto& s = db_.cached(
        "SELECT \"counter\", \"device\" FROM \"_sync_stamps\" WHERE \"gid\" = ? AND \"key\" = ?");
    bindID(s, 1, id);
    s.bindText(2, key);
    std::optional<Stamp> stamp;
    if (s.step()) {
        stamp = Stamp{s.columnInt(0), deviceNamed(s.columnInt(1))};
    }
    s.reset();
    return stamp;
}

std::optional<Stamp> SyncTables::stampOf(const GlobalID& id, const std::string& key) {
    if (auto own = explicitStamp(id, key)) {
        return own;
    }
    return explicitStamp(id, "");
}

void SyncTables::setStamp(const GlobalID& id, const std::string& key, const Stamp& stamp) {
    auto& s = db_.cached(
        "INSERT INTO \"_sync_stamps\" (\"gid\", \"key\", \"counter\", \"device\") VALUES (?, ?, "
        "?, ?) ON CONFLICT (\"gid\", \"key\") DO UPDATE SET \"counter\" = excluded.\"counter\", "
        "\"device\" = excluded.\"device\"");
    bindID(s, 1, id);
    s.bindText(2, key);
    s.bindInt(3, stamp.counter);
    s.bindInt(4, deviceNumber(stamp.device));
    s.step();
    s.reset();
    if (const auto known = stamps_.find(id); known != stamps_.end()) {
        known->second[key] = stamp;
    }
}

void SyncTables::setStamps(const GlobalID& id, const std::vector<std::string_view>& keys,
                           const Stamp& stamp) {
    if (keys.empty()) {
        return;
    }
    // One statement for all of an object's keys: ?1 the object, ?2 the counter, ?3 the device,
    // then one parameter per key.
    std::string sql =
        "INSERT INTO \"_sync_stamps\" (\"gid\", \"key\", \"counter\", \"device\") VALUES ";
    for (std::size_t i = 0; i < keys.size(); ++i) {
        sql += fmt::format("{}(?1, ?{}, ?2, ?3)", i ? ", " : "", i + 4);
    }
    sql +=
        " ON CONFLICT (\"gid\", \"key\") DO UPDATE SET \"counter\" = excluded.\"counter\", "
        "\"device\" = excluded.\"device\"";
    const auto device = deviceNumber(stamp.device);
    auto& s = db_.cached(sql);
    bindID(s, 1, id);
    s.bindInt(2, stamp.counter);
    s.bindInt(3, device);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        // An empty view may point nowhere, which would bind NULL: the creation's key is "".
        s.bindText(int(i) + 4, keys[i].empty() ? std::string_view("") : keys[i]);
    }
    s.step();
    s.reset();
    if (const auto known = stamps_.find(id); known != stamps_.end()) {
        for (const auto key : keys) {
            known->second[std::string(key)] = stamp;
        }
    }
}

void SyncTables::clearStamps(const GlobalID& id) {
    const auto known = stamps_.find(id);
    if (known != stamps_.end()) {
        if (known->second.empty()) {
            return;
        }
        known->second.clear();
    }
    auto& s = db_.cached("DELETE FROM \"_sync_stamps\" WHERE \"gid\" = ?");
    bindID(s, 1, id);
    s.step();
    s.reset();
}

std::optional<Stamp> SyncTables::tombstone(const GlobalID& id) {
    if (stamps_.count(id)) {
        const auto it = tombstones_.find(id);
        return it == tombstones_.end() ? std::nullopt : std::optional<Stamp>(it->second);
    }
    auto& s =
        db_.cached("SELECT \"counter\", \"device\" FROM \"_sync_tombstones\" WHERE \"gid\" = ?");
    bindID(s, 1, id);
    std::optional<Stamp> stamp;
    if (s.step()) {
        stamp = Stamp{s.columnInt(0), s.columnText(1)};
    }
    s.reset();
    return stamp;
}

void SyncTables::setTombstone(const GlobalID& id, const std::string& entity, const Stamp& stamp) {
    // One removal stands: the one with the least stamp, so that every device keeps the same
    // whichever order several removals of one object arrive in.
    auto& s = db_.cached(
        "INSERT INTO \"_sync_tombstones\" (\"gid\", \"entity\", \"counter\", \"device\") "
        "VALUES (?, ?, ?, ?) ON CONFLICT (\"gid\") DO UPDATE SET \"counter\" = "
        "excluded.\"counter\", \"device\" = excluded.\"device\" WHERE (excluded.\"counter\", "
        "excluded.\"device\") < (\"counter\", \"device\")");
    bindID(s, 1, id);
    s.bindText(2, entity);
    s.bindInt(3, stamp.counter);
    s.bindText(4, stamp.device);
    s.step();
    s.reset();
    if (stamps_.count(id)) {
        const auto [it, added] = tombstones_.try_emplace(id, stamp);
        if (!added && stamp < it->second) {
            it->second = stamp;
        }
    }
}

void SyncTables::addPending(const GlobalID& id, const std::string& payload) {
    auto& s = db_.cached("INSERT INTO \"_sync_pending\" (\"gid\", \"payload\") VALUES (?, ?)");
    bindID(s, 1, id);
    s.bindText(2, payload);
    s.step();
    s.reset();
}

std::int64_t SyncTables::pendingCount() {
    auto& s = db_.cached("SELECT COUNT(DISTINCT \"gid\") FROM \"_sync_pending\"");
    s.step();
    const auto n = s.columnInt(0);
    s.reset();
    return n;
}

SyncTables::Applied SyncTables::applied(const std::string& device) {
    auto& s =
        db_.cached("SELECT \"watermark\", \"above\" FROM \"_sync_applied\" WHERE \"device\" = ?");
    s.bindText(1, device);
    Applied applied;
    if (s.step()) {
        applied.watermark = s.columnInt(0);
        try {
            for (auto seq : nlohmann::json::parse(s.columnText(1))) {
                applied.above.insert(seq.get<std::int64_t>());
            }
        } catch (...) {
            // A damaged list only costs re-applying those files, which changes nothing.
        }
    }
    s.reset();
    return applied;
}

void SyncTables::storeApplied(const std::string& device, const Applied& applied) {
    auto& s = db_.cached(
        "INSERT INTO \"_sync_applied\" (\"device\", \"watermark\", \"above\") VALUES (?, ?, ?) "
        "ON CONFLICT (\"device\") DO UPDATE SET \"watermark\" = excluded.\"watermark\", "
        "\"above\" = excluded.\"above\"");
    s.bindText(1, device);
    s.bindInt(2, applied.watermark);
    s.bindText(3, nlohmann::json(applied.above).dump());
    s.step();
    s.reset();
}

void SyncTables::markApplied(const std::string& device, std::int64_t seq) {
    auto a = applied(device);
    if (a.contains(seq)) {
        return;
    }
    a.above.insert(seq);
    while (a.above.count(a.watermark + 1)) {
        a.above.erase(++a.watermark);
    }
    storeApplied(device, a);
}

void SyncTables::raiseWatermark(const std::string& device, std::int64_t seq) {
    auto a = applied(device);
    if (seq <= a.watermark) {
        return;
    }
    a.watermark = seq;
    std::erase_if(a.above, [&](std::int64_t s) { return s <= seq; });
    while (a.above.count(a.watermark + 1)) {
        a.above.erase(++a.watermark);
    }
    storeApplied(device, a);
}

std::vector<std::pair<std::string, std::int64_t>> SyncTables::watermarks() {
    auto& s = db_.cached("SELECT \"device\", \"watermark\" FROM \"_sync_applied\"");
    std::vector<std::pair<std::string, std::int64_t>> out;
    while (s.step()) {
        out.emplace_back(s.columnText(0), s.columnInt(1));
    }
    s.reset();
    return out;
}

std::optional<ObjectChange> SyncTables::parked(const GlobalID& id) {
    if (unparked_.count(id)) {
        return std::nullopt;
    }
    auto& s = db_.cached("SELECT \"payload\" FROM \"_sync_parked\" WHERE \"gid\" = ?");
    bindID(s, 1, id);
    std::optional<ObjectChange> change;
    if (s.step()) {
        change = ObjectChange::fromJson(nlohmann::json::parse(s.columnText(0)));
    }
    s.reset();
    return change;
}

void SyncTables::park(const GlobalID& id, const ObjectChange& change) {
    ObjectChange merged = change;
    if (auto earlier = parked(id)) {
        merged.absorb(*earlier);
    }
    auto& s = db_.cached(
        "INSERT INTO \"_sync_parked\" (\"gid\", \"payload\") VALUES (?, ?) ON CONFLICT (\"gid\") "
        "DO UPDATE SET \"payload\" = excluded.\"payload\"");
    bindID(s, 1, id);
    s.bindText(2, merged.toJson().dump());
    s.step();
    s.reset();
    unparked_.erase(id);
}

void SyncTables::unpark(const GlobalID& id) {
    if (unparked_.count(id)) {
        return;
    }
    auto& s = db_.cached("DELETE FROM \"_sync_parked\" WHERE \"gid\" = ?");
    bindID(s, 1, id);
    s.step();
    s.reset();
}

void SyncTables::setLink(const GlobalID& source, const std::string& entity, const std::string& key,
                         const GlobalID& target) {
    auto& s = db_.cached(
        "INSERT INTO \"_sync_links\" (\"gid\", \"key\", \"entity\", \"target\") VALUES (?, ?, ?, "
        "?) ON CONFLICT (\"gid\", \"key\") DO UPDATE SET \"target\" = excluded.\"target\"");
    bindID(s, 1, source);
    s.bindText(2, key);
    s.bindText(3, entity);
    bindID(s, 4, target);
    s.step();
    s.reset();
    linkless_.erase(source);
    untargeted_.erase(target);
}

void SyncTables::clearLink(const GlobalID& source, const std::string& key) {
    if (linkless_.count(source)) {
        return;
    }
    auto& s = db_.cached("DELETE FROM \"_sync_links\" WHERE \"gid\" = ? AND \"key\" = ?");
    bindID(s, 1, source);
    s.bindText(2, key);
    s.step();
    s.reset();
}

void SyncTables::clearLinks(const GlobalID& source) {
    if (linkless_.count(source)) {
        return;
    }
    auto& s = db_.cached("DELETE FROM \"_sync_links\" WHERE \"gid\" = ?");
    bindID(s, 1, source);
    s.step();
    s.reset();
    if (stamps_.count(source)) {
        linkless_.insert(source);
    }
}

std::vector<SyncTables::Link> SyncTables::linksTo(const GlobalID& target) {
    if (untargeted_.count(target)) {
        return {};
    }
    auto& s =
        db_.cached("SELECT \"gid\", \"entity\", \"key\" FROM \"_sync_links\" WHERE \"target\" = ?");
    bindID(s, 1, target);
    std::vector<Link> links;
    while (s.step()) {
        links.push_back({idFrom(s, 0), s.columnText(1), s.columnText(2)});
    }
    s.reset();
    return links;
}

}  // namespace jw::sync
