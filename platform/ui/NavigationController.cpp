#include "platform/ui/NavigationController.h"

#include <stdexcept>

namespace jw::ui {

NavigationController::NavigationController()
    : navigationBar_(std::make_shared<NavigationBar>()), toolbar_(std::make_shared<Toolbar>()) {
    toolbar_->setHidden(true);
}

std::shared_ptr<NavigationController> NavigationController::withRoot(
    std::shared_ptr<ViewController> root) {
    auto navigation = std::make_shared<NavigationController>();
    navigation->pushViewController(std::move(root), false);
    return navigation;
}

void NavigationController::loadView() {
    ViewController::loadView();
    view().addSubview(navigationBar_);
    view().addSubview(toolbar_);
}

void NavigationController::setViewControllers(
    std::vector<std::shared_ptr<ViewController>> controllers, bool animated) {
    for (const auto& controller : controllers) {
        if (!controller) {
            throw std::invalid_argument("a navigation stack cannot hold nothing");
        }
    }
    for (const auto& controller : stack_) {
        releaseChild(*controller);
    }
    const auto previous = std::move(stack_);
    stack_.clear();
    try {
        for (const auto& controller : controllers) {
            adoptChild(*controller);
            stack_.push_back(controller);
        }
    } catch (...) {
        for (const auto& controller : stack_) {
            releaseChild(*controller);
        }
        stack_.clear();
        for (const auto& controller : previous) {
            adoptChild(*controller);
            stack_.push_back(controller);
        }
        throw;
    }
    stackDidChange(animated);
}

std::shared_ptr<ViewController> NavigationController::topViewController() const {
    return stack_.empty() ? nullptr : stack_.back();
}

void NavigationController::pushViewController(std::shared_ptr<ViewController> controller,
                                              bool animated) {
    if (!controller) {
        throw std::invalid_argument("push: no view controller");
    }
    adoptChild(*controller);
    stack_.push_back(std::move(controller));
    stackDidChange(animated);
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool animated) {
    if (stack_.size() < 2) {
        return nullptr;
    }
    auto popped = std::move(stack_.back());
    stack_.pop_back();
    releaseChild(*popped);
    stackDidChange(animated);
    return popped;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewController(
    bool animated) {
    if (stack_.size() < 2) {
        return {};
    }
    std::vector<std::shared_ptr<ViewController>> popped(stack_.begin() + 1, stack_.end());
    stack_.resize(1);
    for (const auto& controller : popped) {
        releaseChild(*controller);
    }
    stackDidChange(animated);
    return popped;
}

void NavigationController::show(std::shared_ptr<ViewController> controller,
                                const std::any& /*sender*/) {
    pushViewController(std::move(controller), true);
}

std::vector<std::shared_ptr<ViewController>> NavigationController::visibleChildViewControllers()
    const {
    if (stack_.empty()) {
        return {};
    }
    return {stack_.back()};
}

void NavigationController::stackDidChange(bool animated) {
    Application::shared().observer().containerDidChange(*this);
    hierarchyDidChange(animated);
}

std::shared_ptr<ViewController> topViewController(std::shared_ptr<ViewController> controller) {
    while (const auto navigation = std::dynamic_pointer_cast<NavigationController>(controller)) {
        auto top = navigation->topViewController();
        if (!top) {
            break;
        }
        controller = std::move(top);
    }
    return controller;
}

}  // namespace jw::ui
