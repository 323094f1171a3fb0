#pragma once
// The receiver of the application's lifecycle events. Application sends them, in the order
// the platform does (see Application.h); every one has an empty default. Main thread.

namespace jw::ui {

class Application;

class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;

    // The window and its root controller exist; the window is not on screen yet. The answer
    // is not used.
    virtual bool applicationDidFinishLaunching(Application& /*application*/) { return true; }
    virtual void applicationDidBecomeActive(Application& /*application*/) {}
    virtual void applicationWillResignActive(Application& /*application*/) {}
    virtual void applicationDidEnterBackground(Application& /*application*/) {}
    virtual void applicationWillEnterForeground(Application& /*application*/) {}
    virtual void applicationWillTerminate(Application& /*application*/) {}
};

}  // namespace jw::ui
