// The shared test support is itself something every test relies on.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DebugLog.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestEnvironment.h"

namespace jw::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// --- TempDir -------------------------------------------------------------------------------

TEST(TempDir, IsANewEmptyFolderUnderTheSystemTemporaryFolder) {
    TempDir first;
    TempDir second;
    EXPECT_TRUE(fs::is_directory(first.path()));
    EXPECT_TRUE(fs::is_empty(first.path()));
    EXPECT_TRUE(fs::equivalent(first.path().parent_path(), fs::temp_directory_path()));
    EXPECT_NE(first.path(), second.path());
}

TEST(TempDir, IsRemovedWithEverythingInItWhenDestroyed) {
    fs::path where;
    {
        TempDir temp;
        where = temp.path();
        fs::create_directories(where / "a" / "b");
        std::ofstream(where / "a" / "b" / "file") << "contents";
    }
    EXPECT_FALSE(fs::exists(where));
}

// --- ScopedEnvironmentVariable -------------------------------------------------------------

TEST(ScopedEnvironmentVariable, SetsThenRestoresAnExistingValue) {
    ::setenv("JOTWELL_TEST_VARIABLE", "before", 1);
    {
        ScopedEnvironmentVariable scoped("JOTWELL_TEST_VARIABLE", "during");
        EXPECT_STREQ(std::getenv("JOTWELL_TEST_VARIABLE"), "during");
    }
    EXPECT_STREQ(std::getenv("JOTWELL_TEST_VARIABLE"), "before");
    {
        ScopedEnvironmentVariable scoped("JOTWELL_TEST_VARIABLE", std::nullopt);
        EXPECT_EQ(std::getenv("JOTWELL_TEST_VARIABLE"), nullptr);
    }
    EXPECT_STREQ(std::getenv("JOTWELL_TEST_VARIABLE"), "before");
    ::unsetenv("JOTWELL_TEST_VARIABLE");
}

TEST(ScopedEnvironmentVariable, RemovesAVariableThatWasNotThereBefore) {
    ::unsetenv("JOTWELL_TEST_VARIABLE");
    {
        ScopedEnvironmentVariable scoped("JOTWELL_TEST_VARIABLE", "during");
        EXPECT_STREQ(std::getenv("JOTWELL_TEST_VARIABLE"), "during");
    }
    EXPECT_EQ(std::getenv("JOTWELL_TEST_VARIABLE"), nullptr);
}

// --- ManualPlatform ------------------------------------------------------------------------

TEST(ManualPlatform, InstallsAManualClockAtTheStart) {
    ManualPlatform platform;
    EXPECT_EQ(&currentClock(), &platform.clock());
    EXPECT_EQ(currentClock().now(), Date{1'800'007'200.0});
    EXPECT_EQ(Date{1'800'007'200.0}.iso8601(), "2027-01-15T10:00:00.000Z");
    platform.clock().advance(10.0);
    EXPECT_EQ(currentClock().now(), Date{1'800'007'210.0});
}

TEST(ManualPlatform, StartsWhereItIsTold) {
    ManualPlatform platform(Date{5.0});
    EXPECT_EQ(currentClock().now(), Date{5.0});
}

TEST(ManualPlatform, MakesItsManualLoopTheMainRunLoopOnItsClock) {
    ManualPlatform platform;
    EXPECT_EQ(&mainRunLoop(), &platform.loop());
    EXPECT_EQ(&platform.loop().clock(), &platform.clock());

    bool ran = false;
    runOnMain([&] { ran = true; });
    EXPECT_FALSE(ran);
    platform.loop().drain();
    EXPECT_TRUE(ran);

    bool fired = false;
    mainRunLoop().scheduleTimer(10.0, false, [&](Timer&) { fired = true; });
    platform.loop().advance(10.0);
    EXPECT_TRUE(fired);
    EXPECT_EQ(currentClock().now(), Date{1'800'007'210.0});
}

TEST(ManualPlatform, GivesFreshInMemoryStandardDefaults) {
    ManualPlatform platform;
    EXPECT_EQ(&UserDefaults::standard(), &platform.defaults());
    EXPECT_TRUE(platform.defaults().file().empty());
    UserDefaults::standard().setBool("seen", true);
    EXPECT_EQ(platform.defaults().boolForKey("seen"), true);

    ManualPlatform another;
    EXPECT_FALSE(UserDefaults::standard().contains("seen"));
}

TEST(ManualPlatform, RecordsTheDebugLog) {
    ManualPlatform platform;
    debugLog("first");
    debugLog("second");
    EXPECT_THAT(platform.logLines(), ElementsAre("first", "second"));
    platform.clearLog();
    EXPECT_THAT(platform.logLines(), IsEmpty());
    debugLog("third");
    EXPECT_THAT(platform.logLines(), ElementsAre("third"));
}

TEST(ManualPlatform, RecordsLinesLoggedOnOtherThreads) {
    ManualPlatform platform;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 100; ++i) {
                debugLog("line");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(platform.logLines().size(), 400u);
}

TEST(ManualPlatform, PutsBackEverythingItReplacedAndNests) {
    std::vector<std::string> outerLines;
    auto originalSink =
        setDebugLogSink([&](std::string_view line) { outerLines.emplace_back(line); });
    Clock* const originalClock = &currentClock();
    RunLoop* const originalLoop = &mainRunLoop();
    UserDefaults* const originalDefaults = &UserDefaults::standard();
    {
        ManualPlatform outer;
        {
            ManualPlatform inner;
            EXPECT_EQ(&currentClock(), &inner.clock());
            debugLog("inner");
            EXPECT_THAT(inner.logLines(), ElementsAre("inner"));
        }
        EXPECT_EQ(&currentClock(), &outer.clock());
        EXPECT_EQ(&mainRunLoop(), &outer.loop());
        EXPECT_EQ(&UserDefaults::standard(), &outer.defaults());
        debugLog("outer");
        EXPECT_THAT(outer.logLines(), ElementsAre("outer"));
    }
    EXPECT_EQ(&currentClock(), originalClock);
    EXPECT_EQ(&mainRunLoop(), originalLoop);
    EXPECT_EQ(&UserDefaults::standard(), originalDefaults);
    debugLog("after");
    EXPECT_THAT(outerLines, ElementsAre("after"));
    setDebugLogSink(std::move(originalSink));
}

}  // namespace
}  // namespace jw::test
