#pragma once
// The application: one process-wide object holding the window, the lifecycle state, the
// keyboard focus, the status bar, the bars' appearance proxies, the registered storyboards and
// the one observer of the user-interface tree.
//
// Lifecycle events are sent by whoever runs the application (the front end, a test driver)
// through launch(), resignActive() and the rest; each tells the delegate as the platform does:
// - launch(): applicationDidFinishLaunching, then the window goes on screen (its controllers
//   will appear), then applicationDidBecomeActive. The controllers' did-appear calls follow on
//   the run loop. Launching twice is a programming error (std::logic_error).
// - resignActive(): applicationWillResignActive; the state becomes inactive.
// - enterBackground(): resigns active first if needed, then applicationDidEnterBackground.
// - enterForeground(): applicationWillEnterForeground, then becomeActive().
// - becomeActive(): applicationDidBecomeActive; the state becomes active.
// - terminate(): applicationWillTerminate.
// Events that do not apply in the current state (becoming active while active) are ignored.
//
// Main thread only. Tests install a fresh application per test (install()).

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/AppearanceProxy.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/Observer.h"
#include "platform/ui/Url.h"

namespace jw::ui {

class Responder;
class Storyboard;
class Window;

enum class StatusBarStyle { defaultStyle = 0, lightContent = 1, darkContent = 3 };

class Application {
  public:
    enum class State { notRunning, inactive, active, background };

    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The installed application; one is made on first use when none was installed.
    static Application& shared();
    // Installs `application` (nothing: the next shared() makes a new one); returns the
    // previous one so the caller can put it back.
    static std::shared_ptr<Application> install(std::shared_ptr<Application> application);

    // --- Window and delegate (both owned) ---
    void setWindow(std::shared_ptr<Window> window);
    const std::shared_ptr<Window>& window() const { return window_; }
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate);
    const std::shared_ptr<ApplicationDelegate>& delegate() const { return delegate_; }

    // --- Lifecycle events (see above) ---
    void launch();
    void becomeActive();
    void resignActive();
    void enterBackground();
    void enterForeground();
    void terminate();
    State applicationState() const { return state_; }

    // --- The observer (owned); without one, changes go unreported ---
    void setObserver(std::shared_ptr<Observer> observer);
    Observer& observer() const;

    // --- Keyboard focus: the responder holding it, or nothing ---
    std::shared_ptr<Responder> firstResponder() const { return firstResponder_.lock(); }
    // Takes the keyboard from whoever holds it, so that a field being edited ends its editing
    // and hands on what it holds (before a quit's save, say).
    void endEditing();

    // --- Status bar: the style set here; hidden when the screen on top prefers it ---
    void setStatusBarStyle(StatusBarStyle style);
    StatusBarStyle statusBarStyle() const { return statusBarStyle_; }
    bool isStatusBarHidden() const;
    // Called by a controller whose status bar preference changed.
    void statusBarAppearanceDidChange();

    // --- Appearance proxies of every navigation bar and every toolbar ---
    AppearanceProxy& navigationBarAppearance() { return navigationBarAppearance_; }
    AppearanceProxy& toolbarAppearance() { return toolbarAppearance_; }

    // --- Opening an address outside the application: the observer opens it. The completion
    // (if any) runs on the run loop with true. Every address asked for is kept, in order. ---
    void openURL(const Url& url, std::function<void(bool)> completion = {});
    const std::vector<Url>& openedURLs() const { return openedURLs_; }

    // --- Storyboards by name (see Storyboard.h) ---
    void registerStoryboard(std::shared_ptr<Storyboard> storyboard);
    // Throws std::invalid_argument naming the storyboard when none has that name.
    std::shared_ptr<Storyboard> storyboardNamed(const std::string& name) const;

  private:
    friend class Responder;
    void setFirstResponder(const std::shared_ptr<Responder>& responder);

    std::shared_ptr<Window> window_;
    std::shared_ptr<ApplicationDelegate> delegate_;
    std::shared_ptr<Observer> observer_;
    State state_ = State::notRunning;
    std::weak_ptr<Responder> firstResponder_;
    StatusBarStyle statusBarStyle_ = StatusBarStyle::defaultStyle;
    AppearanceProxy navigationBarAppearance_;
    AppearanceProxy toolbarAppearance_;
    std::vector<Url> openedURLs_;
    std::map<std::string, std::shared_ptr<Storyboard>> storyboards_;
};

}  // namespace jw::ui
