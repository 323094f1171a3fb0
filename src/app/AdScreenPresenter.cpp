#include "src/app/AdScreenPresenter.h"

#include "src/themes/PngImage.h"

namespace jw {

HouseAdViewController::HouseAdViewController(ads::HouseAdCreative creative,
                                             std::function<void()> closed)
    : creative_(std::move(creative)), closed_(std::move(closed)) {
    setModalPresentationStyle(ui::ModalPresentationStyle::fullScreen);
}

void HouseAdViewController::loadView() {
    ViewController::loadView();
    view().setBackgroundColor(Color::white(0.0));
    auto image = std::make_shared<ui::ImageView>();
    image->setImage(readPNGFile(creative_.imageFile, creative_.scale));
    auto headline = std::make_shared<ui::Label>();
    headline->setText(creative_.headline);
    headline->setTextColor(Color::white(1.0));
    headline->setFont(ui::Font{24.0, true});
    headline->setTextAlignment(ui::TextAlignment::center);
    auto callToAction = std::make_shared<ui::Label>();
    callToAction->setText(creative_.callToAction);
    callToAction->setTextColor(Color::white(1.0));
    callToAction->setTextAlignment(ui::TextAlignment::center);
    auto close = std::make_shared<ui::Button>();
    close->setTitle("Close");
    close->setAccessibilityLabel("Close");
    view().addSubview(image);
    view().addSubview(headline);
    view().addSubview(callToAction);
    view().addSubview(close);
    close->addTarget({this, &HouseAdViewController::closeTapped}, ui::ControlEvent::touchUpInside);
    imageView = image;
    headlineLabel = headline;
    callToActionLabel = callToAction;
    closeButton = close;
}

void HouseAdViewController::closeTapped() {
    // Told once, after the ad screen has gone.
    dismiss(true, [closed = std::exchange(closed_, {})] {
        if (closed) {
            closed();
        }
    });
}

bool AdScreenPresenter::presentFullScreenAd(const ads::HouseAdCreative& creative,
                                            ads::PresentingViewController& rootViewController,
                                            std::function<void()> dismissed) {
    auto* screen = dynamic_cast<ui::ViewController*>(&rootViewController);
    if (!screen || !screen->isOnScreen() || screen->presentedViewController()) {
        return false;
    }
    auto ad = std::make_shared<HouseAdViewController>(creative, std::move(dismissed));
    screen->present(ad, true);
    return screen->presentedViewController() == ad;
}

}  // namespace jw
