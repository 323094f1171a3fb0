// When the pacer shows, loads or skips an interstitial: the grace period, the interval
// between ads, one load at a time, the completion's timing, and odd stored dates.

#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <vector>

#include "src/ads/JWAdvertising.h"
#include "tests/ads/RecordingAdPresenter.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

constexpr const char* firstInitKey = "ewrijfhg837qtr8q3t8f7tq2387fv3ef";
constexpr const char* lastShownKey = "iewhf9h394h9f2034ybfyy43fy37ft9";

class AdPacing : public ::testing::Test {
  protected:
    Date start() const { return test::ManualPlatform::defaultStart; }
    Date at(double seconds) const { return start().addingSeconds(seconds); }

    // The clock at start + `seconds`, with the run loop delivering whatever fell due.
    void moveTo(double seconds) {
        const double step = at(seconds).secondsSince(platform.clock().current());
        platform.loop().advance(step);
        platform.clock().set(at(seconds));
    }

    // One appearance of the items screen; tells whether the completion ran before returning.
    // The flag outlives the call: a shown ad runs the completion only once it is closed.
    bool appear() {
        auto completed = std::make_shared<bool>(false);
        pacer.showAdIfDue(screen, [completed] { *completed = true; });
        return *completed;
    }

    std::optional<Date> stored(const char* key) { return platform.defaults().dateForKey(key); }
    std::size_t shown() { return network.presenter().presentations.size(); }
    bool loadInFlight() { return platform.loop().activeTimerCount() > 0; }

    // The grace period over and the interval started long ago: the next call loads.
    void makeEligible() {
        platform.defaults().setDate(firstInitKey, at(-1000));
        platform.defaults().setDate(lastShownKey, at(-100));
    }

    // Eligible, with a loaded ad held.
    void holdLoadedAd() {
        makeEligible();
        appear();
        platform.loop().advance(1.0);
        ASSERT_TRUE(pacer.holdsInterstitial());
        platform.clearLog();
    }

    test::ManualPlatform platform;
    test::ScopedHouseAdNetwork network;  // loads take 1 second
    test::StubScreen screen;
    JWAdvertising pacer;
};

TEST_F(AdPacing, CreationLogsTheIntervalBetweenAds) {
    EXPECT_EQ(platform.logLines(), std::vector<std::string>{"minIntervalBetweenAds 5.0"});
}

TEST_F(AdPacing, FreshInstallWithTheItemsScreenAppearingEveryThreeSeconds) {
    platform.clearLog();

    EXPECT_TRUE(appear());  // 0 s: stamps the first-initialisation date only
    EXPECT_EQ(stored(firstInitKey), at(0));
    EXPECT_FALSE(stored(lastShownKey));
    EXPECT_TRUE(platform.logLines().empty());

    for (double t : {3.0, 6.0, 9.0}) {  // the grace period: nothing
        moveTo(t);
        platform.clearLog();
        EXPECT_TRUE(appear());
        EXPECT_FALSE(stored(lastShownKey)) << t;
        EXPECT_FALSE(loadInFlight()) << t;
    }
    // The last of them, 9 seconds in, 1 second to go.
    EXPECT_EQ(
        platform.logLines(),
        std::vector<std::string>{"ad first init interval: 9.0 = 0.0002777777777777778hrs to go"});

    moveTo(12);  // grace over: the last-shown date is stamped, nothing shown or loaded
    platform.clearLog();
    EXPECT_TRUE(appear());
    EXPECT_EQ(stored(lastShownKey), at(12));
    EXPECT_FALSE(loadInFlight());
    EXPECT_TRUE(platform.logLines().empty());

    moveTo(15);  // 3 seconds after it: too soon
    platform.clearLog();
    EXPECT_TRUE(appear());
    EXPECT_EQ(
        platform.logLines(),
        (std::vector<std::string>{"got last ad show date: " + at(12).iso8601() + "\ninterval:3.0",
                                  "too soon to show an ad: 2.0 seconds left"}));
    EXPECT_FALSE(loadInFlight());

    moveTo(18);  // 6 seconds: a load starts, nothing is shown
    platform.clearLog();
    EXPECT_TRUE(appear());
    EXPECT_EQ(
        platform.logLines(),
        std::vector<std::string>{"got last ad show date: " + at(12).iso8601() + "\ninterval:6.0"});
    EXPECT_TRUE(pacer.isGettingAd());
    EXPECT_EQ(shown(), 0u);

    moveTo(21);  // the load finished at 19 s: this call shows the ad
    EXPECT_TRUE(pacer.holdsInterstitial());
    EXPECT_FALSE(pacer.isGettingAd());
    EXPECT_FALSE(appear());
    EXPECT_EQ(shown(), 1u);
    EXPECT_EQ(stored(lastShownKey), at(12));  // not until it is closed

    moveTo(23);  // the user closes it: the interval restarts from now
    network.presenter().closeAd();
    platform.loop().drain();
    EXPECT_EQ(stored(lastShownKey), at(23));
    EXPECT_FALSE(pacer.holdsInterstitial());

    moveTo(27);  // 4 seconds after closing: too soon
    EXPECT_TRUE(appear());
    EXPECT_FALSE(loadInFlight());

    moveTo(30);  // 7 seconds: a new load, not a presentation
    EXPECT_TRUE(appear());
    EXPECT_TRUE(pacer.isGettingAd());
    EXPECT_EQ(shown(), 1u);
}

TEST_F(AdPacing, GracePeriodEndsAtExactlyTenSeconds) {
    appear();
    moveTo(9.999);
    appear();
    EXPECT_FALSE(stored(lastShownKey));
    moveTo(10);
    appear();
    EXPECT_EQ(stored(lastShownKey), at(10));
}

TEST_F(AdPacing, HeldAdWaitsAtFourPointNineSecondsAndShowsAtFive) {
    holdLoadedAd();
    platform.defaults().setDate(lastShownKey, at(0));

    platform.clock().set(at(4.9));
    EXPECT_TRUE(appear());
    EXPECT_EQ(shown(), 0u);
    ASSERT_EQ(platform.logLines().size(), 2u);
    EXPECT_EQ(platform.logLines()[1].rfind("too soon to show an ad: 0.0999", 0), 0u)
        << platform.logLines()[1];

    platform.clock().set(at(5.0));
    EXPECT_FALSE(appear());
    EXPECT_EQ(shown(), 1u);
}

TEST_F(AdPacing, APresentingCallsCompletionWaitsForTheAdToBeClosed) {
    holdLoadedAd();
    int completions = 0;
    pacer.showAdIfDue(screen, [&completions] { ++completions; });
    ASSERT_EQ(shown(), 1u);
    platform.loop().advance(30);
    EXPECT_EQ(completions, 0);  // the ad is still up

    network.presenter().closeAd();
    platform.loop().drain();
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(pacer.holdsCompletion());
}

TEST_F(AdPacing, CallsWhileALoadIsInFlightStartNoSecondLoad) {
    makeEligible();
    appear();
    EXPECT_TRUE(pacer.isGettingAd());
    EXPECT_TRUE(appear());
    EXPECT_TRUE(appear());
    EXPECT_EQ(platform.loop().activeTimerCount(), 1);

    platform.loop().advance(1.0);
    EXPECT_TRUE(pacer.holdsInterstitial());
    EXPECT_FALSE(pacer.isGettingAd());
    EXPECT_EQ(platform.loop().activeTimerCount(), 0);
}

TEST_F(AdPacing, AFailedLoadIsLoggedAndTheNextEligibleCallLoadsAgain) {
    test::ScopedHouseAdNetwork failing(1.0, 1.0);
    makeEligible();
    appear();
    platform.clearLog();
    platform.loop().advance(1.0);
    EXPECT_EQ(platform.logLines(),
              std::vector<std::string>{
                  "admob load error: The ad request timed out. Please try again later."});
    EXPECT_FALSE(pacer.isGettingAd());
    EXPECT_FALSE(pacer.holdsInterstitial());

    appear();
    EXPECT_TRUE(pacer.isGettingAd());
}

TEST_F(AdPacing, AfterADismissalTheNextEligibleCallLoadsInsteadOfPresenting) {
    holdLoadedAd();
    appear();
    network.presenter().closeAd();
    platform.loop().drain();
    EXPECT_FALSE(pacer.holdsInterstitial());

    platform.loop().advance(5.0);
    appear();
    EXPECT_EQ(shown(), 1u);
    EXPECT_TRUE(pacer.isGettingAd());
}

TEST_F(AdPacing, APresentationThatCannotHappenKeepsTheAdForTheNextCall) {
    holdLoadedAd();
    network.removePresenter();
    int first = 0;
    int second = 0;
    pacer.showAdIfDue(screen, [&first] { ++first; });
    platform.loop().drain();
    EXPECT_TRUE(pacer.holdsInterstitial());
    EXPECT_TRUE(pacer.holdsCompletion());
    EXPECT_EQ(stored(lastShownKey), at(-100));  // not stamped: no dismissal came

    network.restorePresenter();
    pacer.showAdIfDue(screen, [&second] { ++second; });
    EXPECT_EQ(shown(), 1u);
    network.presenter().closeAd();
    platform.loop().drain();
    EXPECT_EQ(first, 0);  // replaced without running
    EXPECT_EQ(second, 1);
}

TEST_F(AdPacing, AFirstInitDateInTheFutureCountsByItsDistance) {
    platform.defaults().setDate(firstInitKey, at(8));
    appear();
    EXPECT_FALSE(stored(lastShownKey));
    EXPECT_EQ(platform.logLines().back(),
              "ad first init interval: 8.0 = 0.0005555555555555556hrs to go");

    platform.defaults().setDate(firstInitKey, at(10));
    appear();
    EXPECT_EQ(stored(lastShownKey), at(0));
}

TEST_F(AdPacing, ALastShownDateInTheFutureHoldsAdsUntilFiveSecondsPastIt) {
    makeEligible();
    platform.defaults().setDate(lastShownKey, at(3));
    platform.clearLog();
    appear();
    EXPECT_EQ(
        platform.logLines(),
        (std::vector<std::string>{"got last ad show date: " + at(3).iso8601() + "\ninterval:-3.0",
                                  "too soon to show an ad: 8.0 seconds left"}));
    EXPECT_FALSE(pacer.isGettingAd());

    platform.clock().set(at(7.9));
    appear();
    EXPECT_FALSE(pacer.isGettingAd());
    platform.clock().set(at(8));
    appear();
    EXPECT_TRUE(pacer.isGettingAd());
}

TEST_F(AdPacing, RemovingTheFirstInitKeyRestartsTheGraceAndDropsTheHeldAd) {
    holdLoadedAd();
    platform.defaults().removeObjectForKey(firstInitKey);
    EXPECT_TRUE(appear());
    EXPECT_EQ(stored(firstInitKey), at(1));
    EXPECT_FALSE(pacer.holdsInterstitial());
    EXPECT_EQ(shown(), 0u);

    moveTo(11);
    appear();  // grace over, last-shown date long past: loads
    EXPECT_TRUE(pacer.isGettingAd());
}

TEST_F(AdPacing, RemovingTheLastShownKeyMakesTheNextEligibleCallOnlyStampIt) {
    holdLoadedAd();
    platform.defaults().removeObjectForKey(lastShownKey);
    EXPECT_TRUE(appear());
    EXPECT_EQ(stored(lastShownKey), at(1));
    EXPECT_EQ(shown(), 0u);
    EXPECT_TRUE(pacer.holdsInterstitial());
}

TEST_F(AdPacing, ValuesThatAreNotDatesCountAsAbsent) {
    platform.defaults().setString(firstInitKey, "yesterday");
    appear();
    EXPECT_EQ(stored(firstInitKey), at(0));

    platform.defaults().setDate(firstInitKey, at(-1000));
    platform.defaults().setNumber(lastShownKey, 12.0);
    appear();
    EXPECT_EQ(stored(lastShownKey), at(0));
}

TEST_F(AdPacing, StoredDatesOutliveThePacerAndTheLoadedAdDoesNot) {
    holdLoadedAd();
    {
        JWAdvertising relaunched;
        EXPECT_FALSE(relaunched.holdsInterstitial());
        relaunched.showAdIfDue(screen);
        EXPECT_EQ(shown(), 0u);
        EXPECT_TRUE(relaunched.isGettingAd());
    }
    // The relaunched pacer is gone; its load finishing must not touch it.
    platform.loop().advance(1.0);
    EXPECT_TRUE(pacer.holdsInterstitial());
}

TEST_F(AdPacing, WithoutACurrentDateNothingIsStoredAndTheCompletionStillRuns) {
    platform.clock().setFailing(true);
    EXPECT_TRUE(appear());
    EXPECT_FALSE(stored(firstInitKey));
}

}  // namespace
}  // namespace jw
