#pragma once
// Stand-ins for the screens the ad network presents over and for what displays the ads.

#include <functional>
#include <string>
#include <vector>

#include "platform/ads/FullScreenAdPresenter.h"
#include "platform/ads/MobileAds.h"
#include "platform/foundation/Paths.h"

namespace jw::test {

// A screen an ad can cover.
class StubScreen final : public ads::PresentingViewController {};

// Records every ad it is asked to show; the test closes the ad with closeAd().
class RecordingAdPresenter final : public ads::FullScreenAdPresenter {
  public:
    struct Presentation {
        ads::HouseAdCreative creative;
        ads::PresentingViewController* over;
        std::function<void()> dismissed;
    };

    bool presentFullScreenAd(const ads::HouseAdCreative& creative,
                             ads::PresentingViewController& rootViewController,
                             std::function<void()> dismissed) override {
        presentations.push_back({creative, &rootViewController, dismissed});
        if (closeImmediately) {
            dismissed();
        }
        return accept;
    }

    // The user closes the most recent ad.
    void closeAd() { presentations.back().dismissed(); }

    std::vector<Presentation> presentations;
    bool accept = true;
    bool closeImmediately = false;
};

// Installs a house-ad network on the shipped creatives for the life of the object.
class ScopedHouseAdNetwork {
  public:
    explicit ScopedHouseAdNetwork(double loadDelaySeconds = 1.0, double failureRate = 0.0,
                                  std::filesystem::path creatives = shippedCreatives())
        : network_(std::make_shared<ads::MobileAds>(
              ads::HouseAdNetworkOptions{std::move(creatives), loadDelaySeconds, failureRate, 7})),
          previous_(ads::MobileAds::installSharedInstance(network_)) {
        network_->setFullScreenAdPresenter(presenter_);
    }
    ~ScopedHouseAdNetwork() { ads::MobileAds::installSharedInstance(previous_); }

    static std::filesystem::path shippedCreatives() {
        return AppPaths::resolve(std::nullopt).resourceDirectory / "ads";
    }

    ads::MobileAds& network() { return *network_; }
    RecordingAdPresenter& presenter() { return *presenter_; }
    void removePresenter() { network_->setFullScreenAdPresenter(nullptr); }
    void restorePresenter() { network_->setFullScreenAdPresenter(presenter_); }

  private:
    std::shared_ptr<RecordingAdPresenter> presenter_ = std::make_shared<RecordingAdPresenter>();
    std::shared_ptr<ads::MobileAds> network_;
    std::shared_ptr<ads::MobileAds> previous_;
};

}  // namespace jw::test
