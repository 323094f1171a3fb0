#include "platform/ui/NavigationItem.h"

#include "platform/ui/Application.h"

namespace jw::ui {

void NavigationItem::setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item) {
    left_ = std::move(item);
    changed();
}

void NavigationItem::setRightBarButtonItem(std::shared_ptr<BarButtonItem> item) {
    right_ = std::move(item);
    changed();
}

void NavigationItem::setLeftItemsSupplementBackButton(bool supplement) {
    leftSupplementsBack_ = supplement;
    changed();
}

void NavigationItem::changed() {
    Application::shared().observer().viewControllerDidChange(owner_);
}

}  // namespace jw::ui
