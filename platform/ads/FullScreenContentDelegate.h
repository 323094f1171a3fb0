#pragma once
// Told what becomes of a presented full-screen ad. Every call comes on the main thread, from
// the main run loop, never from inside presentFromRootViewController. The ad does not own
// its delegate.

#include "platform/ads/AdError.h"

namespace jw::ads {

class InterstitialAd;

class FullScreenContentDelegate {
  public:
    virtual ~FullScreenContentDelegate() = default;

    // The user closed the ad. It will not be shown again.
    virtual void adDidDismissFullScreenContent(InterstitialAd& ad) = 0;

    // The ad could not be shown (nothing was put on screen). By default, nothing happens.
    virtual void adDidFailToPresentFullScreenContent(InterstitialAd& ad, const AdError& error) {
        (void)ad;
        (void)error;
    }
};

}  // namespace jw::ads
