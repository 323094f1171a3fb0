#include "src/app/AdScreenPresenter.h"

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
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
    auto callToAction = std::make_shared<ui::Label>();
    callToAction->setText(creative_.callToAction);
    auto close = std::make_shared<ui::Button>();
    close->setTitle("Close");
    view().addSubview(image);
    view().addSubview(headline);
    view().addSubview(callToAction);
    view().addSubview(close);
    close->addTarget({this, &HouseAdViewController::closeTapped}, ui::ControlEvent::touchUpInside);
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
