#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/DebugLog.h"
#include "platform/foundation/Fatal.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

using ::testing::ElementsAre;

// Each line as written; a line logged from inside the sink does not reenter it; replacing the
// sink hands back the previous one, and an empty one restores the default destination.
TEST(DebugLog, TheSinkReceivesEachLineAsWrittenOnceAndCanBeReplaced) {
    std::vector<std::string> lines;
    auto original = setDebugLogSink([&](std::string_view line) {
        lines.emplace_back(line);
        debugLog("logged by the sink");
    });
    debugLog("store: loaded 3 lists");
    debugLog("");
    debugLog(std::string("with\0nul", 8));
    auto replaced = setDebugLogSink(nullptr);
    ASSERT_TRUE(replaced);
    replaced("handed back");
    debugLog("to the default destination");
    setDebugLogSink(std::move(original));
    EXPECT_THAT(lines, ElementsAre("store: loaded 3 lists", "", std::string("with\0nul", 8),
                                   "handed back"));
}

TEST(DebugLog, LinesFromManyThreadsArriveWholeAndOneAtATime) {
    std::vector<std::string> lines;  // unguarded on purpose: the sink is never called concurrently
    auto original = setDebugLogSink([&](std::string_view line) { lines.emplace_back(line); });
    constexpr int threads = 8;
    constexpr int perThread = 500;
    std::vector<std::thread> loggers;
    for (int t = 0; t < threads; ++t) {
        loggers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i) {
                debugLog("thread " + std::to_string(t) + " line " + std::to_string(i));
            }
        });
    }
    for (auto& logger : loggers) {
        logger.join();
    }
    setDebugLogSink(std::move(original));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(threads * perThread));
    // Each thread's lines arrive complete and in that thread's order.
    std::vector<int> next(threads, 0);
    for (const auto& line : lines) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
        ASSERT_EQ(i, next[t]++) << line;
    }
}

// Standard error is only observable from a separate process, and JOTWELL_DEBUG is read once
// per process; the "threadsafe" style starts each check in a fresh one.
class DebugLogDestinationDeathTest : public ::testing::Test {
  protected:
    DebugLogDestinationDeathTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

    static void logAndExit() {
        debugLog("diagnostic line");
        std::fputs("end\n", stderr);
        std::fflush(stderr);
        std::_Exit(0);
    }
};

// Only JOTWELL_DEBUG=1 sends the lines to standard error.
TEST_F(DebugLogDestinationDeathTest, StandardErrorGetsTheLinesOnlyWithJotwellDebugAndFatalErrors) {
    for (const std::optional<std::string>& value : {std::optional<std::string>(), {"0"}, {"1"}}) {
        test::ScopedEnvironmentVariable debug("JOTWELL_DEBUG", value);
        EXPECT_EXIT(logAndExit(), ::testing::ExitedWithCode(0),
                    ::testing::Eq(value == "1" ? "diagnostic line\nend\n" : "end\n"))
            << value.value_or("unset");
    }
    // fatalError writes the "Unresolved error" line, flushed, and exits with 70.
    EXPECT_EXIT(fatalError("The store could not be loaded", "{reason = \"disk full\"}"),
                ::testing::ExitedWithCode(70),
                ::testing::Eq(std::string(
                    "Unresolved error The store could not be loaded, {reason = \"disk full\"}\n")));
    EXPECT_EXIT(fatalError("", ""), ::testing::ExitedWithCode(70),
                ::testing::Eq(std::string("Unresolved error , \n")));
    EXPECT_EXIT(
        {
            // Fully buffered, nothing reaches the file until a flush: ending the process
            // without one would lose both lines.
            static char buffer[4096];
            std::setvbuf(stderr, buffer, _IOFBF, sizeof buffer);
            std::fputs("earlier diagnostic\n", stderr);
            fatalError("Fetch failed", "none");
        },
        ::testing::ExitedWithCode(70),
        ::testing::Eq(std::string("earlier diagnostic\nUnresolved error Fetch failed, none\n")));
}

}  // namespace
}  // namespace jw
