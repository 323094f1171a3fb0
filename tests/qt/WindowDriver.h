#pragma once
// Using the window as a person does, for the window tests and the screenshots: the real QML
// scene over the real application (AppHost), found by the items' objectNames and driven by
// mouse and key events on Qt's offscreen platform (unless QT_QPA_PLATFORM names another).
//
// What the window shows is read back from the QML items and printed as one line (scene()):
// "<primary column> | <secondary column> > <presented>...", each column as
// "<title> [<row>, <row>...]" ("(table)" or "(plain)" for an untitled screen), presented
// alerts, sheets, the ad overlay, the notification question and notification banners by their
// objectName.
//
// Waiting is bounded: what does not happen within ten seconds (or the limit given) throws
// std::runtime_error naming it and what was on screen (and saves a picture to
// $JOTWELL_FAILURE_SHOT when set).
// Main thread only.

#include <QPoint>
#include <QSize>
#include <QString>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontends/qt/AppHost.h"

class QQuickItem;
class QQuickWindow;

namespace jw::test {

class WindowDriver {
  public:
    static constexpr QSize phone{390, 844};
    static constexpr QSize tablet{1180, 820};

    // Makes the process's QApplication on first use.
    WindowDriver();
    ~WindowDriver();

    // Starts the application on the data folder and cloud folder, waits until the store is
    // attached and goes past the intro (Start) when it shows. `adjust` may change the host's
    // settings first (another advertising network, say).
    void launch(const std::filesystem::path& dataDirectory,
                const std::filesystem::path& cloudDirectory, QSize size,
                const std::function<void(qt::HostSettings&)>& adjust = {});
    void quit();
    qt::AppHost& host() { return *host_; }
    QQuickWindow& window();

    // Runs the event loop until `done` holds; past `limit` it throws (see above).
    void waitUntil(const std::string& what, const std::function<bool()>& done,
                   std::chrono::seconds limit = std::chrono::seconds(10));
    // The visible item named `name`, depth first under `from` (the window); none when hidden.
    QQuickItem* find(const QString& name, QQuickItem* from = nullptr);
    QPoint centreOf(QQuickItem* item);
    // Waits for the item to show, then clicks its middle.
    void click(const QString& name);
    // The same for the item named `name` inside the visible item named `inside` (a column, a
    // row), and for an item in hand.
    void clickIn(const QString& inside, const QString& name);
    void click(QQuickItem* item);
    // Presses the item's middle, moves by `by` in ten steps and lets go (a swipe, a drag).
    void drag(QQuickItem* item, QPoint by);
    // One key press, with modifiers (Qt::ControlModifier...).
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // One key event per character; "\n" is the return key.
    void type(const QString& keys);
    void resize(QSize size);
    // Saves a picture of the window (PNG).
    void grab(const QString& file);

    std::string scene();
    QString columnText(const QString& name);
    // Titles of the choices of the action sheet on screen, joined by ", ".
    std::string sheetChoices();

    // "+" in the lists' bar, the name, the return key; waits for the row.
    void addList(const QString& name);
    // A tap on the list's row; waits until the row shows it open (beside the lists).
    void openList(const QString& name);

  private:
    void collectNamed(QQuickItem* from, const QString& prefix, QStringList& found);
    void collectItems(QQuickItem* from, const QString& prefix, std::vector<QQuickItem*>& found);

    std::unique_ptr<qt::AppHost> host_;
};

}  // namespace jw::test
