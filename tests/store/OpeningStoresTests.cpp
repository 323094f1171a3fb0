// Opening a store: where the file lives, what survives a relaunch, and the files a container
// refuses to open (reported once through the completion, the file left as it was).

#include <fmt/format.h>

#include <fstream>
#include <stdexcept>

#include "platform/store/StoreConnection.h"
#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

using ::jw::test::PrintTo;

namespace fs = std::filesystem;

using OpeningStores = StoreTest;

// In the container's folder, made when missing; a folder that cannot be made is reported once.
TEST_F(OpeningStores, TheStoreIsOneSqliteFileNamedAfterTheContainer) {
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");

    const auto nestedFolder = folder.path() / "Library" / "Stores";
    PersistentContainer other("Scratch", model, nestedFolder);
    EXPECT_EQ(load(other), "loaded");
    EXPECT_TRUE(fs::is_regular_file(nestedFolder / "Scratch.sqlite"));
    EXPECT_NE(other.viewContext().storeIdentifier(), context().storeIdentifier());

    std::ofstream(folder.path() / "plain-file") << "not a folder";
    PersistentContainer blocked("Jotwell", model, folder.path() / "plain-file" / "Stores");
    EXPECT_TRUE(load(blocked).starts_with("refused: "));
    EXPECT_THROW(blocked.viewContext(), std::logic_error);
    EXPECT_THROW(blocked.sharedViewContext(), std::logic_error);
}

// A list's items are found, and its checked ones counted, through one index that leads with
// the list: a new store has no other index of the list column, and a store that has one (as
// stores made before had) loses it when it next opens.
TEST_F(OpeningStores, AListsItemsAreFoundAndCountedThroughOneIndex) {
    RawDatabase raw(storeFile());
    const auto plan = [&] {
        std::string text;
        SqliteStatement indexes(raw.handle(),
                                "SELECT \"name\" FROM sqlite_master WHERE \"type\" = 'index' AND "
                                "\"sql\" LIKE '%\"forList\"%' ORDER BY \"name\"");
        while (indexes.step()) {
            text += indexes.columnText(0) + "; ";
        }
        SqliteStatement count(
            raw.handle(),
            "EXPLAIN QUERY PLAN SELECT count(*) FROM \"Item\" WHERE \"isDone\" = 1 "
            "AND \"forList\" = 1");
        while (count.step()) {
            text += count.columnText(3);
        }
        return text;
    };
    const std::string expected =
        "Item_byListChecked_fetch; SEARCH Item USING COVERING INDEX Item_byListChecked_fetch "
        "(forList=? AND isDone=?)";
    EXPECT_EQ(plan(), expected);
    raw.execute("CREATE INDEX \"Item_forList_index\" ON \"Item\" (\"forList\")");
    raw.execute("DROP INDEX \"Item_byListChecked_fetch\"");
    relaunch();
    EXPECT_EQ(plan(), expected);
}

// A store file changed by another program, and how opening it ends: "opens", or "refused" (one
// error, nothing thrown, the file left byte for byte as it was).
struct DamageCase {
    const char* name;
    std::string tamper;    // SQL run on the closed store; "garbage" replaces the file
    bool rollbackJournal;  // SQLite's default journal mode, as another program may leave it
    const char* expected;
};
const std::string kNewerSchema =
    fmt::format("PRAGMA user_version = {}", StoreConnection::kSchemaVersion + 1);
std::string modelVersionSetTo(const std::string& value) {
    return "UPDATE \"_store_metadata\" SET \"value\" = '" + value +
           "' WHERE \"key\" = 'modelVersion'";
}

class DamagedStores : public StoreTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedStores, OpenOrAreRefusedOnce) {
    const DamageCase& c = GetParam();
    const std::string tamper = c.tamper == "{newer model}"
                                   ? modelVersionSetTo(std::to_string(model->version() + 1))
                                   : c.tamper;
    if (tamper == "garbage") {
        container.reset();
        std::string garbage;
        for (int i = 0; i < 4096; ++i) {
            garbage += char((i * 37 + 11) % 256);
        }
        std::ofstream(storeFile(), std::ios::binary | std::ios::trunc) << garbage;
    } else {  // a store holding one list, closed, then changed through a plain connection
        newList(context(), "Groceries");
        context().save();
        container.reset();
        RawDatabase raw(storeFile());
        if (c.rollbackJournal) {
            raw.execute("PRAGMA journal_mode=DELETE");
        }
        raw.execute(tamper);
    }
    const auto before = readFile(storeFile());
    PersistentContainer reopened("Jotwell", model, folder.path());
    std::string result;
    EXPECT_NO_THROW(result = load(reopened));
    if (result == "loaded") {
        result =
            reopened.viewContext().executeFetchRequest(FetchRequest::forEntity("List")).size() == 1
                ? "opens"
                : "opens empty";
    } else if (result.starts_with("refused: ")) {
        result = readFile(storeFile()) == before ? "refused" : "reported, the file changed";
        EXPECT_THROW(reopened.viewContext(), std::logic_error);
    }
    EXPECT_EQ(result, c.expected);
}

const DamageCase kDamageCases[] = {
    {"NotADatabase", "garbage", false, "refused"},
    {"NewerSchema", kNewerSchema, false, "refused"},
    {"NewerSchemaInTheDefaultJournal", kNewerSchema, true, "refused"},
    {"NewerModel", "{newer model}", false, "refused"},
    {"NewerModelInTheDefaultJournal", "{newer model}", true, "refused"},
    {"DamagedMetadata", modelVersionSetTo("unknown"), false, "refused"},
    {"AMissingTable", "DROP TABLE \"Item\"", false, "refused"},
    {"OlderModelVersion", modelVersionSetTo("0"), false, "opens"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DamagedStores, ::testing::ValuesIn(kDamageCases),
                         jw::test::caseName);

// ---------------------------------------------------------------------------------------------
// The model document

// Two entities related both ways, A.b (with `b`'s extra members) and B.a (inverse `inverse`).
std::string related(const std::string& b, const std::string& inverse = "b") {
    return R"({"version": 1, "entities": [
        {"name": "A", "relationships": [{"name": "b", "destination": "B", "inverse": "a")" +
           b + R"(}]},
        {"name": "B", "relationships": [{"name": "a", "destination": "A", "inverse": ")" +
           inverse + R"("}]}]})";
}

TEST(ObjectModelDocument, InvalidOrMissingDocumentsAreRefusedWithAStoreError) {
    ASSERT_NO_THROW(ObjectModel::fromJson(related(R"(, "toMany": true)"))) << "the valid pair";
    const std::string invalid[] = {
        "not json",
        R"({"entities": []})",                                  // no version
        R"({"version": 1})",                                    // no entities
        R"({"version": 1, "entities": [{"attributes": []}]})",  // no name
        R"({"version": 1, "entities": [{"name": "A"}, {"name": "A"}]})",
        R"({"version": 1, "entities": [{"name": "_A"}]})",
        R"({"version": 1, "entities": [{"name": "A",
            "attributes": [{"name": "x", "type": "decimal"}]}]})",
        R"({"version": 1, "entities": [{"name": "A",
            "attributes": [{"name": "x", "type": "string"}, {"name": "x", "type": "date"}]}]})",
        R"({"version": 1, "entities": [{"name": "A",
            "relationships": [{"name": "b", "destination": "B", "inverse": "a"}]}]})",
        related(""),  // to-one both ways
        related(R"(, "toMany": true)", "c"),
        related(R"(, "toMany": true, "deleteRule": "deny")"),
        // members of the wrong kind
        R"({"version": "1", "entities": []})",
        R"({"version": 1, "entities": [5]})",
        R"({"version": 1, "entities": [{"name": "A", "attributes": 5}]})",
        R"({"version": 1, "entities": [{"name": "A", "attributes": [{"name": 7, "type": "string"}]}]})",
        related(R"(, "toMany": "yes")"),
        related(R"(, "toMany": true, "deleteRule": 1)"),
    };
    for (const auto& document : invalid) {
        EXPECT_THROW(ObjectModel::fromJson(document), StoreError) << document;
    }
    jw::test::TempDir empty;
    EXPECT_THROW(ObjectModel::fromFile(empty.path() / "Missing.momd"), StoreError);
}

}  // namespace
}  // namespace jw::store::test
