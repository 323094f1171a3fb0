#pragma once
// The interstitial ad pacer: decides, each time the items screen has appeared, whether to
// show a full-screen ad over it, load one for later, or do nothing.
//
// Rules: nothing for the first 10 seconds after the first call ever (the grace period);
// after that, never within 5 seconds of the last ad being closed; one load at a time; an ad
// that has loaded is shown at the next eligible call. The two dates it goes by live in the
// standard user defaults and survive restarts; the loaded ad and the stored completion live
// in memory only. Both intervals are fixed constants.
//
// Main thread only. It reads the time from currentClock() and the standard user defaults at
// each call, so tests can drive it on a manual clock. Progress goes to debugLog.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ads/FullScreenContentDelegate.h"
#include "platform/ads/InterstitialAd.h"
#include "platform/ads/PresentingViewController.h"
#include "platform/foundation/Date.h"

namespace jw {

class JWAdvertising final : public ads::FullScreenContentDelegate {
  public:
    // User-defaults key of the date the last ad was closed (date value).
    static constexpr const char* lastShownSettingKey = "iewhf9h394h9f2034ybfyy43fy37ft9";
    // Seconds from the last-shown date before another ad may show.
    static constexpr double minIntervalBetweenAds = 5.0;
    // User-defaults key of the date of the first call ever (date value).
    static constexpr const char* firstInitAdsKey = "ewrijfhg837qtr8q3t8f7tq2387fv3ef";
    // Seconds of grace after the first-initialisation date.
    static constexpr double minIntervalFirstAdInit = 10.0;

    // The pacer of the running application: the one installed last, else one made on first
    // use. The application installs a fresh one at launch (its in-memory state is a launch's).
    static JWAdvertising& shared();
    // Makes `pacer` the shared one; returns the one it replaces (to put back). Main thread.
    static std::shared_ptr<JWAdvertising> installShared(std::shared_ptr<JWAdvertising> pacer);

    // A pacer with empty in-memory state, as at launch. The app uses shared(); tests make
    // their own to play a fresh launch. Loads in flight when it is destroyed are ignored.
    JWAdvertising();
    ~JWAdvertising() override;
    JWAdvertising(const JWAdvertising&) = delete;
    JWAdvertising& operator=(const JWAdvertising&) = delete;

    // The only entry. `viewController` is the screen to cover; it need only live for the call.
    // `completion` (may be empty) runs once the attempt is over: before this returns, except
    // when an ad is presented, and then after the user has closed it. A completion stored for
    // a presented ad is replaced, without running, by the next call that presents.
    void showAdIfDue(ads::PresentingViewController& viewController,
                     std::function<void()> completion = {});

    // The ad network reports that the user closed the presented ad.
    void adDidDismissFullScreenContent(ads::InterstitialAd& ad) override;

    // The in-memory state, for diagnostics and tests.
    bool isGettingAd() const { return gettingAd; }
    bool holdsInterstitial() const { return googleInterstitial != nullptr; }
    bool holdsCompletion() const { return static_cast<bool>(onDidShowAdCompletion); }

  private:
    bool firstInitIntervalPassed(Date now);
    std::optional<Date> lastShownDate() const;
    void markAdShown();
    void loadAd();
    void dropInterstitial();

    std::shared_ptr<ads::InterstitialAd> googleInterstitial;
    std::function<void()> onDidShowAdCompletion;
    bool gettingAd = false;
    // Load completions hold this weakly: a pacer that is gone ignores them.
    std::shared_ptr<JWAdvertising*> self_;
};

}  // namespace jw
