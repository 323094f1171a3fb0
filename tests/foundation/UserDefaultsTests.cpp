#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, const std::string& contents) {
    std::ofstream(file, std::ios::binary) << contents;
}

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
// replaces it, a removal takes it away.
TEST_F(UserDefaultsTest, EachValueReadsBackAsSetAndAfterAReload) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const auto keys = {"flag",  "count", "third", "tiny", "max",      "negzero", "nan",    "name",
                       "empty", "when",  "early", "ninf", "replaced", "gone",    "missing"};
    const std::string expected =
        "flag=b:0 count=n:-0.125 third=n:0.33333333333333331 tiny=n:1e-300 "
        "max=n:1.7976931348623157e+308 negzero=n:-0 nan=n:nan name=s:\u00dcn\u00efcode "
        "\"quoted\"\n empty=s: when=d:1800000000.25 early=d:-86400 ninf=d:-inf "
        "replaced=s:three gone=- missing=-";
    {
        UserDefaults defaults(file_);
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
    EXPECT_EQ(describe(UserDefaults(file_), keys), expected);
}

// The file names each value's type, appears with the first value set (making its folder),
// and a hand-written whole number reads as a number.
TEST_F(UserDefaultsTest, TheFileNamesEachValuesTypeAndIsWrittenOnlyOnceSomethingIsSet) {
    const fs::path nested = directory_.path() / "config" / "defaults.json";
    UserDefaults defaults(nested);
    EXPECT_FALSE(fs::exists(nested.parent_path()));
    defaults.setBool("flag", true);
    defaults.setNumber("count", 1.5);
    defaults.setString("name", "x");
    defaults.setDate("when", Date{1.8e9});
    EXPECT_EQ(nlohmann::json::parse(readFile(nested)), nlohmann::json::parse(R"({
        "flag": {"bool": true},
        "count": {"number": 1.5},
        "name": {"string": "x"},
        "when": {"date": 1.8e9}
    })"));
    EXPECT_EQ(std::distance(fs::directory_iterator(nested.parent_path()), {}), 1)
        << "a temporary file was left behind";

    writeFile(file_, R"({"count": {"number": 3}, "when": {"date": 1800000000}})");
    const UserDefaults handWritten(file_);
    EXPECT_EQ(describe(handWritten, {"count", "when"}), "count=n:3 when=d:1800000000");
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

TEST_F(UserDefaultsTest, MembersOfAnUnknownShapeReadAbsentAndTheRestLoads) {
    writeFile(file_, R"({
        "good": {"string": "kept"},
        "wrongValue": {"bool": "yes"},
        "unknownType": {"colour": "red"},
        "twoTypes": {"bool": true, "number": 1},
        "bare": 5
    })");
    UserDefaults defaults(file_);
    EXPECT_EQ(defaults.stringForKey("good"), "kept");
    for (const char* key : {"wrongValue", "unknownType", "twoTypes", "bare"}) {
        EXPECT_FALSE(defaults.contains(key)) << key;
    }
    EXPECT_TRUE(fs::exists(file_));  // not corrupt as a whole
    EXPECT_THAT(platform_.logLines(), Contains(HasSubstr("unknownType")));

    // They are dropped at the next write.
    defaults.setBool("flag", true);
    const auto document = nlohmann::json::parse(readFile(file_));
    EXPECT_EQ(document.size(), 2u);
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
