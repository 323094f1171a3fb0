#include "WindowSession.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <clocale>
#include <stdexcept>

#include "frontends/qt/AppHost.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "src/app/JotwellApplication.h"
#include "src/items/DetailViewController.h"
#include "src/lists/MasterViewController.h"
#include "src/model/JWDatabase.h"

namespace jw::bench {

namespace {

// A row with its content: rows the table has not laid out yet show no parts.
bool isRow(const QQuickItem& item) {
    return item.isVisible() && item.objectName().startsWith(QStringLiteral("row:")) &&
           !item.property("parts").toList().isEmpty();
}

QQuickItem* find(QQuickItem* from, const std::function<bool(QQuickItem&)>& matches) {
    for (auto* child : from->childItems()) {
        if (!child->isVisible()) {
            continue;
        }
        if (matches(*child)) {
            return child;
        }
        if (auto* found = find(child, matches)) {
            return found;
        }
    }
    return nullptr;
}

QQuickItem* named(QQuickItem* from, const QString& name) {
    return find(from, [&](QQuickItem& item) { return item.objectName() == name; });
}

int countRows(QQuickItem* from) {
    int rows = 0;
    for (auto* child : from->childItems()) {
        if (!child->isVisible()) {
            continue;
        }
        rows += isRow(*child) ? 1 : countRows(child);
    }
    return rows;
}

ui::SplitViewController& splitOf(JotwellApplication& application) {
    return dynamic_cast<ui::SplitViewController&>(*application.window().rootViewController());
}

}  // namespace

void makeGuiApplication() {
    if (QCoreApplication::instance()) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt sets the C library's locale from the environment; the other cases keep the one the
    // process started with.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    static int argc = 1;
    static char name[] = "jotwell-bench";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);  // lives as long as the process
    std::setlocale(LC_ALL, locale.c_str());
}

FrameWatch::FrameWatch() {
    QCoreApplication::instance()->installEventFilter(this);
}

FrameWatch::~FrameWatch() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool FrameWatch::eventFilter(QObject* watched, QEvent* event) {
    // Seen before the window handles its first exposure, which may draw at once.
    if (event->type() == QEvent::Expose || event->type() == QEvent::Show) {
        if (auto* window = qobject_cast<QQuickWindow*>(watched);
            window && !window->property("jwBenchWatched").toBool()) {
            window->setProperty("jwBenchWatched", true);
            connect(
                window, &QQuickWindow::frameSwapped, this,
                [this, window] { frameSwapped(*window); }, Qt::DirectConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

void FrameWatch::frameSwapped(QQuickWindow& window) {
    ++frames_;
    if (shows_ && !shown_ && shows_(window)) {
        shown_ = true;
        if (wake_) {
            wake_();
        }
    }
}

void FrameWatch::expect(std::function<bool(QQuickWindow&)> shows) {
    shows_ = std::move(shows);
    shown_ = false;
}

void FrameWatch::wait(const std::string& what, double limitSeconds) {
    QEventLoop loop;
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    wake_ = [&] { loop.quit(); };
    limit.start(std::chrono::milliseconds(static_cast<int>(limitSeconds * 1000)));
    if (!shown_) {
        loop.exec();
    }
    wake_ = nullptr;
    shows_ = nullptr;
    if (!shown_ && timedOut) {
        throw std::runtime_error("no frame showed " + what);
    }
}

void waitUntil(const std::string& what, const std::function<bool()>& done, double limitSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("timed out waiting until " + what);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
}

WindowSession::WindowSession(const WindowStore& store) {
    qt::HostSettings settings;
    settings.paths = AppPaths::resolve(store.dataDirectory);
    settings.paths.resourceDirectory = store.resourceDirectory;
    settings.cloudDirectory = store.cloudDirectory;
    settings.windowSize = tabletSize;
    host_ = std::make_unique<qt::AppHost>(settings);
}

WindowSession::~WindowSession() {
    host_.reset();
    // The window's own objects go at the next turn of the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QQuickWindow& WindowSession::window() {
    return *host_->window();
}

void WindowSession::waitUntilIdle() {
    auto& db = host_->application().database();
    waitUntil("the store is attached and idle", [&] {
        return db.syncState() == model::SyncState::attached && db.operationsInFlight() == 0;
    });
}

int rowsShown(QQuickWindow& window, const QString& column) {
    auto* columnItem = named(window.contentItem(), column);
    return columnItem ? countRows(columnItem) : 0;
}

QPoint WindowSession::showListRow(std::int64_t listKey, FrameWatch& watch) {
    auto& split = splitOf(host_->application());
    const auto lists =
        std::dynamic_pointer_cast<ui::NavigationController>(split.viewControllers().front());
    auto& screen = dynamic_cast<MasterViewController&>(*lists->topViewController());
    const auto& fetched = screen.fetchedResultsController().fetchedObjects();
    int row = -1;
    for (std::size_t i = 0; i < fetched.size(); ++i) {
        if (fetched[i]->objectID().key == listKey) {
            row = static_cast<int>(i);
        }
    }
    if (row < 0) {
        throw std::runtime_error("no list with key " + std::to_string(listKey));
    }
    auto* column = named(window().contentItem(), QStringLiteral("primaryColumn"));
    auto* list = column ? named(column, QStringLiteral("tableList")) : nullptr;
    if (!list) {
        throw std::runtime_error("the lists' table is not on screen");
    }
    QQuickItem* rowItem = nullptr;
    watch.expect([&](QQuickWindow&) {
        rowItem = find(list, [&](QQuickItem& item) {
            return isRow(item) && item.property("index").toInt() == row;
        });
        return rowItem != nullptr;
    });
    // The ListView's own scrolling (ListView.Center), as a person's flick would end; a frame
    // is asked for in case the row was on screen already.
    QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, row), Q_ARG(int, 1));
    window().update();
    watch.wait("the list's row");
    return rowItem->mapToScene(QPointF(rowItem->width() / 2, rowItem->height() / 2)).toPoint();
}

void WindowSession::tap(QPoint point) {
    QTest::mouseClick(&window(), Qt::LeftButton, {}, point);
}

std::size_t WindowSession::itemsFetched() {
    auto& split = splitOf(host_->application());
    const auto items =
        std::dynamic_pointer_cast<ui::NavigationController>(split.viewControllers().back());
    auto* screen =
        items ? dynamic_cast<DetailViewController*>(ui::topViewController(items).get()) : nullptr;
    return screen ? screen->fetchedResultsController().numberOfObjects(0) : 0;
}

}  // namespace jw::bench
