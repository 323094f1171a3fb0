#include "Sqlite.h"

#include <fmt/format.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "StoreError.h"

namespace jw::store {

void configureSqlite() {
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

namespace {

// A connection waiting for the write lock (held by another for a save or one slice of a
// merge, briefly) asks again soon: 50 microseconds, doubling up to 2 ms, rather than at
// SQLite's own steps (1 ms, then up to 100 ms), which kept a waiter asleep well after the lock
// was free. It gives up after about five seconds.
int retrySoon(void*, int count) {
    constexpr int kSteps = 6;  // 50 .. 1,600 microseconds, then 2 ms each
    constexpr int kGiveUpAfter = kSteps + 2'500;
    if (count >= kGiveUpAfter) {
        return 0;
    }
    const int micros = count < kSteps ? 50 << count : 2'000;
    std::this_thread::sleep_for(std::chrono::microseconds(micros));
    return 1;
}

[[noreturn]] void throwSqlite(sqlite3* db, std::string_view what, int code) {
    const char* message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw StoreError(std::string(what),
                     fmt::format("{{SQLite error {}: {}}}", code, message ? message : "unknown"));
}

}  // namespace

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
    const int rc = sqlite3_prepare_v3(db, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                      &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        throwSqlite(db, fmt::format("Could not prepare the statement \"{}\"", sql), rc);
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(stmt_);
}

void SqliteStatement::bindNull(int index) {
    sqlite3_bind_null(stmt_, index);
}
void SqliteStatement::bindInt(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
}
void SqliteStatement::bindDouble(int index, double value) {
    sqlite3_bind_double(stmt_, index, value);
}
void SqliteStatement::bindText(int index, std::string_view value) {
    sqlite3_bind_text64(stmt_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}
void SqliteStatement::bindBlob(int index, const void* data, std::size_t size) {
    // A zero-length blob must still be a blob, not NULL.
    static const unsigned char kEmpty = 0;
    sqlite3_bind_blob64(stmt_, index, size ? data : &kEmpty, size, SQLITE_TRANSIENT);
}

void SqliteStatement::bindValue(int index, const Value& value) {
    struct Binder {
        SqliteStatement& s;
        int i;
        void operator()(std::monostate) const { s.bindNull(i); }
        void operator()(std::int64_t v) const { s.bindInt(i, v); }
        void operator()(double v) const { s.bindDouble(i, v); }
        void operator()(bool v) const { s.bindInt(i, v ? 1 : 0); }
        void operator()(const std::string& v) const { s.bindText(i, v); }
        void operator()(const Date& v) const { s.bindDouble(i, v.secondsSinceEpoch); }
        void operator()(const Blob& v) const { s.bindBlob(i, v.bytes.data(), v.bytes.size()); }
    };
    std::visit(Binder{*this, index}, value);
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    const std::string sql = sqlite3_sql(stmt_) ? sqlite3_sql(stmt_) : "";
    sqlite3_reset(stmt_);
    throwSqlite(db_, fmt::format("The statement \"{}\" failed", sql), rc);
}

void SqliteStatement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

bool SqliteStatement::columnIsNull(int c) const {
    return sqlite3_column_type(stmt_, c) == SQLITE_NULL;
}
std::int64_t SqliteStatement::columnInt(int c) const {
    return sqlite3_column_int64(stmt_, c);
}
double SqliteStatement::columnDouble(int c) const {
    return sqlite3_column_double(stmt_, c);
}
std::string SqliteStatement::columnText(int c) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c));
    return text ? std::string(text, std::size_t(sqlite3_column_bytes(stmt_, c))) : std::string();
}
const void* SqliteStatement::columnBlobData(int c) const {
    return sqlite3_column_blob(stmt_, c);
}
int SqliteStatement::columnBytes(int c) const {
    return sqlite3_column_bytes(stmt_, c);
}
Blob SqliteStatement::columnBlob(int c) const {
    const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(stmt_, c));
    const int size = sqlite3_column_bytes(stmt_, c);
    return Blob{std::vector<unsigned char>(data, data + size)};
}

Value SqliteStatement::columnValue(int c, AttributeType type) const {
    Value value;
    readColumn(c, type, value);
    return value;
}

void SqliteStatement::readColumn(int c, AttributeType type, Value& into) const {
    // SQLite reads NULL as 0 for the scalars, and gives no text for a NULL text: one call
    // a column, but for the types whose NULL and 0 differ.
    switch (type) {
        case AttributeType::Integer16:
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            into = std::int64_t{sqlite3_column_int64(stmt_, c)};
            return;
        case AttributeType::Boolean:
            into = sqlite3_column_int64(stmt_, c) != 0;
            return;
        case AttributeType::Double:
            into = sqlite3_column_double(stmt_, c);
            return;
        case AttributeType::String:
            if (const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c))) {
                into.emplace<std::string>(text, std::size_t(sqlite3_column_bytes(stmt_, c)));
            } else {
                into = std::monostate{};
            }
            return;
        case AttributeType::Date:
            if (columnIsNull(c)) {
                into = std::monostate{};
            } else {
                into = Date{sqlite3_column_double(stmt_, c)};
            }
            return;
        case AttributeType::Binary:
            if (columnIsNull(c)) {
                into = std::monostate{};
            } else {
                into = columnBlob(c);
            }
            return;
    }
    into = std::monostate{};
}

SqliteDatabase::SqliteDatabase(const std::filesystem::path& file, bool writeAheadLog)
    : file_(file) {
    configureSqlite();
    const int rc =
        sqlite3_open_v2(file.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreError(
            "The store could not be opened",
            fmt::format("{{file: {}, SQLite error {}: {}}}", file.string(), rc, message));
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_handler(db_, retrySoon, nullptr);
    try {
        if (writeAheadLog) {
            useWriteAheadLog();
        }
        execute("PRAGMA synchronous=NORMAL");
        // Statement journals in memory: a statement inside a long transaction (a trigger's
        // insert among thousands) otherwise ends up writing its journal to a temporary file
        // once one has grown past 64 KiB, and every statement after it does so too.
        execute("PRAGMA temp_store=MEMORY");
        execute(fmt::format("PRAGMA journal_size_limit = {}", kLogBytesKept));
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

void SqliteDatabase::useWriteAheadLog() {
    execute("PRAGMA journal_mode=WAL");
}

void SqliteDatabase::setCheckpointFrames(int frames) {
    sqlite3_wal_autocheckpoint(db_, frames);
}

void SqliteDatabase::checkpoint() {
    const int rc =
        sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    // Busy: another connection is checkpointing just now, which does the same.
    if (rc != SQLITE_OK && (rc & 0xff) != SQLITE_BUSY) {
        fail("The store's log could not be copied into it");
    }
}

SqliteDatabase::~SqliteDatabase() {
    cache_.clear();
    if (db_) {
        sqlite3_close(db_);
    }
}

void SqliteDatabase::execute(std::string_view sql) {
    char* error = nullptr;
    const std::string text(sql);
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errmsg(db_);
        sqlite3_free(error);
        throw StoreError(fmt::format("The statement \"{}\" failed", sql),
                         fmt::format("{{SQLite error {}: {}}}", rc, message));
    }
}

SqliteStatement& SqliteDatabase::cached(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) {
        it = cache_.emplace(sql, std::make_unique<SqliteStatement>(db_, sql)).first;
    } else {
        it->second->reset();
    }
    return *it->second;
}

std::int64_t SqliteDatabase::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_);
}
int SqliteDatabase::changes() const {
    return sqlite3_changes(db_);
}

void SqliteDatabase::fail(std::string_view what) const {
    throwSqlite(db_, what, sqlite3_errcode(db_));
}

SqliteReadSnapshot::SqliteReadSnapshot(SqliteDatabase& database) : database_(database) {
    run("SAVEPOINT \"snapshot\"");
}

SqliteReadSnapshot::~SqliteReadSnapshot() {
    try {
        run("RELEASE \"snapshot\"");
    } catch (const StoreError&) {
        // Only reads happened inside; nothing is lost if the release fails.
    }
}

void SqliteReadSnapshot::run(const std::string& sql) {
    auto& statement = database_.cached(sql);
    try {
        statement.step();
    } catch (...) {
        statement.reset();
        throw;
    }
    statement.reset();
}

WriteTurns& SqliteDatabase::turns() {
    if (!turns_) {
        turns_ = WriteTurns::forFile(file_);
    }
    return *turns_;
}

void SqliteDatabase::setBackgroundWriter() {
    background_ = true;
    turns();  // so that othersWaitToWrite() answers from the first transaction on
}

void SqliteDatabase::beginWriting() {
    if (background_) {
        turns().letForegroundGoFirst(std::chrono::seconds(1));
        execute("BEGIN IMMEDIATE");
        return;
    }
    WriteTurns::ForegroundWait waiting(turns());
    execute("BEGIN IMMEDIATE");
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : db_(db) {
    db_.beginWriting();
}

SqliteTransaction::~SqliteTransaction() {
    if (!done_) {
        try {
            db_.execute("ROLLBACK");
        } catch (...) {
            // A failed COMMIT may already have rolled back; nothing more to undo.
        }
    }
}

void SqliteTransaction::commit() {
    db_.execute("COMMIT");
    done_ = true;
}

}  // namespace jw::store
