#include "platform/ui/View.h"

#include <algorithm>

namespace jw::ui {

View::~View() = default;

void View::setFrame(Rect frame) {
    if (frame_ == frame) {
        return;
    }
    frame_ = frame;
    didChange();
    frameDidChange();
}

void View::addSubview(std::shared_ptr<View> subview) {
    if (!subview || subview.get() == this) {
        throw std::invalid_argument("a view cannot be its own subview");
    }
    subview->removeFromSuperview();
    subview->superview_ = std::static_pointer_cast<View>(shared_from_this());
    subviews_.push_back(subview);
    didChange();
    subview->setOnScreen(onScreen_);
}

void View::removeFromSuperview() {
    const auto parent = superview_.lock();
    if (!parent) {
        return;
    }
    auto& siblings = parent->subviews_;
    const auto self = std::find_if(siblings.begin(), siblings.end(),
                                   [this](const auto& view) { return view.get() == this; });
    auto keep = *self;
    siblings.erase(self);
    superview_.reset();
    parent->didChange();
    setOnScreen(false);
}

bool View::isVisibleInTree() const {
    for (const View* view = this; view; view = view->superview_.lock().get()) {
        if (view->hidden_) {
            return false;
        }
    }
    return true;
}

void View::setOnScreen(bool onScreen) {
    if (onScreen_ == onScreen) {
        return;
    }
    onScreen_ = onScreen;
    if (!onScreen && isFirstResponder()) {
        resignFirstResponder();
    }
    onScreenDidChange();
    // A copy: a subclass may change its subviews while going on or off screen.
    const auto subviews = subviews_;
    for (const auto& subview : subviews) {
        subview->setOnScreen(onScreen);
    }
}

}  // namespace jw::ui
