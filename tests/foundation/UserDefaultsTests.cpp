#include <cmath>
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
using ::testing::IsEmpty;

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

TEST_F(UserDefaultsTest, EachTypeReadsBackAsSet) {
    UserDefaults defaults{fs::path()};
    defaults.setBool("flag", true);
    defaults.setNumber("count", 2.5);
    defaults.setString("name", "Groceries");
    defaults.setDate("when", Date{1'800'000'000.25});
    EXPECT_EQ(defaults.boolForKey("flag"), true);
    EXPECT_EQ(defaults.numberForKey("count"), 2.5);
    EXPECT_EQ(defaults.stringForKey("name"), "Groceries");
    EXPECT_EQ(defaults.dateForKey("when"), Date{1'800'000'000.25});
}

TEST_F(UserDefaultsTest, AMissingKeyReadsAbsentForEveryType) {
    UserDefaults defaults{fs::path()};
    EXPECT_FALSE(defaults.contains("missing"));
    EXPECT_FALSE(defaults.boolForKey("missing").has_value());
    EXPECT_FALSE(defaults.numberForKey("missing").has_value());
    EXPECT_FALSE(defaults.stringForKey("missing").has_value());
    EXPECT_FALSE(defaults.dateForKey("missing").has_value());
}

TEST_F(UserDefaultsTest, AValueReadAsAnotherTypeIsAbsent) {
    UserDefaults defaults{fs::path()};
    defaults.setBool("flag", false);
    defaults.setNumber("count", 1.0);
    defaults.setString("name", "1");
    defaults.setDate("when", Date{1.0});

    EXPECT_TRUE(defaults.contains("flag"));
    EXPECT_FALSE(defaults.numberForKey("flag").has_value());
    EXPECT_FALSE(defaults.stringForKey("flag").has_value());
    EXPECT_FALSE(defaults.boolForKey("count").has_value());
    EXPECT_FALSE(defaults.dateForKey("count").has_value());
    EXPECT_FALSE(defaults.numberForKey("name").has_value());
    EXPECT_FALSE(defaults.boolForKey("name").has_value());
    EXPECT_FALSE(defaults.numberForKey("when").has_value());
    EXPECT_FALSE(defaults.stringForKey("when").has_value());
}

TEST_F(UserDefaultsTest, SettingAnotherTypeReplacesTheValue) {
    UserDefaults defaults{fs::path()};
    defaults.setNumber("key", 3.0);
    defaults.setString("key", "three");
    EXPECT_FALSE(defaults.numberForKey("key").has_value());
    EXPECT_EQ(defaults.stringForKey("key"), "three");
}

TEST_F(UserDefaultsTest, RemovingMakesTheKeyAbsent) {
    UserDefaults defaults{fs::path()};
    defaults.setBool("flag", true);
    defaults.removeObjectForKey("flag");
    defaults.removeObjectForKey("never set");
    EXPECT_FALSE(defaults.contains("flag"));
    EXPECT_FALSE(defaults.boolForKey("flag").has_value());
}

// --- the file ------------------------------------------------------------------------------

TEST_F(UserDefaultsTest, EachTypeSurvivesAReload) {
    {
        UserDefaults defaults(file_);
        defaults.setBool("flag", false);
        defaults.setNumber("count", -0.125);
        defaults.setNumber("whole", 7.0);
        defaults.setString("name", "Ünïcode \"quoted\"\n");
        defaults.setString("empty", "");
        defaults.setDate("when", Date{1'800'000'000.5});
        defaults.setDate("early", Date{-86'400.0});
    }
    const UserDefaults reloaded(file_);
    EXPECT_EQ(reloaded.boolForKey("flag"), false);
    EXPECT_EQ(reloaded.numberForKey("count"), -0.125);
    EXPECT_EQ(reloaded.numberForKey("whole"), 7.0);
    EXPECT_EQ(reloaded.stringForKey("name"), "Ünïcode \"quoted\"\n");
    EXPECT_EQ(reloaded.stringForKey("empty"), "");
    EXPECT_EQ(reloaded.dateForKey("when"), Date{1'800'000'000.5});
    EXPECT_EQ(reloaded.dateForKey("early"), Date{-86'400.0});
    // The type survives too: a number is not a date after a reload.
    EXPECT_FALSE(reloaded.dateForKey("whole").has_value());
    EXPECT_FALSE(reloaded.numberForKey("when").has_value());
}

TEST_F(UserDefaultsTest, NumbersSurviveAReloadExactly) {
    const double values[] = {0.1, 1.0 / 3.0, 1e-300, 1.7976931348623157e308, -0.0};
    {
        UserDefaults defaults(file_);
        for (int i = 0; i < 5; ++i) {
            defaults.setNumber("n" + std::to_string(i), values[i]);
        }
    }
    const UserDefaults reloaded(file_);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(reloaded.numberForKey("n" + std::to_string(i)), values[i]) << i;
    }
}

TEST_F(UserDefaultsTest, NonFiniteNumbersSurviveAReload) {
    {
        UserDefaults defaults(file_);
        defaults.setNumber("nan", std::numeric_limits<double>::quiet_NaN());
        defaults.setNumber("inf", std::numeric_limits<double>::infinity());
        defaults.setDate("-inf", Date{-std::numeric_limits<double>::infinity()});
    }
    const UserDefaults reloaded(file_);
    ASSERT_TRUE(reloaded.numberForKey("nan").has_value());
    EXPECT_TRUE(std::isnan(*reloaded.numberForKey("nan")));
    EXPECT_EQ(reloaded.numberForKey("inf"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(reloaded.dateForKey("-inf"), Date{-std::numeric_limits<double>::infinity()});
}

TEST_F(UserDefaultsTest, RemovalSurvivesAReload) {
    {
        UserDefaults defaults(file_);
        defaults.setString("kept", "yes");
        defaults.setString("gone", "no");
        defaults.removeObjectForKey("gone");
    }
    const UserDefaults reloaded(file_);
    EXPECT_EQ(reloaded.stringForKey("kept"), "yes");
    EXPECT_FALSE(reloaded.contains("gone"));
}

TEST_F(UserDefaultsTest, TheFileNamesEachValuesType) {
    UserDefaults defaults(file_);
    defaults.setBool("flag", true);
    defaults.setNumber("count", 1.5);
    defaults.setString("name", "x");
    defaults.setDate("when", Date{1.8e9});
    const auto document = nlohmann::json::parse(readFile(file_));
    EXPECT_EQ(document, nlohmann::json::parse(R"({
        "flag": {"bool": true},
        "count": {"number": 1.5},
        "name": {"string": "x"},
        "when": {"date": 1.8e9}
    })"));
}

TEST_F(UserDefaultsTest, HandWrittenWholeNumbersReadAsNumbers) {
    writeFile(file_, R"({"count": {"number": 3}, "when": {"date": 1800000000}})");
    const UserDefaults defaults(file_);
    EXPECT_EQ(defaults.numberForKey("count"), 3.0);
    EXPECT_EQ(defaults.dateForKey("when"), Date{1.8e9});
}

TEST_F(UserDefaultsTest, NoFileIsWrittenUntilSomethingIsSet) {
    UserDefaults defaults(file_);
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_FALSE(defaults.contains("anything"));
    defaults.setBool("flag", true);
    EXPECT_TRUE(fs::exists(file_));
}

TEST_F(UserDefaultsTest, TheFilesFolderIsCreatedWhenMissing) {
    const fs::path nested = directory_.path() / "config" / "jotwell" / "defaults.json";
    {
        UserDefaults defaults(nested);
        defaults.setString("name", "value");
    }
    EXPECT_EQ(UserDefaults(nested).stringForKey("name"), "value");
}

TEST_F(UserDefaultsTest, WritingLeavesNoTemporaryFilesBehind) {
    UserDefaults defaults(file_);
    for (int i = 0; i < 5; ++i) {
        defaults.setNumber("n", i);
    }
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory_.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

// --- damaged files -------------------------------------------------------------------------

TEST_F(UserDefaultsTest, ACorruptFileIsMovedAsideAndTheDefaultsStartEmpty) {
    writeFile(file_, "{\"flag\": {\"bool\": tr");
    UserDefaults defaults(file_);
    EXPECT_FALSE(defaults.contains("flag"));
    EXPECT_FALSE(fs::exists(file_));
    const fs::path aside = directory_.path() / "defaults.json.corrupt-1";
    EXPECT_EQ(readFile(aside), "{\"flag\": {\"bool\": tr");
    EXPECT_THAT(platform_.logLines(), Contains(HasSubstr("defaults.json.corrupt-1")));

    // New values go to a fresh file; the damaged one is kept as it was.
    defaults.setBool("flag", true);
    EXPECT_EQ(UserDefaults(file_).boolForKey("flag"), true);
    EXPECT_EQ(readFile(aside), "{\"flag\": {\"bool\": tr");
}

TEST_F(UserDefaultsTest, ACorruptFileIsMovedToTheFirstFreeName) {
    writeFile(directory_.path() / "defaults.json.corrupt-1", "older");
    writeFile(directory_.path() / "defaults.json.corrupt-2", "old");
    writeFile(file_, "not json");
    const UserDefaults defaults(file_);
    EXPECT_EQ(readFile(directory_.path() / "defaults.json.corrupt-1"), "older");
    EXPECT_EQ(readFile(directory_.path() / "defaults.json.corrupt-2"), "old");
    EXPECT_EQ(readFile(directory_.path() / "defaults.json.corrupt-3"), "not json");
}

TEST_F(UserDefaultsTest, JsonThatIsNotAnObjectCountsAsCorrupt) {
    for (const char* contents : {"[1, 2]", "\"text\"", "42", "null", ""}) {
        writeFile(file_, contents);
        const UserDefaults defaults(file_);
        EXPECT_FALSE(fs::exists(file_)) << "'" << contents << "'";
    }
    EXPECT_EQ(readFile(directory_.path() / "defaults.json.corrupt-1"), "[1, 2]");
    EXPECT_EQ(readFile(directory_.path() / "defaults.json.corrupt-5"), "");
}

TEST_F(UserDefaultsTest, AnUnreadableFileIsMovedAside) {
    fs::create_directory(file_);  // a folder where the file should be cannot be read as one
    const UserDefaults defaults(file_);
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_TRUE(fs::is_directory(directory_.path() / "defaults.json.corrupt-1"));
    EXPECT_THAT(platform_.logLines(), Contains(HasSubstr("corrupt-1")));
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

TEST_F(UserDefaultsTest, AFailedWriteKeepsTheValueInMemoryAndIsReported) {
    // A regular file where the folder should be: no one, not even root, can write there.
    writeFile(directory_.path() / "blocked", "");
    const fs::path unwritable = directory_.path() / "blocked" / "defaults.json";
    UserDefaults defaults(unwritable);
    defaults.setString("name", "still here");
    EXPECT_EQ(defaults.stringForKey("name"), "still here");
    EXPECT_THAT(platform_.logLines(),
                Contains(AllOf(HasSubstr("could not save"), HasSubstr("blocked"))));
}

TEST_F(UserDefaultsTest, SettingTheSameValueAgainWritesNothingUnlessTheLastWriteFailed) {
    UserDefaults defaults(file_);
    defaults.setBool("flag", true);
    writeFile(file_, "{\"flag\": {\"bool\": true}, \"mark\": {\"string\": \"untouched\"}}");
    defaults.setBool("flag", true);
    EXPECT_THAT(readFile(file_), HasSubstr("untouched")) << "an unchanged value was written again";

    // A failed write leaves the file behind the values: the same value then writes again.
    fs::remove(file_);
    fs::create_directory(file_);  // a folder where the file goes: the write fails
    defaults.setBool("flag", false);
    fs::remove(file_);
    defaults.setBool("flag", false);
    UserDefaults reread(file_);
    EXPECT_EQ(reread.boolForKey("flag"), false);
}

// --- the standard defaults -----------------------------------------------------------------

TEST(StandardUserDefaults, AreInMemoryUntilInstalled) {
    const auto previous = UserDefaults::installStandard(nullptr);
    UserDefaults& standard = UserDefaults::standard();
    EXPECT_TRUE(standard.file().empty());
    standard.setBool("flag", true);
    EXPECT_EQ(UserDefaults::standard().boolForKey("flag"), true);
    UserDefaults::installStandard(previous);
}

TEST(StandardUserDefaults, AreTheInstalledOnesUntilReplaced) {
    auto mine = std::make_shared<UserDefaults>(fs::path());
    const auto previous = UserDefaults::installStandard(mine);
    EXPECT_EQ(&UserDefaults::standard(), mine.get());
    EXPECT_EQ(UserDefaults::installStandard(previous), mine);
    EXPECT_NE(&UserDefaults::standard(), mine.get());
}

}  // namespace
}  // namespace jw
