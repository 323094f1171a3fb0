#pragma once
// A thin RAII layer over the SQLite C API: a connection, prepared statements, and errors as
// StoreError (description = what was being done, userInfo = SQLite's message and code).
// A connection belongs to one thread at a time.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "Value.h"
#include "WriteTurns.h"

namespace jw::store {

// SQLite's process-wide settings, made once and before any connection opens (SQLite refuses
// them afterwards, and then keeps its defaults): no memory statistics, which SQLite otherwise
// keeps under one global lock taken for every allocation and free. The first SqliteDatabase
// makes them; a program that opens SQLite another way first (a benchmark's plain baseline)
// calls this before, so that every connection of the process runs alike.
void configureSqlite();

class SqliteStatement {
  public:
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Binding is 1-based, as in SQLite.
    void bindNull(int index);
    void bindInt(int index, std::int64_t value);
    void bindDouble(int index, double value);
    void bindText(int index, std::string_view value);
    void bindBlob(int index, const void* data, std::size_t size);
    void bindValue(int index, const Value& value);

    // Steps once: true while a row is available, false when done. Throws on error.
    bool step();
    // Resets for another run and clears the bindings.
    void reset();

    bool columnIsNull(int column) const;
    std::int64_t columnInt(int column) const;
    double columnDouble(int column) const;
    std::string columnText(int column) const;
    Blob columnBlob(int column) const;
    const void* columnBlobData(int column) const;
    int columnBytes(int column) const;
    // Reads a column as a value of the attribute type (NULL as absent, scalars as 0).
    Value columnValue(int column, AttributeType type) const;
    // The same, into a value in place (a row's text goes straight into its string).
    void readColumn(int column, AttributeType type, Value& into) const;

    sqlite3_stmt* handle() const { return stmt_; }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class SqliteDatabase {
  public:
    // Opens (creating if needed) the database file, in WAL mode with foreign-key-free,
    // synchronous=NORMAL settings (durable against a process crash; the OS keeps the WAL) and
    // temporary storage in memory.
    // With `writeAheadLog` false the file keeps its journal mode until useWriteAheadLog(), so
    // that a file can be read and refused without being changed.
    explicit SqliteDatabase(const std::filesystem::path& file, bool writeAheadLog = true);
    // Switches the database to WAL mode; this writes to a file that was in another mode.
    void useWriteAheadLog();
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void execute(std::string_view sql);
    // A statement kept for reuse, keyed by its SQL text; reset before it is handed out.
    SqliteStatement& cached(const std::string& sql);
    std::int64_t lastInsertRowid() const;
    int changes() const;

    sqlite3* handle() const { return db_; }
    const std::filesystem::path& file() const { return file_; }

    // Checkpoints. A commit that leaves the write-ahead log at kCheckpointFrames frames or more
    // first copies the log back into the database file (SQLite's own default); a log that grew
    // past kLogBytesKept is cut back to that size when it next starts over.
    static constexpr int kCheckpointFrames = 1000;
    static constexpr std::int64_t kLogBytesKept = std::int64_t(4) << 20;
    // The log size, in frames, at which this connection's commits checkpoint; 0: never.
    void setCheckpointFrames(int frames);
    // Copies what the log holds and no reader still needs into the database file, without
    // waiting for readers or writers (a passive checkpoint); nothing when another connection
    // is checkpointing. Throws StoreError on failure.
    void checkpoint();

    // Makes this connection give way to the file's other connections in this process: before
    // each transaction it waits (a second at most) while one of them waits for the write lock
    // (see WriteTurns.h). For a worker's long runs of transactions, never for the main thread.
    void setBackgroundWriter();
    // BEGIN IMMEDIATE, taking this connection's turn (SqliteTransaction calls it).
    void beginWriting();
    // Whether another connection to the file in this process, not a background one, waits for
    // the write lock just now (a background writer then ends its transaction soon).
    bool othersWaitToWrite() const { return turns_ && turns_->foregroundWaits(); }

    [[noreturn]] void fail(std::string_view what) const;

  private:
    // The file's turns, looked up when this connection first writes: a connection that only
    // reads (a fetch's key cursor) never needs them.
    WriteTurns& turns();

    std::filesystem::path file_;
    sqlite3* db_ = nullptr;
    std::shared_ptr<WriteTurns> turns_;
    bool background_ = false;
    std::unordered_map<std::string, std::unique_ptr<SqliteStatement>> cache_;
};

// Holds one read snapshot of the database from construction to destruction: the reads in
// between see one state, and take no locks of their own. A savepoint, so it also nests inside
// a transaction already open on the connection. Its statements are prepared once per
// connection.
class SqliteReadSnapshot {
  public:
    explicit SqliteReadSnapshot(SqliteDatabase& database);
    ~SqliteReadSnapshot();
    SqliteReadSnapshot(const SqliteReadSnapshot&) = delete;
    SqliteReadSnapshot& operator=(const SqliteReadSnapshot&) = delete;

  private:
    void run(const std::string& sql);

    SqliteDatabase& database_;
};

// Runs a transaction: BEGIN IMMEDIATE at construction; commit() commits; destruction without
// commit rolls back.
class SqliteTransaction {
  public:
    explicit SqliteTransaction(SqliteDatabase& db);
    ~SqliteTransaction();
    void commit();

  private:
    SqliteDatabase& db_;
    bool done_ = false;
};

}  // namespace jw::store
