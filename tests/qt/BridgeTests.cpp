// The pieces under the window, without QML: the run loop on Qt's event loop, and a table's
// batches as a list model's row signals.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "frontends/qt/QtRunLoop.h"
#include "frontends/qt/SceneBridge.h"
#include "frontends/qt/TableModel.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/Window.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

QCoreApplication& coreApplication() {
    if (auto* existing = QCoreApplication::instance()) {
        return *existing;
    }
    static int argc = 1;
    static char name[] = "qt_bridge_tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

// Runs Qt's events until `done` (ten seconds at most).
bool runUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return done();
}

TEST(QtRunLoop, RunsPostsFromAnyThreadInOrderWithTimersAndEndOfEventObservers) {
    coreApplication();
    qt::QtRunLoop loop;
    std::vector<std::string> events;
    loop.addEndOfEventObserver([&] { events.push_back("end"); });
    loop.post([&] { events.push_back("first"); });
    std::thread worker([&] { loop.post([&] { events.push_back("from worker"); }); });
    worker.join();
    ASSERT_TRUE(runUntil([&] { return events.size() == 4; })) << "the worker's post woke Qt";
    int ticks = 0;
    loop.scheduleTimer(0.005, true, [&](Timer& timer) {
        events.push_back("tick");
        if (++ticks == 2) {
            timer.invalidate();
        }
    });
    auto once = loop.scheduleTimer(0.0, false, [&](Timer&) { events.push_back("once"); });
    ASSERT_TRUE(runUntil([&] { return ticks == 2 && !once->isValid(); }));
    EXPECT_EQ(test::joined(events, " "), "first end from worker end once end tick end tick end");
}

// A table of one section whose rows are strings; each cell shows its row's text.
class WordsController : public ui::TableViewController {
  public:
    std::vector<std::string> words;
    std::size_t numberOfRowsInSection(ui::TableView&, std::size_t) override { return words.size(); }
    std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& table,
                                                             const ui::IndexPath& path) override {
        auto cell = table.dequeueReusableCell("Cell", path);
        if (cell->subviews().empty()) {
            cell->addSubview(std::make_shared<ui::Label>());
        }
        std::static_pointer_cast<ui::Label>(cell->subviews().front())->setText(words[path.row]);
        return cell;
    }
};

// The model's row signals, as "+row", "-row", "from>to", "~first[-last]" (data changed; "r"
// after it when only some roles are named) and "reset".
class SignalLog : public QObject {
  public:
    explicit SignalLog(QAbstractItemModel& model) {
        connect(&model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first, int) { add("+" + std::to_string(first)); });
        connect(&model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex&, int first, int) { add("-" + std::to_string(first)); });
        connect(&model, &QAbstractItemModel::rowsMoved, this,
                [this](const QModelIndex&, int from, int, const QModelIndex&, int to) {
                    add(std::to_string(from) + ">" + std::to_string(to));
                });
        connect(&model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& first, const QModelIndex& last, const QList<int>& roles) {
                    add("~" + std::to_string(first.row()) +
                        (last.row() != first.row() ? "-" + std::to_string(last.row()) : "") +
                        (roles.empty() ? "" : "r"));
                });
        connect(&model, &QAbstractItemModel::modelReset, this, [this] { add("reset"); });
    }
    std::string take() { return std::exchange(line_, ""); }

  private:
    void add(const std::string& event) { line_ += (line_.empty() ? "" : " ") + event; }
    std::string line_;
};

struct BatchCase {
    const char* name;
    std::vector<std::string> after;  // the rows once the batch is applied
    std::function<void(ui::TableView&)> batch;
    const char* expected;
};

TEST(TableModel, FollowsEachBatchRowByRowOrResetsWhenItCannot) {
    coreApplication();
    using P = ui::IndexPath;
    const std::vector<BatchCase> cases = {
        {"insert",
         {"a", "b", "x", "c"},
         [](auto& t) {
             t.insertRows({P{0, 2}}, {});
         },
         "+2"},
        {"delete two",
         {"b"},
         [](auto& t) {
             t.deleteRows({P{0, 0}, P{0, 2}}, {});
         },
         "-2 -0"},
        {"delete and insert",
         {"x", "b", "c"},
         [](auto& t) {
             t.beginUpdates();
             t.deleteRows({P{0, 0}}, {});
             t.insertRows({P{0, 0}}, {});
             t.endUpdates();
         },
         "-0 +0"},
        {"reload past a deletion",
         {"b", "C"},
         [](auto& t) {
             t.beginUpdates();
             t.deleteRows({P{0, 0}}, {});
             t.reloadRows({P{0, 2}}, {});
             t.endUpdates();
         },
         "-0 ~1"},
        {"move down",
         {"b", "c", "a"},
         [](auto& t) {
             t.moveRow(P{0, 0}, P{0, 2});
         },
         "0>3"},
        {"move up",
         {"c", "a", "b"},
         [](auto& t) {
             t.moveRow(P{0, 2}, P{0, 0});
         },
         "2>0"},
        {"reload everything", {"z"}, [](auto& t) { t.reloadData(); }, "reset"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto previous = ui::Application::install(std::make_shared<ui::Application>());
        qt::SceneBridge bridge;
        ui::Application::shared().setObserver(bridge.observer());
        auto screen = std::make_shared<WordsController>();
        screen->words = {"a", "b", "c"};
        auto& table = screen->tableView();
        table.registerCell("Cell", [] { return std::make_shared<ui::TableViewCell>("Cell"); });
        auto* model =
            bridge.tableModelFor(std::static_pointer_cast<ui::TableView>(table.shared_from_this()));
        ASSERT_EQ(model->rowCount(), 3);
        SignalLog log(*model);
        screen->words = c.after;
        c.batch(table);
        EXPECT_EQ(log.take(), c.expected);
        EXPECT_EQ(model->rowCount(), static_cast<int>(c.after.size()));
        ui::Application::shared().setObserver(nullptr);
        ui::Application::install(previous);
    }
}

// When the table lays out anew, the rows drawn from the cell they still have are not drawn
// again; the rows that now have another cell are, in runs.
TEST(TableModel, RedrawsOnlyTheRowsThatNowShowAnotherCell) {
    coreApplication();
    auto loop = std::make_shared<qt::QtRunLoop>();
    auto previousLoop = installMainRunLoop(loop);
    auto previous = ui::Application::install(std::make_shared<ui::Application>());
    {
        qt::SceneBridge bridge;
        ui::Application::shared().setObserver(bridge.observer());
        auto screen = std::make_shared<WordsController>();
        for (int i = 0; i < 40; ++i) {
            screen->words.push_back("w" + std::to_string(i));
        }
        screen->tableView().registerCell(
            "Cell", [] { return std::make_shared<ui::TableViewCell>("Cell"); });
        auto window = std::make_shared<ui::Window>(ui::Window::phoneSize);
        ui::Application::shared().setWindow(window);
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        loop->runPosted();
        auto& table = screen->tableView();
        auto* model =
            bridge.tableModelFor(std::static_pointer_cast<ui::TableView>(table.shared_from_this()));
        const auto shown = [&] { return table.indexPathsForVisibleRows(); };
        const auto drawShown = [&] {
            for (const auto& path : shown()) {
                model->data(model->index(static_cast<int>(path.row)), qt::TableModel::PartsRole);
            }
        };
        drawShown();
        const int last = static_cast<int>(shown().back().row);
        SignalLog log(*model);
        model->tableDidChange();
        EXPECT_EQ(log.take(), "~0-" + std::to_string(last) + "r");
        table.setContentOffset(table.rowHeight() * 2);
        model->tableDidChange();
        EXPECT_EQ(log.take(), "~" + std::to_string(last + 1) + "-" + std::to_string(last + 2) +
                                  " ~2-" + std::to_string(last + 2) + "r");
        ui::Application::shared().setObserver(nullptr);
        ui::Application::shared().setWindow(nullptr);
    }
    ui::Application::install(previous);
    installMainRunLoop(previousLoop);
}

}  // namespace
}  // namespace jw
