#include "frontends/qt/HouseAdParts.h"

#include "src/app/AdScreenPresenter.h"

namespace jw::qt {

QVariantMap describeHouseAd(HouseAdViewController& ad, ImageStore& images, Handles& handles) {
    // The outlets exist once the view is made; the window asks only for an ad on screen.
    ad.view();
    QVariantMap entry;
    entry["kind"] = QStringLiteral("ad");
    if (const auto image = ad.imageView.lock()) {
        entry["image"] = images.addressOf(image->image());
    }
    if (const auto headline = ad.headlineLabel.lock()) {
        entry["headline"] = QString::fromStdString(headline->text());
    }
    if (const auto callToAction = ad.callToActionLabel.lock()) {
        entry["callToAction"] = QString::fromStdString(callToAction->text());
    }
    if (const auto close = ad.closeButton.lock()) {
        entry["closeHandle"] = handles.handleFor(std::static_pointer_cast<ui::Responder>(close));
        entry["closeLabel"] = QString::fromStdString(
            close->accessibilityLabel().empty() ? close->title() : close->accessibilityLabel());
    }
    return entry;
}

}  // namespace jw::qt
