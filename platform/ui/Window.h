#pragma once
// The application's window: its size (which sets the width class: compact below
// compactWidthLimit points, regular from there), its root controller, and whether it is on
// screen. It decides which controllers are on screen (the root's visible children down the
// containers, and the presented controllers over it; a full-screen presentation hides what
// is under it) and makes their appearance calls as that set changes (see ViewController.h).
// Until makeKeyAndVisible() nothing is on screen. A test or the front end resizes it with
// setSize(): split views collapse or expand, and on-screen views take the new size.
//
// Owned by the Application (a shared_ptr); the root controller is owned by the window.
// Main thread only.

#include <memory>
#include <vector>

#include "platform/ui/Geometry.h"
#include "platform/ui/ViewController.h"

namespace jw::ui {

class Window : public std::enable_shared_from_this<Window> {
  public:
    static constexpr Size phoneSize{390.0, 844.0};
    static constexpr Size tabletSize{1180.0, 820.0};
    static constexpr double compactWidthLimit = 600.0;

    explicit Window(Size size = phoneSize);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Throws std::logic_error when `root` already has a parent, presenter or window.
    void setRootViewController(std::shared_ptr<ViewController> root);
    const std::shared_ptr<ViewController>& rootViewController() const { return root_; }

    void makeKeyAndVisible();
    bool isVisible() const { return visible_; }

    Size size() const { return size_; }
    void setSize(Size size);
    SizeClass horizontalSizeClass() const;

    // The controllers on screen now (appearing or shown), lowest first, containers before
    // their children.
    std::vector<std::shared_ptr<ViewController>> visibleViewControllers() const;

  private:
    friend class ViewController;
    void hierarchyDidChange(bool animated, Completion completion);
    void applyChanges(bool animated);
    std::vector<std::shared_ptr<ViewController>> computeVisible() const;
    void adapt(ViewController& controller, SizeClass sizeClass);
    void scheduleEnd();
    void endTransitions();

    Size size_;
    bool visible_ = false;
    std::shared_ptr<ViewController> root_;
    // Kept alive until they have heard their did-disappear.
    std::vector<std::shared_ptr<ViewController>> onScreen_;
    // Waiting for their did-appear or did-disappear; kept alive until they have heard it.
    std::vector<std::shared_ptr<ViewController>> ending_;
    std::vector<Completion> completions_;
    bool updating_ = false;
    bool dirty_ = false;
    bool endScheduled_ = false;
};

}  // namespace jw::ui
