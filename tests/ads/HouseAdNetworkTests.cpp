// The house-ad network: loading creatives after a delay, failing when told to, presenting
// through the application's presenter and reporting the dismissal.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

#include "platform/ads/AdBuildSettings.h"
#include "platform/ads/InterstitialAd.h"
#include "platform/ads/MobileAds.h"
#include "src/themes/PngImage.h"
#include "tests/ads/RecordingAdPresenter.h"
#include "tests/support/ScriptCase.h"
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

// Starts each catalogue (the shipped one, an empty folder, or one with entries that escape its
// folder, lack a name or an image) with a failure rate and loads on an ad unit: what the start
// reports and what each load gives, a creative or an error code with its description.
TEST(HouseAdNetworkFailures, LoadsFailAsConfiguredAndBadCatalogueEntriesAreSkipped) {
    test::ManualPlatform platform;
    test::TempDir empty;
    test::TempDir odd;
    std::ofstream(odd.path() / "creatives.json") << R"({"format": 1, "creatives": [
        {"identifier": "escape", "image": "../secret.png"},
        {"identifier": "", "image": "a.png"},
        {"identifier": "gone", "image": "gone.png"},
        {"identifier": "here", "image": "here.png"}]})";
    std::ofstream(odd.path() / "here.png") << "image";
    ASSERT_EQ(readHouseAdCatalogue(odd.path())->size(), 2u)
        << "\"gone\" is listed; its image is checked when served";
    const std::tuple<double, std::filesystem::path, std::string, int, std::string> cases[] = {
        {1.0, test::ScopedHouseAdNetwork::shippedCreatives(), "unit", 3,
         "ready: error 2 described, error 2 described, error 2 described"},
        {0.0, test::ScopedHouseAdNetwork::shippedCreatives(), "", 1, "ready: error 0 described"},
        {0.0, empty.path(), "unit", 1, "not ready, described: error 3 described"},
        {0.0, odd.path(), "unit", 2, "ready: here, here"},
    };
    for (const auto& [failureRate, creatives, unit, count, expected] : cases) {
        test::ScopedHouseAdNetwork network(1.0, failureRate, creatives);
        InitializationStatus status;
        network.network().start([&status](const InitializationStatus& s) { status = s; });
        platform.loop().drain();
        std::string text = status.ready ? "ready:" : "not ready";
        text += status.description.empty() ? "" : ", described:";
        for (int load = 0; load < count; ++load) {
            auto slot = startLoad(unit);
            platform.loop().advance(1.0);
            ASSERT_TRUE(slot->has_value());
            const auto& [ad, error] = **slot;
            text += (load ? ", " : " ") +
                    (ad ? ad->creative().identifier
                        : "error " + std::to_string(int(error->code)) +
                              (error->localizedDescription.empty() ? "" : " described"));
        }
        EXPECT_EQ(text, expected);
    }
}

// Presents a loaded ad over the screen through steps separated by spaces: "present", "close"
// (the person closes the ad on screen), "drain" (the run loop), "nopresenter", "presenter",
// "decline" and "accept" (the presenter refuses, or takes it again), "closeAtOnce" (the presenter
// reports the dismissal while presenting), "nodelegate"; and "?" notes the presentations, whether
// the ad is on screen, the dismissals the delegate heard and its failures (by error code).
class Presenting : public HouseAdNetwork, public ::testing::WithParamInterface<test::ScriptCase> {
  protected:
    std::string run(const std::string& steps) {
        auto ad = loadOne();
        RecordingDelegate delegate;
        ad->setFullScreenContentDelegate(&delegate);
        std::string transcript;
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            auto& presenter = network.presenter();
            if (step == "present") {
                ad->presentFromRootViewController(screen);
            } else if (step == "close") {
                presenter.closeAd();
            } else if (step == "drain") {
                platform.loop().drain();
            } else if (step == "nopresenter" || step == "presenter") {
                step == "presenter" ? network.restorePresenter() : network.removePresenter();
            } else if (step == "decline" || step == "accept") {
                presenter.accept = step == "accept";
            } else if (step == "closeAtOnce") {
                presenter.closeImmediately = true;
            } else if (step == "nodelegate") {
                ad->setFullScreenContentDelegate(nullptr);
            } else if (step == "?") {
                for (const auto& shown : presenter.presentations) {
                    EXPECT_EQ(shown.over, &screen);
                    EXPECT_EQ(shown.creative.identifier, ad->creative().identifier);
                }
                std::string failures;
                for (const auto code : delegate.failures) {
                    failures += " " + std::to_string(static_cast<int>(code));
                }
                transcript += (transcript.empty() ? "" : ", ") + std::string("shown ") +
                              std::to_string(presenter.presentations.size()) +
                              (ad->isOnScreen() ? " on screen" : "") + " dismissed " +
                              std::to_string(delegate.dismissed.size()) + " failed" + failures;
                EXPECT_TRUE(std::all_of(delegate.dismissed.begin(), delegate.dismissed.end(),
                                        [&](auto* dismissed) { return dismissed == ad.get(); }));
            } else {
                ADD_FAILURE() << "no such step: " << step;
            }
        }
        return transcript;
    }
};

TEST_P(Presenting, Script) {
    EXPECT_EQ(run(GetParam().steps), GetParam().expected);
}

// Failure codes: 4 already used, 5 already presented, 6 no presenter.
const test::ScriptCase presentingCases[] = {
    // The dismissal comes through the run loop, once however often it is reported.
    {"HandsTheCreativeOverAndReportsTheDismissalLater", "present ? close ? drain ? close drain ?",
     "shown 1 on screen dismissed 0 failed, shown 1 on screen dismissed 0 failed, shown 1 "
     "dismissed 1 failed, shown 1 dismissed 1 failed"},
    {"ShownAtMostOnceAndNotTwiceAtATime", "present present drain ? close drain present drain ?",
     "shown 1 on screen dismissed 0 failed 5, shown 1 dismissed 1 failed 5 4"},
    {"WithoutAPresenterNothingShowsAndTheAdCanBePresentedLater",
     "nopresenter present drain ? presenter decline present drain ? accept present ?",
     "shown 0 dismissed 0 failed 6, shown 1 dismissed 0 failed 6 6, shown 2 on screen dismissed 0 "
     "failed 6 6"},
    {"ADismissalReportedDuringPresentArrivesAfterPresentReturns", "closeAtOnce present ? drain ?",
     "shown 1 on screen dismissed 0 failed, shown 1 dismissed 1 failed"},
    {"ClearingTheDelegateSilencesTheAd", "present nodelegate close drain ?",
     "shown 1 dismissed 0 failed"},
};

INSTANTIATE_TEST_SUITE_P(Scripts, Presenting, ::testing::ValuesIn(presentingCases), test::caseName);

TEST(AdBuildSettings, TestDeviceIsThirtyTwoHexDigitsAndTheAdUnitIsSet) {
    const auto device = testDeviceIdentifier();
    EXPECT_EQ(device.size(), 32u);
    EXPECT_EQ(device.find_first_not_of("0123456789abcdefABCDEF"), std::string_view::npos);
    EXPECT_FALSE(interstitialAdUnitIdentifier().empty());
}

}  // namespace
}  // namespace jw::ads
