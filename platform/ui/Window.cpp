#include "platform/ui/Window.h"

#include <algorithm>
#include <stdexcept>

#include "platform/foundation/RunLoop.h"

namespace jw::ui {

namespace {

bool contains(const std::vector<std::shared_ptr<ViewController>>& list,
              const ViewController* controller) {
    return std::any_of(list.begin(), list.end(),
                       [controller](const auto& item) { return item.get() == controller; });
}

void addSubtree(const std::shared_ptr<ViewController>& controller,
                std::vector<std::shared_ptr<ViewController>>& into, const auto& visibleChildren) {
    into.push_back(controller);
    for (const auto& child : visibleChildren(*controller)) {
        addSubtree(child, into, visibleChildren);
    }
}

}  // namespace

Window::Window(Size size) : size_(size) {}

Window::~Window() {
    if (root_) {
        root_->window_.reset();
    }
}

void Window::setRootViewController(std::shared_ptr<ViewController> root) {
    if (root == root_) {
        return;
    }
    if (root &&
        (!root->parent_.expired() || !root->presenting_.expired() || !root->window_.expired())) {
        throw std::logic_error("the window's root is already in the hierarchy");
    }
    if (root_) {
        root_->window_.reset();
    }
    root_ = std::move(root);
    if (root_) {
        root_->window_ = weak_from_this();
        Application::shared().observer().containerDidChange(*root_);
    }
    hierarchyDidChange(false, {});
}

void Window::makeKeyAndVisible() {
    if (visible_) {
        return;
    }
    visible_ = true;
    hierarchyDidChange(false, {});
}

void Window::setSize(Size size) {
    if (size_ == size) {
        return;
    }
    size_ = size;
    for (const auto& controller : onScreen_) {
        controller->view().setFrame(Rect{{}, size_});
    }
    hierarchyDidChange(false, {});
}

SizeClass Window::horizontalSizeClass() const {
    return size_.width < compactWidthLimit ? SizeClass::compact : SizeClass::regular;
}

std::vector<std::shared_ptr<ViewController>> Window::visibleViewControllers() const {
    std::vector<std::shared_ptr<ViewController>> visible;
    for (const auto& controller : onScreen_) {
        if (controller->isOnScreen()) {
            visible.push_back(controller);
        }
    }
    return visible;
}

void Window::hierarchyDidChange(bool animated, Completion completion) {
    if (completion) {
        completions_.push_back(std::move(completion));
    }
    // Appearance methods may change the tree again; such changes are applied by the loop below
    // once the current pass is through, not in the middle of it.
    if (updating_) {
        dirty_ = true;
        return;
    }
    updating_ = true;
    try {
        do {
            dirty_ = false;
            applyChanges(animated);
        } while (dirty_);
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
    scheduleEnd();
}

void Window::applyChanges(bool animated) {
    if (visible_ && root_) {
        adapt(*root_, horizontalSizeClass());
    }
    auto visible = visible_ ? computeVisible() : std::vector<std::shared_ptr<ViewController>>();
    std::vector<std::shared_ptr<ViewController>> leaving;
    for (const auto& controller : onScreen_) {
        if (!contains(visible, controller.get())) {
            leaving.push_back(controller);
        }
    }
    std::vector<std::shared_ptr<ViewController>> arriving;
    for (const auto& controller : visible) {
        if (!contains(onScreen_, controller.get())) {
            arriving.push_back(controller);
        }
    }
    onScreen_ = std::move(visible);
    for (const auto& controller : leaving) {
        if (controller->beginAppearance(false, animated, size_)) {
            ending_.push_back(controller);
        }
    }
    for (const auto& controller : arriving) {
        if (controller->beginAppearance(true, animated, size_)) {
            ending_.push_back(controller);
        }
    }
}

std::vector<std::shared_ptr<ViewController>> Window::computeVisible() const {
    std::vector<std::shared_ptr<ViewController>> levels;
    for (auto level = root_; level; level = level->presented_) {
        levels.push_back(level);
    }
    std::size_t lowest = 0;
    for (std::size_t i = levels.size(); i-- > 1;) {
        if (hidesPresentingScreens(levels[i]->presentationStyle_)) {
            lowest = i;
            break;
        }
    }
    const auto visibleChildren = [](const ViewController& controller) {
        return controller.visibleChildViewControllers();
    };
    std::vector<std::shared_ptr<ViewController>> visible;
    for (std::size_t i = lowest; i < levels.size(); ++i) {
        addSubtree(levels[i], visible, visibleChildren);
    }
    return visible;
}

void Window::adapt(ViewController& controller, SizeClass sizeClass) {
    controller.adaptToHorizontalSizeClass(sizeClass);
    for (const auto& child : controller.childViewControllers()) {
        adapt(*child, sizeClass);
    }
    if (controller.presented_) {
        adapt(*controller.presented_, sizeClass);
    }
}

void Window::scheduleEnd() {
    if (endScheduled_ || (ending_.empty() && completions_.empty())) {
        return;
    }
    endScheduled_ = true;
    runOnMain([weak = weak_from_this()] {
        if (const auto window = weak.lock()) {
            window->endTransitions();
        }
    });
}

void Window::endTransitions() {
    endScheduled_ = false;
    const auto ending = std::move(ending_);
    const auto completions = std::move(completions_);
    ending_.clear();
    completions_.clear();
    for (const auto& controller : ending) {
        controller->endPending_ = false;
    }
    for (const bool disappearing : {true, false}) {
        for (const auto& controller : ending) {
            if (controller->appearance_ == (disappearing ? ViewController::Appearance::disappearing
                                                         : ViewController::Appearance::appearing)) {
                controller->endAppearance();
            }
        }
    }
    for (const auto& completion : completions) {
        completion();
    }
}

}  // namespace jw::ui
