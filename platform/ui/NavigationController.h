#pragma once
// A stack of controllers, the top one on screen, under a navigation bar (and a toolbar when
// shown). Pushing puts a controller on top; popping (the back button) takes it off; the root
// stays. A navigation controller can itself be pushed onto another one (a collapsed split
// view does that with its secondary column); controllers inside it then find the inner one as
// their navigationController(), and the inner one finds the outer one.
//
// Errors (std::logic_error): pushing nothing, or a controller already in the hierarchy.
// Popping the root does nothing. Main thread only.

#include <memory>
#include <vector>

#include "platform/ui/Bars.h"
#include "platform/ui/ViewController.h"

namespace jw::ui {

class NavigationController : public ViewController {
  public:
    NavigationController();
    // A navigation controller holding `root`.
    static std::shared_ptr<NavigationController> withRoot(std::shared_ptr<ViewController> root);

    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers,
                            bool animated);
    std::shared_ptr<ViewController> topViewController() const;

    void pushViewController(std::shared_ptr<ViewController> controller, bool animated);
    // The popped controller, or nothing when only the root is left.
    std::shared_ptr<ViewController> popViewController(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToRootViewController(bool animated);

    NavigationBar& navigationBar() { return *navigationBar_; }
    Toolbar& toolbar() { return *toolbar_; }
    bool isNavigationBarHidden() const { return navigationBar_->isHidden(); }
    void setNavigationBarHidden(bool hidden) { navigationBar_->setHidden(hidden); }
    // Hidden unless asked for, as on the platform.
    bool isToolbarHidden() const { return toolbar_->isHidden(); }
    void setToolbarHidden(bool hidden, bool /*animated*/) { toolbar_->setHidden(hidden); }

    std::vector<std::shared_ptr<ViewController>> childViewControllers() const override {
        return stack_;
    }
    std::shared_ptr<ViewController> childViewControllerForStatusBarHidden() const override {
        return topViewController();
    }
    // Pushes.
    void show(std::shared_ptr<ViewController> controller, const std::any& sender) override;
    void loadView() override;

  protected:
    std::vector<std::shared_ptr<ViewController>> visibleChildViewControllers() const override;

  private:
    void stackDidChange(bool animated);

    std::vector<std::shared_ptr<ViewController>> stack_;
    std::shared_ptr<NavigationBar> navigationBar_;
    std::shared_ptr<Toolbar> toolbar_;
};

// What is on screen in `controller`: the top of the innermost of nested navigation
// controllers; `controller` itself when it is no navigation controller or has an empty stack.
std::shared_ptr<ViewController> topViewController(std::shared_ptr<ViewController> controller);

}  // namespace jw::ui
