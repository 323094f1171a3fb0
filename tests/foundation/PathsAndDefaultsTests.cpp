// Where the application keeps its files (the folders from the environment, the cloud folder,
// writing a file whole), and the user defaults kept in one of them.

#include <array>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScopedEnvironmentVariable;
using test::writeFile;
using ::testing::AllOf;
using ::testing::Contains;
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
TEST_F(AppPathsTest, TheFoldersFollowHomeXdgAndAnOverride) {
    const std::array<const char*, 4> cases[] = {
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
    for (const auto& [xdgData, xdgConfig, override, expected] : cases) {
        ScopedEnvironmentVariable data("XDG_DATA_HOME", value(xdgData));
        ScopedEnvironmentVariable config("XDG_CONFIG_HOME", value(xdgConfig));
        const auto paths =
            AppPaths::resolve(*override ? std::optional<fs::path>(override) : std::nullopt);
        EXPECT_EQ(paths.dataDirectory.string() + " | " + paths.configDirectory.string() + " | " +
                      paths.userDefaultsFile().string(),
                  expected);
    }
}

// Resources from the environment when set (and not empty), else from the folder chosen at build
// time; without HOME, the folders are in the account's home.
TEST_F(AppPathsTest, ResourcesComeFromTheEnvironmentElseTheBuildAndHomeFromTheAccount) {
    EXPECT_EQ(AppPaths::resolve(std::nullopt).resourceDirectory,
              fs::path(JOTWELL_BUILD_RESOURCE_DIR));
    ScopedEnvironmentVariable empty("JOTWELL_RESOURCE_DIR", "");
    EXPECT_EQ(AppPaths::resolve(std::nullopt).resourceDirectory,
              fs::path(JOTWELL_BUILD_RESOURCE_DIR));
    ScopedEnvironmentVariable resources("JOTWELL_RESOURCE_DIR", "/opt/jotwell/resources");
    EXPECT_EQ(AppPaths::resolve(fs::path("/tmp/x")).resourceDirectory,
              fs::path("/opt/jotwell/resources"));
    ScopedEnvironmentVariable noHome("HOME", std::nullopt);
    const auto data = AppPaths::resolve(std::nullopt).dataDirectory;
    EXPECT_TRUE(data.is_absolute()) << data;
    EXPECT_EQ(data.parent_path().filename() / data.filename(), "share/jotwell");
}

// Resolving creates nothing; createDirectories makes both folders, again without complaint, and
// throws when a file is in the way. The cloud folder is the chosen one, else the saved choice,
// else the environment's, else our own.
TEST_F(AppPathsTest, CreateDirectoriesMakesBothAndTheCloudFolderIsTheChosenOneElseOurs) {
    test::TempDir temp;
    const auto paths = AppPaths::resolve(temp.path() / "device");
    EXPECT_FALSE(fs::exists(temp.path() / "device"));
    paths.createDirectories();
    paths.createDirectories();
    EXPECT_TRUE(fs::is_directory(paths.dataDirectory));
    EXPECT_TRUE(fs::is_directory(paths.configDirectory));
    writeFile(temp.path() / "file", "not a folder");
    EXPECT_THROW(AppPaths::resolve(temp.path() / "file").createDirectories(), fs::filesystem_error);
    // The folder chosen, the choice saved, the environment's, and the folder used.
    const std::vector<std::tuple<std::optional<fs::path>, std::optional<fs::path>,
                                 std::optional<std::string>, fs::path>>
        cases = {
            {fs::path("/mnt/shared"), fs::path("/srv/saved"), "/srv/env", "/mnt/shared"},
            {std::nullopt, fs::path("/srv/saved"), "/srv/env", "/srv/saved"},
            {std::nullopt, std::nullopt, "/srv/env", "/srv/env"},
            {fs::path(), std::nullopt, "/srv/env", "/srv/env"},
            {std::nullopt, std::nullopt, std::nullopt, temp.path() / "device" / "Cloud"},
        };
    for (const auto& [chosen, saved, environment, expected] : cases) {
        ScopedEnvironmentVariable cloud("JOTWELL_CLOUD_DIR", environment);
        fs::remove(paths.cloudDirectoryChoiceFile());
        if (saved) {
            paths.saveCloudDirectoryChoice(*saved);
        }
        EXPECT_EQ(paths.savedCloudDirectoryChoice(), saved);
        EXPECT_EQ(paths.cloudDirectory(chosen), expected);
    }
    fs::remove(paths.cloudDirectoryChoiceFile());
    // Only our own folder is made; a named one that is missing stays missing.
    EXPECT_TRUE(fs::is_directory(temp.path() / "device" / "Cloud"));
    EXPECT_FALSE(fs::exists("/mnt/shared"));
    ScopedEnvironmentVariable none("JOTWELL_CLOUD_DIR", std::nullopt);
    EXPECT_TRUE(paths.cloudDirectory(fs::path("relative")).is_absolute());
}

// --- writeFileAtomically -------------------------------------------------------------------

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
    EXPECT_THAT([&] { writeFileAtomically(missing, "x"); },
                ::testing::ThrowsMessage<std::runtime_error>(
                    AllOf(HasSubstr(missing.string()), HasSubstr("No such file or directory"))));
    fs::create_directory(temp.path() / "target");
    writeFile(temp.path() / "target" / "inside", "kept");
    EXPECT_THROW(writeFileAtomically(temp.path() / "target", "contents"), std::runtime_error);
    EXPECT_EQ(readFile(temp.path() / "target" / "inside"), "kept");
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp.path())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{"data.bin", "target"}));
}

// --- user defaults ------------------------------------------------------------------------

class UserDefaultsTest : public ::testing::Test {
  protected:
    // Everything UserDefaults reports goes to the platform's log.
    test::ManualPlatform platform_;
    test::TempDir directory_;
    fs::path file_ = directory_.path() / "defaults.json";
};

// --- values and types ----------------------------------------------------------------------

// Every key as each type reads it, "-" when absent: "flag=b:0 count=n:2.5 ...". Numbers and
// dates print with 17 digits, so that only an exact value reads back the same.
std::string describe(const UserDefaults& defaults, std::initializer_list<const char*> keys) {
    std::string text;
    char number[40];
    for (const char* key : keys) {
        text += std::string(text.empty() ? "" : " ") + key + "=";
        if (!defaults.contains(key)) {
            text += "-";
        }
        if (auto b = defaults.boolForKey(key)) {
            text += "b:" + std::to_string(int(*b));
        }
        if (auto n = defaults.numberForKey(key)) {
            std::snprintf(number, sizeof number, "n:%.17g", *n);
            text += number;
        }
        if (auto s = defaults.stringForKey(key)) {
            text += "s:" + *s;
        }
        if (auto d = defaults.dateForKey(key)) {
            std::snprintf(number, sizeof number, "d:%.17g", d->secondsSinceEpoch);
            text += number;
        }
    }
    return text;
}

// Each value reads back as its own type only, in memory and after a reload; another type
// replaces it, a removal takes it away. The file appears with the first value set (making its
// folder), names each value's type, and is written whole.
TEST_F(UserDefaultsTest, EachValueReadsBackAsSetAndAfterAReload) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const auto keys = {"flag",  "count", "third", "tiny", "max",      "negzero", "nan",    "name",
                       "empty", "when",  "early", "ninf", "replaced", "gone",    "missing"};
    const std::string expected =
        "flag=b:0 count=n:-0.125 third=n:0.33333333333333331 tiny=n:1e-300 "
        "max=n:1.7976931348623157e+308 negzero=n:-0 nan=n:nan name=s:\u00dcn\u00efcode "
        "\"quoted\"\n empty=s: when=d:1800000000.25 early=d:-86400 ninf=d:-inf "
        "replaced=s:three gone=- missing=-";
    const fs::path nested = directory_.path() / "config" / "defaults.json";
    {
        UserDefaults defaults(nested);
        EXPECT_FALSE(fs::exists(nested.parent_path()));
        defaults.setBool("flag", false);
        defaults.setNumber("count", -0.125);
        defaults.setNumber("third", 1.0 / 3.0);
        defaults.setNumber("tiny", 1e-300);
        defaults.setNumber("max", 1.7976931348623157e308);
        defaults.setNumber("negzero", -0.0);
        defaults.setNumber("nan", std::numeric_limits<double>::quiet_NaN());
        defaults.setString("name", "\u00dcn\u00efcode \"quoted\"\n");
        defaults.setString("empty", "");
        defaults.setDate("when", Date{1'800'000'000.25});
        defaults.setDate("early", Date{-86'400.0});
        defaults.setDate("ninf", Date{-inf});
        defaults.setNumber("replaced", 3.0);
        defaults.setString("replaced", "three");
        defaults.setBool("gone", true);
        defaults.removeObjectForKey("gone");
        defaults.removeObjectForKey("never set");
        EXPECT_EQ(describe(defaults, keys), expected);
    }
    EXPECT_EQ(describe(UserDefaults(nested), keys), expected);
    const auto file = nlohmann::json::parse(readFile(nested));
    EXPECT_EQ(
        file["flag"].dump() + file["count"].dump() + file["empty"].dump() + file["when"].dump(),
        R"({"bool":false}{"number":-0.125}{"string":""}{"date":1800000000.25})");
    EXPECT_EQ(std::distance(fs::directory_iterator(nested.parent_path()), {}), 1)
        << "a temporary file was left behind";
}

// --- damaged files -------------------------------------------------------------------------

// A file that is not a JSON object (or a folder in its place) is moved aside whole to the first
// free corrupt name, and the defaults start empty; new values go to a fresh file.
TEST_F(UserDefaultsTest, WhatIsNotAJsonObjectIsMovedAsideToTheFirstFreeCorruptName) {
    writeFile(directory_.path() / "defaults.json.corrupt-1", "older");
    for (const char* contents :
         {"{\"flag\": {\"bool\": tr", "[1, 2]", "\"text\"", "42", "null", ""}) {
        writeFile(file_, contents);
        const UserDefaults defaults(file_);
        EXPECT_FALSE(defaults.contains("flag")) << "'" << contents << "'";
        EXPECT_FALSE(fs::exists(file_)) << "'" << contents << "'";
    }
    EXPECT_THAT(platform_.logLines(), Contains(HasSubstr("defaults.json.corrupt-2")));
    fs::create_directory(file_);  // a folder where the file should be cannot be read as one
    UserDefaults defaults(file_);
    defaults.setBool("flag", true);
    EXPECT_EQ(UserDefaults(file_).boolForKey("flag"), true);
    std::string aside;
    for (int n = 1; n <= 8; ++n) {
        const auto path = directory_.path() / ("defaults.json.corrupt-" + std::to_string(n));
        aside += (n > 1 ? "|" : "") + (fs::is_directory(path) ? "<folder>" : readFile(path));
    }
    EXPECT_EQ(aside, "older|{\"flag\": {\"bool\": tr|[1, 2]|\"text\"|42|null||<folder>");
}

// (A hand-written whole number reads as a number.)
TEST_F(UserDefaultsTest, MembersOfAnUnknownShapeReadAbsentAndTheRestLoads) {
    writeFile(file_, R"({
        "good": {"string": "kept"},
        "count": {"number": 3}, "when": {"date": 1800000000},
        "wrongValue": {"bool": "yes"},
        "unknownType": {"colour": "red"},
        "twoTypes": {"bool": true, "number": 1},
        "bare": 5
    })");
    UserDefaults defaults(file_);
    EXPECT_EQ(
        describe(defaults,
                 {"good", "count", "when", "wrongValue", "unknownType", "twoTypes", "bare"}),
        "good=s:kept count=n:3 when=d:1800000000 wrongValue=- unknownType=- twoTypes=- bare=-");
    EXPECT_TRUE(fs::exists(file_));  // not corrupt as a whole
    EXPECT_THAT(platform_.logLines(), Contains(HasSubstr("unknownType")));

    // They are dropped at the next write.
    defaults.setBool("flag", true);
    const auto document = nlohmann::json::parse(readFile(file_));
    EXPECT_EQ(document.size(), 4u);
    EXPECT_FALSE(document.contains("unknownType"));
}

TEST_F(UserDefaultsTest, SettingTheSameValueAgainWritesNothingUnlessTheLastWriteFailed) {
    UserDefaults defaults(file_);
    defaults.setBool("flag", true);
    writeFile(file_, "{\"flag\": {\"bool\": true}, \"mark\": {\"string\": \"untouched\"}}");
    defaults.setBool("flag", true);
    EXPECT_THAT(readFile(file_), HasSubstr("untouched")) << "an unchanged value was written again";

    // A failed write keeps the value in memory and is reported; the file is then behind the
    // values, so the same value writes again.
    fs::remove(file_);
    fs::create_directory(file_);  // a folder where the file goes: the write fails
    defaults.setBool("flag", false);
    EXPECT_EQ(defaults.boolForKey("flag"), false);
    EXPECT_THAT(platform_.logLines(),
                Contains(AllOf(HasSubstr("could not save"), HasSubstr("defaults.json"))));
    fs::remove(file_);
    defaults.setBool("flag", false);
    UserDefaults reread(file_);
    EXPECT_EQ(reread.boolForKey("flag"), false);
}

}  // namespace
}  // namespace jw
