#include <cstdio>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/Fatal.h"

namespace jw {
namespace {

class FatalErrorDeathTest : public ::testing::Test {
  protected:
    FatalErrorDeathTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(FatalErrorDeathTest, WritesExactlyTheUnresolvedErrorLineAndExitsWithStatus70) {
    EXPECT_EXIT(fatalError("The store could not be loaded", "{reason = \"disk full\"}"),
                ::testing::ExitedWithCode(70),
                ::testing::Eq(std::string(
                    "Unresolved error The store could not be loaded, {reason = \"disk full\"}\n")));
    EXPECT_EXIT(fatalError("", ""), ::testing::ExitedWithCode(70),
                ::testing::Eq(std::string("Unresolved error , \n")));
}

TEST_F(FatalErrorDeathTest, FlushesEvenWhenStandardErrorIsBuffered) {
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
