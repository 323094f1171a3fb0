#include "RawSqlite.h"

#include <stdexcept>

namespace jw::bench {

namespace {

[[noreturn]] void fail(sqlite3* db, std::string_view what) {
    throw std::runtime_error(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "no database"));
}

}  // namespace

RawDatabase::RawDatabase(const std::filesystem::path& file, int cacheKibibytes) {
    const int rc =
        sqlite3_open_v2(file.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        throw std::runtime_error("cannot open " + file.string() + ": " + message);
    }
    sqlite3_busy_timeout(db_, 5000);
    execute("PRAGMA journal_mode=WAL");
    execute("PRAGMA synchronous=NORMAL");
    execute("PRAGMA temp_store=MEMORY");  // as the store's connections (Sqlite.cpp)
    if (cacheKibibytes > 0) {
        execute("PRAGMA cache_size = -" + std::to_string(cacheKibibytes));
    }
}

RawDatabase::~RawDatabase() {
    sqlite3_close(db_);
}

void RawDatabase::execute(std::string_view sql) {
    const std::string text(sql);
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(db_, text);
    }
}

RawStatement::RawStatement(const RawDatabase& db, std::string_view sql) : db_(db.handle()) {
    if (sqlite3_prepare_v3(db_, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt_,
                           nullptr) != SQLITE_OK) {
        fail(db_, "prepare " + std::string(sql));
    }
}

RawStatement::~RawStatement() {
    sqlite3_finalize(stmt_);
}

bool RawStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    sqlite3_reset(stmt_);
    fail(db_, sqlite3_sql(stmt_));
}

void RawStatement::run() {
    while (step()) {
    }
    reset();
}

std::optional<std::string> RawStatement::optionalText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    if (!text) {
        return std::nullopt;
    }
    return std::string(text, std::size_t(sqlite3_column_bytes(stmt_, column)));
}

std::optional<double> RawStatement::optionalReal(int column) const {
    if (isNull(column)) {
        return std::nullopt;
    }
    return sqlite3_column_double(stmt_, column);
}

}  // namespace jw::bench
