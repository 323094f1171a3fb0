#include "StoreRows.h"

#include <fmt/format.h>

#include <algorithm>

#include "StoreConnection.h"

namespace jw::store {

std::optional<GlobalID> StoreRows::globalIDAt(const SqliteStatement& row, int column) {
    const auto* data = static_cast<const unsigned char*>(row.columnBlobData(column));
    if (!data || row.columnBytes(column) != 16) {
        return std::nullopt;
    }
    GlobalID id;
    std::copy(data, data + 16, id.bytes.begin());
    return id;
}

void StoreRows::bindGlobalID(SqliteStatement& statement, int index, const GlobalID& id) {
    statement.bindBlob(index, id.bytes.data(), id.bytes.size());
}

const StoreRows::EntitySql& StoreRows::sqlFor(const EntityDescription& e) {
    if (sql_.size() <= e.index) {
        sql_.resize(e.index + 1);
    }
    auto& sql = sql_[e.index];
    if (sql.insert.empty()) {
        const auto table = StoreConnection::quoted(e.name);
        std::string columns = "\"_gid\"";
        std::string parameters = "?";
        for (const auto& a : e.attributes) {
            columns += ", " + StoreConnection::quoted(a.name);
            parameters += ", ?";
        }
        for (const auto* r : e.toOneRelationships) {
            columns += ", " + StoreConnection::quoted(r->name);
            parameters += ", ?";
        }
        sql.insert = fmt::format("INSERT INTO {} ({}) VALUES ({})", table, columns, parameters);
        sql.remove = fmt::format("DELETE FROM {} WHERE \"_key\" = ?", table);
        sql.selectByKey = fmt::format("SELECT {} FROM {} WHERE \"_key\" = ?",
                                      StoreConnection::selectColumns(e), table);
        sql.selectByGlobalID = fmt::format("SELECT {} FROM {} WHERE \"_gid\" = ?",
                                           StoreConnection::selectColumns(e), table);
        sql.keyByGlobalID = fmt::format("SELECT \"_key\" FROM {} WHERE \"_gid\" = ?", table);
        sql.globalIDByKey = fmt::format("SELECT \"_gid\" FROM {} WHERE \"_key\" = ?", table);
        sql.keysByGlobalIDs = fmt::format("SELECT \"_gid\", \"_key\" FROM {} WHERE \"_gid\" IN {}",
                                          table, globalIDsIn(1));
    }
    return sql;
}

std::int64_t StoreRows::insert(const EntityDescription& e, const GlobalID& id,
                               const std::vector<Value>& values) {
    auto& insert = db_.cached(sqlFor(e).insert);
    bindGlobalID(insert, 1, id);
    for (std::size_t i = 0; i < values.size(); ++i) {
        insert.bindValue(int(i) + 2, values[i]);
    }
    insert.step();
    insert.reset();
    return db_.lastInsertRowid();
}

void StoreRows::update(const EntityDescription& e, std::int64_t key,
                       const std::vector<std::pair<std::string_view, Value>>& columns) {
    if (columns.empty()) {
        return;
    }
    // The columns changed differ from save to save: the statement is made for each set of
    // them (and prepared once per set, by the database's cache).
    std::string assignments;
    for (const auto& [name, value] : columns) {
        assignments += (assignments.empty() ? "" : ", ") + StoreConnection::quoted(name) + " = ?";
    }
    auto& update = db_.cached(fmt::format("UPDATE {} SET {} WHERE \"_key\" = ?",
                                          StoreConnection::quoted(e.name), assignments));
    int i = 1;
    for (const auto& [name, value] : columns) {
        update.bindValue(i++, value);
    }
    update.bindInt(i, key);
    update.step();
    update.reset();
}

void StoreRows::remove(const EntityDescription& e, std::int64_t key) {
    auto& remove = db_.cached(sqlFor(e).remove);
    remove.bindInt(1, key);
    remove.step();
    remove.reset();
}

SqliteStatement* StoreRows::selectByKey(const EntityDescription& e, std::int64_t key) {
    auto& select = db_.cached(sqlFor(e).selectByKey);
    select.bindInt(1, key);
    if (select.step()) {
        return &select;
    }
    select.reset();
    return nullptr;
}

SqliteStatement* StoreRows::selectByGlobalID(const EntityDescription& e, const GlobalID& id) {
    auto& select = db_.cached(sqlFor(e).selectByGlobalID);
    bindGlobalID(select, 1, id);
    if (select.step()) {
        return &select;
    }
    select.reset();
    return nullptr;
}

void StoreRows::bindGlobalIDs(SqliteStatement& statement, int index,
                              const std::vector<GlobalID>& packed) {
    // GlobalID is its 16 bytes and nothing else, so the vector's storage is the packed form.
    static_assert(sizeof(GlobalID) == 16);
    statement.bindBlob(index, packed.data(), packed.size() * sizeof(GlobalID));
}

std::string StoreRows::globalIDsIn(int index) {
    // SQLite has no array parameter; a recursive walk over the blob in 16-byte steps lists
    // them (an empty blob lists one empty blob, which is no identifier).
    return fmt::format(
        "(WITH RECURSIVE \"_packed\"(\"at\") AS (SELECT 0 UNION ALL SELECT \"at\" + 16 FROM "
        "\"_packed\" WHERE \"at\" + 16 < length(?{0})) SELECT substr(?{0}, \"at\" + 1, 16) FROM "
        "\"_packed\")",
        index);
}

std::optional<std::int64_t> StoreRows::keyByGlobalID(const EntityDescription& e,
                                                     const GlobalID& id) {
    auto& select = db_.cached(sqlFor(e).keyByGlobalID);
    bindGlobalID(select, 1, id);
    std::optional<std::int64_t> key;
    if (select.step()) {
        key = select.columnInt(0);
    }
    select.reset();
    return key;
}

std::vector<std::pair<GlobalID, std::int64_t>> StoreRows::keysByGlobalIDs(
    const EntityDescription& e, const std::vector<GlobalID>& ids) {
    std::vector<std::pair<GlobalID, std::int64_t>> keys;
    if (ids.empty()) {
        return keys;
    }
    auto& select = db_.cached(sqlFor(e).keysByGlobalIDs);
    bindGlobalIDs(select, 1, ids);
    while (select.step()) {
        if (const auto id = globalIDAt(select, 0)) {
            keys.emplace_back(*id, select.columnInt(1));
        }
    }
    select.reset();
    return keys;
}

std::optional<GlobalID> StoreRows::globalIDByKey(const EntityDescription& e, std::int64_t key) {
    auto& select = db_.cached(sqlFor(e).globalIDByKey);
    select.bindInt(1, key);
    std::optional<GlobalID> id;
    if (select.step()) {
        id = globalIDAt(select, 0);
    }
    select.reset();
    return id;
}

std::vector<std::pair<std::int64_t, GlobalID>> StoreRows::membersOf(
    const RelationshipDescription& toMany, std::int64_t ownerKey) {
    auto& select = db_.cached(fmt::format("SELECT \"_key\", \"_gid\" FROM {} WHERE {} = ?",
                                          StoreConnection::quoted(toMany.destination->name),
                                          StoreConnection::quoted(toMany.inverse->name)));
    select.bindInt(1, ownerKey);
    std::vector<std::pair<std::int64_t, GlobalID>> members;
    while (select.step()) {
        members.emplace_back(select.columnInt(0), globalIDAt(select, 1).value_or(GlobalID{}));
    }
    select.reset();
    return members;
}

}  // namespace jw::store
