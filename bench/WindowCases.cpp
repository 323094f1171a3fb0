#include "WindowCases.h"

#include <QCoreApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "frontends/qt/AppHost.h"
#include "platform/foundation/ManualRunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "src/app/JotwellApplication.h"
#include "src/model/JWDatabase.h"

namespace jw::bench {

namespace {

// Each start lasts a good part of a second: few iterations, enough repetitions for a median.
constexpr benchmark::IterationCount kWindowIterations = 2;
constexpr int kWindowRepetitions = 10;
// The big list the window opens (alphabetical), and its store-side case.
constexpr std::int16_t kOpenedSortMode = 1;

const QByteArray kEmptyScene =
    "import QtQuick\n"
    "Window { visible: true; width: 1180; height: 820 }\n";

benchmark::internal::Benchmark* configure(benchmark::internal::Benchmark* benchmark) {
    return benchmark->Iterations(kWindowIterations)
        ->Repetitions(kWindowRepetitions)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

// The application started, to its first frame with the lists' rows (or, on a store with no
// lists, its first frame); it is returned running.
std::unique_ptr<WindowSession> startWindow(const WindowStore& store, FrameWatch& watch,
                                           bool withRows = true) {
    if (withRows) {
        watch.expect([](QQuickWindow& window) { return rowsShown(window, "primaryColumn") > 0; });
    } else {
        watch.expect([](QQuickWindow&) { return true; });
    }
    auto session = std::make_unique<WindowSession>(store);
    watch.wait(withRows ? "the lists' rows" : "the window");
    return session;
}

// Starts measured one after the other, each closed untimed before the next.
void measureStarts(benchmark::State& s, const WindowStore& store, bool withRows) {
    FrameWatch watch;
    startWindow(store, watch, withRows);  // warm-up
    for (auto _ : s) {
        auto session = startWindow(store, watch, withRows);
        s.PauseTiming();
        session.reset();
        s.ResumeTiming();
    }
}

void firstFrame(benchmark::State& state, const WindowStore& store) {
    guarded(state, [&](benchmark::State& s) { measureStarts(s, store, true); });
}

// The application's window on a store with no lists: its first frame, which must show the
// lists' screen with no rows beside the items' column (not the introduction of a store that
// is not attached, say).
void emptyAppWindow(benchmark::State& state, const WindowStore& store) {
    guarded(state, [&](benchmark::State& s) {
        {
            FrameWatch watch;
            auto session = startWindow(store, watch, false);
            if (session->host().application().database().syncState() !=
                    model::SyncState::attached ||
                rowsShown(session->window(), "primaryColumn") != 0 ||
                !session->window().property("split").toBool()) {
                throw std::runtime_error("the empty store's window is not the lists' screen");
            }
        }
        measureStarts(s, store, false);
    });
}

void emptyWindow(benchmark::State& state) {
    guarded(state, [&](benchmark::State& s) {
        FrameWatch watch;
        const auto start = [&] {
            watch.expect([](QQuickWindow&) { return true; });
            auto engine = std::make_unique<QQmlApplicationEngine>();
            engine->loadData(kEmptyScene);
            if (engine->rootObjects().isEmpty()) {
                throw std::runtime_error("the empty scene did not load");
            }
            watch.wait("the empty window");
            return engine;
        };
        const auto close = [](std::unique_ptr<QQmlApplicationEngine> engine) {
            engine.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        };
        close(start());  // warm-up
        for (auto _ : s) {
            auto engine = start();
            s.PauseTiming();
            close(std::move(engine));
            s.ResumeTiming();
        }
    });
}

void openList(benchmark::State& state, const WindowStore& store, std::int64_t listKey,
              std::size_t expectedItems) {
    guarded(state, [&](benchmark::State& s) {
        FrameWatch watch;
        for (auto _ : s) {
            s.PauseTiming();
            auto session = startWindow(store, watch);
            session->waitUntilIdle();
            const QPoint row = session->showListRow(listKey, watch);
            watch.expect(
                [](QQuickWindow& window) { return rowsShown(window, "secondaryColumn") > 0; });
            s.ResumeTiming();
            session->tap(row);
            watch.wait("the items' rows");
            s.PauseTiming();
            if (session->itemsFetched() != expectedItems) {
                throw std::runtime_error("the items screen holds " +
                                         std::to_string(session->itemsFetched()) + " items, not " +
                                         std::to_string(expectedItems));
            }
            session.reset();
            s.ResumeTiming();
        }
    });
}

}  // namespace

WindowStore windowStoreOf(const Environment& env) {
    return WindowStore{env.window.directory, env.window.cloudDirectory.value_or(""),
                       env.resourceDirectory};
}

WindowStore emptyWindowStoreOf(const Environment& env) {
    const auto beside = env.window.directory.parent_path();
    return WindowStore{beside / "window-empty", beside / "window-empty-cloud",
                       env.resourceDirectory};
}

namespace {

void attachInThisProcess(const WindowStore& store) {
    const auto paths = AppPaths::resolve(store.dataDirectory);
    paths.createDirectories();
    auto clock = std::make_shared<ManualClock>();
    auto loop = std::make_shared<ManualRunLoop>(clock);
    LaunchSettings settings;
    settings.dataDirectory = store.dataDirectory;
    settings.resourceDirectory = store.resourceDirectory;
    settings.cloudDirectory = store.cloudDirectory;
    settings.clock = clock;
    settings.runLoop = loop;
    // The window's own settings file, so it finds the attachment recorded there.
    settings.userDefaults = std::make_shared<UserDefaults>(paths.userDefaultsFile());
    settings.windowSize = ui::Window::tabletSize;
    auto app = JotwellApplication::launch(std::move(settings));
    auto& db = app->database();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (db.operationsInFlight() > 0 && std::chrono::steady_clock::now() < deadline) {
        loop->waitForPosted(0.05);
    }
    loop->drain();
    if (db.syncState() != model::SyncState::attached) {
        throw std::runtime_error("the window's store did not attach to its cloud folder");
    }
}

}  // namespace

namespace {

void attachInChildProcess(const WindowStore& store) {
    // In a child process: what attaching allocates would otherwise stay in this process and
    // count in the peak of every memory probe forked from it.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("cannot fork to attach the window's store");
    }
    if (child == 0) {
        try {
            attachInThisProcess(store);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("the window's store could not be attached to its cloud folder");
    }
}

}  // namespace

void attachWindowStore(const Environment& env) {
    attachInChildProcess(windowStoreOf(env));
    // The same application on a data folder of its own with no lists, attached to an empty
    // cloud folder: the window's own start, everything but the rows.
    const auto empty = emptyWindowStoreOf(env);
    std::filesystem::create_directories(empty.dataDirectory);
    std::filesystem::create_directories(empty.cloudDirectory);
    attachInChildProcess(empty);
}

std::vector<CaseLine> windowCaseTable() {
    CaseLine first{"window_first_frame", "window_first_frame/ours", "launch_lists_screen/store",
                   1.5, CaseClock::wall};
    first.addedToBaseline = "window_first_frame/empty";
    // The same start against the application's own window on an empty store: what the start
    // costs beyond the empty window, less what showing the lists' rows adds.
    CaseLine firstApp{"window_first_frame_app", "window_first_frame/ours",
                      "launch_lists_screen/store", 1.5, CaseClock::wall};
    firstApp.addedToBaseline = "window_first_frame/app_empty";
    return {first,
            firstApp,
            {"window_open_list", "window_open_list/ours",
             std::string("open_list_alphabetical/ours"), 1.5, CaseClock::wall}};
}

void registerWindowCases(const Environment& env) {
    makeGuiApplication();
    const WindowStore store = windowStoreOf(env);
    configure(benchmark::RegisterBenchmark(
        "window_first_frame/ours", [store](benchmark::State& state) { firstFrame(state, store); }));
    configure(benchmark::RegisterBenchmark("window_first_frame/empty",
                                           [](benchmark::State& state) { emptyWindow(state); }));
    const WindowStore emptyStore = emptyWindowStoreOf(env);
    configure(benchmark::RegisterBenchmark(
        "window_first_frame/app_empty",
        [emptyStore](benchmark::State& state) { emptyAppWindow(state, emptyStore); }));
    const std::int64_t listKey = env.window.bigListBySortMode.at(kOpenedSortMode);
    const std::size_t items = env.window.shape.bigListItems;
    configure(benchmark::RegisterBenchmark("window_open_list/ours",
                                           [store, listKey, items](benchmark::State& state) {
                                               openList(state, store, listKey, items);
                                           }));
}

}  // namespace jw::bench
