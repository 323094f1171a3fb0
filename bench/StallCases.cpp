#include "StallCases.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "RawSqlite.h"
#include "SyncCases.h"
#include "platform/foundation/ThreadRunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/store/FetchedResultsController.h"
#include "platform/store/PersistentContainer.h"
#include "platform/sync/FolderCloudFileSystem.h"
#include "platform/sync/PersistentStoreEnsemble.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"

namespace jw::bench {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kStallRepetitions = 3;
constexpr double kMainTaskBudgetMs = 50;
constexpr double kExportWaitBudgetMs = 200;
constexpr auto kCheckEvery = std::chrono::milliseconds(50);
constexpr int kMaxChecks = 400;
constexpr double kWaitSeconds = 900;
// The baseline job's store is attached with small files, so that one baseline is due at once
// and the next only after half as many files again: the job writes one baseline, not one per
// check.
constexpr std::size_t kTemplateRecordsPerFile = 1'000;
constexpr std::size_t kBaselineAfterFiles = 100;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

fs::path freshFolder(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// A store and the cloud folder it is attached to, copied afresh for every run of a job.
struct AttachedTemplate {
    GeneratedStore store;
    fs::path cloud;
    sync::EnsembleTuning tuning;  // what the job's device runs with
    std::int64_t openList = 0;    // the 10,000-item list shown
};

// Attaches `store` to `cloud` (leech only: nothing is imported).
void attachOnly(const Environment& env, const fs::path& storeFile, const fs::path& cloud,
                sync::EnsembleTuning tuning) {
    auto ensemble = sync::PersistentStoreEnsemble::create(
        "MainStore", storeFile,
        store::PersistentContainer::modelURL(env.resourceDirectory, "Jotwell"),
        std::make_shared<sync::FolderCloudFileSystem>(cloud), tuning);
    if (!ensemble) {
        throw std::runtime_error("cannot open an ensemble on " + storeFile.string());
    }
    auto error = std::make_shared<std::optional<sync::SyncError>>();
    auto finished = std::make_shared<bool>(false);
    ensemble->leechPersistentStore([error, finished](const std::optional<sync::SyncError>& e) {
        *error = e;
        *finished = true;
    });
    ensemble->waitUntilIdle();
    benchMainLoop().runUntil([&] { return *finished; }, kWaitSeconds);
    if (*error) {
        throw std::runtime_error((*error)->localizedDescription);
    }
}

AttachedTemplate prepareBaselineJob(const Environment& env) {
    const auto root = env.work / "stalls" / "baseline-template";
    AttachedTemplate t;
    t.store = copyStore(env.large, freshFolder(root / "store"));
    t.cloud = freshFolder(root / "cloud");
    sync::EnsembleTuning attaching;
    attaching.maxRecordsPerFile = kTemplateRecordsPerFile;
    attachOnly(env, t.store.file, t.cloud, attaching);
    t.tuning.baselineAfterFiles = kBaselineAfterFiles;
    t.tuning.objectsPerBaselineFile = std::numeric_limits<std::int64_t>::max();
    t.openList = t.store.bigListBySortMode.begin()->second;
    return t;
}

AttachedTemplate prepareImportJob(const Environment& env) {
    const auto root = env.work / "stalls" / "import-template";
    AttachedTemplate t;
    t.store = generateStore(freshFolder(root / "store"), env.resourceDirectory,
                            StoreShape{200, 60'000, 10'000}, 20261207);
    t.cloud = freshFolder(root / "cloud");
    attachOnly(env, t.store.file, t.cloud, {});
    const auto sender = copyStore(env.large, freshFolder(root / "sender"));
    attachOnly(env, sender.file, t.cloud, {});
    t.openList = t.store.bigListBySortMode.begin()->second;
    return t;
}

// Watches `_sync_pending` from a connection of its own, on a thread of its own: each look is
// when it began and ended and the oldest record still waiting (none: max).
class PendingWatch {
  public:
    explicit PendingWatch(const fs::path& storeFile) : db_(storeFile), thread_([this] { run(); }) {}
    ~PendingWatch() { stop(); }

    void stop() {
        stopping_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // How long the save at `savedAt`, whose last record is `seq`, waited for its export:
    // until the first look begun after it that found no record up to `seq`.
    double waitOf(Clock::time_point savedAt, std::int64_t seq) {
        std::lock_guard lock(mutex_);
        for (const auto& look : looks_) {
            if (look.began >= savedAt && look.oldest > seq) {
                return millisecondsBetween(savedAt, look.ended);
            }
        }
        throw std::runtime_error("a save was never exported");
    }

  private:
    struct Look {
        Clock::time_point began;
        Clock::time_point ended;
        std::int64_t oldest;
    };

    void run() {
        RawStatement oldest(db_, "SELECT MIN(\"seq\") FROM \"_sync_pending\"");
        for (;;) {
            const bool last = stopping_.load();
            const auto began = Clock::now();
            oldest.step();
            const auto seq =
                oldest.isNull(0) ? std::numeric_limits<std::int64_t>::max() : oldest.integer(0);
            oldest.reset();
            {
                std::lock_guard lock(mutex_);
                looks_.push_back({began, Clock::now(), seq});
            }
            if (last) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    RawDatabase db_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::deque<Look> looks_;
    std::thread thread_;  // last: started once the rest is in place
};

class CountingDelegate : public store::FetchedResultsControllerDelegate {
  public:
    void controllerDidChangeObject(store::FetchedResultsController&, store::ManagedObject&,
                                   const store::IndexPath*, store::ChangeType,
                                   const store::IndexPath*) override {
        ++changes;
    }
    std::size_t changes = 0;
};

struct StallFigures {
    double longestTaskMs = 0;
    double longestExportWaitMs = 0;
};

// One run of a job on a fresh copy of its template.
StallFigures runJob(const Environment& env, const AttachedTemplate& t, const fs::path& root) {
    const auto dataDirectory = freshFolder(root / "store");
    fs::copy(t.store.directory, dataDirectory, fs::copy_options::recursive);
    const auto cloud = freshFolder(root / "cloud");
    fs::copy(t.cloud, cloud, fs::copy_options::recursive);

    UserDefaults settings(dataDirectory / "settings.json");
    model::JWDatabase db(
        {dataDirectory, env.resourceDirectory, nullptr, cloud, &settings, t.tuning});
    if (!db.ensemble() || !db.ensemble()->isLeeched()) {
        throw std::runtime_error("the stall job's store is not attached");
    }
    auto context = db.sharedViewContext();
    const auto& model = context->model();
    store::FetchedResultsController lists(model::listsFetchRequest(false), context);
    lists.performFetch();
    auto list = std::static_pointer_cast<model::List>(
        context->objectWithID(store::ObjectID{&model.requireEntity("List"), t.openList}));
    store::FetchedResultsController items(
        model::itemsFetchRequest(list.get(), model::JWListFilter::none), context);
    items.performFetch();
    CountingDelegate listsHeard;
    CountingDelegate itemsHeard;
    lists.setDelegate(&listsHeard);
    items.setDelegate(&itemsHeard);
    auto item = std::static_pointer_cast<model::Item>(items.fetchedObjects().front());

    RawDatabase reader(db.storeURL());
    RawStatement newest(reader, "SELECT MAX(\"seq\") FROM \"_sync_pending\"");
    auto& loop = benchMainLoop();
    StallFigures figures;
    loop.setEventDurationObserver([&](Clock::duration took) {
        figures.longestTaskMs = std::max(figures.longestTaskMs,
                                         std::chrono::duration<double, std::milli>(took).count());
    });
    PendingWatch watch(db.storeURL());
    std::vector<std::pair<Clock::time_point, std::int64_t>> saves;

    bool jobDone = false;
    std::optional<sync::SyncError> jobError;
    db.ensemble()->merge([&](const std::optional<sync::SyncError>& error) {
        jobError = error;
        jobDone = true;
    });
    for (int checks = 0; checks < kMaxChecks && !(jobDone && checks >= 3); ++checks) {
        const auto next = Clock::now() + kCheckEvery;
        loop.runUntil([&] { return Clock::now() >= next; },
                      std::chrono::duration<double>(kCheckEvery).count());
        // The check and its save run on the main thread like any tap: a save that waits for
        // the engine's transaction to end is a stall too.
        const auto tapped = Clock::now();
        model::toggleItem(db, *item);
        const auto savedAt = Clock::now();
        figures.longestTaskMs =
            std::max(figures.longestTaskMs,
                     std::chrono::duration<double, std::milli>(savedAt - tapped).count());
        newest.step();
        saves.emplace_back(savedAt, newest.integer(0));
        newest.reset();
        context->processPendingChanges();
    }
    if (!loop.runUntil([&] { return jobDone && db.operationsInFlight() == 0; }, kWaitSeconds)) {
        throw std::runtime_error("the stall job did not finish");
    }
    db.ensemble()->waitUntilIdle();
    watch.stop();
    loop.setEventDurationObserver({});
    if (jobError) {
        throw std::runtime_error(jobError->localizedDescription);
    }
    for (const auto& [savedAt, seq] : saves) {
        figures.longestExportWaitMs =
            std::max(figures.longestExportWaitMs, watch.waitOf(savedAt, seq));
    }
    if (listsHeard.changes == 0 || itemsHeard.changes == 0) {
        throw std::runtime_error("a controller heard of no change");
    }
    return figures;
}

// Each job runs once per repetition and gives both its figures: its _main_task benchmark
// runs it and keeps the wait for the _export_wait benchmark that follows (which runs the job
// itself when filtered alone).
struct Job {
    std::string name;
    std::function<AttachedTemplate()> prepare;
    std::optional<AttachedTemplate> made;
    std::deque<double> waits;

    const AttachedTemplate& attached() {
        if (!made) {
            made = prepare();
        }
        return *made;
    }
};

void reportMilliseconds(benchmark::State& state, double ms) {
    state.SetIterationTime(ms / 1e3);
}

void registerJob(const Environment& env, const std::shared_ptr<Job>& job) {
    benchmark::RegisterBenchmark(("stalls_" + job->name + "/main_task").c_str(),
                                 [&env, job](benchmark::State& state) {
                                     guarded(state, [&](benchmark::State& s) {
                                         for (auto _ : s) {
                                             const auto figures =
                                                 runJob(env, job->attached(),
                                                        env.work / "stalls" / job->name);
                                             job->waits.push_back(figures.longestExportWaitMs);
                                             reportMilliseconds(s, figures.longestTaskMs);
                                         }
                                     });
                                 })
        ->Iterations(1)
        ->Repetitions(kStallRepetitions)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("stalls_" + job->name + "/export_wait").c_str(),
                                 [&env, job](benchmark::State& state) {
                                     guarded(state, [&](benchmark::State& s) {
                                         for (auto _ : s) {
                                             double wait = 0;
                                             if (job->waits.empty()) {
                                                 wait = runJob(env, job->attached(),
                                                               env.work / "stalls" / job->name)
                                                            .longestExportWaitMs;
                                             } else {
                                                 wait = job->waits.front();
                                                 job->waits.pop_front();
                                             }
                                             reportMilliseconds(s, wait);
                                         }
                                     });
                                 })
        ->Iterations(1)
        ->Repetitions(kStallRepetitions)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

std::vector<CaseLine> stallCaseTable() {
    std::vector<CaseLine> lines;
    for (const char* job : {"baseline", "import"}) {
        const std::string name = std::string("stalls_") + job;
        lines.push_back({name + "_main_task", name + "/main_task", "stalls_budget/main_task", 1.0,
                         CaseClock::wall});
        lines.push_back({name + "_export_wait", name + "/export_wait", "stalls_budget/export_wait",
                         1.0, CaseClock::wall});
    }
    return lines;
}

void registerStallCases(const Environment& env) {
    // The budgets, as times, for the baseline column.
    for (const auto& [name, ms] : {std::pair{"main_task", kMainTaskBudgetMs},
                                   std::pair{"export_wait", kExportWaitBudgetMs}}) {
        benchmark::RegisterBenchmark((std::string("stalls_budget/") + name).c_str(),
                                     [ms = ms](benchmark::State& state) {
                                         for (auto _ : state) {
                                             reportMilliseconds(state, ms);
                                         }
                                     })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    registerJob(env,
                std::make_shared<Job>(
                    Job{"baseline", [&env] { return prepareBaselineJob(env); }, std::nullopt, {}}));
    registerJob(env, std::make_shared<Job>(Job{
                         "import", [&env] { return prepareImportJob(env); }, std::nullopt, {}}));
}

}  // namespace jw::bench
