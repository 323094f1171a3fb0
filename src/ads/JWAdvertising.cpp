#include "src/ads/JWAdvertising.h"

#include <cmath>
#include <string>
#include <utility>

#include "platform/ads/AdBuildSettings.h"
#include "platform/ads/AdRequest.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/DebugLog.h"
#include "platform/foundation/UserDefaults.h"
#include "src/ads/ShortestNumberText.h"

namespace jw {

namespace {

std::shared_ptr<JWAdvertising>& installedPacer() {
    static std::shared_ptr<JWAdvertising> pacer;
    return pacer;
}

}  // namespace

JWAdvertising& JWAdvertising::shared() {
    auto& pacer = installedPacer();
    if (!pacer) {
        pacer = std::make_shared<JWAdvertising>();
    }
    return *pacer;
}

std::shared_ptr<JWAdvertising> JWAdvertising::installShared(std::shared_ptr<JWAdvertising> pacer) {
    return std::exchange(installedPacer(), std::move(pacer));
}

JWAdvertising::JWAdvertising() : self_(std::make_shared<JWAdvertising*>(this)) {
    debugLog("minIntervalBetweenAds " + shortestNumberText(minIntervalBetweenAds));
}

JWAdvertising::~JWAdvertising() {
    dropInterstitial();
}

void JWAdvertising::showAdIfDue(ads::PresentingViewController& viewController,
                                std::function<void()> completion) {
    const auto runCompletion = [&completion] {
        if (completion) {
            completion();
        }
    };
    const auto now = currentClock().now();
    if (!now) {
        // Without the time neither interval can be judged; the attempt simply ends.
        debugLog("ads: no current date, no ad");
        runCompletion();
        return;
    }
    if (!firstInitIntervalPassed(*now)) {
        runCompletion();
        dropInterstitial();
        return;
    }
    const auto lastShown = lastShownDate();
    if (!lastShown) {
        // The first eligible call only starts the clock for the interval.
        runCompletion();
        markAdShown();
        return;
    }
    // Signed: a last-shown date in the future keeps ads away until the clock has passed it.
    const double elapsed = now->secondsSince(*lastShown);
    debugLog("got last ad show date: " + lastShown->iso8601() +
             "\ninterval:" + shortestNumberText(elapsed));
    if (elapsed < minIntervalBetweenAds) {
        debugLog("too soon to show an ad: " + shortestNumberText(minIntervalBetweenAds - elapsed) +
                 " seconds left");
        runCompletion();
        return;
    }
    if (googleInterstitial) {
        // Held until dismissed; a presentation the network cannot perform leaves it here for
        // the next eligible call.
        auto interstitial = googleInterstitial;
        interstitial->presentFromRootViewController(viewController);
        onDidShowAdCompletion = std::move(completion);
        return;
    }
    runCompletion();
    loadAd();
}

bool JWAdvertising::firstInitIntervalPassed(Date now) {
    auto& defaults = UserDefaults::standard();
    const auto firstInit = defaults.dateForKey(firstInitAdsKey);
    if (!firstInit) {
        defaults.setDate(firstInitAdsKey, now);
        return false;
    }
    // Absolute: a first-initialisation date in the future (the clock was set back) still
    // lets the grace period end.
    const double elapsed = std::fabs(firstInit->secondsSince(now));
    if (elapsed >= minIntervalFirstAdInit) {
        return true;
    }
    debugLog("ad first init interval: " + shortestNumberText(elapsed) + " = " +
             shortestNumberText((minIntervalFirstAdInit - elapsed) / 3600.0) + "hrs to go");
    return false;
}

std::optional<Date> JWAdvertising::lastShownDate() const {
    return UserDefaults::standard().dateForKey(lastShownSettingKey);
}

void JWAdvertising::markAdShown() {
    if (const auto now = currentClock().now()) {
        UserDefaults::standard().setDate(lastShownSettingKey, *now);
    }
}

void JWAdvertising::loadAd() {
    if (gettingAd) {
        return;
    }
    gettingAd = true;
    const std::weak_ptr<JWAdvertising*> weakSelf = self_;
    ads::InterstitialAd::load(
        std::string(ads::interstitialAdUnitIdentifier()), ads::AdRequest::request(),
        [weakSelf](std::shared_ptr<ads::InterstitialAd> interstitialAd,
                   std::optional<ads::AdError> error) {
            const auto alive = weakSelf.lock();
            if (!alive) {
                return;
            }
            JWAdvertising& self = **alive;
            if (error || !interstitialAd) {
                debugLog("admob load error: " +
                         (error ? error->localizedDescription : std::string("no ad")));
            } else {
                self.dropInterstitial();
                self.googleInterstitial = std::move(interstitialAd);
                self.googleInterstitial->setFullScreenContentDelegate(&self);
            }
            self.gettingAd = false;
        });
}

void JWAdvertising::adDidDismissFullScreenContent(ads::InterstitialAd& ad) {
    ad.setFullScreenContentDelegate(nullptr);
    dropInterstitial();
    markAdShown();
    if (onDidShowAdCompletion) {
        // Cleared before it runs, so a completion that asks for another ad starts clean.
        auto completion = std::move(onDidShowAdCompletion);
        onDidShowAdCompletion = nullptr;
        completion();
    }
}

void JWAdvertising::dropInterstitial() {
    if (googleInterstitial) {
        googleInterstitial->setFullScreenContentDelegate(nullptr);
        googleInterstitial.reset();
    }
}

}  // namespace jw
