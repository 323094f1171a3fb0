#include "platform/ads/MobileAds.h"

#include <system_error>

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"

namespace jw::ads {

namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<MobileAds>& installedInstance() {
    static std::shared_ptr<MobileAds> instance;
    return instance;
}

HouseAdNetworkOptions defaultOptions() {
    HouseAdNetworkOptions options;
    options.creativesDirectory = AppPaths::resolve(std::nullopt).resourceDirectory / "ads";
    return options;
}

std::uint32_t seedFor(const HouseAdNetworkOptions& options) {
    if (options.randomSeed != 0) {
        return options.randomSeed;
    }
    std::random_device device;
    return device();
}

}  // namespace

MobileAds::MobileAds(HouseAdNetworkOptions options)
    : options_(std::move(options)), random_(seedFor(options_)) {}

std::shared_ptr<MobileAds> MobileAds::sharedHandle() {
    std::lock_guard lock(sharedMutex());
    auto& instance = installedInstance();
    if (!instance) {
        instance = std::make_shared<MobileAds>(defaultOptions());
    }
    return instance;
}

MobileAds& MobileAds::sharedInstance() {
    return *sharedHandle();
}

std::shared_ptr<MobileAds> MobileAds::installSharedInstance(std::shared_ptr<MobileAds> ads) {
    std::lock_guard lock(sharedMutex());
    installedInstance().swap(ads);
    return ads;
}

void MobileAds::start(StartCompletion completion) {
    InitializationStatus status;
    {
        std::lock_guard lock(mutex_);
        ++startCount_;
        loadCatalogueLocked();
        status = statusLocked();
    }
    if (completion) {
        runOnMain([completion = std::move(completion), status] { completion(status); });
    }
}

std::size_t MobileAds::startCount() const {
    std::lock_guard lock(mutex_);
    return startCount_;
}

void MobileAds::setFullScreenAdPresenter(std::shared_ptr<FullScreenAdPresenter> presenter) {
    std::lock_guard lock(mutex_);
    presenter_ = std::move(presenter);
}

std::shared_ptr<FullScreenAdPresenter> MobileAds::fullScreenAdPresenter() const {
    std::lock_guard lock(mutex_);
    return presenter_;
}

std::variant<HouseAdCreative, AdError> MobileAds::serveInterstitial(const std::string& adUnitID) {
    std::lock_guard lock(mutex_);
    if (adUnitID.empty()) {
        return AdError{AdErrorCode::invalidRequest, "The ad unit identifier is empty."};
    }
    loadCatalogueLocked();
    if (!creatives_) {
        return AdError{AdErrorCode::internalError,
                       "The house ad catalogue could not be read: " + catalogueError_};
    }
    if (creatives_->empty()) {
        return AdError{AdErrorCode::noFill, "No house ad is available."};
    }
    if (options_.failureRate > 0.0) {
        std::uniform_real_distribution<double> draw(0.0, 1.0);
        if (draw(random_) < options_.failureRate) {
            return AdError{AdErrorCode::networkError,
                           "The ad request timed out. Please try again later."};
        }
    }
    // Turn by turn, so every creative gets shown; a creative whose image went missing is
    // passed over rather than handed to the screen.
    for (std::size_t tried = 0; tried < creatives_->size(); ++tried) {
        const auto& creative = (*creatives_)[nextCreative_];
        nextCreative_ = (nextCreative_ + 1) % creatives_->size();
        std::error_code ignored;
        if (std::filesystem::is_regular_file(creative.imageFile, ignored)) {
            return creative;
        }
    }
    return AdError{AdErrorCode::noFill, "No house ad is available: every creative is missing."};
}

void MobileAds::loadCatalogueLocked() {
    if (creatives_) {
        return;
    }
    // A failed read is retried on the next start or load: the folder may appear later.
    creatives_ = readHouseAdCatalogue(options_.creativesDirectory, &catalogueError_);
}

InitializationStatus MobileAds::statusLocked() const {
    InitializationStatus status;
    if (!creatives_) {
        status.description = "The house ad catalogue could not be read: " + catalogueError_;
        return status;
    }
    status.creativeCount = creatives_->size();
    status.ready = !creatives_->empty();
    if (!status.ready) {
        status.description = "The house ad catalogue lists no creatives.";
    }
    return status;
}

}  // namespace jw::ads
