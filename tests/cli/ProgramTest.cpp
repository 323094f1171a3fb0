// jotwell-cli as a user runs it: a separate process, its output and its exit status.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestEnvironment.h"

namespace {

class ProgramTest : public ::testing::Test {
  protected:
    jw::test::ProgramOutcome cli(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{JOTWELL_CLI_PATH, "--data-dir",
                                      (dir_.path() / "device").string()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return jw::test::runProgram(argv);
    }

    jw::test::ScopedEnvironmentVariable resources_{"JOTWELL_RESOURCE_DIR", JOTWELL_TEST_RESOURCES};
    jw::test::TempDir dir_;
};

TEST_F(ProgramTest, ChangesPersistAcrossRuns) {
    EXPECT_EQ(cli({"new-list", "Weekend trip"}).status, 0);
    EXPECT_EQ(cli({"add", "Weekend trip", "Pack the tent ⛺"}).status, 0);
    EXPECT_EQ(cli({"toggle", "#1", "1"}).status, 0);
    const auto items = cli({"items", "Weekend trip"});
    EXPECT_EQ(items.status, 0);
    EXPECT_EQ(items.out, "Weekend trip (1/1)\n[x] Pack the tent ⛺\n");
    EXPECT_EQ(cli({"lists"}).out, "Weekend trip\t1/1\n");
    EXPECT_EQ(cli({"share", "#1"}).out, "Weekend trip:\n\u2714\uFE0E Pack the tent ⛺")
        << "no line feed after the last line";
}

TEST_F(ProgramTest, UsageErrorsExitWithTwoAndFailuresWithOne) {
    const auto unknown = cli({"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_FALSE(unknown.err.empty());
    EXPECT_EQ(cli({"items"}).status, 2);                            // missing LIST
    EXPECT_EQ(cli({"items", "#1", "--filter", "done"}).status, 2);  // unknown filter
    const auto missing = cli({"items", "Nothing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Nothing"), std::string::npos);
    EXPECT_TRUE(missing.out.empty());
}

TEST_F(ProgramTest, HelpDescribesEveryCommand) {
    const auto help = cli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command :
         {"lists", "new-list", "rename-list", "delete-list", "sort-lists", "move-list", "items",
          "add", "toggle", "edit", "delete", "sort", "move-item", "copy-item", "reset-checked",
          "delete-checked", "theme", "share"}) {
        EXPECT_NE(help.out.find(std::string(command) + " "), std::string::npos) << command;
    }
}

}  // namespace
