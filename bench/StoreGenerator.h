#pragma once
// Realistic stores for the benchmarks, made quickly and the same way for a given seed.
//
// The layout (tables, indexes, member-count triggers) is made by the store's own code: a
// JWDatabase is opened once on the empty folder and closed. The rows are then written with
// raw SQL in one transaction, in the order a user would have entered them over three years
// (so one list's rows are spread over the whole file, as in real use). The data is varied:
// bodies in several scripts with emoji, duplicates and empty texts; some items done with a
// doneDate; manual sortNumbers with gaps and zeros; created dates spread out with ties; notes,
// reminders, importance and stars on some items; doneCount correct for every list.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>

namespace jw::bench {

struct StoreShape {
    std::size_t lists = 200;
    std::size_t items = 100'000;
    // One list of this many items for each named sort mode (alphabetical, latestCreated,
    // checkedFirst, checkedLast, manual); the other lists share the remaining items unevenly.
    std::size_t bigListItems = 10'000;
};

struct GeneratedStore {
    std::filesystem::path directory;  // the data directory, holding "Jotwell.sqlite"
    std::filesystem::path file;
    StoreShape shape;
    // The big lists: stored sortMode code -> the list's "_key".
    std::map<std::int16_t, std::int64_t> bigListBySortMode;
    // The cloud folder the store is opened with, if any.
    std::optional<std::filesystem::path> cloudDirectory;
};

// Makes the store in `directory` (created if needed; it must not hold a store yet). Throws
// std::runtime_error when the result does not hold together (counts, member totals).
GeneratedStore generateStore(const std::filesystem::path& directory,
                             const std::filesystem::path& resourceDirectory,
                             const StoreShape& shape, std::uint64_t seed);

// A byte copy of a generated (closed, checkpointed) store in another directory.
GeneratedStore copyStore(const GeneratedStore& source, const std::filesystem::path& directory);

}  // namespace jw::bench
