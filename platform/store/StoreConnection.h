#pragma once
// One connection to a store file: the SQLite database laid out for an object model.
//
// Layout: one table per entity, named as the entity, with
//   "_key" INTEGER PRIMARY KEY AUTOINCREMENT (never reused), "_gid" BLOB (16 bytes, unique),
//   one column per attribute (named as the attribute),
//   one column per to-one relationship (the destination's key, or NULL),
//   one hidden column per to-many relationship ("_count_<name>"), the number of members,
//   kept by triggers so that a count never needs the members read.
// The schema version is SQLite's user_version; a store written by a newer schema is refused.
// The table "_store_metadata" holds the store identifier and the model version.

#include <filesystem>
#include <memory>
#include <string>

#include "ObjectModel.h"
#include "Sqlite.h"

namespace jw::store {

class StoreConnection {
  public:
    // The layout version this program writes and understands.
    static constexpr int kSchemaVersion = 1;

    // Opens or creates the store. Throws StoreError if the file cannot be opened, is not a
    // store, or was written by a newer schema (the file is then left untouched).
    StoreConnection(const std::filesystem::path& file, std::shared_ptr<const ObjectModel> model);

    const ObjectModel& model() const { return *model_; }
    std::shared_ptr<const ObjectModel> sharedModel() const { return model_; }
    SqliteDatabase& database() { return db_; }
    const std::string& storeIdentifier() const { return storeIdentifier_; }
    const std::filesystem::path& file() const { return db_.file(); }
    // The store file's normalised path, under which commit hooks are found.
    const std::filesystem::path& commitHookKey() const { return commitHookKey_; }

    // Column positions in a row read by selectColumns().
    static constexpr int kKeyColumn = 0;
    static constexpr int kGlobalIDColumn = 1;
    static int attributeColumn(std::size_t attributeIndex) { return 2 + int(attributeIndex); }
    static int toOneColumn(const EntityDescription& e, std::size_t slot) {
        return 2 + int(e.attributes.size() + slot);
    }
    static int toManyCountColumn(const EntityDescription& e, std::size_t slot) {
        return 2 + int(e.attributes.size() + e.toOneRelationships.size() + slot);
    }
    // "_key", "_gid", the attributes, the to-one keys and the member counts, quoted, with
    // commas: the column list every row read uses.
    static std::string selectColumns(const EntityDescription& entity);

    static std::string quoted(std::string_view identifier);

  private:
    void createSchema();
    void checkSchema();
    void createFetchIndexes();
    static bool fetchIndexLeadsWith(const EntityDescription& entity, const std::string& column);

    SqliteDatabase db_;
    std::shared_ptr<const ObjectModel> model_;
    std::string storeIdentifier_;
    std::filesystem::path commitHookKey_;
};

}  // namespace jw::store
