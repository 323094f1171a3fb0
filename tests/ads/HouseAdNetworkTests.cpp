// The house-ad network: loading creatives after a delay, failing when told to, presenting
// through the application's presenter and reporting the dismissal.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>

#include "platform/ads/AdBuildSettings.h"
#include "platform/ads/InterstitialAd.h"
#include "platform/ads/MobileAds.h"
#include "src/themes/PngImage.h"
#include "tests/ads/RecordingAdPresenter.h"
#include "tests/support/TestEnvironment.h"

namespace jw::ads {
namespace {

struct LoadResult {
    std::shared_ptr<InterstitialAd> ad;
    std::optional<AdError> error;
};

// Starts a load whose result lands in the returned slot when the run loop delivers it.
std::shared_ptr<std::optional<LoadResult>> startLoad(const std::string& adUnit = "unit") {
    auto slot = std::make_shared<std::optional<LoadResult>>();
    InterstitialAd::load(adUnit, AdRequest::request(),
                         [slot](std::shared_ptr<InterstitialAd> ad, std::optional<AdError> error) {
                             *slot = LoadResult{std::move(ad), std::move(error)};
                         });
    return slot;
}

class RecordingDelegate final : public FullScreenContentDelegate {
  public:
    void adDidDismissFullScreenContent(InterstitialAd& ad) override { dismissed.push_back(&ad); }
    void adDidFailToPresentFullScreenContent(InterstitialAd&, const AdError& error) override {
        failures.push_back(error.code);
    }
    std::vector<InterstitialAd*> dismissed;
    std::vector<AdErrorCode> failures;
};

class HouseAdNetwork : public ::testing::Test {
  protected:
    std::shared_ptr<InterstitialAd> loadOne() {
        auto slot = startLoad();
        platform.loop().advance(1.0);
        EXPECT_TRUE(slot->has_value() && (*slot)->ad);
        return slot->has_value() ? (*slot)->ad : nullptr;
    }

    test::ManualPlatform platform;
    test::ScopedHouseAdNetwork network;  // 1-second loads, no failures
    test::StubScreen screen;
};

TEST_F(HouseAdNetwork, LoadAnswersOnTheRunLoopOnlyWhenTheDelayIsOver) {
    auto slot = startLoad();
    EXPECT_FALSE(slot->has_value());
    platform.loop().advance(0.999);
    EXPECT_FALSE(slot->has_value());
    platform.loop().advance(0.001);
    ASSERT_TRUE(slot->has_value());
    ASSERT_TRUE((*slot)->ad);
    EXPECT_FALSE((*slot)->error);
    EXPECT_EQ((*slot)->ad->adUnitID(), "unit");
}

TEST_F(HouseAdNetwork, ServesEveryShippedCreativeInTurn) {
    std::vector<std::string> order;
    for (int i = 0; i < 4; ++i) {
        auto ad = loadOne();
        ASSERT_TRUE(ad);
        order.push_back(ad->creative().identifier);
    }
    const std::set<std::string> distinct(order.begin(), order.begin() + 3);
    EXPECT_EQ(distinct.size(), 3u);
    EXPECT_EQ(order[3], order[0]);
}

TEST_F(HouseAdNetwork, ShippedCreativesAreFullScreenImagesWithWords) {
    InitializationStatus status;
    network.network().start([&status](const InitializationStatus& s) { status = s; });
    EXPECT_FALSE(status.ready);  // reported on the run loop, not during start
    platform.loop().drain();
    EXPECT_TRUE(status.ready);
    EXPECT_GE(status.creativeCount, 3u);

    const auto creatives = readHouseAdCatalogue(test::ScopedHouseAdNetwork::shippedCreatives());
    ASSERT_TRUE(creatives);
    for (const auto& creative : *creatives) {
        const auto image = readPNGFile(creative.imageFile, creative.scale);
        ASSERT_TRUE(image) << creative.identifier;
        EXPECT_GT(image->height(), image->width()) << creative.identifier << " is not portrait";
        EXPECT_FALSE(creative.headline.empty()) << creative.identifier;
        EXPECT_FALSE(creative.callToAction.empty()) << creative.identifier;
    }
}

TEST(HouseAdNetworkFailures, AConfiguredFailureRateOfOneFailsEveryLoad) {
    test::ManualPlatform platform;
    test::ScopedHouseAdNetwork network(1.0, 1.0);
    for (int i = 0; i < 3; ++i) {
        auto slot = startLoad();
        platform.loop().advance(1.0);
        ASSERT_TRUE(slot->has_value());
        EXPECT_FALSE((*slot)->ad);
        ASSERT_TRUE((*slot)->error);
        EXPECT_EQ((*slot)->error->code, AdErrorCode::networkError);
        EXPECT_FALSE((*slot)->error->localizedDescription.empty());
    }
}

TEST(HouseAdNetworkFailures, AnEmptyAdUnitIsAnInvalidRequest) {
    test::ManualPlatform platform;
    test::ScopedHouseAdNetwork network;
    auto slot = startLoad("");
    platform.loop().advance(1.0);
    ASSERT_TRUE(slot->has_value() && (*slot)->error);
    EXPECT_EQ((*slot)->error->code, AdErrorCode::invalidRequest);
}

TEST(HouseAdNetworkFailures, AMissingCatalogueIsReportedNotFatal) {
    test::ManualPlatform platform;
    test::TempDir empty;
    test::ScopedHouseAdNetwork network(1.0, 0.0, empty.path());
    InitializationStatus status;
    network.network().start([&status](const InitializationStatus& s) { status = s; });
    auto slot = startLoad();
    platform.loop().advance(1.0);
    EXPECT_FALSE(status.ready);
    EXPECT_FALSE(status.description.empty());
    ASSERT_TRUE(slot->has_value() && (*slot)->error);
    EXPECT_EQ((*slot)->error->code, AdErrorCode::internalError);
}

TEST(HouseAdNetworkFailures, CatalogueEntriesThatEscapeTheFolderOrLackImagesAreSkipped) {
    test::ManualPlatform platform;
    test::TempDir dir;
    std::ofstream(dir.path() / "creatives.json") << R"({"format": 1, "creatives": [
        {"identifier": "escape", "image": "../secret.png"},
        {"identifier": "", "image": "a.png"},
        {"identifier": "gone", "image": "gone.png"},
        {"identifier": "here", "image": "here.png"}]})";
    std::ofstream(dir.path() / "here.png") << "image";
    const auto creatives = readHouseAdCatalogue(dir.path());
    ASSERT_TRUE(creatives);
    ASSERT_EQ(creatives->size(), 2u);  // "gone" is listed; its image is checked when served

    test::ScopedHouseAdNetwork network(1.0, 0.0, dir.path());
    for (int i = 0; i < 2; ++i) {
        auto slot = startLoad();
        platform.loop().advance(1.0);
        ASSERT_TRUE(slot->has_value() && (*slot)->ad);
        EXPECT_EQ((*slot)->ad->creative().identifier, "here");
    }
}

TEST_F(HouseAdNetwork, PresentingHandsTheCreativeOverAndReportsTheDismissalLater) {
    auto ad = loadOne();
    RecordingDelegate delegate;
    ad->setFullScreenContentDelegate(&delegate);

    ad->presentFromRootViewController(screen);
    ASSERT_EQ(network.presenter().presentations.size(), 1u);
    EXPECT_EQ(network.presenter().presentations[0].over, &screen);
    EXPECT_EQ(network.presenter().presentations[0].creative.identifier, ad->creative().identifier);
    EXPECT_TRUE(ad->isOnScreen());

    network.presenter().closeAd();
    EXPECT_TRUE(delegate.dismissed.empty());  // through the run loop
    platform.loop().drain();
    ASSERT_EQ(delegate.dismissed.size(), 1u);
    EXPECT_EQ(delegate.dismissed[0], ad.get());

    network.presenter().closeAd();  // a second report changes nothing
    platform.loop().drain();
    EXPECT_EQ(delegate.dismissed.size(), 1u);
}

TEST_F(HouseAdNetwork, AnAdIsShownAtMostOnceAndNotTwiceAtATime) {
    auto ad = loadOne();
    RecordingDelegate delegate;
    ad->setFullScreenContentDelegate(&delegate);

    ad->presentFromRootViewController(screen);
    ad->presentFromRootViewController(screen);
    platform.loop().drain();
    EXPECT_EQ(network.presenter().presentations.size(), 1u);
    EXPECT_EQ(delegate.failures, std::vector<AdErrorCode>{AdErrorCode::adAlreadyPresented});

    network.presenter().closeAd();
    platform.loop().drain();
    ad->presentFromRootViewController(screen);
    platform.loop().drain();
    EXPECT_EQ(network.presenter().presentations.size(), 1u);
    EXPECT_EQ(delegate.failures.back(), AdErrorCode::adAlreadyUsed);
}

TEST_F(HouseAdNetwork, WithoutAPresenterNothingShowsAndTheAdCanBePresentedLater) {
    auto ad = loadOne();
    RecordingDelegate delegate;
    ad->setFullScreenContentDelegate(&delegate);
    network.removePresenter();

    ad->presentFromRootViewController(screen);
    platform.loop().drain();
    EXPECT_EQ(delegate.failures, std::vector<AdErrorCode>{AdErrorCode::noPresenter});
    EXPECT_FALSE(ad->isOnScreen());

    network.restorePresenter();
    network.presenter().accept = false;  // declines: same outcome
    ad->presentFromRootViewController(screen);
    platform.loop().drain();
    EXPECT_EQ(delegate.failures.size(), 2u);
    EXPECT_TRUE(delegate.dismissed.empty());

    network.presenter().accept = true;
    ad->presentFromRootViewController(screen);
    EXPECT_TRUE(ad->isOnScreen());
}

TEST_F(HouseAdNetwork, ADismissalReportedDuringPresentArrivesAfterPresentReturns) {
    auto ad = loadOne();
    RecordingDelegate delegate;
    ad->setFullScreenContentDelegate(&delegate);
    network.presenter().closeImmediately = true;
    ad->presentFromRootViewController(screen);
    EXPECT_TRUE(delegate.dismissed.empty());
    platform.loop().drain();
    EXPECT_EQ(delegate.dismissed.size(), 1u);
}

TEST_F(HouseAdNetwork, ClearingTheDelegateSilencesTheAd) {
    auto ad = loadOne();
    RecordingDelegate delegate;
    ad->setFullScreenContentDelegate(&delegate);
    ad->presentFromRootViewController(screen);
    ad->setFullScreenContentDelegate(nullptr);
    network.presenter().closeAd();
    platform.loop().drain();
    EXPECT_TRUE(delegate.dismissed.empty());
}

TEST(AdBuildSettings, TestDeviceIsThirtyTwoHexDigitsAndTheAdUnitIsSet) {
    const auto device = testDeviceIdentifier();
    EXPECT_EQ(device.size(), 32u);
    EXPECT_EQ(device.find_first_not_of("0123456789abcdefABCDEF"), std::string_view::npos);
    EXPECT_FALSE(interstitialAdUnitIdentifier().empty());
}

}  // namespace
}  // namespace jw::ads
