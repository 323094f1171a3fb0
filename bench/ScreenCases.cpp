#include "ScreenCases.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/foundation/ManualRunLoop.h"
#include "platform/store/FetchedResultsController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "src/app/JotwellApplication.h"
#include "src/lists/JWListTableViewCell.h"
#include "src/lists/MasterViewController.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/ListOrder.h"

namespace jw::bench {

namespace {

constexpr benchmark::IterationCount kLaunchIterations = 20;
constexpr int kLaunchRepetitions = 15;

// Counts the list rows the screens filled in: the cells whose subviews changed.
class ConfiguredCells final : public ui::Observer {
  public:
    void viewDidChange(ui::View& view) override {
        if (const auto cell = std::dynamic_pointer_cast<JWListTableViewCell>(view.superview())) {
            cells.insert(cell.get());
        }
    }
    std::set<const void*> cells;
};

// One launch of the application, kept until the timer is paused.
struct Launched {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ManualRunLoop> loop = std::make_shared<ManualRunLoop>(clock);
    std::shared_ptr<ConfiguredCells> configured = std::make_shared<ConfiguredCells>();
    std::unique_ptr<JotwellApplication> app;

    std::size_t rowsOnScreen() {
        const auto split =
            std::dynamic_pointer_cast<ui::SplitViewController>(app->window().rootViewController());
        const auto lists =
            std::dynamic_pointer_cast<ui::NavigationController>(split->viewControllers().front());
        auto& screen = dynamic_cast<MasterViewController&>(*lists->topViewController());
        return screen.tableView().indexPathsForVisibleRows().size();
    }
};

std::unique_ptr<Launched> launchApplication(const Environment& env) {
    auto launched = std::make_unique<Launched>();
    LaunchSettings settings;
    settings.dataDirectory = env.large.directory;
    settings.resourceDirectory = env.resourceDirectory;
    settings.clock = launched->clock;
    settings.runLoop = launched->loop;
    settings.userDefaults = std::make_shared<UserDefaults>(std::filesystem::path());
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

}  // namespace

std::vector<CaseLine> screenCaseTable() {
    return {{"launch_lists_screen", "launch_lists_screen/ours", "launch_lists_screen/store", 1.3}};
}

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
}

}  // namespace jw::bench
