// How the carried-only attributes come back from the store file: exactly as written, absent
// where nothing was written; and when the database stops the program.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>
#include <tuple>

#include "ModelTestSupport.h"

namespace jw::model {
namespace {

using support::ModelTest;

using StoredObjects = ModelTest;

// Attributes no operation uses are still stored, at their types' full range, and survive the
// operations.
TEST_F(StoredObjects, CarriedAttributesAreStoredAndSurviveTheOperations) {
    auto list = newList(db(), "Smart");
    list->setSmartCreatedFrom(Date{1'700'000'000.5});
    list->setSmartCreatedTo(-32768);
    list->setSmartImportanceFrom(32767);
    list->setSmartStarsTo(-1);
    list->setIsSmart(true);
    list->setIconImage(Blob{{0x89, 'P', 'N', 'G', 0x00, 0xFF}});
    auto other = newList(db(), "Icon");
    other->setIconImage(Blob{});
    auto item = newItem(db(), *list, "Milk");
    item->setNote("semi-skimmed");
    item->setStars(3);
    item->setImportance(-2);
    item->setReminderDate(Date{1'800'100'000.0});
    db().saveContext(false);
    toggleItem(db(), *item);
    editItemText(db(), *item, "Oat milk");
    reopen();
    // Read back by attribute name, so that a setter writing to another attribute shows.
    std::string text;
    for (const char* name : {"smartCreatedFrom", "smartCreatedTo", "smartImportanceFrom",
                             "smartStarsTo", "isSmart", "iconImage"}) {
        text += store::describeValue(fetchListNamed("Smart")->value(name)) + " ";
    }
    text += store::describeValue(fetchListNamed("Icon")->value("iconImage")) + " |";
    for (const char* name : {"note", "stars", "importance", "reminderDate"}) {
        text += " " + store::describeValue(this->item("Oat milk").value(name));
    }
    EXPECT_EQ(text,
              "2023-11-14T22:13:20.500Z -32768 32767 -1 true <6 bytes> <0 bytes> | "
              "\"semi-skimmed\" 3 -2 2027-01-16T11:46:40.000Z");
}

// --- Opening and saving the database -------------------------------------------------------

class DatabaseDeathTest : public ::testing::Test {
  protected:
    DatabaseDeathTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    jw::test::TempDir dir;
};

// A missing model, a store file that is not a store, a model that does not fit the entity
// classes (the shipped one with an Item attribute renamed), and a save the store refuses
// (another program made the file refuse new items) each stop the program.
TEST_F(DatabaseDeathTest, StopsTheProgramWhenTheModelOrTheStoreCannotBeUsed) {
    std::string model = jw::test::readFile(support::modelResourceDirectory() / "Jotwell.momd");
    const auto at = model.find("\"doneDate\"");
    ASSERT_NE(at, std::string::npos);
    model.replace(at, 10, "\"finishedAt\"");
    const auto renamed = dir.path() / "renamed";
    std::filesystem::create_directories(renamed);
    std::ofstream(renamed / "Jotwell.momd") << model;
    const auto junk = dir.path() / "junk";
    std::filesystem::create_directories(junk);
    std::ofstream(junk / "Jotwell.sqlite", std::ios::binary) << std::string(8192, 'J');

    const auto shipped = support::modelResourceDirectory();
    const std::tuple<std::filesystem::path, std::filesystem::path, const char*> cases[] = {
        {dir.path() / "data", dir.path() / "nowhere",
         "^Unresolved error The object model could not be read, .*Jotwell\\.momd"},
        {junk, shipped, "^Unresolved error "},
        {dir.path() / "data", renamed,
         "^Unresolved error The object model does not fit this program, .*Item"},
        {dir.path() / "refusing", shipped, "^Unresolved error .*failed, .*the disk says no"},
    };
    for (const auto& [data, resources, message] : cases) {
        EXPECT_EXIT(
            {
                jw::test::ManualPlatform platform;
                JWDatabase database({data, resources});
                auto list = newList(database, "Groceries");
                sqlite3* other = nullptr;
                sqlite3_open(database.storeURL().c_str(), &other);
                sqlite3_exec(other,
                             "CREATE TRIGGER refuse BEFORE INSERT ON \"Item\" "
                             "BEGIN SELECT RAISE(ABORT, 'the disk says no'); END",
                             nullptr, nullptr, nullptr);
                sqlite3_close(other);
                newItem(database, *list, "Milk");
            },
            ::testing::ExitedWithCode(70), message);
    }
}

}  // namespace
}  // namespace jw::model
