#pragma once
// Whatever displays screens, as the ad network sees it: the application implements this to
// show a full-screen creative over one of its screens (tests install a recording one).

#include <functional>

#include "platform/ads/HouseAdCreative.h"
#include "platform/ads/PresentingViewController.h"

namespace jw::ads {

class FullScreenAdPresenter {
  public:
    virtual ~FullScreenAdPresenter() = default;

    // Called on the main thread. Covers `rootViewController` with `creative` until the user
    // closes it, and returns true; returns false, showing nothing, when it cannot.
    // Once shown, call `dismissed` on the main thread when the user has closed the ad. Calls
    // after the first are ignored, and so is a call made from inside this function (the ad
    // then counts as dismissed once this function has returned).
    virtual bool presentFullScreenAd(const HouseAdCreative& creative,
                                     PresentingViewController& rootViewController,
                                     std::function<void()> dismissed) = 0;
};

}  // namespace jw::ads
