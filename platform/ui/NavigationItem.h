#pragma once
// What a controller shows in the navigation bar while it is on top: the bar buttons left and
// right, and whether the left one goes beside the back button instead of replacing it (the
// title is the controller's own). Owned by its controller; changes are reported as changes of
// that controller. Main thread.

#include <memory>

#include "platform/ui/BarButtonItem.h"

namespace jw::ui {

class ViewController;

class NavigationItem {
  public:
    explicit NavigationItem(ViewController& owner) : owner_(owner) {}
    NavigationItem(const NavigationItem&) = delete;
    NavigationItem& operator=(const NavigationItem&) = delete;

    const std::shared_ptr<BarButtonItem>& leftBarButtonItem() const { return left_; }
    void setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item);
    const std::shared_ptr<BarButtonItem>& rightBarButtonItem() const { return right_; }
    void setRightBarButtonItem(std::shared_ptr<BarButtonItem> item);
    bool leftItemsSupplementBackButton() const { return leftSupplementsBack_; }
    void setLeftItemsSupplementBackButton(bool supplement);

  private:
    void changed();

    ViewController& owner_;
    std::shared_ptr<BarButtonItem> left_;
    std::shared_ptr<BarButtonItem> right_;
    bool leftSupplementsBack_ = false;
};

}  // namespace jw::ui
