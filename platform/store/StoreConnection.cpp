#include "StoreConnection.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

#include "CommitHooks.h"
#include "GlobalID.h"
#include "StoreError.h"

namespace jw::store {

namespace {

const char* columnType(AttributeType type) {
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
        case AttributeType::Boolean:
            return "INTEGER NOT NULL DEFAULT 0";
        case AttributeType::Double:
            return "REAL NOT NULL DEFAULT 0";
        case AttributeType::String:
            return "TEXT";
        case AttributeType::Date:
            return "REAL";
        case AttributeType::Binary:
            return "BLOB";
    }
    return "BLOB";
}

std::string countColumn(const RelationshipDescription& toMany) {
    return StoreConnection::quoted("_count_" + toMany.name);
}

}  // namespace

std::string StoreConnection::quoted(std::string_view identifier) {
    std::string out = "\"";
    for (char c : identifier) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string StoreConnection::selectColumns(const EntityDescription& entity) {
    std::string columns = "\"_key\", \"_gid\"";
    for (const auto& a : entity.attributes) {
        columns += ", " + quoted(a.name);
    }
    for (const auto* r : entity.toOneRelationships) {
        columns += ", " + quoted(r->name);
    }
    for (const auto* r : entity.toManyRelationships) {
        columns += ", " + countColumn(*r);
    }
    return columns;
}

StoreConnection::StoreConnection(const std::filesystem::path& file,
                                 std::shared_ptr<const ObjectModel> model)
    : db_(file, /*writeAheadLog=*/false), model_(std::move(model)) {
    std::int64_t schemaVersion = 0;
    {
        SqliteStatement version(db_.handle(), "PRAGMA user_version");
        version.step();
        schemaVersion = version.columnInt(0);
    }
    if (schemaVersion > kSchemaVersion) {
        throw StoreError("The store was written by a newer version of Jotwell and cannot be opened",
                         fmt::format("{{file: {}, store schema: {}, supported schema: {}}}",
                                     file.string(), schemaVersion, kSchemaVersion));
    }
    // An existing store is checked before anything is written to it: switching the journal
    // mode rewrites the file's header, and a refused file must be left as it was.
    if (schemaVersion != 0) {
        checkSchema();
    }
    db_.useWriteAheadLog();
    if (schemaVersion == 0) {
        createSchema();
        checkSchema();
    }
    createFetchIndexes();
    commitHookKey_ = normalisedStorePath(file);
}

void StoreConnection::createSchema() {
    SqliteTransaction transaction(db_);
    // Another process may have created the store between our check and the lock.
    SqliteStatement version(db_.handle(), "PRAGMA user_version");
    version.step();
    if (version.columnInt(0) != 0) {
        return;
    }
    db_.execute("CREATE TABLE \"_store_metadata\" (\"key\" TEXT PRIMARY KEY, \"value\" TEXT)");
    for (const auto& entity : model_->entities()) {
        std::string sql = fmt::format(
            "CREATE TABLE {} (\"_key\" INTEGER PRIMARY KEY AUTOINCREMENT, \"_gid\" BLOB NOT NULL "
            "UNIQUE",
            quoted(entity.name));
        for (const auto& a : entity.attributes) {
            sql += fmt::format(", {} {}", quoted(a.name), columnType(a.type));
        }
        for (const auto* r : entity.toOneRelationships) {
            sql += fmt::format(", {} INTEGER", quoted(r->name));
        }
        for (const auto* r : entity.toManyRelationships) {
            sql += fmt::format(", {} INTEGER NOT NULL DEFAULT 0", countColumn(*r));
        }
        db_.execute(sql + ")");
    }
    // Each to-one column is indexed (members of a to-many are found through it), unless a fetch
    // index leads with it, and keeps its destination's member count by trigger, whoever
    // writes the row.
    for (const auto& entity : model_->entities()) {
        for (const auto* r : entity.toOneRelationships) {
            const auto table = quoted(entity.name);
            const auto column = quoted(r->name);
            const auto owner = quoted(r->destination->name);
            const auto count = countColumn(*r->inverse);
            const auto name = [&](const char* what) {
                return quoted(fmt::format("{}_{}_{}", entity.name, r->name, what));
            };
            if (!fetchIndexLeadsWith(entity, r->name)) {
                db_.execute(
                    fmt::format("CREATE INDEX {} ON {} ({})", name("index"), table, column));
            }
            db_.execute(
                fmt::format("CREATE TRIGGER {} AFTER INSERT ON {} WHEN NEW.{} IS NOT NULL BEGIN "
                            "UPDATE {} SET {} = {} + 1 WHERE \"_key\" = NEW.{}; END",
                            name("insert"), table, column, owner, count, count, column));
            db_.execute(
                fmt::format("CREATE TRIGGER {} AFTER DELETE ON {} WHEN OLD.{} IS NOT NULL BEGIN "
                            "UPDATE {} SET {} = {} - 1 WHERE \"_key\" = OLD.{}; END",
                            name("delete"), table, column, owner, count, count, column));
            db_.execute(fmt::format(
                "CREATE TRIGGER {} AFTER UPDATE OF {} ON {} WHEN OLD.{} IS NOT NEW.{} BEGIN "
                "UPDATE {} SET {} = {} - 1 WHERE \"_key\" = OLD.{}; "
                "UPDATE {} SET {} = {} + 1 WHERE \"_key\" = NEW.{}; END",
                name("update"), column, table, column, column, owner, count, count, column, owner,
                count, count, column));
        }
    }
    auto& insert = db_.cached("INSERT INTO \"_store_metadata\" (\"key\", \"value\") VALUES (?, ?)");
    insert.bindText(1, "storeIdentifier");
    insert.bindText(2, GlobalID::generate().toString());
    insert.step();
    insert.reset();
    insert.bindText(1, "modelVersion");
    insert.bindText(2, std::to_string(model_->version()));
    insert.step();
    db_.execute(fmt::format("PRAGMA user_version = {}", kSchemaVersion));
    transaction.commit();
}

bool StoreConnection::fetchIndexLeadsWith(const EntityDescription& entity,
                                          const std::string& column) {
    return std::any_of(entity.fetchIndexes.begin(), entity.fetchIndexes.end(),
                       [&](const auto& index) { return index.elements.front().column == column; });
}

// The model's fetch indexes, made when missing (also in stores made before the model named
// them), in place of a to-one's own index when they lead with its column. They only speed
// fetches up: one that cannot be made now (the file is busy or read-only) is tried again at
// the next opening, and fetches sort without it meanwhile; the to-one's own index goes only
// once its replacement is there.
void StoreConnection::createFetchIndexes() {
    for (const auto& entity : model_->entities()) {
        for (const auto& index : entity.fetchIndexes) {
            std::string columns;
            for (const auto& element : index.elements) {
                columns += (columns.empty() ? "" : ", ") + quoted(element.column) +
                           (element.ascending ? " ASC" : " DESC");
            }
            if (index.endsWithIdentifier) {
                columns += ", \"_gid\" ASC";
            }
            try {
                db_.execute(fmt::format("CREATE INDEX IF NOT EXISTS {} ON {} ({})",
                                        quoted(fmt::format("{}_{}_fetch", entity.name, index.name)),
                                        quoted(entity.name), columns));
                const auto& lead = index.elements.front().column;
                if (!entity.attribute(lead)) {  // a to-one's column: its own index is spare
                    db_.execute(fmt::format("DROP INDEX IF EXISTS {}",
                                            quoted(fmt::format("{}_{}_index", entity.name, lead))));
                }
            } catch (const StoreError&) {
            }
        }
    }
}

void StoreConnection::checkSchema() {
    auto& read = db_.cached("SELECT \"value\" FROM \"_store_metadata\" WHERE \"key\" = ?");
    read.bindText(1, "storeIdentifier");
    if (!read.step()) {
        throw StoreError("The store has no identifier",
                         fmt::format("{{file: {}}}", db_.file().string()));
    }
    storeIdentifier_ = read.columnText(0);
    read.reset();
    read.bindText(1, "modelVersion");
    std::int64_t modelVersion = 0;
    if (read.step()) {
        const std::string text = read.columnText(0);
        const auto [end, error] =
            std::from_chars(text.data(), text.data() + text.size(), modelVersion);
        if (error != std::errc() || end != text.data() + text.size()) {
            throw StoreError(
                "The store's metadata is damaged",
                fmt::format("{{file: {}, model version: \"{}\"}}", db_.file().string(), text));
        }
    }
    read.reset();
    if (modelVersion > model_->version()) {
        throw StoreError("The store was written by a newer version of Jotwell and cannot be opened",
                         fmt::format("{{file: {}, store model: {}, supported model: {}}}",
                                     db_.file().string(), modelVersion, model_->version()));
    }
    // Every entity must have its table with every column this model reads.
    for (const auto& entity : model_->entities()) {
        try {
            SqliteStatement probe(db_.handle(),
                                  fmt::format("SELECT {} FROM {} LIMIT 0", selectColumns(entity),
                                              quoted(entity.name)));
        } catch (const StoreError& e) {
            throw StoreError("The store does not match the object model",
                             fmt::format("{{file: {}, entity: {}, problem: {}}}",
                                         db_.file().string(), entity.name, e.userInfo()));
        }
    }
}

}  // namespace jw::store
