#pragma once
// The application in its Qt window, for the window's benchmarks and its memory probe: the
// real AppHost (QML scene, bridge, run loop on Qt's event loop) on a store folder, driven by
// the same input a person gives and watched frame by frame.
//
// Frames: a FrameWatch sees every frame any Qt Quick window of the process draws from the
// moment it is made (it connects to each window as the window is first exposed, before its
// first frame). expect() names what the awaited frame shows, before the action that leads to
// it; wait() runs Qt's event loop until a frame drawn since expect() showed it. Waits are
// bounded and throw std::runtime_error naming what did not happen.
//
// Needs the process's QGuiApplication (makeGuiApplication). Main thread only.

#include <QObject>
#include <QPoint>
#include <QSize>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QQuickItem;
class QQuickWindow;

namespace jw::qt {
class AppHost;
}

namespace jw::bench {

// Makes the process's QGuiApplication once, on Qt's offscreen platform unless QT_QPA_PLATFORM
// names another. The C library's locale is left as it was, so the cases measured without a
// window compare strings and numbers as before.
void makeGuiApplication();

class FrameWatch final : public QObject {
  public:
    // Watches from now on; one at a time.
    FrameWatch();
    ~FrameWatch() override;

    // From now on, each frame drawn is checked with `shows` (given the window that drew it)
    // as it is swapped, so it sees what that frame drew.
    void expect(std::function<bool(QQuickWindow&)> shows);
    // Runs the event loop until a frame since expect() showed it. Throws past `limitSeconds`.
    void wait(const std::string& what, double limitSeconds = 60);
    // Frames drawn since the watch began.
    int frames() const { return frames_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void frameSwapped(QQuickWindow& window);

    std::function<bool(QQuickWindow&)> shows_;
    bool shown_ = false;
    int frames_ = 0;
    std::function<void()> wake_;
};

// Runs the event loop until `done` holds; throws past `limitSeconds`.
void waitUntil(const std::string& what, const std::function<bool()>& done,
               double limitSeconds = 120);

// Rows with their content drawn now in the window's column ("primaryColumn", "secondaryColumn").
int rowsShown(QQuickWindow& window, const QString& column);

// Where the window's application keeps its files: the store's folder as the data folder (its
// settings under "config" there), the given cloud folder and resources.
struct WindowStore {
    std::filesystem::path dataDirectory;
    std::filesystem::path cloudDirectory;
    std::filesystem::path resourceDirectory;
};

class WindowSession {
  public:
    static constexpr QSize tabletSize{1180, 820};

    // Starts the application in a tablet-sized window (not waiting for anything).
    explicit WindowSession(const WindowStore& store);
    ~WindowSession();

    qt::AppHost& host() { return *host_; }
    QQuickWindow& window();

    // The store attached to the cloud folder and no sync work running (the launch's merge
    // done), so nothing runs beside what is measured next.
    void waitUntilIdle();
    // The lists screen's row of the list with this key, scrolled into view and drawn; its
    // centre in the window. Throws when there is no such list.
    QPoint showListRow(std::int64_t listKey, FrameWatch& watch);
    // A click of the left mouse button at `point`, as a person's tap.
    void tap(QPoint point);
    // How many items the items screen's table holds (its fetched items).
    std::size_t itemsFetched();

  private:
    std::unique_ptr<qt::AppHost> host_;
};

}  // namespace jw::bench
