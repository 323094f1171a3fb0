#include "tests/qt/WindowDriver.h"

#include <QtQuickTest/quicktest.h>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "src/app/JotwellApplication.h"
#include "src/model/JWDatabase.h"

namespace jw::test {

namespace {

void makeGuiApplication() {
    if (QCoreApplication::instance()) {
        return;
    }
    // No display is needed: Qt's offscreen platform, unless the caller chose one (xvfb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "jotwell-window-driver";
    static char* argv[] = {name, nullptr};
    // A QApplication, as the program has: printing needs widgets.
    new QApplication(argc, argv);
}

}  // namespace

WindowDriver::WindowDriver() {
    makeGuiApplication();
}

WindowDriver::~WindowDriver() {
    quit();
}

void WindowDriver::launch(const std::filesystem::path& dataDirectory,
                          const std::filesystem::path& cloudDirectory, QSize size,
                          const std::function<void(qt::HostSettings&)>& adjust) {
    qt::HostSettings settings;
    settings.paths = AppPaths::resolve(dataDirectory);
    settings.cloudDirectory = cloudDirectory;
    std::filesystem::create_directories(cloudDirectory);
    settings.windowSize = size;
    if (adjust) {
        adjust(settings);
    }
    host_ = std::make_unique<qt::AppHost>(settings);
    // A person signed in to the cloud folder: once attached, the intro says ready at its next
    // check and offers Start (it does not show when attaching won the race to the screen).
    auto& db = host_->application().database();
    waitUntil("the store is attached", [&] {
        return db.syncState() == model::SyncState::attached && db.operationsInFlight() == 0;
    });
    if (find(QStringLiteral("presentedColumn"))) {
        click(QStringLiteral("button:Start"));
    }
    waitUntil("the lists show", [&] { return columnText("primaryColumn").startsWith("Lists ["); });
}

void WindowDriver::quit() {
    host_.reset();
    QCoreApplication::processEvents();
    // What the window left to deleteLater (list delegates, retired screens' models) goes now:
    // processEvents() leaves deferred deletions to an event loop, and there is none after the
    // last test, so they would outlive the process as leaks.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QQuickWindow& WindowDriver::window() {
    return *host_->window();
}

void WindowDriver::waitUntil(const std::string& what, const std::function<bool()>& done,
                             std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            if (const auto shot = qEnvironmentVariable("JOTWELL_FAILURE_SHOT"); !shot.isEmpty()) {
                grab(shot);
            }
            throw std::runtime_error("timed out waiting until " + what + "; on screen: " + scene());
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    QCoreApplication::processEvents();
}

QQuickItem* WindowDriver::find(const QString& name, QQuickItem* from) {
    if (!from) {
        from = window().contentItem();
    }
    for (auto* child : from->childItems()) {
        if (!child->isVisible()) {
            continue;
        }
        if (child->objectName() == name) {
            return child;
        }
        if (auto* found = find(name, child)) {
            return found;
        }
    }
    return nullptr;
}

QPoint WindowDriver::centreOf(QQuickItem* item) {
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

void WindowDriver::click(const QString& name) {
    waitUntil("\"" + name.toStdString() + "\" shows", [&] { return find(name) != nullptr; });
    // Where a person sees it: layouts place their items only when the window is polished.
    waitUntil("the window is laid out", [&] { return !QQuickTest::qIsPolishScheduled(&window()); });
    QTest::mouseClick(&window(), Qt::LeftButton, {}, centreOf(find(name)));
    QCoreApplication::processEvents();
}

void WindowDriver::clickIn(const QString& inside, const QString& name) {
    QQuickItem* found = nullptr;
    waitUntil("\"" + name.toStdString() + "\" shows in \"" + inside.toStdString() + "\"", [&] {
        auto* container = find(inside);
        found = container ? find(name, container) : nullptr;
        return found != nullptr;
    });
    click(found);
}

void WindowDriver::click(QQuickItem* item) {
    QTest::mouseClick(&window(), Qt::LeftButton, {}, centreOf(item));
    QCoreApplication::processEvents();
}

void WindowDriver::drag(QQuickItem* item, QPoint by) {
    const QPoint start = centreOf(item);
    QTest::mousePress(&window(), Qt::LeftButton, {}, start);
    for (int step = 1; step <= 10; ++step) {
        QTest::mouseMove(&window(), start + by * step / 10, 16);
    }
    QTest::mouseRelease(&window(), Qt::LeftButton, {}, start + by, 16);
    QCoreApplication::processEvents();
}

void WindowDriver::key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(&window(), key, modifiers);
    QCoreApplication::processEvents();
}

void WindowDriver::type(const QString& keys) {
    for (const QChar key : keys) {
        if (key == QLatin1Char('\n')) {
            QTest::keyClick(&window(), Qt::Key_Return);
        } else {
            QTest::keyClick(&window(), key.toLatin1());
        }
    }
    QCoreApplication::processEvents();
}

void WindowDriver::resize(QSize size) {
    window().resize(size);
    QCoreApplication::processEvents();
}

void WindowDriver::grab(const QString& file) {
    // A frame drawn after the last change.
    QCoreApplication::processEvents();
    window().grabWindow().save(file);
}

QString WindowDriver::columnText(const QString& name) {
    auto* column = find(name);
    if (!column) {
        return {};
    }
    auto* title = find(QStringLiteral("navigationTitle"), column);
    QString text = title ? title->property("text").toString() : QString();
    if (text.isEmpty()) {
        // An untitled screen goes by what it is: a table (the items) or plain views.
        text = find(QStringLiteral("tableList"), column) ? "(table)" : "(plain)";
    }
    // Rows top to bottom as drawn (the delegates' own order follows their making).
    std::vector<QQuickItem*> rowItems;
    collectItems(column, QStringLiteral("row:"), rowItems);
    std::stable_sort(rowItems.begin(), rowItems.end(), [](QQuickItem* a, QQuickItem* b) {
        return a->mapToScene({0, 0}).y() < b->mapToScene({0, 0}).y();
    });
    QStringList rows;
    for (auto* row : rowItems) {
        rows.push_back(row->objectName().mid(4));
    }
    return text + " [" + rows.join(", ") + "]";
}

void WindowDriver::collectItems(QQuickItem* from, const QString& prefix,
                                std::vector<QQuickItem*>& found) {
    for (auto* child : from->childItems()) {
        if (!child->isVisible()) {
            continue;
        }
        if (child->objectName().startsWith(prefix)) {
            found.push_back(child);
        }
        collectItems(child, prefix, found);
    }
}

void WindowDriver::collectNamed(QQuickItem* from, const QString& prefix, QStringList& found) {
    for (auto* child : from->childItems()) {
        if (!child->isVisible()) {
            continue;
        }
        if (child->objectName().startsWith(prefix)) {
            found.push_back(child->objectName());
        }
        collectNamed(child, prefix, found);
    }
}

std::string WindowDriver::scene() {
    if (!host_) {
        return "(not running)";
    }
    QString text = columnText(QStringLiteral("primaryColumn"));
    if (const auto second = columnText(QStringLiteral("secondaryColumn")); !second.isEmpty()) {
        text += " | " + second;
    }
    QStringList presented;
    if (const auto screen = columnText(QStringLiteral("presentedColumn")); !screen.isEmpty()) {
        presented.push_back(screen);
    }
    for (const char* kind :
         {"alert:", "actionSheet:", "shareSheet", "adOverlay", "permissionPrompt", "banner:"}) {
        collectNamed(window().contentItem(), QString::fromUtf8(kind), presented);
    }
    if (!presented.isEmpty()) {
        text += " > " + presented.join(" > ");
    }
    return text.toStdString();
}

std::string WindowDriver::sheetChoices() {
    QStringList choices;
    collectNamed(window().contentItem(), QStringLiteral("sheetAction:"), choices);
    return choices.join(", ").replace("sheetAction:", "").toStdString();
}

void WindowDriver::addList(const QString& name) {
    click(QStringLiteral("barButton:Add"));
    waitUntil("the name field has the keyboard", [&] {
        auto* field = find(QStringLiteral("alertField:Name"));
        return field && field->hasActiveFocus();
    });
    type(name + "\n");
    waitUntil("the row shows", [&] { return find("row:" + name) != nullptr; });
}

void WindowDriver::openList(const QString& name) {
    click("row:" + name);
    waitUntil("the list opens", [&] {
        auto* row = find("row:" + name);
        return row && row->property("highlighted") == true;
    });
}

}  // namespace jw::test
