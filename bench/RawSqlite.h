#pragma once
// Just enough of the SQLite C API for the benchmarks' own use: the store generator and the
// baselines go through this, never through platform/store, so a baseline measures plain
// SQLite and nothing of ours. Errors throw std::runtime_error naming the statement.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace jw::bench {

class RawStatement;

// One connection, opened as the store opens its own (WAL, synchronous=NORMAL, a busy timeout,
// the default temp store), so that a baseline and the store pay the same durability costs.
// `cacheKibibytes` sizes the page cache as the connection it stands against has it (0: SQLite's
// default, as the main context's connection): a setting never counts as a win over a baseline.
class RawDatabase {
  public:
    explicit RawDatabase(const std::filesystem::path& file, int cacheKibibytes = 0);
    ~RawDatabase();
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    sqlite3* handle() const { return db_; }
    void execute(std::string_view sql);
    std::int64_t lastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }

  private:
    sqlite3* db_ = nullptr;
};

class RawStatement {
  public:
    RawStatement(const RawDatabase& db, std::string_view sql);
    ~RawStatement();
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;

    sqlite3_stmt* handle() const { return stmt_; }

    void bindNull(int index) { sqlite3_bind_null(stmt_, index); }
    void bindInt(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
    void bindDouble(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
    void bindText(int index, std::string_view value) {
        sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
    }
    void bindBlob(int index, const void* data, std::size_t size) {
        sqlite3_bind_blob64(stmt_, index, data, size, SQLITE_TRANSIENT);
    }
    void bindOptionalText(int index, const std::optional<std::string>& value) {
        value ? bindText(index, *value) : bindNull(index);
    }
    void bindOptionalDouble(int index, std::optional<double> value) {
        value ? bindDouble(index, *value) : bindNull(index);
    }

    // True while a row is available; throws on an error.
    bool step();
    // Steps a statement that returns no rows (or whose rows are not wanted), then resets it.
    void run();
    void reset() { sqlite3_reset(stmt_); }

    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    double real(int column) const { return sqlite3_column_double(stmt_, column); }
    std::optional<std::string> optionalText(int column) const;
    std::optional<double> optionalReal(int column) const;

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace jw::bench
