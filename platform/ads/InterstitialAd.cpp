#include "platform/ads/InterstitialAd.h"

#include "platform/ads/MobileAds.h"
#include "platform/foundation/RunLoop.h"

namespace jw::ads {

void InterstitialAd::load(const std::string& adUnitID, const AdRequest& /*request*/,
                          LoadCompletion completion) {
    auto network = MobileAds::sharedHandle();
    const double delay = network->options().loadDelaySeconds;
    // The answer is decided when the delay is over, as a network answers when the response
    // arrives; the network is kept alive until then even if another is installed meanwhile.
    mainRunLoop().scheduleTimer(
        delay, false, [network, adUnitID, completion = std::move(completion)](Timer&) {
            auto outcome = network->serveInterstitial(adUnitID);
            if (auto* error = std::get_if<AdError>(&outcome)) {
                completion(nullptr, std::move(*error));
                return;
            }
            completion(std::make_shared<InterstitialAd>(
                           adUnitID, std::move(std::get<HouseAdCreative>(outcome))),
                       std::nullopt);
        });
}

void InterstitialAd::presentFromRootViewController(PresentingViewController& rootViewController) {
    if (state_ == State::onScreen) {
        reportFailureLater({AdErrorCode::adAlreadyPresented, "The ad is already on screen."});
        return;
    }
    if (state_ == State::dismissed) {
        reportFailureLater({AdErrorCode::adAlreadyUsed, "The ad has already been shown."});
        return;
    }
    auto presenter = MobileAds::sharedInstance().fullScreenAdPresenter();
    if (!presenter) {
        reportFailureLater({AdErrorCode::noPresenter, "Nothing can display the ad."});
        return;
    }
    state_ = State::onScreen;
    const unsigned presentation = ++presentation_;
    auto once = std::make_shared<bool>(false);
    const std::weak_ptr<InterstitialAd> weakSelf = weak_from_this();
    // Dismissal always goes through the run loop: the delegate never hears of it while
    // presentFromRootViewController is still on the stack, even if the presenter reports
    // it at once.
    auto dismissed = [weakSelf, once, presentation] {
        if (*once) {
            return;
        }
        *once = true;
        runOnMain([weakSelf, presentation] {
            auto self = weakSelf.lock();
            if (self && self->presentation_ == presentation && self->state_ == State::onScreen) {
                self->userDismissed();
            }
        });
    };
    if (!presenter->presentFullScreenAd(creative_, rootViewController, std::move(dismissed))) {
        state_ = State::ready;
        ++presentation_;
        reportFailureLater({AdErrorCode::noPresenter, "The ad could not be displayed."});
    }
}

void InterstitialAd::reportFailureLater(AdError error) {
    runOnMain([weakSelf = weak_from_this(), error = std::move(error)] {
        auto self = weakSelf.lock();
        if (self && self->delegate_ != nullptr) {
            self->delegate_->adDidFailToPresentFullScreenContent(*self, error);
        }
    });
}

void InterstitialAd::userDismissed() {
    state_ = State::dismissed;
    // Keep the ad alive while its delegate drops it.
    auto self = shared_from_this();
    if (delegate_ != nullptr) {
        delegate_->adDidDismissFullScreenContent(*self);
    }
}

}  // namespace jw::ads
