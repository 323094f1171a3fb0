#pragma once
// The keys of a large fetch, read as they are needed from one snapshot of the store.
//
// The cursor has a connection of its own that holds a read transaction from the count until
// the last key is read or the cursor is dropped, so keys read late belong to the same state of
// the store as the count and the first keys, whatever other connections commit meanwhile. The
// holder lets it go as soon as it can (a held snapshot keeps the write-ahead log from being
// reset).
//
// Used on one thread. Throws StoreError.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Sqlite.h"

namespace jw::store {

class KeyCursor {
  public:
    using Bind = std::function<void(SqliteStatement&)>;
    // Opens the store's file and counts with `countSql` in a new read transaction; `keysSql`
    // then reads the keys in order. `bind` binds the parameters both statements share.
    KeyCursor(const std::filesystem::path& file, const std::string& countSql,
              const std::string& keysSql, const Bind& bind);
    ~KeyCursor();
    KeyCursor(const KeyCursor&) = delete;
    KeyCursor& operator=(const KeyCursor&) = delete;

    // How many keys the snapshot holds in all.
    std::size_t count() const { return count_; }
    // How many have been read so far.
    std::size_t read() const { return read_; }
    // Appends the next keys to `keys` until `n` more have been read or none is left. The
    // snapshot is let go after the last one.
    void readMore(std::vector<std::int64_t>& keys, std::size_t n);
    bool finished() const { return !database_; }

  private:
    void finish();

    std::unique_ptr<SqliteDatabase> database_;
    std::unique_ptr<SqliteStatement> keys_;
    std::size_t count_ = 0;
    std::size_t read_ = 0;
};

}  // namespace jw::store
