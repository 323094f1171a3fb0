#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/foundation/Paths.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnvironmentVariable;
using ::testing::AllOf;
using ::testing::HasSubstr;

// Every variable the paths depend on, set to a known value for the test and put back after.
class AppPathsTest : public ::testing::Test {
  protected:
    ScopedEnvironmentVariable home_{"HOME", "/home/ada"};
    ScopedEnvironmentVariable dataHome_{"XDG_DATA_HOME", std::nullopt};
    ScopedEnvironmentVariable configHome_{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnvironmentVariable resources_{"JOTWELL_RESOURCE_DIR", std::nullopt};
};

// The environment ("-" unset), an override folder, and the folders then used: "data | config |
// defaults file".
struct PathCase {
    const char* xdgData;
    const char* xdgConfig;
    const char* override;
    const char* expected;
};

TEST_F(AppPathsTest, TheFoldersFollowHomeXdgAndAnOverride) {
    const PathCase cases[] = {
        {"-", "-", "",
         "/home/ada/.local/share/jotwell | /home/ada/.config/jotwell | "
         "/home/ada/.config/jotwell/defaults.json"},
        {"/srv/data", "/etc/ada", "",
         "/srv/data/jotwell | /etc/ada/jotwell | /etc/ada/jotwell/defaults.json"},
        {"-", "/etc/ada", "",
         "/home/ada/.local/share/jotwell | /etc/ada/jotwell | /etc/ada/jotwell/defaults.json"},
        {"relative/data", "", "",
         "/home/ada/.local/share/jotwell | /home/ada/.config/jotwell | "
         "/home/ada/.config/jotwell/defaults.json"},
        {"/srv/data", "/etc/ada", "/tmp/device-a",
         "/tmp/device-a | /tmp/device-a/config | /tmp/device-a/config/defaults.json"},
    };
    const auto value = [](const char* v) {
        return std::string(v) == "-" ? std::nullopt : std::optional<std::string>(v);
    };
    for (const auto& c : cases) {
        ScopedEnvironmentVariable data("XDG_DATA_HOME", value(c.xdgData));
        ScopedEnvironmentVariable config("XDG_CONFIG_HOME", value(c.xdgConfig));
        const auto paths =
            AppPaths::resolve(*c.override ? std::optional<fs::path>(c.override) : std::nullopt);
        EXPECT_EQ(paths.dataDirectory.string() + " | " + paths.configDirectory.string() + " | " +
                      paths.userDefaultsFile().string(),
                  c.expected);
    }
}

TEST_F(AppPathsTest, WithoutHomeFallsBackToTheAccountsHome) {
    ScopedEnvironmentVariable noHome("HOME", std::nullopt);
    const auto paths = AppPaths::resolve(std::nullopt);
    EXPECT_TRUE(paths.dataDirectory.is_absolute()) << paths.dataDirectory;
    EXPECT_EQ(paths.dataDirectory.filename(), "jotwell");
    EXPECT_EQ(paths.dataDirectory.parent_path().filename(), "share");
}

// From the environment when set (and not empty), else from the folder chosen at build time.
TEST_F(AppPathsTest, ResourcesComeFromTheEnvironmentElseTheBuild) {
    EXPECT_EQ(AppPaths::resolve(std::nullopt).resourceDirectory,
              fs::path(JOTWELL_BUILD_RESOURCE_DIR));
    ScopedEnvironmentVariable empty("JOTWELL_RESOURCE_DIR", "");
    EXPECT_EQ(AppPaths::resolve(std::nullopt).resourceDirectory,
              fs::path(JOTWELL_BUILD_RESOURCE_DIR));
    ScopedEnvironmentVariable resources("JOTWELL_RESOURCE_DIR", "/opt/jotwell/resources");
    EXPECT_EQ(AppPaths::resolve(fs::path("/tmp/x")).resourceDirectory,
              fs::path("/opt/jotwell/resources"));
}

// Resolving creates nothing; createDirectories makes both folders, again without complaint,
// and throws when a file is in the way.
TEST_F(AppPathsTest, ResolvingCreatesNothingAndCreateDirectoriesMakesBoth) {
    test::TempDir temp;
    const auto paths = AppPaths::resolve(temp.path() / "device");
    EXPECT_FALSE(fs::exists(temp.path() / "device"));
    paths.createDirectories();
    paths.createDirectories();
    EXPECT_TRUE(fs::is_directory(paths.dataDirectory));
    EXPECT_TRUE(fs::is_directory(paths.configDirectory));
    std::ofstream(temp.path() / "file") << "not a folder";
    EXPECT_THROW(AppPaths::resolve(temp.path() / "file").createDirectories(), fs::filesystem_error);
}

TEST_F(AppPathsTest, TheCloudFolderIsTheChosenOneElseTheSavedElseTheEnvironmentsElseOurs) {
    test::TempDir temp;
    const auto paths = AppPaths::resolve(temp.path() / "device");
    paths.createDirectories();
    struct Case {
        std::optional<fs::path> chosen;
        std::optional<fs::path> saved;
        std::optional<std::string> environment;
        fs::path expected;
    };
    const std::vector<Case> cases = {
        {fs::path("/mnt/shared"), fs::path("/srv/saved"), "/srv/env", "/mnt/shared"},
        {std::nullopt, fs::path("/srv/saved"), "/srv/env", "/srv/saved"},
        {std::nullopt, std::nullopt, "/srv/env", "/srv/env"},
        {fs::path(), std::nullopt, "/srv/env", "/srv/env"},
        {std::nullopt, std::nullopt, std::nullopt, temp.path() / "device" / "Cloud"},
    };
    for (const auto& c : cases) {
        ScopedEnvironmentVariable cloud("JOTWELL_CLOUD_DIR", c.environment);
        fs::remove(paths.cloudDirectoryChoiceFile());
        if (c.saved) {
            paths.saveCloudDirectoryChoice(*c.saved);
        }
        EXPECT_EQ(paths.savedCloudDirectoryChoice(), c.saved);
        EXPECT_EQ(paths.cloudDirectory(c.chosen), c.expected);
    }
    fs::remove(paths.cloudDirectoryChoiceFile());
    // Only our own folder is made; a named one that is missing stays missing.
    EXPECT_TRUE(fs::is_directory(temp.path() / "device" / "Cloud"));
    EXPECT_FALSE(fs::exists("/mnt/shared"));
    ScopedEnvironmentVariable none("JOTWELL_CLOUD_DIR", std::nullopt);
    EXPECT_TRUE(paths.cloudDirectory(fs::path("relative")).is_absolute());
}

// --- writeFileAtomically -------------------------------------------------------------------

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The contents exactly, replacing older ones whole, also in the working folder by a relative
// path; a missing folder is an error naming the file and the cause; a failed rename leaves the
// target untouched; and no other file is left behind.
TEST(WriteFileAtomically, WritesTheContentsWholeOrFailsLeavingNothingBehind) {
    test::TempDir temp;
    const auto previous = fs::current_path();
    fs::current_path(temp.path());
    const std::string binary("line one\n\0binary\xff", 17);
    for (const std::string& contents : {std::string(10'000, 'a'), binary, std::string()}) {
        writeFileAtomically("data.bin", contents);
        EXPECT_EQ(readFile(temp.path() / "data.bin"), contents);
    }
    fs::current_path(previous);
    const fs::path missing = temp.path() / "missing" / "data.txt";
    try {
        writeFileAtomically(missing, "x");
        ADD_FAILURE() << "expected an exception";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(),
                    AllOf(HasSubstr(missing.string()), HasSubstr("No such file or directory")));
    }
    fs::create_directory(temp.path() / "target");
    std::ofstream(temp.path() / "target" / "inside") << "kept";
    EXPECT_THROW(writeFileAtomically(temp.path() / "target", "contents"), std::runtime_error);
    EXPECT_EQ(readFile(temp.path() / "target" / "inside"), "kept");
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp.path())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"data.bin", "target"}));
}

}  // namespace
}  // namespace jw
