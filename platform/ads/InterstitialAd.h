#pragma once
// A full-screen ad, loaded for an ad unit and shown at most once.
//
// Main thread only: load, present and the delegate calls all happen on the main run loop.
// The caller owns the ad (a shared handle) and keeps it from load until it has been
// dismissed; an ad that is no longer referenced reports nothing more.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ads/AdError.h"
#include "platform/ads/AdRequest.h"
#include "platform/ads/FullScreenContentDelegate.h"
#include "platform/ads/HouseAdCreative.h"
#include "platform/ads/PresentingViewController.h"

namespace jw::ads {

class InterstitialAd : public std::enable_shared_from_this<InterstitialAd> {
  public:
    // Exactly one of the two is set.
    using LoadCompletion = std::function<void(std::shared_ptr<InterstitialAd> interstitialAd,
                                              std::optional<AdError> error)>;

    // Asks the shared MobileAds for an ad for `adUnitID`. The completion runs once, on the
    // main run loop, after the network's load delay; never before load returns. A failed
    // load (no ad, a network failure) is reported through the completion, not thrown.
    static void load(const std::string& adUnitID, const AdRequest& request,
                     LoadCompletion completion);

    // Not owned; nullptr stops all reports. Set it before presenting.
    void setFullScreenContentDelegate(FullScreenContentDelegate* delegate) { delegate_ = delegate; }
    FullScreenContentDelegate* fullScreenContentDelegate() const { return delegate_; }

    // Hands the creative to the installed FullScreenAdPresenter to cover `rootViewController`.
    // When the user closes it the delegate hears adDidDismissFullScreenContent. When it cannot
    // be shown (no presenter, the presenter declines, the ad is on screen already or was
    // shown before) the delegate hears adDidFailToPresentFullScreenContent instead, on the
    // main run loop, and an ad that was never shown may be presented again later.
    void presentFromRootViewController(PresentingViewController& rootViewController);

    const HouseAdCreative& creative() const { return creative_; }
    const std::string& adUnitID() const { return adUnitID_; }
    bool isOnScreen() const { return state_ == State::onScreen; }

    // Made by load(); public only for std::make_shared.
    InterstitialAd(std::string adUnitID, HouseAdCreative creative)
        : adUnitID_(std::move(adUnitID)), creative_(std::move(creative)) {}

  private:
    enum class State { ready, onScreen, dismissed };

    void reportFailureLater(AdError error);
    void userDismissed();

    const std::string adUnitID_;
    const HouseAdCreative creative_;
    FullScreenContentDelegate* delegate_ = nullptr;
    State state_ = State::ready;
    // Counts presentations, so a late "dismissed" from an earlier, failed one is ignored.
    unsigned presentation_ = 0;
};

}  // namespace jw::ads
