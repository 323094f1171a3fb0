#include "ScreenCases.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/foundation/ManualRunLoop.h"
#include "platform/store/FetchedResultsController.h"
#include "platform/store/ObjectModel.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "src/app/JotwellApplication.h"
#include "src/items/DetailViewController.h"
#include "src/items/JWItemTableViewCell.h"
#include "src/lists/JWListTableViewCell.h"
#include "src/lists/MasterViewController.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/ListOrder.h"

namespace jw::bench {

namespace {

constexpr benchmark::IterationCount kLaunchIterations = 20;
constexpr int kLaunchRepetitions = 15;

constexpr benchmark::IterationCount kItemsScreenIterations = 4;
constexpr benchmark::IterationCount kCheckOnScreenIterations = 60;
constexpr int kItemsScreenRepetitions = 15;

// Counts the rows the screens filled in: the cells whose subviews changed, lists and items apart.
class ConfiguredCells final : public ui::Observer {
  public:
    void viewDidChange(ui::View& view) override {
        const auto superview = view.superview();
        if (std::dynamic_pointer_cast<JWListTableViewCell>(superview)) {
            cells.insert(superview.get());
        } else if (std::dynamic_pointer_cast<JWItemTableViewCell>(superview)) {
            itemCells.insert(superview.get());
        }
    }
    std::set<const void*> cells;
    std::set<const void*> itemCells;
};

// One launch of the application, kept until the timer is paused.
struct Launched {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ManualRunLoop> loop = std::make_shared<ManualRunLoop>(clock);
    std::shared_ptr<ConfiguredCells> configured = std::make_shared<ConfiguredCells>();
    std::unique_ptr<JotwellApplication> app;

    ui::SplitViewController& split() {
        return dynamic_cast<ui::SplitViewController&>(*app->window().rootViewController());
    }
    MasterViewController& listsScreen() {
        const auto lists =
            std::dynamic_pointer_cast<ui::NavigationController>(split().viewControllers().front());
        return dynamic_cast<MasterViewController&>(*lists->topViewController());
    }
    DetailViewController& itemsScreen() {
        const auto items =
            std::dynamic_pointer_cast<ui::NavigationController>(split().viewControllers().back());
        return dynamic_cast<DetailViewController&>(*items->topViewController());
    }
    std::size_t rowsOnScreen() {
        return listsScreen().tableView().indexPathsForVisibleRows().size();
    }

    // Scrolls the lists screen to the list with this key; its row.
    ui::IndexPath scrollToList(std::int64_t listKey) {
        auto& screen = listsScreen();
        const auto& lists = screen.fetchedResultsController().fetchedObjects();
        for (std::size_t row = 0; row < lists.size(); ++row) {
            if (lists[row]->objectID().key == listKey) {
                const ui::IndexPath path{0, row};
                screen.tableView().scrollToRow(path, false);
                return path;
            }
        }
        throw std::runtime_error("no list with key " + std::to_string(listKey));
    }

    // Fails unless the items screen configured exactly the rows it shows, and some.
    void requireOnlyItemRowsOnScreenConfigured() {
        const std::size_t onScreen = itemsScreen().tableView().indexPathsForVisibleRows().size();
        if (onScreen == 0 || configured->itemCells.size() != onScreen) {
            throw std::runtime_error(std::to_string(configured->itemCells.size()) +
                                     " item rows configured for " + std::to_string(onScreen) +
                                     " on screen");
        }
    }
};

// The application over `store` (the large one unless told), opened with the store's cloud
// folder and settings when it has a cloud folder.
std::unique_ptr<Launched> launchApplication(const Environment& env,
                                            const GeneratedStore* store = nullptr) {
    auto launched = std::make_unique<Launched>();
    LaunchSettings settings;
    settings.dataDirectory = (store ? *store : env.large).directory;
    if (store && store->cloudDirectory) {
        settings.cloudDirectory = store->cloudDirectory;
    }
    settings.resourceDirectory = env.resourceDirectory;
    settings.clock = launched->clock;
    settings.runLoop = launched->loop;
    settings.userDefaults = std::make_shared<UserDefaults>(store && store->cloudDirectory
                                                               ? store->directory / "settings.json"
                                                               : std::filesystem::path());
    settings.advertising = std::make_shared<ads::MobileAds>(
        ads::HouseAdNetworkOptions{env.resourceDirectory / "ads", 1.5, 0.0, 1});
    settings.observer = launched->configured;
    settings.windowSize = ui::Window::tabletSize;
    launched->app = JotwellApplication::launch(std::move(settings));
    return launched;
}

// The store's side: the database over the store and the lists screen's fetch, read through.
struct StoreShown {
    std::unique_ptr<model::JWDatabase> db;
    std::unique_ptr<store::FetchedResultsController> controller;
    std::size_t bytes = 0;
};

StoreShown openStoreLists(const Environment& env, const UserDefaults& settings) {
    StoreShown shown;
    model::JWDatabase::Locations where{env.large.directory, env.resourceDirectory};
    shown.db = std::make_unique<model::JWDatabase>(where);
    shown.controller = std::make_unique<store::FetchedResultsController>(
        model::listsScreenFetchRequest(settings), shown.db->sharedViewContext());
    shown.controller->performFetch();
    shown.bytes += bytesOfListsShown(*shown.controller);
    return shown;
}

// The application launched over the attached copy of the large store (so that no cloud intro
// covers the screens) and its launch merge finished, with the lists screen scrolled to the big
// list of `sortMode`.
std::unique_ptr<Launched> launchedAtBigList(const Environment& env, std::int16_t sortMode,
                                            ui::IndexPath& row) {
    auto launched = launchApplication(env, &env.attached);
    auto& db = launched->app->database();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (db.operationsInFlight() > 0 && std::chrono::steady_clock::now() < deadline) {
        launched->loop->waitForPosted(0.05);
    }
    launched->loop->drain();
    if (db.syncState() != model::SyncState::attached) {
        throw std::runtime_error("the attached store did not open attached");
    }
    row = launched->scrollToList(env.attached.bigListBySortMode.at(sortMode));
    launched->configured->itemCells.clear();
    return launched;
}

}  // namespace

std::vector<CaseLine> screenCaseTable() {
    std::vector<CaseLine> lines{
        {"launch_lists_screen", "launch_lists_screen/ours", "launch_lists_screen/store", 1.3}};
    for (const auto& mode : measuredSortModes()) {
        const std::string name = std::string("items_screen_") + mode.name;
        lines.push_back(
            {name, name + "/ours", std::string("open_list_") + mode.name + "/ours", 1.3});
    }
    lines.push_back({"check_item_on_screen", "check_item_on_screen/ours", "check_item/ours", 1.5});
    lines.push_back({"check_item_on_screen_attached", "check_item_on_screen/ours",
                     "check_item_attached_paused/ours", 1.5});
    return lines;
}

namespace {

// items_screen_<mode>/ours: the tap on the big list's row, to the items screen's first
// screenful of rows configured. Each iteration launches the application afresh (not timed),
// so every open reads the list from the store as a first open does.
void openItemsScreen(benchmark::State& state, const Environment& env, std::int16_t sortMode) {
    guarded(state, [&](benchmark::State& s) {
        ui::IndexPath row;
        for (auto _ : s) {
            s.PauseTiming();
            auto launched = launchedAtBigList(env, sortMode, row);
            s.ResumeTiming();
            launched->listsScreen().tableView().tapRow(row);
            launched->loop->drain();
            s.PauseTiming();
            launched->requireOnlyItemRowsOnScreenConfigured();
            launched.reset();
            s.ResumeTiming();
        }
    });
}

// check_item_on_screen/ours: the big checked-first list open on the items screen; a tap on the
// first row's tick, to the row redrawn (and moved) and the title updated.
void checkItemOnScreen(benchmark::State& state, const Environment& env) {
    guarded(state, [&](benchmark::State& s) {
        ui::IndexPath row;
        auto launched = launchedAtBigList(env, 5, row);
        launched->listsScreen().tableView().tapRow(row);
        launched->loop->drain();
        auto& screen = launched->itemsScreen();
        auto& db = launched->app->database();
        // The row and the title are redrawn inside the tap (the save reports the change at
        // once); the cloud sync that the save starts is waited for with the timer paused.
        const auto tick = [&] {
            const auto cell = std::dynamic_pointer_cast<JWItemTableViewCell>(
                screen.tableView().cellForRowAtIndexPath(ui::IndexPath{0, 0}));
            cell->tickButton.lock()->tap();
        };
        const auto settle = [&] {
            while (db.operationsInFlight() > 0) {
                launched->loop->waitForPosted(0.05);
            }
            launched->loop->drain();
        };
        tick();  // warm-up: check and uncheck once
        settle();
        tick();
        settle();
        launched->configured->itemCells.clear();
        for (auto _ : s) {
            tick();
            s.PauseTiming();
            settle();
            s.ResumeTiming();
        }
        if (launched->configured->itemCells.empty()) {
            throw std::runtime_error("no row was redrawn");
        }
    });
}

void registerItemsScreenCases(const Environment& env) {
    for (const auto& mode : measuredSortModes()) {
        const std::int16_t code = mode.code;
        benchmark::RegisterBenchmark(
            (std::string("items_screen_") + mode.name + "/ours").c_str(),
            [&env, code](benchmark::State& state) { openItemsScreen(state, env, code); })
            ->Iterations(kItemsScreenIterations)
            ->Repetitions(kItemsScreenRepetitions)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("check_item_on_screen/ours",
                                 [&env](benchmark::State& state) { checkItemOnScreen(state, env); })
        ->Iterations(kCheckOnScreenIterations)
        ->Repetitions(kItemsScreenRepetitions)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

void registerScreenCases(const Environment& env) {
    benchmark::RegisterBenchmark(
        "launch_lists_screen/ours",
        [&env](benchmark::State& state) {
            guarded(state, [&](benchmark::State& s) {
                launchApplication(env);  // warm-up
                for (auto _ : s) {
                    auto launched = launchApplication(env);
                    s.PauseTiming();
                    const std::size_t onScreen = launched->rowsOnScreen();
                    if (onScreen == 0 || launched->configured->cells.size() != onScreen) {
                        throw std::runtime_error(
                            std::to_string(launched->configured->cells.size()) +
                            " rows configured for " + std::to_string(onScreen) + " on screen");
                    }
                    launched->loop->drain();
                    launched.reset();
                    s.ResumeTiming();
                }
            });
        })
        ->Iterations(kLaunchIterations)
        ->Repetitions(kLaunchRepetitions)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("launch_lists_screen/store",
                                 [&env](benchmark::State& state) {
                                     guarded(state, [&](benchmark::State& s) {
                                         const UserDefaults settings{std::filesystem::path()};
                                         openStoreLists(env, settings);  // warm-up
                                         for (auto _ : s) {
                                             auto shown = openStoreLists(env, settings);
                                             benchmark::DoNotOptimize(shown.bytes);
                                             s.PauseTiming();
                                             shown.controller.reset();
                                             shown.db.reset();
                                             s.ResumeTiming();
                                         }
                                     });
                                 })
        ->Iterations(kLaunchIterations)
        ->Repetitions(kLaunchRepetitions)
        ->Unit(benchmark::kMillisecond);
    registerItemsScreenCases(env);
}

}  // namespace jw::bench
