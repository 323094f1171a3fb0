#pragma once
// What the window draws of a house ad on screen (AdOverlay.qml): a map with kind "ad", the
// creative's `image` (an image://jw address), `headline` and `callToAction`, and the close
// button's `closeHandle` (for SceneBridge::tapButton, the same tap the screen tests make) and
// `closeLabel` (its accessible name). Main thread only.

#include <QVariantMap>

#include "frontends/qt/ViewParts.h"

namespace jw {
class HouseAdViewController;
}

namespace jw::qt {

QVariantMap describeHouseAd(HouseAdViewController& ad, ImageStore& images, Handles& handles);

}  // namespace jw::qt
