#include "KeyCursor.h"

#include "StoreError.h"

namespace jw::store {

KeyCursor::KeyCursor(const std::filesystem::path& file, const std::string& countSql,
                     const std::string& keysSql, const Bind& bind)
    : database_(std::make_unique<SqliteDatabase>(file, /*writeAheadLog=*/false)) {
    try {
        database_->execute("BEGIN");
        SqliteStatement count(database_->handle(), countSql);
        bind(count);
        count.step();  // the read transaction starts here
        count_ = std::size_t(count.columnInt(0));
        keys_ = std::make_unique<SqliteStatement>(database_->handle(), keysSql);
        bind(*keys_);
    } catch (...) {
        finish();
        throw;
    }
    if (count_ == 0) {
        finish();
    }
}

KeyCursor::~KeyCursor() {
    finish();
}

void KeyCursor::readMore(std::vector<std::int64_t>& keys, std::size_t n) {
    if (!database_) {
        return;
    }
    try {
        for (std::size_t i = 0; i < n; ++i) {
            if (!keys_->step()) {
                finish();
                return;
            }
            keys.push_back(keys_->columnInt(0));
            ++read_;
        }
    } catch (...) {
        finish();
        throw;
    }
    if (read_ == count_) {
        finish();
    }
}

void KeyCursor::finish() {
    keys_.reset();
    if (database_) {
        try {
            database_->execute("COMMIT");
        } catch (const StoreError&) {
            // Only reads happened; closing the connection ends the transaction anyway.
        }
        database_.reset();
    }
}

}  // namespace jw::store
