#pragma once
// The rows of the entity tables (see StoreConnection.h for the layout), read and written
// through one interface: the only place that writes their SQL and decodes their global
// identifiers. The context, the sync engine's change applier, change recorder and snapshot
// all go through it.
//
// A row's values, where a call takes them whole, are the attributes in model order and then
// the to-one keys in slot order (a to-one without target is an empty Value). The SQL text of
// each kind of statement is made once per entity and kept here; the prepared statements are
// the database's (SqliteDatabase::cached). Calls run inside the caller's transaction, on the
// caller's thread; a failing statement throws StoreError like any other.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "GlobalID.h"
#include "ObjectModel.h"
#include "Sqlite.h"
#include "Value.h"

namespace jw::store {

class StoreRows {
  public:
    explicit StoreRows(SqliteDatabase& db) : db_(db) {}

    // The global identifier kept in `column` of the statement's current row; none for NULL
    // or a blob that is not 16 bytes long.
    static std::optional<GlobalID> globalIDAt(const SqliteStatement& row, int column);
    static void bindGlobalID(SqliteStatement& statement, int index, const GlobalID& id);
    // Many global identifiers in one parameter: `packed` binds them end to end as one blob to
    // parameter `index` of a statement whose SQL says "IN " + globalIDsIn(index), so that one
    // statement tests a column against all of them.
    static void bindGlobalIDs(SqliteStatement& statement, int index,
                              const std::vector<GlobalID>& packed);
    static std::string globalIDsIn(int index);

    // Inserts a row of `e` for `id` with `values` (see above); answers its key.
    std::int64_t insert(const EntityDescription& e, const GlobalID& id,
                        const std::vector<Value>& values);
    // Sets the named columns (attributes or to-ones) of the row with `key`.
    void update(const EntityDescription& e, std::int64_t key,
                const std::vector<std::pair<std::string_view, Value>>& columns);
    // Removes the row with `key` (none there is no error).
    void remove(const EntityDescription& e, std::int64_t key);

    // The row with `key`, or with `id`, every column in StoreConnection::selectColumns()
    // order: the statement stands on the row, or null when there is none. The caller resets
    // the statement when done with the row.
    SqliteStatement* selectByKey(const EntityDescription& e, std::int64_t key);
    SqliteStatement* selectByGlobalID(const EntityDescription& e, const GlobalID& id);

    std::optional<std::int64_t> keyByGlobalID(const EntityDescription& e, const GlobalID& id);
    // The keys of those of `ids` that have a row of `e`, in one statement.
    std::vector<std::pair<GlobalID, std::int64_t>> keysByGlobalIDs(
        const EntityDescription& e, const std::vector<GlobalID>& ids);
    std::optional<GlobalID> globalIDByKey(const EntityDescription& e, std::int64_t key);
    // The stored members of `toMany` of the object with `ownerKey`: key and global identifier.
    std::vector<std::pair<std::int64_t, GlobalID>> membersOf(const RelationshipDescription& toMany,
                                                             std::int64_t ownerKey);

  private:
    struct EntitySql {
        std::string insert, remove, selectByKey, selectByGlobalID, keyByGlobalID, globalIDByKey,
            keysByGlobalIDs;
    };
    const EntitySql& sqlFor(const EntityDescription& e);

    SqliteDatabase& db_;
    std::vector<EntitySql> sql_;  // by entity index, made on first use
};

}  // namespace jw::store
