#pragma once
// A carousel: items side by side (or one above the other when vertical) that scroll and come
// to rest with one item at the current position. The data source gives the number of items
// and a view per item (offered a view to reuse when reloading); the delegate gives the item
// width and hears when a scrolling animation has ended, on the run loop after the scroll
// began. Indexes are clamped to the items (the carousel does not wrap). Both are held weakly.
// Main thread only.

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace jw::ui {

class Carousel;

class CarouselDataSource {
  public:
    virtual ~CarouselDataSource() = default;
    virtual std::size_t numberOfItemsInCarousel(Carousel& carousel) = 0;
    virtual std::shared_ptr<View> viewForItemAtIndex(Carousel& carousel, std::size_t index,
                                                     std::shared_ptr<View> reusingView) = 0;
};

class CarouselDelegate {
  public:
    virtual ~CarouselDelegate() = default;
    // Points between neighbouring items along the scroll axis.
    virtual double carouselItemWidth(Carousel& /*carousel*/) { return 0.0; }
    virtual void carouselDidEndScrollingAnimation(Carousel& /*carousel*/) {}
};

enum class CarouselType { linear = 0, rotary = 1, cylinder = 3, wheel = 5, coverFlow = 7 };

class Carousel : public View {
  public:
    std::shared_ptr<CarouselDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(std::weak_ptr<CarouselDataSource> dataSource) {
        dataSource_ = std::move(dataSource);
    }
    std::shared_ptr<CarouselDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<CarouselDelegate> delegate) { delegate_ = std::move(delegate); }

    CarouselType type() const { return type_; }
    void setType(CarouselType type) { update(type_, type); }
    bool isVertical() const { return vertical_; }
    void setVertical(bool vertical) { update(vertical_, vertical); }

    // Asks the data source again for the items and their views.
    void reloadData();
    std::size_t numberOfItems() const { return itemViews_.size(); }
    std::shared_ptr<View> itemViewAtIndex(std::size_t index) const;
    // The delegate's answer; what the front end spaces the items by.
    double itemWidth();

    std::size_t currentItemIndex() const { return currentItemIndex_; }
    // Moves to the item. Animated (a person's swipe), the delegate hears the end of the
    // scrolling animation on the run loop; not animated, the carousel simply stands there.
    void scrollToItemAtIndex(std::size_t index, bool animated);
    bool isScrolling() const { return scrolling_; }

  private:
    std::weak_ptr<CarouselDataSource> dataSource_;
    std::weak_ptr<CarouselDelegate> delegate_;
    CarouselType type_ = CarouselType::linear;
    bool vertical_ = false;
    std::vector<std::shared_ptr<View>> itemViews_;
    std::size_t currentItemIndex_ = 0;
    bool scrolling_ = false;
};

}  // namespace jw::ui
