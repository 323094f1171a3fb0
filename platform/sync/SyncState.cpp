#include "SyncState.h"

#include <optional>

namespace jw::sync {

namespace {

std::optional<std::string> read(store::SqliteDatabase& db, const char* key) {
    auto& s = db.cached("SELECT \"value\" FROM \"_sync_state\" WHERE \"key\" = ?");
    s.bindText(1, key);
    std::optional<std::string> value;
    if (s.step()) {
        value = s.columnText(0);
    }
    s.reset();
    return value;
}

void write(store::SqliteDatabase& db, const char* key, const std::string& value) {
    auto& s = db.cached(
        "INSERT INTO \"_sync_state\" (\"key\", \"value\") VALUES (?, ?) ON CONFLICT (\"key\") DO "
        "UPDATE SET \"value\" = excluded.\"value\"");
    s.bindText(1, key);
    s.bindText(2, value);
    s.step();
    s.reset();
}

}  // namespace

std::string SyncState::get(const SyncTextField& field) {
    return read(db_, field.key).value_or(field.absent);
}

std::int64_t SyncState::get(const SyncNumberField& field) {
    const auto text = read(db_, field.key);
    if (!text) {
        return field.absent;
    }
    try {
        return std::stoll(*text);
    } catch (const std::exception&) {
        return field.absent;
    }
}

bool SyncState::get(const SyncFlagField& field) {
    return read(db_, field.key) == "1";
}

void SyncState::set(const SyncTextField& field, const std::string& value) {
    write(db_, field.key, value);
}

void SyncState::set(const SyncNumberField& field, std::int64_t value) {
    write(db_, field.key, std::to_string(value));
}

void SyncState::set(const SyncFlagField& field, bool value) {
    write(db_, field.key, value ? "1" : "0");
}

}  // namespace jw::sync
