#pragma once
// The theme picker: the nine catalogue themes as colour swatches on a vertical cover-flow
// carousel. The swatch at rest is the choice and its name is the title (empty until the first
// scroll has come to rest). Save closes the picker and then hands the chosen theme to
// onThemeSelected, once; Cancel closes it and hands over nothing. The picker stores nothing.
//
// Made by the "ThemeSelect" scene of the "Main" storyboard, inside a navigation controller;
// the presenter sets currentTheme (not consulted: the carousel opens at "Default") and
// onThemeSelected. A picker without a handler simply closes on Save. The status bar is hidden
// while it shows. Main thread only.

#include <functional>
#include <memory>

#include "platform/ui/Carousel.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"
#include "src/themes/JWTheme.h"

namespace jw {

class ThemeSelectViewController : public ui::ViewController,
                                  public ui::CarouselDataSource,
                                  public ui::CarouselDelegate {
  public:
    static constexpr double swatchWidth = 700.0;
    static constexpr double swatchHeight = 80.0;

    // Outlets, connected when the view is made.
    std::weak_ptr<ui::Carousel> themesCarousel;
    std::weak_ptr<ui::Label> themeNameLabel;

    JWThemeRef currentTheme;
    std::function<void(const JWThemeRef&)> onThemeSelected;

    void loadView() override;
    void viewDidLoad() override;
    bool prefersStatusBarHidden() const override { return true; }

    void cancelTapped();
    void saveTapped();

    std::size_t numberOfItemsInCarousel(ui::Carousel& carousel) override;
    std::shared_ptr<ui::View> viewForItemAtIndex(ui::Carousel& carousel, std::size_t index,
                                                 std::shared_ptr<ui::View> reusingView) override;
    double carouselItemWidth(ui::Carousel& carousel) override;
    void carouselDidEndScrollingAnimation(ui::Carousel& carousel) override;
};

}  // namespace jw
