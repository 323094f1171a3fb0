#include "SyncCases.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include "RawSqlite.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/ThreadRunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/store/PersistentContainer.h"
#include "platform/sync/EngineContext.h"
#include "platform/sync/FolderCloudFileSystem.h"
#include "platform/sync/PersistentStoreEnsemble.h"
#include "src/model/JWDatabase.h"

namespace jw::bench {

namespace {

namespace fs = std::filesystem;

// Each iteration takes seconds: one per repetition, and few repetitions.
constexpr benchmark::IterationCount kSyncIterations = 1;
constexpr int kSyncRepetitions = 5;
constexpr benchmark::IterationCount kCheckAttachedIterations = 60;
constexpr int kBurst = 100;
constexpr int kCheckAttachedRepetitions = 15;
constexpr double kWaitSeconds = 900;

ThreadRunLoop& mainLoop() {
    return benchMainLoop();
}

fs::path modelURL(const Environment& env) {
    return store::PersistentContainer::modelURL(env.resourceDirectory, "Jotwell");
}

// An ensemble on a store file and a cloud folder on disk, driven to completion call by call.
class Device {
  public:
    Device(const Environment& env, const fs::path& storeFile, const fs::path& cloudDirectory) {
        ensemble_ = sync::PersistentStoreEnsemble::create(
            "MainStore", storeFile, modelURL(env),
            std::make_shared<sync::FolderCloudFileSystem>(cloudDirectory));
        if (!ensemble_) {
            throw std::runtime_error("cannot open an ensemble on " + storeFile.string());
        }
    }

    void leech() {
        run([&](sync::SyncCompletion done) { ensemble_->leechPersistentStore(std::move(done)); });
    }
    void merge() {
        run([&](sync::SyncCompletion done) { ensemble_->merge(std::move(done)); });
    }

  private:
    template <typename Start>
    void run(Start&& start) {
        auto error = std::make_shared<std::optional<sync::SyncError>>();
        auto finished = std::make_shared<bool>(false);
        start([error, finished](const std::optional<sync::SyncError>& e) {
            *error = e;
            *finished = true;
        });
        ensemble_->waitUntilIdle();
        mainLoop().runUntil([&] { return *finished; }, kWaitSeconds);
        if (*error) {
            throw std::runtime_error((*error)->localizedDescription);
        }
    }

    std::shared_ptr<sync::PersistentStoreEnsemble> ensemble_;
};

// A fresh, empty folder (whatever was there is removed).
fs::path freshFolder(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::int64_t rowCount(const fs::path& file, const char* table) {
    RawDatabase db(file);
    RawStatement count(db, fmt::format("SELECT COUNT(*) FROM \"{}\"", table));
    count.step();
    return count.integer(0);
}

// Every row of a table as SQLite holds it, leaving out the member-count columns (the store's
// triggers keep those as rows come in).
struct TableRows {
    std::string table;
    std::vector<std::string> columns;
    std::vector<std::vector<std::variant<std::monostate, std::int64_t, double, std::string>>> rows;
};

TableRows readTable(const fs::path& file, const std::string& table) {
    TableRows out{table, {}, {}};
    RawDatabase db(file);
    {
        RawStatement info(db, fmt::format("PRAGMA table_info(\"{}\")", table));
        while (info.step()) {
            auto name = info.optionalText(1).value_or("");
            if (!name.starts_with("_count_")) {
                out.columns.push_back(name);
            }
        }
    }
    std::string select = "SELECT ";
    for (std::size_t i = 0; i < out.columns.size(); ++i) {
        select += (i ? ", \"" : "\"") + out.columns[i] + "\"";
    }
    RawStatement rows(db, select + fmt::format(" FROM \"{}\"", table));
    while (rows.step()) {
        auto& row = out.rows.emplace_back();
        for (int c = 0; c < int(out.columns.size()); ++c) {
            switch (sqlite3_column_type(rows.handle(), c)) {
                case SQLITE_INTEGER:
                    row.emplace_back(rows.integer(c));
                    break;
                case SQLITE_FLOAT:
                    row.emplace_back(rows.real(c));
                    break;
                case SQLITE_NULL:
                    row.emplace_back(std::monostate{});
                    break;
                default: {
                    const auto* data =
                        static_cast<const char*>(sqlite3_column_blob(rows.handle(), c));
                    row.emplace_back(std::string(
                        data ? data : "", std::size_t(sqlite3_column_bytes(rows.handle(), c))));
                }
            }
        }
    }
    return out;
}

// Inserts every row with its own key, as read; text and blobs are bound as blobs (SQLite keeps
// the bytes either way, and no comparison reads them).
void insertRows(RawDatabase& db, const TableRows& table) {
    std::string sql = fmt::format("INSERT INTO \"{}\" (", table.table);
    std::string values;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        sql += (i ? ", \"" : "\"") + table.columns[i] + "\"";
        values += i ? ", ?" : "?";
    }
    RawStatement insert(db, sql + ") VALUES (" + values + ")");
    for (const auto& row : table.rows) {
        for (int c = 0; c < int(row.size()); ++c) {
            const auto& v = row[std::size_t(c)];
            if (const auto* i = std::get_if<std::int64_t>(&v)) {
                insert.bindInt(c + 1, *i);
            } else if (const auto* d = std::get_if<double>(&v)) {
                insert.bindDouble(c + 1, *d);
            } else if (const auto* s = std::get_if<std::string>(&v)) {
                insert.bindBlob(c + 1, s->data(), s->size());
            } else {
                insert.bindNull(c + 1);
            }
        }
        insert.run();
    }
}

// The timed part of both writes of the rows: lists and items in one transaction.
void insertTimed(benchmark::State& state, RawDatabase& db, const TableRows& lists,
                 const TableRows& items) {
    state.ResumeTiming();
    db.execute("BEGIN");
    insertRows(db, lists);
    insertRows(db, items);
    db.execute("COMMIT");
    state.PauseTiming();
}

void writeAndSync(const fs::path& file, const std::string& contents) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot write " + file.string() + ": " + std::strerror(errno));
    }
    std::size_t written = 0;
    while (written < contents.size()) {
        const auto n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n <= 0) {
            ::close(fd);
            throw std::runtime_error("cannot write " + file.string());
        }
        written += std::size_t(n);
    }
    ::fsync(fd);
    ::close(fd);
}

// Every row of both tables as text, one line each, columns separated by tabs.
std::string dumpRows(const fs::path& storeFile) {
    std::string out;
    RawDatabase db(storeFile);
    for (const char* table : {"List", "Item"}) {
        RawStatement rows(db, fmt::format("SELECT * FROM \"{}\"", table));
        const int columns = sqlite3_column_count(rows.handle());
        while (rows.step()) {
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(rows.handle(), c)) {
                    case SQLITE_INTEGER:
                        fmt::format_to(std::back_inserter(out), "{}", rows.integer(c));
                        break;
                    case SQLITE_FLOAT:
                        fmt::format_to(std::back_inserter(out), "{}", rows.real(c));
                        break;
                    case SQLITE_NULL:
                        break;
                    case SQLITE_BLOB: {
                        const auto* bytes = static_cast<const unsigned char*>(
                            sqlite3_column_blob(rows.handle(), c));
                        for (int i = 0; i < sqlite3_column_bytes(rows.handle(), c); ++i) {
                            fmt::format_to(std::back_inserter(out), "{:02x}", bytes[i]);
                        }
                        break;
                    }
                    default:
                        out += reinterpret_cast<const char*>(sqlite3_column_text(rows.handle(), c));
                }
                out += c + 1 < columns ? '\t' : '\n';
            }
        }
    }
    return out;
}

// The store size lines, filled in by the cases that measure them.
std::vector<MemoryResult>& sizeResults() {
    static std::vector<MemoryResult> results = [] {
        std::vector<MemoryResult> lines(4);
        lines[0].name = "store_file_after_attach";
        lines[1].name = "store_file_after_import";
        lines[2].name = "store_stamp_bytes_after_import";
        lines[3].name = "sync_attach_folder_bytes_per_object";
        lines[0].target = lines[1].target = 1.3;
        lines[2].target = 0;
        lines[2].unitBytes = 1;
        return lines;
    }();
    return results;
}

std::uint64_t fileSize(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    return ec ? 0 : size;
}

// A vacuumed copy of `store` in `scratch` with the sync tables dropped, but for `keep`.
std::uint64_t vacuumedWithout(const fs::path& store, const fs::path& scratch,
                              const std::vector<std::string>& keep) {
    fs::remove(scratch);
    {
        RawDatabase db(store);
        db.execute(fmt::format("VACUUM INTO '{}'", scratch.string()));
    }
    {
        RawDatabase copy(scratch);
        std::vector<std::string> drop;
        {
            RawStatement tables(copy,
                                "SELECT \"name\" FROM sqlite_master WHERE \"type\" = 'table' AND "
                                "\"name\" LIKE '\\_sync\\_%' ESCAPE '\\'");
            while (tables.step()) {
                auto name = tables.optionalText(0).value_or("");
                if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
                    drop.push_back(std::move(name));
                }
            }
        }
        for (const auto& name : drop) {
            copy.execute(fmt::format("DROP TABLE \"{}\"", name));
        }
        copy.execute("VACUUM");
    }
    return fileSize(scratch);
}

// Measures `store` (its engine closed) for the size line `line`, and with `stampLine` the
// stamps per object, once per run.
void measureStoreSize(const fs::path& store, std::size_t line, std::optional<std::size_t> stampLine,
                      std::int64_t objects) {
    auto& lines = sizeResults();
    if (lines[line].measured) {
        return;
    }
    const auto scratch = store.parent_path().parent_path() / "size-scratch.sqlite";
    const auto withStamps = vacuumedWithout(store, scratch, {"_sync_stamps", "_sync_devices"});
    lines[line].measured = true;
    lines[line].peakBytes = fileSize(store) + fileSize(store.string() + "-wal");
    lines[line].budgetBytes = double(withStamps);
    if (stampLine) {
        const auto without = vacuumedWithout(store, scratch, {});
        lines[*stampLine].measured = true;
        lines[*stampLine].peakBytes = (withStamps - std::min(withStamps, without)) /
                                      std::uint64_t(std::max<std::int64_t>(objects, 1));
    }
    fs::remove(scratch);
}

benchmark::internal::Benchmark* configure(benchmark::internal::Benchmark* b,
                                          benchmark::IterationCount iterations, int repetitions) {
    return b->Iterations(iterations)->Repetitions(repetitions)->Unit(benchmark::kMillisecond);
}

// What the import cases start from, made once.
struct ImportSource {
    fs::path emptyStore;  // a store file with the layout and no rows
    fs::path cloud;       // a folder holding another device's attach of `large`
};

ImportSource prepareImport(const Environment& env) {
    ImportSource source;
    const auto root = env.work / "import";
    {
        const auto folder = freshFolder(root / "empty");
        model::JWDatabase layout({folder, env.resourceDirectory});
        source.emptyStore = layout.storeURL();
    }
    const auto other = copyStore(env.large, freshFolder(root / "other"));
    source.cloud = freshFolder(root / "cloud");
    Device(env, other.file, source.cloud).leech();
    return source;
}

// A fresh empty store in `folder`.
fs::path emptyStoreIn(const ImportSource& source, const fs::path& folder) {
    const auto file = freshFolder(folder) / source.emptyStore.filename();
    fs::copy_file(source.emptyStore, file);
    return file;
}

void expectRows(const fs::path& file, const char* table, std::int64_t expected) {
    if (const auto n = rowCount(file, table); n != expected) {
        throw std::runtime_error(
            fmt::format("{} rows of {} where {} were expected", n, table, expected));
    }
}

// The folder line: every file under `folder` in bytes, per object of the store file, against
// kFolderBytesPerObject per object.
constexpr double kFolderBytesPerObject = 150;

void measureFolder(const fs::path& folder, const fs::path& storeFile) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            bytes += entry.file_size();
        }
    }
    std::int64_t objects = 0;
    for (const char* table : {"Folder", "List", "Item"}) {
        objects += rowCount(storeFile, table);
    }
    auto& line = sizeResults()[3];
    line.measured = true;
    if (objects > 0) {
        line.peakBytes = bytes;
        line.unitBytes = double(objects);
        line.budgetBytes = kFolderBytesPerObject * double(objects);
    }
}

}  // namespace

std::vector<MemoryResult> syncSizeResults() {
    return sizeResults();
}

ThreadRunLoop& benchMainLoop() {
    static const auto loop = [] {
        auto made = std::make_shared<ThreadRunLoop>();
        installMainRunLoop(made);
        return made;
    }();
    return *loop;
}

std::vector<CaseLine> syncCaseTable() {
    return {
        {"sync_import", "sync_import/ours", "sync_import/baseline", 1.5, CaseClock::wall},
        {"sync_attach", "sync_attach/ours", "sync_attach/baseline", 2.5, CaseClock::wall},
        // Against what this machine's disk and SQLite cannot go below: no target.
        {"sync_import_floor", "sync_import/ours", "sync_floor/plain_tables", 0, CaseClock::wall},
        {"sync_attach_floor", "sync_attach/ours", "sync_floor/plain_tables", 0, CaseClock::wall},
        // A check on an attached store, split: what the main thread pays for the save, and
        // the whole cost of a burst of checks, every one of them exported.
        {"check_item_attached_save", "check_item_attached_paused/ours", "check_item/ours", 1.3,
         CaseClock::wall},
        {"check_item_attached_burst", "check_item_attached_burst/ours", "check_item/ours", 2.0,
         CaseClock::wall}};
}

void registerSyncCases(const Environment& env) {
    mainLoop();
    sync::setCurrentLoggingLevel(0);
    auto source = std::make_shared<const ImportSource>(prepareImport(env));
    measureFolder(source->cloud, env.large.file);
    const auto items = std::int64_t(env.large.shape.items);

    configure(benchmark::RegisterBenchmark(
                  "sync_import/ours",
                  [&env, source, items](benchmark::State& state) {
                      guarded(state, [&](benchmark::State& s) {
                          const auto root = env.work / "import-ours";
                          for (auto _ : s) {
                              s.PauseTiming();
                              const auto store = emptyStoreIn(*source, root / "store");
                              const auto cloud = freshFolder(root / "cloud");
                              fs::copy(source->cloud, cloud, fs::copy_options::recursive);
                              {
                                  Device device(env, store, cloud);
                                  device.leech();
                                  s.ResumeTiming();
                                  device.merge();
                                  s.PauseTiming();
                              }
                              expectRows(store, "Item", items);
                              measureStoreSize(store, 1, 2, items + rowCount(store, "List"));
                              s.ResumeTiming();
                          }
                      });
                  }),
              kSyncIterations, kSyncRepetitions);
    configure(benchmark::RegisterBenchmark(
                  "sync_import/baseline",
                  [&env, source, items](benchmark::State& state) {
                      guarded(state, [&](benchmark::State& s) {
                          const auto root = env.work / "import-baseline";
                          for (auto _ : s) {
                              s.PauseTiming();
                              const auto store = emptyStoreIn(*source, root);
                              {
                                  const auto lists = readTable(env.large.file, "List");
                                  const auto rows = readTable(env.large.file, "Item");
                                  // The engine's connection settings, as ours.
                                  RawDatabase db(store, sync::kEngineCacheKibibytes);
                                  insertTimed(s, db, lists, rows);
                              }
                              expectRows(store, "Item", items);
                              s.ResumeTiming();
                          }
                      });
                  }),
              kSyncIterations, kSyncRepetitions);

    // The physical floor of both: the same rows into tables with no key, index, constraint or
    // trigger, in one transaction, on a fresh file with the store's settings.
    configure(
        benchmark::RegisterBenchmark(
            "sync_floor/plain_tables",
            [&env, items](benchmark::State& state) {
                guarded(state, [&](benchmark::State& s) {
                    const auto lists = readTable(env.large.file, "List");
                    const auto rows = readTable(env.large.file, "Item");
                    const auto file = env.work / "floor" / "plain.sqlite";
                    for (auto _ : s) {
                        s.PauseTiming();
                        freshFolder(file.parent_path());
                        {
                            RawDatabase db(file, sync::kEngineCacheKibibytes);
                            for (const auto* table : {&lists, &rows}) {
                                db.execute(fmt::format("CREATE TABLE \"{}\" (\"{}\")", table->table,
                                                       fmt::join(table->columns, "\", \"")));
                            }
                            insertTimed(s, db, lists, rows);
                        }
                        expectRows(file, "Item", items);
                        s.ResumeTiming();
                    }
                });
            }),
        kSyncIterations, kSyncRepetitions);

    configure(benchmark::RegisterBenchmark(
                  "sync_attach/ours",
                  [&env](benchmark::State& state) {
                      guarded(state, [&](benchmark::State& s) {
                          const auto root = env.work / "attach-ours";
                          for (auto _ : s) {
                              s.PauseTiming();
                              const auto store = copyStore(env.large, freshFolder(root / "store"));
                              const auto cloud = freshFolder(root / "cloud");
                              {
                                  Device device(env, store.file, cloud);
                                  s.ResumeTiming();
                                  device.leech();
                                  s.PauseTiming();
                              }
                              measureStoreSize(store.file, 0, std::nullopt, 0);
                              s.ResumeTiming();
                          }
                      });
                  }),
              kSyncIterations, kSyncRepetitions);
    configure(benchmark::RegisterBenchmark(
                  "sync_attach/baseline",
                  [&env](benchmark::State& state) {
                      guarded(state, [&](benchmark::State& s) {
                          const auto out = freshFolder(env.work / "attach-baseline") / "rows.txt";
                          for (auto _ : s) {
                              writeAndSync(out, dumpRows(env.large.file));
                          }
                      });
                  }),
              kSyncIterations, kSyncRepetitions);

    // The attached copy is attached once, here; every check then waits for its merge.
    {
        UserDefaults settings(env.attached.directory / "settings.json");
        model::JWDatabase db({env.attached.directory, env.resourceDirectory, nullptr,
                              env.attached.cloudDirectory, &settings});
        db.sync();
        if (!mainLoop().runUntil([&] { return db.operationsInFlight() == 0; }, kWaitSeconds) ||
            !db.ensemble() || !db.ensemble()->isLeeched()) {
            throw std::runtime_error("the store for check_item_attached could not be attached");
        }
    }
    const CheckedItem checked = checkedItemOf(env.attached);
    // Checks in bursts of kBurst, as fast as a person taps: the merges the saves start are
    // waited for (every change exported) only at the end of each burst, inside the timing.
    configure(benchmark::RegisterBenchmark(
                  "check_item_attached_burst/ours",
                  [&env, checked](benchmark::State& state) {
                      int checks = 0;  // the first two are checkItemOurs's warm-up
                      checkItemOurs(
                          state, env, env.attached, checked, [&checks](model::JWDatabase& db) {
                              ++checks;
                              if (checks > 2 && (checks - 2) % kBurst != 0) {
                                  return;
                              }
                              if (!mainLoop().runUntil([&] { return db.operationsInFlight() == 0; },
                                                       kWaitSeconds)) {
                                  throw std::runtime_error("a merge did not finish");
                              }
                          });
                  }),
              kBurst * 3, kCheckAttachedRepetitions);
    // The same check with the merge waited for with the timer paused: the model's side of a
    // tick tapped on the items screen over an attached store (see ScreenCases.h).
    configure(benchmark::RegisterBenchmark(
                  "check_item_attached_paused/ours",
                  [&env, checked](benchmark::State& state) {
                      // The first two checks are checkItemOurs's warm-up, before timing.
                      int checks = 0;
                      checkItemOurs(
                          state, env, env.attached, checked,
                          [&state, &checks](model::JWDatabase& db) {
                              const bool timed = ++checks > 2;
                              if (timed) {
                                  state.PauseTiming();
                              }
                              if (!mainLoop().runUntil([&] { return db.operationsInFlight() == 0; },
                                                       kWaitSeconds)) {
                                  throw std::runtime_error("a merge did not finish");
                              }
                              if (timed) {
                                  state.ResumeTiming();
                              }
                          });
                  }),
              kCheckAttachedIterations, kCheckAttachedRepetitions);
}

}  // namespace jw::bench
