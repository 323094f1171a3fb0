#pragma once
// A screen, or a container of screens (navigation controller, split view controller).
//
// Lifecycle. The root view is made on first use of view() (loadView, then viewDidLoad), never
// earlier: a controller made from a storyboard can be set up before its view loads. The layer
// calls the appearance methods as the controller comes on and goes off screen, through the
// window, whatever made it happen (launch, push, pop, present, dismiss, a split view
// collapsing or expanding, another root):
//   viewWillDisappear / viewWillAppear    at once, for every controller leaving / arriving,
//                                         containers before their children;
//   viewDidDisappear / viewDidAppear      after the transition, on the run loop, leaving ones
//                                         first; then the completions of the transition.
// A controller that is not in a visible window hears nothing. A controller that arrives and
// leaves within one turn hears will-appear, will-disappear, did-disappear. Subclasses call the
// base methods, as on the platform.
//
// Presentation. present() covers the screen (or part of it) with another controller, over
// this controller's context (its outermost container); dismiss() removes what this
// controller's context presents, or, when it presents nothing, the presented controller this
// one belongs to, with everything presented over either. Completions run on the run loop
// after the transition (dismiss with nothing to dismiss still runs it). Not errors, but
// ignored with a debugLog line and no completion, as on the platform: presenting while the
// context already presents something, or from a controller that is not in a visible window.
// Errors (std::logic_error): presenting nothing, a controller that already has a parent or is
// presented, or a popover without an anchor in a regular-width window.
//
// Ownership: a container owns its children and a presenting controller its presented one;
// parent and presenting are weak back-pointers. Controllers are made with std::make_shared.
// Main thread only.

#include <any>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ads/PresentingViewController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationItem.h"
#include "platform/ui/Presentation.h"
#include "platform/ui/Responder.h"
#include "platform/ui/View.h"

namespace jw::ui {

class NavigationController;
class SplitViewController;
class Storyboard;
class Window;
struct StoryboardSegue;

using Completion = std::function<void()>;

enum class SizeClass { compact = 1, regular = 2 };

class ViewController : public Responder, public ads::PresentingViewController {
  public:
    ViewController();
    ~ViewController() override;
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // --- The view ---
    View& view();
    bool isViewLoaded() const { return view_ != nullptr; }
    std::shared_ptr<View> viewIfLoaded() const { return view_; }

    // --- Lifecycle, called by the layer (override and call the base) ---
    // Makes the root view (with setView); the default makes a plain View.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool /*animated*/) {}
    virtual void viewDidAppear(bool /*animated*/) {}
    virtual void viewWillDisappear(bool /*animated*/) {}
    virtual void viewDidDisappear(bool /*animated*/) {}
    // Between will-appear and did-disappear.
    bool isOnScreen() const override;

    // --- Title, bars, editing ---
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    NavigationItem& navigationItem() { return navigationItem_; }
    const std::vector<std::shared_ptr<BarButtonItem>>& toolbarItems() const {
        return toolbarItems_;
    }
    void setToolbarItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated);
    bool isEditing() const { return editing_; }
    virtual void setEditing(bool editing, bool animated);
    // The standard Edit/Done item: titled "Edit" (plain) or "Done" (done style) by the
    // editing mode; a tap calls setEditing with the other mode, animated. Made on first use.
    std::shared_ptr<BarButtonItem> editButtonItem();

    // --- Containment ---
    std::shared_ptr<ViewController> parentViewController() const { return parent_.lock(); }
    // The nearest navigation / split view controller among the ancestors.
    std::shared_ptr<NavigationController> navigationController() const;
    std::shared_ptr<SplitViewController> splitViewController() const;
    virtual std::vector<std::shared_ptr<ViewController>> childViewControllers() const { return {}; }
    // The window holding this controller (through its containers and presenters), if any.
    std::shared_ptr<Window> window() const;

    // --- Presentation (see above) ---
    void present(std::shared_ptr<ViewController> controller, bool animated,
                 Completion completion = {});
    void dismiss(bool animated, Completion completion = {});
    // What this controller's context presents; the context that presents this one.
    std::shared_ptr<ViewController> presentedViewController() const;
    std::shared_ptr<ViewController> presentingViewController() const;
    ModalPresentationStyle modalPresentationStyle() const { return presentationStyle_; }
    void setModalPresentationStyle(ModalPresentationStyle style);
    ModalTransitionStyle modalTransitionStyle() const { return transitionStyle_; }
    void setModalTransitionStyle(ModalTransitionStyle style) { transitionStyle_ = style; }
    // Only for the popover style; nullptr otherwise.
    PopoverPresentationController* popoverPresentationController() { return popover_.get(); }
    // Pushes on the nearest navigation controller, else presents, animated.
    virtual void show(std::shared_ptr<ViewController> controller, const std::any& sender);
    // Hands over to the nearest split view controller, else show().
    virtual void showDetailViewController(std::shared_ptr<ViewController> controller,
                                          const std::any& sender);

    // --- Storyboards and segues ---
    const std::shared_ptr<Storyboard>& storyboard() const { return storyboard_; }
    // The scene this controller was made from ("" when not made by a storyboard).
    const std::string& storyboardIdentifier() const { return sceneIdentifier_; }
    // Performs the segue of this controller's scene: makes the destination, calls
    // prepareForSegue, then shows it as the segue's kind says. Does not ask
    // shouldPerformSegue. Throws std::invalid_argument when the scene has no such segue.
    void performSegue(const std::string& identifier, const std::any& sender);
    // What a storyboard connection does when tapped (a cell's segue): asks
    // shouldPerformSegue, then performs it.
    void triggerSegue(const std::string& identifier, const std::any& sender);
    virtual bool shouldPerformSegue(const std::string& /*identifier*/, const std::any& /*sender*/) {
        return true;
    }
    virtual void prepareForSegue(const StoryboardSegue& /*segue*/, const std::any& /*sender*/) {}

    // --- Status bar and rotation (read by the front end) ---
    virtual bool prefersStatusBarHidden() const { return false; }
    // The child whose preference counts instead of this controller's.
    virtual std::shared_ptr<ViewController> childViewControllerForStatusBarHidden() const {
        return nullptr;
    }
    void setNeedsStatusBarAppearanceUpdate();
    virtual bool shouldAutorotate() const { return true; }
    virtual InterfaceOrientationMask supportedInterfaceOrientations() const {
        return InterfaceOrientationMask::all;
    }

  protected:
    // For loadView.
    void setView(std::shared_ptr<View> view) { view_ = std::move(view); }
    // For containers: `child` becomes theirs. Throws std::logic_error when it already has a
    // parent, is presented, is this controller, or is a window's root.
    void adoptChild(ViewController& child);
    void releaseChild(ViewController& child);
    // The children on screen while this container is.
    virtual std::vector<std::shared_ptr<ViewController>> visibleChildViewControllers() const {
        return {};
    }
    // The window's width class, on showing and on every change (split views collapse here).
    virtual void adaptToHorizontalSizeClass(SizeClass /*sizeClass*/) {}
    // What is on screen may have changed: the window (if any) runs the appearance calls;
    // `completion` runs after the transition.
    void hierarchyDidChange(bool animated, Completion completion = {});
    void reportChange();

  private:
    friend class Window;
    friend class Storyboard;
    enum class Appearance { hidden, appearing, shown, disappearing };

    // Returns whether an end call is due (see Window).
    bool beginAppearance(bool appearing, bool animated, Size size);
    void endAppearance();
    const ViewController& presentationContext() const;
    ViewController& presentationContext();
    void toggleEditing();

    std::shared_ptr<View> view_;
    std::string title_;
    NavigationItem navigationItem_{*this};
    std::vector<std::shared_ptr<BarButtonItem>> toolbarItems_;
    bool editing_ = false;
    std::shared_ptr<BarButtonItem> editButtonItem_;

    std::weak_ptr<ViewController> parent_;
    std::weak_ptr<Window> window_;  // set on a window's root only
    std::shared_ptr<ViewController> presented_;
    std::weak_ptr<ViewController> presenting_;
    ModalPresentationStyle presentationStyle_ = ModalPresentationStyle::fullScreen;
    ModalTransitionStyle transitionStyle_ = ModalTransitionStyle::coverVertical;
    std::unique_ptr<PopoverPresentationController> popover_;

    std::shared_ptr<Storyboard> storyboard_;
    std::string sceneIdentifier_;

    Appearance appearance_ = Appearance::hidden;
    bool appearanceAnimated_ = false;
    bool endPending_ = false;
};

}  // namespace jw::ui
