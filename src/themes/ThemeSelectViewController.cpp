#include "src/themes/ThemeSelectViewController.h"

#include "src/themes/ApplyTheme.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"

namespace jw {

void ThemeSelectViewController::loadView() {
    // The scene's layout: the carousel filling the screen, the name label above it.
    ViewController::loadView();
    auto carousel = std::make_shared<ui::Carousel>();
    auto label = std::make_shared<ui::Label>();
    view().addSubview(carousel);
    view().addSubview(label);
    themesCarousel = carousel;
    themeNameLabel = label;
}

void ThemeSelectViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    applyTheme(*this, nullptr);
    navigationItem().setLeftBarButtonItem(ui::BarButtonItem::withSystemItem(
        ui::SystemItem::cancel, {this, &ThemeSelectViewController::cancelTapped}));
    navigationItem().setRightBarButtonItem(ui::BarButtonItem::withSystemItem(
        ui::SystemItem::save, {this, &ThemeSelectViewController::saveTapped}));
    if (const auto carousel = themesCarousel.lock()) {
        carousel->setBackgroundColor(std::nullopt);
        carousel->setDataSource(ui::weakAs<ui::CarouselDataSource>(*this));
        carousel->setDelegate(ui::weakAs<ui::CarouselDelegate>(*this));
        carousel->setType(ui::CarouselType::coverFlow);
        carousel->setVertical(true);
        carousel->reloadData();
    }
    setTitle("");
    view().setBackgroundColor(grey92);
    setNeedsStatusBarAppearanceUpdate();
}

void ThemeSelectViewController::cancelTapped() {
    dismiss(true);
}

void ThemeSelectViewController::saveTapped() {
    const auto self = std::static_pointer_cast<ThemeSelectViewController>(shared_from_this());
    dismiss(true, [self] {
        const auto carousel = self->themesCarousel.lock();
        if (!carousel || !self->onThemeSelected) {
            return;
        }
        const auto& themes = JWThemesDB::shared().all();
        const std::size_t index = carousel->currentItemIndex();
        if (index < themes.size()) {
            self->onThemeSelected(themes[index]);
        }
    });
}

std::size_t ThemeSelectViewController::numberOfItemsInCarousel(ui::Carousel&) {
    return JWThemesDB::shared().all().size();
}

std::shared_ptr<ui::View> ThemeSelectViewController::viewForItemAtIndex(
    ui::Carousel&, std::size_t index, std::shared_ptr<ui::View> reusingView) {
    const auto& theme = JWThemesDB::shared().all().at(index);
    auto swatch =
        reusingView ? std::move(reusingView)
                    : std::make_shared<ui::View>(ui::Rect{{0.0, 0.0}, {swatchWidth, swatchHeight}});
    swatch->setBackgroundColor(theme->baseColor());
    return swatch;
}

double ThemeSelectViewController::carouselItemWidth(ui::Carousel&) {
    return 160.0;
}

void ThemeSelectViewController::carouselDidEndScrollingAnimation(ui::Carousel& carousel) {
    const auto& themes = JWThemesDB::shared().all();
    const std::size_t index = carousel.currentItemIndex();
    if (index < themes.size()) {
        setTitle(themes[index]->name());
    }
}

}  // namespace jw
