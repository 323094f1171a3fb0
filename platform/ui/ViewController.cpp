#include "platform/ui/ViewController.h"

#include <stdexcept>
#include <typeinfo>

#include "platform/foundation/DebugLog.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace jw::ui {

namespace {

std::string describe(const ViewController& controller) {
    const std::string& scene = controller.storyboardIdentifier();
    return std::string(typeid(controller).name()) + (scene.empty() ? "" : " '" + scene + "'");
}

}  // namespace

ViewController::ViewController() = default;

ViewController::~ViewController() = default;

View& ViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) {
            throw std::logic_error("loadView made no view");
        }
        viewDidLoad();
    }
    return *view_;
}

void ViewController::loadView() {
    setView(std::make_shared<View>());
}

bool ViewController::isOnScreen() const {
    return appearance_ == Appearance::appearing || appearance_ == Appearance::shown;
}

void ViewController::setTitle(std::string title) {
    if (title_ != title) {
        title_ = std::move(title);
        reportChange();
    }
}

void ViewController::setToolbarItems(std::vector<std::shared_ptr<BarButtonItem>> items,
                                     bool /*animated*/) {
    toolbarItems_ = std::move(items);
    reportChange();
}

void ViewController::setEditing(bool editing, bool /*animated*/) {
    editing_ = editing;
    if (editButtonItem_) {
        editButtonItem_->setTitle(editing ? "Done" : "Edit");
        editButtonItem_->setStyle(editing ? BarButtonItemStyle::done : BarButtonItemStyle::plain);
    }
    reportChange();
}

std::shared_ptr<BarButtonItem> ViewController::editButtonItem() {
    if (!editButtonItem_) {
        editButtonItem_ = BarButtonItem::withTitle(
            editing_ ? "Done" : "Edit",
            editing_ ? BarButtonItemStyle::done : BarButtonItemStyle::plain,
            BarButtonItem::Action(this, &ViewController::toggleEditing));
    }
    return editButtonItem_;
}

void ViewController::toggleEditing() {
    setEditing(!editing_, true);
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
    for (auto ancestor = parent_.lock(); ancestor; ancestor = ancestor->parent_.lock()) {
        if (auto navigation = std::dynamic_pointer_cast<NavigationController>(ancestor)) {
            return navigation;
        }
    }
    return nullptr;
}

std::shared_ptr<SplitViewController> ViewController::splitViewController() const {
    for (auto ancestor = parent_.lock(); ancestor; ancestor = ancestor->parent_.lock()) {
        if (auto split = std::dynamic_pointer_cast<SplitViewController>(ancestor)) {
            return split;
        }
    }
    return nullptr;
}

const ViewController& ViewController::presentationContext() const {
    const ViewController* context = this;
    while (const auto parent = context->parent_.lock()) {
        context = parent.get();
    }
    return *context;
}

ViewController& ViewController::presentationContext() {
    return const_cast<ViewController&>(std::as_const(*this).presentationContext());
}

std::shared_ptr<Window> ViewController::window() const {
    const ViewController& context = presentationContext();
    if (const auto presenting = context.presenting_.lock()) {
        return presenting->window();
    }
    return context.window_.lock();
}

void ViewController::present(std::shared_ptr<ViewController> controller, bool animated,
                             Completion completion) {
    if (!controller) {
        throw std::invalid_argument("present: no view controller");
    }
    if (!controller->parent_.expired() || !controller->presenting_.expired() ||
        !controller->window_.expired() || controller.get() == this) {
        throw std::logic_error("present: " + describe(*controller) +
                               " is already in the hierarchy");
    }
    ViewController& context = presentationContext();
    const auto window = context.window();
    if (!window || !window->isVisible()) {
        debugLog("Attempt to present " + describe(*controller) + " on " + describe(*this) +
                 " whose view is not in the window hierarchy");
        return;
    }
    if (context.presented_) {
        debugLog("Attempt to present " + describe(*controller) + " on " + describe(*this) +
                 " which is already presenting " + describe(*context.presented_));
        return;
    }
    if (controller->presentationStyle_ == ModalPresentationStyle::popover &&
        window->horizontalSizeClass() == SizeClass::regular && !controller->popover_->hasAnchor()) {
        throw std::logic_error("present: the popover of " + describe(*controller) +
                               " has no bar button item or source view to point at");
    }
    context.presented_ = controller;
    controller->presenting_ = std::static_pointer_cast<ViewController>(context.shared_from_this());
    Application::shared().observer().didPresent(context, *controller, animated);
    window->hierarchyDidChange(animated, std::move(completion));
}

void ViewController::dismiss(bool animated, Completion completion) {
    ViewController& context = presentationContext();
    std::shared_ptr<ViewController> dismissed = context.presented_;
    std::shared_ptr<ViewController> owner;
    if (dismissed) {
        owner = std::static_pointer_cast<ViewController>(context.shared_from_this());
    } else if ((owner = context.presenting_.lock())) {
        dismissed = std::static_pointer_cast<ViewController>(context.shared_from_this());
    } else {
        if (completion) {
            runOnMain(std::move(completion));
        }
        return;
    }
    for (auto level = dismissed; level;) {
        auto next = std::move(level->presented_);
        level->presenting_.reset();
        level = std::move(next);
    }
    owner->presented_.reset();
    Application::shared().observer().didDismiss(*owner, *dismissed, animated);
    owner->hierarchyDidChange(animated, std::move(completion));
}

std::shared_ptr<ViewController> ViewController::presentedViewController() const {
    return presentationContext().presented_;
}

std::shared_ptr<ViewController> ViewController::presentingViewController() const {
    return presentationContext().presenting_.lock();
}

void ViewController::setModalPresentationStyle(ModalPresentationStyle style) {
    presentationStyle_ = style;
    if (style == ModalPresentationStyle::popover && !popover_) {
        popover_ = std::make_unique<PopoverPresentationController>();
    } else if (style != ModalPresentationStyle::popover) {
        popover_.reset();
    }
}

void ViewController::show(std::shared_ptr<ViewController> controller, const std::any& sender) {
    if (const auto navigation = navigationController()) {
        navigation->show(std::move(controller), sender);
    } else {
        present(std::move(controller), true);
    }
}

void ViewController::showDetailViewController(std::shared_ptr<ViewController> controller,
                                              const std::any& sender) {
    if (const auto split = splitViewController()) {
        split->showDetailViewController(std::move(controller), sender);
    } else {
        show(std::move(controller), sender);
    }
}

void ViewController::performSegue(const std::string& identifier, const std::any& sender) {
    if (!storyboard_) {
        throw std::invalid_argument("Receiver " + describe(*this) +
                                    " has no segue with identifier '" + identifier + "'");
    }
    const auto& segue = storyboard_->segue(sceneIdentifier_, identifier);
    const auto self = std::static_pointer_cast<ViewController>(shared_from_this());
    const StoryboardSegue performed{identifier, self,
                                    storyboard_->instantiateViewController(segue.destination)};
    prepareForSegue(performed, sender);
    switch (segue.kind) {
        case SegueKind::show:
            show(performed.destination, sender);
            break;
        case SegueKind::showDetail:
            showDetailViewController(performed.destination, sender);
            break;
        case SegueKind::presentModally:
            present(performed.destination, true);
            break;
    }
}

void ViewController::triggerSegue(const std::string& identifier, const std::any& sender) {
    if (shouldPerformSegue(identifier, sender)) {
        performSegue(identifier, sender);
    }
}

void ViewController::setNeedsStatusBarAppearanceUpdate() {
    Application::shared().statusBarAppearanceDidChange();
}

void ViewController::adoptChild(ViewController& child) {
    if (&child == this || !child.parent_.expired() || !child.presenting_.expired() ||
        !child.window_.expired()) {
        throw std::logic_error(describe(child) + " is already in the hierarchy");
    }
    child.parent_ = std::static_pointer_cast<ViewController>(shared_from_this());
}

void ViewController::releaseChild(ViewController& child) {
    if (child.parent_.lock().get() == this) {
        child.parent_.reset();
    }
}

void ViewController::hierarchyDidChange(bool animated, Completion completion) {
    if (const auto window = this->window()) {
        window->hierarchyDidChange(animated, std::move(completion));
    } else if (completion) {
        runOnMain(std::move(completion));
    }
}

void ViewController::reportChange() {
    Application::shared().observer().viewControllerDidChange(*this);
}

bool ViewController::beginAppearance(bool appearing, bool animated, Size size) {
    // Held for the whole call: an appearance method may take this controller out of the tree.
    const auto self = shared_from_this();
    if (appearing) {
        if (isOnScreen()) {
            return false;
        }
        view().setFrame(Rect{{}, size});
        appearanceAnimated_ = animated;
        viewWillAppear(animated);
        appearance_ = Appearance::appearing;
        view_->setOnScreen(true);
    } else {
        if (!isOnScreen()) {
            return false;
        }
        appearanceAnimated_ = animated;
        viewWillDisappear(animated);
        appearance_ = Appearance::disappearing;
        view_->setOnScreen(false);
    }
    const bool due = !endPending_;
    endPending_ = true;
    return due;
}

void ViewController::endAppearance() {
    const auto self = shared_from_this();
    if (appearance_ == Appearance::appearing) {
        appearance_ = Appearance::shown;
        viewDidAppear(appearanceAnimated_);
    } else if (appearance_ == Appearance::disappearing) {
        appearance_ = Appearance::hidden;
        viewDidDisappear(appearanceAnimated_);
    }
}

}  // namespace jw::ui
