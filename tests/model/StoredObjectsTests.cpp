// How texts, dates and the carried-only attributes come
// back from the store file: exactly as written, absent where nothing was written.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <fstream>

#include "ModelTestSupport.h"
#include "src/model/JWListSortMode.h"

namespace jw::model {
namespace {

using support::ModelTest;
using ::testing::ElementsAre;

// --- The platform cannot produce a date ------------------------------------------------------

class WithoutACurrentDate : public ModelTest {};

TEST_F(WithoutACurrentDate, NewListsItemsAndCopiesAreCreatedWithNoCreationDate) {
    clock().setFailing(true);
    auto list = newList(db(), "Undated");
    auto other = newList(db(), "Other");
    auto item = newItem(db(), *list, "Milk");
    auto copy = copyItem(db(), *item, *other);
    EXPECT_EQ(list->created(), std::nullopt);
    EXPECT_EQ(item->created(), std::nullopt);
    EXPECT_EQ(copy->created(), std::nullopt);
    EXPECT_FALSE(context().hasChanges());

    reopen();
    EXPECT_EQ(fetchListNamed("Undated")->created(), std::nullopt);
    auto items = fetchItems(nullptr);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->created(), std::nullopt);
    EXPECT_EQ(items[1]->created(), std::nullopt);
}

TEST_F(WithoutACurrentDate, CheckingStillChecksButLeavesTheDoneDateAbsent) {
    auto list = newList(db(), "Groceries");
    auto item = newItem(db(), *list, "Milk");
    clock().setFailing(true);
    toggleItem(db(), *item);
    EXPECT_TRUE(item->isDone());
    EXPECT_EQ(item->doneDate(), std::nullopt);
    EXPECT_EQ(list->doneCount(), 1);
    reopen();
    auto stored = fetchItemWithBody("Milk");
    EXPECT_TRUE(stored->isDone());
    EXPECT_EQ(stored->doneDate(), std::nullopt);
}

TEST_F(WithoutACurrentDate, UndatedItemsShowAfterDatedOnesWhenNewestComesFirst) {
    auto list = newList(db(), "Groceries");
    addItems(*list, {"dated early", "dated late"});
    clock().setFailing(true);
    newItem(db(), *list, "undated");
    EXPECT_THAT(support::bodiesOf(fetchItems(list.get())),
                ElementsAre("dated late", "dated early", "undated"));
}

// --- Texts are stored exactly as given ----------------------------------------------------------

class StoredText : public ModelTest {};

TEST_F(StoredText, SurroundingSpacesTabsAndLineFeedsAreKept) {
    auto list = newList(db(), "  Spaced list\t");
    newItem(db(), *list, " leading");
    newItem(db(), *list, "trailing ");
    newItem(db(), *list, "two\nlines");
    reopen();
    EXPECT_NE(fetchListNamed("  Spaced list\t"), nullptr);
    EXPECT_NE(fetchItemWithBody(" leading"), nullptr);
    EXPECT_NE(fetchItemWithBody("trailing "), nullptr);
    EXPECT_NE(fetchItemWithBody("two\nlines"), nullptr);
}

TEST_F(StoredText, ThreeSpacesMakeAnItem) {
    auto list = newList(db(), "Groceries");
    auto item = newItem(db(), *list, "   ");
    ASSERT_NE(item, nullptr);
    reopen();
    auto items = fetchItems(fetchListNamed("Groceries").get());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->body(), "   ");
}

TEST_F(StoredText, AnEmptyNameOrItemIsRefusedAndNothingChanges) {
    EXPECT_EQ(newList(db(), ""), nullptr);
    EXPECT_TRUE(fetchLists().empty());

    auto list = newList(db(), "Groceries");
    EXPECT_EQ(newItem(db(), *list, ""), nullptr);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_TRUE(fetchItems(list.get()).empty());
    EXPECT_EQ(list->listItemsCount(), 0u);

    EXPECT_FALSE(renameList(db(), *list, ""));
    EXPECT_EQ(list->name(), "Groceries");
    EXPECT_FALSE(context().hasChanges());

    reopen();
    EXPECT_THAT(support::namesOf(fetchLists()), ElementsAre("Groceries"));
    EXPECT_TRUE(fetchItems(nullptr).empty());
}

TEST_F(StoredText, EditingAnItemToTheEmptyStringStoresTheEmptyStringNotNothing) {
    auto list = newList(db(), "Groceries");
    auto item = newItem(db(), *list, "Milk");
    editItemText(db(), *item, "");
    EXPECT_EQ(item->body(), std::optional<std::string>(""));
    reopen();
    auto items = fetchItems(fetchListNamed("Groceries").get());
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0]->body().has_value());
    EXPECT_EQ(*items[0]->body(), "");
}

TEST_F(StoredText, UnicodeTextsRoundTripByteForByte) {
    const std::vector<std::string> texts = {
        "Äpfel & Öl",    // precomposed umlauts
        "A\u0308pfel",   // A + combining diaeresis: kept decomposed
        "日本語のメモ",  // CJK
        "שלום עולם",     // right to left
        "\U0001F34E\U0001F468\u200D\U0001F469\u200D\U0001F467",  // emoji with joiners
        "\u2714\uFE0E done",                                     // the check mark with its selector
        "zero\u200Bwidth",                                       // zero-width space
        std::string("nul\0inside", 10),                          // an embedded NUL byte
    };
    auto list = newList(db(), "Ünïcödé ✔︎");
    for (const auto& t : texts) {
        clock().advance(1);
        newItem(db(), *list, t);
    }
    reopen();
    auto stored = fetchListNamed("Ünïcödé ✔︎");
    ASSERT_NE(stored, nullptr);
    auto bodies = support::bodiesOf(fetchItems(stored.get()));
    std::vector<std::string> newestFirst(texts.rbegin(), texts.rend());
    EXPECT_EQ(bodies, newestFirst);
}

TEST_F(StoredText, AOneMegabyteItemRoundTripsThroughSaveAndReopen) {
    std::string big;
    big.reserve(1 << 20);
    for (std::size_t i = 0; big.size() < (1u << 20) - 8; ++i) {
        big += (i % 3 == 0) ? "\u00E9" : (i % 3 == 1 ? "x" : "\u65E5");  // 2, 1 and 3 bytes
    }
    auto list = newList(db(), "Big");
    auto item = newItem(db(), *list, big);
    ASSERT_NE(item, nullptr);
    reopen();
    auto items = fetchItems(fetchListNamed("Big").get());
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(items[0]->body().has_value());
    EXPECT_EQ(items[0]->body()->size(), big.size());
    EXPECT_TRUE(*items[0]->body() == big);
}

// --- Attributes no operation uses are still stored ----------------------------------------------

class CarriedAttributes : public ModelTest {};

TEST_F(CarriedAttributes, SmartCreatedToIsASixteenBitIntegerWhileSmartCreatedFromIsADate) {
    auto list = newList(db(), "Smart");
    list->setSmartCreatedFrom(Date{1'700'000'000.5});
    list->setSmartCreatedTo(-32768);
    list->setSmartImportanceFrom(32767);
    list->setSmartStarsTo(-1);
    list->setIsSmart(true);
    list->setIconImage(Blob{{0x89, 'P', 'N', 'G', 0x00, 0xFF}});
    db().saveContext(false);
    reopen();
    auto stored = fetchListNamed("Smart");
    EXPECT_EQ(stored->smartCreatedFrom(), Date{1'700'000'000.5});
    EXPECT_EQ(stored->smartCreatedTo(), -32768);
    EXPECT_EQ(stored->smartImportanceFrom(), 32767);
    EXPECT_EQ(stored->smartStarsTo(), -1);
    EXPECT_TRUE(stored->isSmart());
    EXPECT_EQ(stored->iconImage(), (Blob{{0x89, 'P', 'N', 'G', 0x00, 0xFF}}));
}

TEST_F(CarriedAttributes, AnEmptyIconIsStoredAsEmptyNotAsAbsent) {
    auto list = newList(db(), "Icon");
    list->setIconImage(Blob{});
    db().saveContext(false);
    reopen();
    auto icon = fetchListNamed("Icon")->iconImage();
    ASSERT_TRUE(icon.has_value());
    EXPECT_TRUE(icon->bytes.empty());
}

TEST_F(CarriedAttributes, AnItemsNoteStarsImportanceAndReminderDateSurviveTheOperations) {
    auto list = newList(db(), "Groceries");
    auto item = newItem(db(), *list, "Milk");
    item->setNote("semi-skimmed");
    item->setStars(3);
    item->setImportance(-2);
    item->setReminderDate(Date{1'800'100'000.0});
    db().saveContext(false);
    toggleItem(db(), *item);
    editItemText(db(), *item, "Oat milk");
    reopen();
    auto stored = fetchItemWithBody("Oat milk");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->note(), "semi-skimmed");
    EXPECT_EQ(stored->stars(), 3);
    EXPECT_EQ(stored->importance(), -2);
    EXPECT_EQ(stored->reminderDate(), Date{1'800'100'000.0});
}

// --- Deleting a list
// ------------------------------------------------------------------------------

class DeletingAList : public ModelTest {};

TEST_F(DeletingAList, TakesItsItemsWithItAndLeavesOtherListsAlone) {
    auto doomed = newList(db(), "Doomed");
    auto kept = newList(db(), "Kept");
    auto doomedItems = addItems(*doomed, {"a", "b", "c"});
    toggleItem(db(), *doomedItems[1]);
    addItems(*kept, {"x", "y"});

    deleteList(db(), *doomed);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_THAT(support::bodiesOf(fetchItems(nullptr)), ElementsAre("y", "x"));

    reopen();
    EXPECT_THAT(support::namesOf(fetchLists()), ElementsAre("Kept"));
    EXPECT_THAT(support::bodiesOf(fetchItems(nullptr)), ElementsAre("y", "x"));
    EXPECT_EQ(fetchListNamed("Kept")->listItemsCount(), 2u);
}

TEST_F(DeletingAList, WorksOnAListReadBackFromTheFileWhoseItemsWereNeverLoaded) {
    auto doomed = newList(db(), "Doomed");
    addItems(*doomed, {"a", "b"});
    reopen();
    deleteList(db(), *fetchListNamed("Doomed"));
    EXPECT_TRUE(fetchItems(nullptr).empty());
    reopen();
    EXPECT_TRUE(fetchLists().empty());
    EXPECT_TRUE(fetchItems(nullptr).empty());
}

// --- Opening the database ---------------------------------------------------------------------

class OpeningTheDatabase : public ModelTest {};

TEST_F(OpeningTheDatabase, KeepsTheStoreAsJotwellSqliteInTheDataDirectory) {
    EXPECT_EQ(db().storeURL(), directory() / "Jotwell.sqlite");
    EXPECT_TRUE(std::filesystem::exists(directory() / "Jotwell.sqlite"));
    EXPECT_EQ(db().managedObjectModelURL(), support::modelResourceDirectory() / "Jotwell.momd");
}

class OpeningTheDatabaseDeathTest : public ::testing::Test {
  protected:
    OpeningTheDatabaseDeathTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    jw::test::TempDir dir;
};

TEST_F(OpeningTheDatabaseDeathTest, StopsTheProgramWhenTheModelResourceIsMissing) {
    const auto nowhere = dir.path() / "no resources here";
    EXPECT_EXIT(
        {
            jw::test::ManualPlatform platform;
            JWDatabase database({dir.path() / "data", nowhere});
        },
        ::testing::ExitedWithCode(70),
        "^Unresolved error The object model could not be read, .*Jotwell\\.momd");
}

TEST_F(OpeningTheDatabaseDeathTest, StopsTheProgramWhenTheStoreFileIsNotAStore) {
    std::filesystem::create_directories(dir.path() / "data");
    {
        std::ofstream junk(dir.path() / "data" / "Jotwell.sqlite", std::ios::binary);
        junk << std::string(8192, 'J');
    }
    EXPECT_EXIT(
        {
            jw::test::ManualPlatform platform;
            JWDatabase database({dir.path() / "data", support::modelResourceDirectory()});
        },
        ::testing::ExitedWithCode(70), "^Unresolved error ");
}

TEST_F(OpeningTheDatabaseDeathTest, StopsTheProgramWhenTheModelDoesNotFitTheEntityClasses) {
    // The shipped model with one Item attribute renamed: reading it as an Item would misread.
    std::ifstream in(support::modelResourceDirectory() / "Jotwell.momd");
    std::string model((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = model.find("\"doneDate\"");
    ASSERT_NE(at, std::string::npos);
    model.replace(at, 10, "\"finishedAt\"");
    const auto resources = dir.path() / "resources";
    std::filesystem::create_directories(resources);
    std::ofstream(resources / "Jotwell.momd") << model;

    EXPECT_EXIT(
        {
            jw::test::ManualPlatform platform;
            JWDatabase database({dir.path() / "data", resources});
        },
        ::testing::ExitedWithCode(70),
        "^Unresolved error The object model does not fit this program, .*Item");
}

class SavingDeathTest : public ::testing::Test {
  protected:
    SavingDeathTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    jw::test::TempDir dir;
};

TEST_F(SavingDeathTest, ASaveTheStoreRefusesStopsTheProgram) {
    EXPECT_EXIT(
        {
            jw::test::ManualPlatform platform;
            JWDatabase database({dir.path(), support::modelResourceDirectory()});
            auto list = newList(database, "Groceries");
            // Another program makes the file refuse new items.
            sqlite3* other = nullptr;
            sqlite3_open(database.storeURL().c_str(), &other);
            sqlite3_exec(other,
                         "CREATE TRIGGER refuse BEFORE INSERT ON \"Item\" "
                         "BEGIN SELECT RAISE(ABORT, 'the disk says no'); END",
                         nullptr, nullptr, nullptr);
            sqlite3_close(other);
            newItem(database, *list, "Milk");
        },
        ::testing::ExitedWithCode(70), "^Unresolved error .*failed, .*the disk says no");
}

}  // namespace
}  // namespace jw::model
