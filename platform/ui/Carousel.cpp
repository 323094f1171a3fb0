#include "platform/ui/Carousel.h"

#include <algorithm>

#include "platform/foundation/RunLoop.h"

namespace jw::ui {

void Carousel::reloadData() {
    const auto dataSource = dataSource_.lock();
    auto previous = std::move(itemViews_);
    itemViews_.clear();
    for (const auto& view : previous) {
        view->removeFromSuperview();
    }
    if (dataSource) {
        const std::size_t count = dataSource->numberOfItemsInCarousel(*this);
        for (std::size_t index = 0; index < count; ++index) {
            auto reusable = index < previous.size() ? previous[index] : nullptr;
            auto view = dataSource->viewForItemAtIndex(*this, index, std::move(reusable));
            if (view) {
                addSubview(view);
            }
            itemViews_.push_back(std::move(view));
        }
    }
    currentItemIndex_ = itemViews_.empty() ? 0 : std::min(currentItemIndex_, itemViews_.size() - 1);
    didChange();
}

std::shared_ptr<View> Carousel::itemViewAtIndex(std::size_t index) const {
    return index < itemViews_.size() ? itemViews_[index] : nullptr;
}

double Carousel::itemWidth() {
    const auto delegate = delegate_.lock();
    return delegate ? delegate->carouselItemWidth(*this) : 0.0;
}

void Carousel::scrollToItemAtIndex(std::size_t index, bool animated) {
    const std::size_t target = itemViews_.empty() ? 0 : std::min(index, itemViews_.size() - 1);
    if (target != currentItemIndex_) {
        currentItemIndex_ = target;
        didChange();
    }
    if (!animated) {
        return;
    }
    scrolling_ = true;
    runOnMain([weak = weak_from_this()] {
        const auto carousel = std::static_pointer_cast<Carousel>(weak.lock());
        if (!carousel || !carousel->scrolling_) {
            return;
        }
        carousel->scrolling_ = false;
        if (const auto delegate = carousel->delegate_.lock()) {
            delegate->carouselDidEndScrollingAnimation(*carousel);
        }
    });
}

}  // namespace jw::ui
