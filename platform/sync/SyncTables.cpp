#include "SyncTables.h"

#include <nlohmann/json.hpp>

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

void SyncTables::create(store::SqliteDatabase& db) {
    db.execute(
        "CREATE TABLE IF NOT EXISTS \"_sync_state\" (\"key\" TEXT PRIMARY KEY, \"value\" TEXT);"
        "CREATE TABLE IF NOT EXISTS \"_sync_stamps\" (\"gid\" BLOB NOT NULL, \"key\" TEXT NOT "
        "NULL, \"counter\" INTEGER NOT NULL, \"device\" TEXT NOT NULL, PRIMARY KEY (\"gid\", "
        "\"key\")) WITHOUT ROWID;"
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
}

std::optional<Stamp> SyncTables::explicitStamp(const GlobalID& id, const std::string& key) {
    auto& s = db_.cached(
        "SELECT \"counter\", \"device\" FROM \"_sync_stamps\" WHERE \"gid\" = ? AND \"key\" = ?");
    bindID(s, 1, id);
    s.bindText(2, key);
    std::optional<Stamp> stamp;
    if (s.step()) {
        stamp = Stamp{s.columnInt(0), s.columnText(1)};
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
    s.bindText(4, stamp.device);
    s.step();
    s.reset();
}

void SyncTables::clearStamps(const GlobalID& id) {
    auto& s = db_.cached("DELETE FROM \"_sync_stamps\" WHERE \"gid\" = ?");
    bindID(s, 1, id);
    s.step();
    s.reset();
}

std::optional<Stamp> SyncTables::tombstone(const GlobalID& id) {
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
}

void SyncTables::unpark(const GlobalID& id) {
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
}

void SyncTables::clearLink(const GlobalID& source, const std::string& key) {
    auto& s = db_.cached("DELETE FROM \"_sync_links\" WHERE \"gid\" = ? AND \"key\" = ?");
    bindID(s, 1, source);
    s.bindText(2, key);
    s.step();
    s.reset();
}

void SyncTables::clearLinks(const GlobalID& source) {
    auto& s = db_.cached("DELETE FROM \"_sync_links\" WHERE \"gid\" = ?");
    bindID(s, 1, source);
    s.step();
    s.reset();
}

std::vector<SyncTables::Link> SyncTables::linksTo(const GlobalID& target) {
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
