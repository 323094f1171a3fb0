#pragma once
// Two columns side by side, primary (a list) and secondary (its detail), in a regular-width
// window; one column, the primary, in a compact one (collapsed).
//
// Collapsing (the window becomes compact, or first shows compact): the delegate is asked
// collapseSecondaryViewController. True: the delegate has dealt with it and the secondary is
// dropped (kept aside in case the window widens again). False: the platform's default, which
// pushes the secondary onto the primary when the primary is a navigation controller (so a
// navigation controller may end up inside another), and drops it otherwise.
// Expanding: the delegate is asked separateSecondaryViewController; without an answer the
// default pops a navigation controller off the top of the primary's stack and makes it the
// secondary again, or else brings back the secondary dropped when collapsing.
//
// showDetailViewController: collapsed, pushes onto the primary's navigation controller (or
// presents when the primary is none); expanded, replaces the secondary.
//
// The delegate is held weakly. Main thread only.

#include <memory>
#include <vector>

#include "platform/ui/ViewController.h"

namespace jw::ui {

class SplitViewController;

class SplitViewControllerDelegate {
  public:
    virtual ~SplitViewControllerDelegate() = default;
    // True: collapse handled, `secondary` is dropped.
    virtual bool collapseSecondaryViewController(SplitViewController& /*splitViewController*/,
                                                 ViewController& /*secondary*/,
                                                 ViewController& /*primary*/) {
        return false;
    }
    // The secondary to show when expanding, or nothing for the default.
    virtual std::shared_ptr<ViewController> separateSecondaryViewController(
        SplitViewController& /*splitViewController*/, ViewController& /*primary*/) {
        return nullptr;
    }
};

enum class DisplayMode { automatic = 0, primaryHidden = 1, allVisible = 2, primaryOverlay = 3 };

class SplitViewController : public ViewController {
  public:
    SplitViewController();

    // [primary] or [primary, secondary]. While collapsed only the primary is reported.
    std::vector<std::shared_ptr<ViewController>> viewControllers() const;
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers);

    std::shared_ptr<SplitViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<SplitViewControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    DisplayMode preferredDisplayMode() const { return preferredDisplayMode_; }
    void setPreferredDisplayMode(DisplayMode mode);
    // The mode in use: the preferred one, all visible for automatic.
    DisplayMode displayMode() const;
    bool isCollapsed() const { return collapsed_; }
    // The item that shows or hides the primary column; a tap toggles between all visible and
    // primary hidden. Made on first use.
    std::shared_ptr<BarButtonItem> displayModeButtonItem();

    void showDetailViewController(std::shared_ptr<ViewController> controller,
                                  const std::any& sender) override;

    std::vector<std::shared_ptr<ViewController>> childViewControllers() const override;

  protected:
    std::vector<std::shared_ptr<ViewController>> visibleChildViewControllers() const override;
    void adaptToHorizontalSizeClass(SizeClass sizeClass) override;

  private:
    void collapse();
    void expand();
    void replaceSecondary(std::shared_ptr<ViewController> secondary);
    void toggleDisplayMode();
    void changed();

    std::shared_ptr<ViewController> primary_;
    std::shared_ptr<ViewController> secondary_;  // none while collapsed
    std::shared_ptr<ViewController> setAside_;   // dropped when collapsing
    std::weak_ptr<SplitViewControllerDelegate> delegate_;
    DisplayMode preferredDisplayMode_ = DisplayMode::automatic;
    bool collapsed_ = false;
    std::shared_ptr<BarButtonItem> displayModeButtonItem_;
};

}  // namespace jw::ui
