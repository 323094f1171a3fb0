// When the pacer shows, loads or skips an interstitial: the grace period, the interval
// between ads, one load at a time, the completion's timing, and odd stored dates.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "src/ads/JWAdvertising.h"
#include "tests/ads/RecordingAdPresenter.h"
#include "tests/support/ScriptCase.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

constexpr const char* firstInitKey = "ewrijfhg837qtr8q3t8f7tq2387fv3ef";
constexpr const char* lastShownKey = "iewhf9h394h9f2034ybfyy43fy37ft9";

class AdPacing : public ::testing::TestWithParam<test::ScriptCase> {
  protected:
    Date at(double seconds) const {
        return test::ManualPlatform::defaultStart.addingSeconds(seconds);
    }
    std::string since(std::optional<Date> date) const {
        char text[32] = "-";
        if (date) {
            std::snprintf(text, sizeof text, "%g", date->secondsSince(at(0)));
        }
        return text;
    }
    void note(const std::string& what) { transcript_ += (transcript_.empty() ? "" : ", ") + what; }

    // One appearance of the items screen; its completion notes "ran <n>" whenever it runs.
    void appear() {
        pacer.showAdIfDue(screen, [this, n = ++appearances_] { note("ran " + std::to_string(n)); });
    }

    // Runs steps separated by spaces, times in seconds from the start: "appear"; "at:<s>" (the
    // clock moves there, the run loop delivering what falls due), "clock:<s>" (the clock alone),
    // "loop:<s>" (the run loop alone), "drain"; "first:<s>" and "last:<s>" (the stored dates;
    // "-" removes one, "text" and "number" store another type); "eligible" (grace over, the last
    // ad long ago), "hold" (eligible, with a loaded ad held; the log cleared); "close" (the person
    // closes the ad); "nopresenter", "presenter", "failing" (every load fails), "noclock"; and
    // into the transcript "?" (the state) and "log" (the lines logged since the last "log").
    void run(const std::string& steps) {
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            const auto colon = step.find(':');
            const std::string word = step.substr(0, colon);
            const std::string value = colon == std::string::npos ? "" : step.substr(colon + 1);
            const char* key = word == "first" ? firstInitKey : lastShownKey;
            if (word == "appear") {
                appear();
            } else if (word == "at") {
                platform.loop().advance(
                    at(std::stod(value)).secondsSince(platform.clock().current()));
                platform.clock().set(at(std::stod(value)));
            } else if (word == "clock") {
                platform.clock().set(at(std::stod(value)));
            } else if (word == "loop") {
                platform.loop().advance(std::stod(value));
            } else if (word == "drain") {
                platform.loop().drain();
            } else if ((word == "first" || word == "last") && value == "-") {
                platform.defaults().removeObjectForKey(key);
            } else if ((word == "first" || word == "last") && value == "text") {
                platform.defaults().setString(key, "yesterday");
            } else if ((word == "first" || word == "last") && value == "number") {
                platform.defaults().setNumber(key, 12.0);
            } else if (word == "first" || word == "last") {
                platform.defaults().setDate(key, at(std::stod(value)));
            } else if (word == "eligible" || word == "hold") {
                platform.defaults().setDate(firstInitKey, at(-1000));
                platform.defaults().setDate(lastShownKey, at(-100));
                if (word == "hold") {
                    appear();
                    platform.loop().advance(1.0);
                    ASSERT_TRUE(pacer.holdsInterstitial());
                    platform.clearLog();
                }
            } else if (word == "close") {
                network.presenter().closeAd();
                platform.loop().drain();
            } else if (word == "nopresenter" || word == "presenter") {
                word == "presenter" ? network.restorePresenter() : network.removePresenter();
            } else if (word == "failing") {
                failing.emplace(1.0, 1.0);
            } else if (word == "noclock") {
                platform.clock().setFailing(true);
            } else if (word == "?") {
                note("first " + since(platform.defaults().dateForKey(firstInitKey)) + " last " +
                     since(platform.defaults().dateForKey(lastShownKey)) +
                     (pacer.isGettingAd() ? " loading" : "") +
                     (pacer.holdsInterstitial() ? " held" : "") +
                     (pacer.holdsCompletion() ? " waiting" : "") + " shown " +
                     std::to_string(network.presenter().presentations.size()) + " timers " +
                     std::to_string(platform.loop().activeTimerCount()));
            } else if (word == "log") {
                note("log [" + test::joined(platform.logLines(), " / ") + "]");
                platform.clearLog();
            } else {
                ADD_FAILURE() << "no such step: " << step;
            }
        }
    }

    test::ManualPlatform platform;
    test::ScopedHouseAdNetwork network;  // loads take 1 second
    std::optional<test::ScopedHouseAdNetwork> failing;
    test::StubScreen screen;
    JWAdvertising pacer;
    int appearances_ = 0;
    std::string transcript_;
};

TEST_P(AdPacing, Script) {
    run(GetParam().steps);
    EXPECT_EQ(transcript_, GetParam().expected);
}

const test::ScriptCase pacingCases[] = {
    // The items screen appearing every three seconds after a fresh install: the first call
    // stamps the first-initialisation date; the grace period of ten seconds shows nothing; then
    // the last-shown date is stamped; five seconds on a load starts, the next call shows the ad,
    // and closing it restarts the interval.
    {"FreshInstall",
     "log appear ? log at:3 appear ? at:6 appear ? at:9 appear ? log at:12 appear ? log at:15 "
     "appear ? log at:18 appear ? log at:21 ? appear ? at:23 close ? at:27 appear ? at:30 appear ?",
     "log [minIntervalBetweenAds 5.0], ran 1, first 0 last - shown 0 timers 0, log [], ran 2, "
     "first 0 last - shown 0 timers 0, ran 3, first 0 last - shown 0 timers 0, ran 4, first 0 "
     "last - shown 0 timers 0, log [ad first init interval: 3.0 = 0.0019444444444444444hrs to go "
     "/ ad first init interval: 6.0 = 0.0011111111111111111hrs to go / ad first init interval: "
     "9.0 = 0.0002777777777777778hrs to go], ran 5, first 0 last 12 shown 0 timers 0, log [], ran "
     "6, first 0 last 12 shown 0 timers 0, log [got last ad show date: "
     "2027-01-15T10:00:12.000Z\ninterval:3.0 / too soon to show an ad: 2.0 seconds left], ran 7, "
     "first 0 last 12 loading shown 0 timers 1, log [got last ad show date: "
     "2027-01-15T10:00:12.000Z\ninterval:6.0], first 0 last 12 held shown 0 timers 0, first 0 "
     "last 12 held waiting shown 1 timers 0, ran 8, first 0 last 23 shown 1 timers 0, ran 9, "
     "first 0 last 23 shown 1 timers 0, ran 10, first 0 last 23 loading shown 1 timers 1"},
    {"GracePeriodEndsAtExactlyTenSeconds", "appear at:9.999 appear ? at:10 appear ?",
     "ran 1, ran 2, first 0 last - shown 0 timers 0, ran 3, first 0 last 10 shown 0 timers 0"},
    {"HeldAdWaitsAtFourPointNineSecondsAndShowsAtFive",
     "hold last:0 clock:4.9 appear log ? clock:5 appear ?",
     "ran 1, ran 2, log [got last ad show date: "
     "2027-01-15T10:00:00.000Z\ninterval:4.900000095367432 / too soon to show an ad: "
     "0.09999990463256836 seconds left], first -1000 last 0 held shown 0 timers 0, first -1000 "
     "last 0 held waiting shown 1 timers 0"},
    {"ACompletionWaitsForTheAdToBeClosed", "hold appear ? loop:30 close ?",
     "ran 1, first -1000 last -100 held waiting shown 1 timers 0, ran 2, first -1000 last 31 "
     "shown 1 timers 0"},
    {"CallsWhileALoadIsInFlightStartNoSecondLoad", "eligible appear appear appear ? loop:1 ?",
     "ran 1, ran 2, ran 3, first -1000 last -100 loading shown 0 timers 1, first -1000 last -100 "
     "held shown 0 timers 0"},
    {"AFailedLoadIsLoggedAndTheNextEligibleCallLoadsAgain",
     "failing eligible appear log loop:1 log ? appear ?",
     "ran 1, log [minIntervalBetweenAds 5.0 / got last ad show date: "
     "2027-01-15T09:58:20.000Z\ninterval:100.0], log [admob load error: The ad request timed out. "
     "Please try again later.], first -1000 last -100 shown 0 timers 0, ran 2, first -1000 last "
     "-100 loading shown 0 timers 1"},
    {"AfterADismissalTheNextEligibleCallLoadsInsteadOfPresenting",
     "hold appear close ? loop:5 appear ?",
     "ran 1, ran 2, first -1000 last 1 shown 1 timers 0, ran 3, first -1000 last 1 loading shown "
     "1 timers 1"},
    {"APresentationThatCannotHappenKeepsTheAdForTheNextCall",
     "hold nopresenter appear drain ? presenter appear close ?",
     "ran 1, first -1000 last -100 held waiting shown 0 timers 0, ran 3, first -1000 last 1 shown "
     "1 timers 0"},
    {"AFirstInitDateInTheFutureCountsByItsDistance", "first:8 appear log ? first:10 appear ?",
     "ran 1, log [minIntervalBetweenAds 5.0 / ad first init interval: 8.0 = "
     "0.0005555555555555556hrs to go], first 8 last - shown 0 timers 0, ran 2, first 10 last 0 "
     "shown 0 timers 0"},
    {"ALastShownDateInTheFutureHoldsAdsUntilFiveSecondsPastIt",
     "eligible last:3 log appear log ? clock:7.9 appear ? clock:8 appear ?",
     "log [minIntervalBetweenAds 5.0], ran 1, log [got last ad show date: "
     "2027-01-15T10:00:03.000Z\ninterval:-3.0 / too soon to show an ad: 8.0 seconds left], first "
     "-1000 last 3 shown 0 timers 0, ran 2, first -1000 last 3 shown 0 timers 0, ran 3, first "
     "-1000 last 3 loading shown 0 timers 1"},
    {"RemovingTheFirstInitKeyRestartsTheGraceAndDropsTheHeldAd",
     "hold first:- appear ? at:11 appear ?",
     "ran 1, ran 2, first 1 last -100 shown 0 timers 0, ran 3, first 1 last -100 loading shown 0 "
     "timers 1"},
    {"RemovingTheLastShownKeyMakesTheNextEligibleCallOnlyStampIt", "hold last:- appear ?",
     "ran 1, ran 2, first -1000 last 1 held shown 0 timers 0"},
    {"ValuesThatAreNotDatesCountAsAbsent", "first:text appear ? first:-1000 last:number appear ?",
     "ran 1, first 0 last - shown 0 timers 0, ran 2, first -1000 last 0 shown 0 timers 0"},
    {"WithoutACurrentDateNothingIsStoredAndTheCompletionStillRuns", "noclock appear ?",
     "ran 1, first - last - shown 0 timers 0"},
};

INSTANTIATE_TEST_SUITE_P(Scripts, AdPacing, ::testing::ValuesIn(pacingCases), test::caseName);

TEST(AdPacingRelaunch, StoredDatesOutliveThePacerAndTheLoadedAdDoesNot) {
    test::ManualPlatform platform;
    test::ScopedHouseAdNetwork network;
    test::StubScreen screen;
    JWAdvertising pacer;
    platform.defaults().setDate(firstInitKey, platform.clock().current().addingSeconds(-1000));
    platform.defaults().setDate(lastShownKey, platform.clock().current().addingSeconds(-100));
    pacer.showAdIfDue(screen);
    platform.loop().advance(1.0);
    ASSERT_TRUE(pacer.holdsInterstitial());
    {
        JWAdvertising relaunched;
        EXPECT_FALSE(relaunched.holdsInterstitial());
        relaunched.showAdIfDue(screen);
        EXPECT_EQ(network.presenter().presentations.size(), 0u);
        EXPECT_TRUE(relaunched.isGettingAd());
    }
    // The relaunched pacer is gone; its load finishing must not touch it.
    platform.loop().advance(1.0);
    EXPECT_TRUE(pacer.holdsInterstitial());
}

}  // namespace
}  // namespace jw
