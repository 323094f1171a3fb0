#pragma once
// How a controller is presented over another, and the anchor of a popover. Main thread.

#include <memory>

#include "platform/ui/BarButtonItem.h"

namespace jw::ui {

class View;

// Full screen (and current context) hide the screens under the presented one: they disappear
// while it is up and appear again when it goes. Sheets and popovers leave them on screen.
enum class ModalPresentationStyle {
    fullScreen = 0,
    pageSheet = 1,
    formSheet = 2,
    currentContext = 3,
    overFullScreen = 5,
    overCurrentContext = 6,
    popover = 7,
};

enum class ModalTransitionStyle { coverVertical = 0, flipHorizontal = 1, crossDissolve = 2 };

enum class InterfaceOrientationMask : unsigned {
    portrait = 1u << 1,
    portraitUpsideDown = 1u << 2,
    landscapeRight = 1u << 3,
    landscapeLeft = 1u << 4,
    landscape = (1u << 3) | (1u << 4),
    allButUpsideDown = (1u << 1) | (1u << 3) | (1u << 4),
    all = (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4),
};

inline bool hidesPresentingScreens(ModalPresentationStyle style) {
    return style == ModalPresentationStyle::fullScreen ||
           style == ModalPresentationStyle::currentContext;
}

// Where a popover points: a bar button item or a view. In a regular-width window a popover
// must have one (presenting one without is a programming error); in a compact window it is
// shown as a sheet and the anchor is not used.
class PopoverPresentationController {
  public:
    const std::shared_ptr<BarButtonItem>& barButtonItem() const { return barButtonItem_; }
    void setBarButtonItem(std::shared_ptr<BarButtonItem> item) { barButtonItem_ = std::move(item); }
    std::shared_ptr<View> sourceView() const { return sourceView_.lock(); }
    void setSourceView(std::weak_ptr<View> view) { sourceView_ = std::move(view); }
    bool hasAnchor() const { return barButtonItem_ || !sourceView_.expired(); }

  private:
    std::shared_ptr<BarButtonItem> barButtonItem_;
    std::weak_ptr<View> sourceView_;
};

}  // namespace jw::ui
