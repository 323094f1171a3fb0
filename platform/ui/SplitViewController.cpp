#include "platform/ui/SplitViewController.h"

#include <stdexcept>

#include "platform/ui/NavigationController.h"

namespace jw::ui {

SplitViewController::SplitViewController() = default;

std::vector<std::shared_ptr<ViewController>> SplitViewController::viewControllers() const {
    std::vector<std::shared_ptr<ViewController>> columns;
    if (primary_) {
        columns.push_back(primary_);
    }
    if (secondary_) {
        columns.push_back(secondary_);
    }
    return columns;
}

void SplitViewController::setViewControllers(
    std::vector<std::shared_ptr<ViewController>> controllers) {
    if (controllers.empty() || controllers.size() > 2 || !controllers.front() ||
        (controllers.size() == 2 && !controllers.back())) {
        throw std::invalid_argument("a split view holds a primary and at most one secondary");
    }
    for (const auto& column : viewControllers()) {
        releaseChild(*column);
    }
    primary_.reset();
    secondary_.reset();
    setAside_.reset();
    adoptChild(*controllers.front());
    primary_ = controllers.front();
    if (controllers.size() == 2) {
        adoptChild(*controllers.back());
        secondary_ = controllers.back();
    }
    if (collapsed_ && secondary_) {
        collapsed_ = false;
        collapse();
    }
    changed();
}

void SplitViewController::setPreferredDisplayMode(DisplayMode mode) {
    preferredDisplayMode_ = mode;
    changed();
}

DisplayMode SplitViewController::displayMode() const {
    return preferredDisplayMode_ == DisplayMode::automatic ? DisplayMode::allVisible
                                                           : preferredDisplayMode_;
}

std::shared_ptr<BarButtonItem> SplitViewController::displayModeButtonItem() {
    if (!displayModeButtonItem_) {
        displayModeButtonItem_ = BarButtonItem::withTitle(
            "", BarButtonItemStyle::plain,
            BarButtonItem::Action(this, &SplitViewController::toggleDisplayMode));
    }
    return displayModeButtonItem_;
}

void SplitViewController::toggleDisplayMode() {
    setPreferredDisplayMode(displayMode() == DisplayMode::primaryHidden
                                ? DisplayMode::allVisible
                                : DisplayMode::primaryHidden);
}

void SplitViewController::showDetailViewController(std::shared_ptr<ViewController> controller,
                                                   const std::any& sender) {
    if (!controller) {
        throw std::invalid_argument("showDetailViewController: no view controller");
    }
    if (!collapsed_) {
        replaceSecondary(std::move(controller));
        return;
    }
    if (const auto navigation = std::dynamic_pointer_cast<NavigationController>(primary_)) {
        navigation->pushViewController(std::move(controller), true);
    } else if (primary_) {
        primary_->show(std::move(controller), sender);
    } else {
        present(std::move(controller), true);
    }
}

std::vector<std::shared_ptr<ViewController>> SplitViewController::childViewControllers() const {
    return viewControllers();
}

std::vector<std::shared_ptr<ViewController>> SplitViewController::visibleChildViewControllers()
    const {
    if (collapsed_ || !secondary_) {
        return primary_ ? std::vector{primary_} : std::vector<std::shared_ptr<ViewController>>{};
    }
    if (displayMode() == DisplayMode::primaryHidden) {
        return {secondary_};
    }
    return {primary_, secondary_};
}

void SplitViewController::adaptToHorizontalSizeClass(SizeClass sizeClass) {
    if (sizeClass == SizeClass::compact && !collapsed_) {
        collapse();
    } else if (sizeClass == SizeClass::regular && collapsed_) {
        expand();
    }
}

void SplitViewController::collapse() {
    collapsed_ = true;
    if (!secondary_ || !primary_) {
        changed();
        return;
    }
    const auto secondary = std::move(secondary_);
    secondary_.reset();
    releaseChild(*secondary);
    const auto delegate = delegate_.lock();
    const bool handled =
        delegate && delegate->collapseSecondaryViewController(*this, *secondary, *primary_);
    const auto navigation = std::dynamic_pointer_cast<NavigationController>(primary_);
    if (!handled && navigation) {
        navigation->pushViewController(secondary, false);
        setAside_.reset();
    } else {
        setAside_ = secondary;
    }
    changed();
}

void SplitViewController::expand() {
    collapsed_ = false;
    if (!primary_) {
        changed();
        return;
    }
    std::shared_ptr<ViewController> secondary;
    if (const auto delegate = delegate_.lock()) {
        secondary = delegate->separateSecondaryViewController(*this, *primary_);
    }
    if (!secondary) {
        const auto navigation = std::dynamic_pointer_cast<NavigationController>(primary_);
        if (navigation && navigation->viewControllers().size() > 1 &&
            std::dynamic_pointer_cast<NavigationController>(navigation->topViewController())) {
            secondary = navigation->popViewController(false);
        }
    }
    if (!secondary) {
        secondary = setAside_;
    }
    setAside_.reset();
    if (secondary) {
        adoptChild(*secondary);
        secondary_ = std::move(secondary);
    }
    changed();
}

void SplitViewController::replaceSecondary(std::shared_ptr<ViewController> secondary) {
    adoptChild(*secondary);
    if (secondary_) {
        releaseChild(*secondary_);
    }
    secondary_ = std::move(secondary);
    changed();
}

void SplitViewController::changed() {
    Application::shared().observer().containerDidChange(*this);
    hierarchyDidChange(false);
}

}  // namespace jw::ui
