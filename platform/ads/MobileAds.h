#pragma once
// The advertising client: the house-ad network that serves Jotwell's own full-screen
// creatives from the resource folder.
//
// One instance per process, MobileAds::sharedInstance(), made on first use with default
// options (the "ads" folder of the resource directory, loads taking 1.5 seconds, never
// failing); the application or a test may install another with installSharedInstance.
// Every member is thread-safe. Completions of start() run on the main run loop.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "platform/ads/AdError.h"
#include "platform/ads/FullScreenAdPresenter.h"
#include "platform/ads/HouseAdCreative.h"
#include "platform/ads/RequestConfiguration.h"

namespace jw::ads {

struct HouseAdNetworkOptions {
    // Holds creatives.json and the creative images.
    std::filesystem::path creativesDirectory;
    // How long a load takes before its completion runs.
    double loadDelaySeconds = 1.5;
    // The chance (0..1) that a load fails with a network error, as a real network now and
    // then does. 0 never fails, 1 always does.
    double failureRate = 0.0;
    // Seeds the failures, so a run can be repeated; 0 seeds from the system.
    std::uint32_t randomSeed = 0;
};

struct InitializationStatus {
    bool ready = false;  // the catalogue was read and has at least one creative
    std::size_t creativeCount = 0;
    std::string description;  // why it is not ready, when it is not
};

class MobileAds {
  public:
    using StartCompletion = std::function<void(const InitializationStatus&)>;

    explicit MobileAds(HouseAdNetworkOptions options);

    static MobileAds& sharedInstance();
    // Returns the previously installed instance (nullptr restores the default on next use).
    static std::shared_ptr<MobileAds> installSharedInstance(std::shared_ptr<MobileAds> ads);
    // The shared instance as a handle, for work that must keep it alive (loads in flight).
    static std::shared_ptr<MobileAds> sharedHandle();

    // Reads the creative catalogue (once; later calls reuse it) and reports on the main run
    // loop. Starting is optional: a load reads the catalogue on its own when needed. Starting
    // again, with or without a completion, is harmless.
    void start(StartCompletion completion = {});
    // How many times start() was called in the life of this instance (diagnostics: the
    // application starts the network once per process).
    std::size_t startCount() const;

    RequestConfiguration& requestConfiguration() { return requestConfiguration_; }

    // What displays full-screen ads. Without one, presenting an ad fails.
    void setFullScreenAdPresenter(std::shared_ptr<FullScreenAdPresenter> presenter);
    std::shared_ptr<FullScreenAdPresenter> fullScreenAdPresenter() const;

    const HouseAdNetworkOptions& options() const { return options_; }

    // The network's answer to one load for `adUnitID`: the next creative in turn, or why
    // there is none. Used by InterstitialAd::load when its delay is over.
    std::variant<HouseAdCreative, AdError> serveInterstitial(const std::string& adUnitID);

  private:
    // Reads the catalogue if it has not been read successfully yet. Caller holds mutex_.
    void loadCatalogueLocked();
    InitializationStatus statusLocked() const;

    const HouseAdNetworkOptions options_;
    RequestConfiguration requestConfiguration_;
    mutable std::mutex mutex_;
    std::optional<std::vector<HouseAdCreative>> creatives_;
    std::string catalogueError_;
    std::size_t nextCreative_ = 0;
    std::size_t startCount_ = 0;
    std::mt19937 random_;
    std::shared_ptr<FullScreenAdPresenter> presenter_;
};

}  // namespace jw::ads
