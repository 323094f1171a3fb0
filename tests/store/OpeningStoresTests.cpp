// Opening a store: where the file lives, what survives a relaunch, and the files a container
// refuses to open (reported once through the completion, the file left as it was).

#include <fmt/format.h>

#include <fstream>
#include <stdexcept>

#include "platform/store/StoreConnection.h"
#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

namespace fs = std::filesystem;

class OpeningStores : public StoreTest {
  protected:
    struct LoadOutcome {
        int calls = 0;
        std::string error;  // empty on success
    };

    LoadOutcome load(PersistentContainer& c) {
        LoadOutcome outcome;
        c.loadPersistentStores([&](const StoreError* error) {
            ++outcome.calls;
            if (error) {
                outcome.error = error->what();
                if (outcome.error.empty()) {
                    outcome.error = "(an error without a message)";
                }
            }
        });
        return outcome;
    }

    // A store holding one list, closed, then changed by `tamper` through a plain connection.
    // With `rollbackJournal` the file is left in SQLite's default journal mode, as a program
    // other than this one may leave it.
    void makeStoreThen(const std::string& tamper, bool rollbackJournal) {
        newList("Groceries");
        context().save();
        container.reset();
        RawDatabase raw(storeFile());
        if (rollbackJournal) {
            raw.execute("PRAGMA journal_mode=DELETE");
        }
        raw.execute(tamper);
    }
};

// In the container's folder, made when missing.
TEST_F(OpeningStores, TheStoreIsOneSqliteFileNamedAfterTheContainer) {
    RawDatabase raw(storeFile());
    EXPECT_EQ(raw.text("PRAGMA journal_mode"), "wal");

    const auto nestedFolder = folder.path() / "Library" / "Stores";
    PersistentContainer other("Scratch", model, nestedFolder);
    const auto outcome = load(other);
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.error, "");
    EXPECT_TRUE(fs::is_regular_file(nestedFolder / "Scratch.sqlite"));
    EXPECT_NE(other.viewContext().storeIdentifier(), context().storeIdentifier());
}

// A store file changed by another program, and how opening it ends: "opens", "refused" (the
// file left byte for byte as it was) or "reported" (one error, nothing thrown).
struct DamageCase {
    const char* name;
    std::string tamper;  // SQL run on the closed store; "garbage" replaces the file
    bool rollbackJournal;
    const char* expected;
};
void PrintTo(const DamageCase& c, std::ostream* out) {
    *out << c.name;
}

const std::string kNewerSchema =
    fmt::format("PRAGMA user_version = {}", StoreConnection::kSchemaVersion + 1);
std::string modelVersionSetTo(const std::string& value) {
    return "UPDATE \"_store_metadata\" SET \"value\" = '" + value +
           "' WHERE \"key\" = 'modelVersion'";
}

class DamagedStores : public OpeningStores, public ::testing::WithParamInterface<DamageCase> {};

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
    } else {
        makeStoreThen(tamper, c.rollbackJournal);
    }
    const auto before = fileBytes(storeFile());
    PersistentContainer reopened("Jotwell", model, folder.path());
    LoadOutcome outcome;
    EXPECT_NO_THROW(outcome = load(reopened));
    std::string result = "reported";
    if (outcome.error.empty()) {
        result =
            reopened.viewContext().executeFetchRequest(FetchRequest::forEntity("List")).size() == 1
                ? "opens"
                : "opens empty";
    } else if (fileBytes(storeFile()) == before) {
        result = "refused";
        EXPECT_THROW(reopened.viewContext(), std::logic_error);
    }
    EXPECT_EQ(std::to_string(outcome.calls) + " " + result, c.expected);
}

const DamageCase kDamageCases[] = {
    {"NotADatabase", "garbage", false, "1 refused"},
    {"NewerSchema", kNewerSchema, false, "1 refused"},
    {"NewerSchemaInTheDefaultJournal", kNewerSchema, true, "1 refused"},
    {"NewerModel", "{newer model}", false, "1 refused"},
    {"NewerModelInTheDefaultJournal", "{newer model}", true, "1 refused"},
    {"DamagedMetadata", modelVersionSetTo("unknown"), false, "1 refused"},
    {"AMissingTable", "DROP TABLE \"Item\"", false, "1 refused"},
    {"OlderModelVersion", modelVersionSetTo("0"), false, "1 opens"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DamagedStores, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpeningStores, AFolderThatCannotBeCreatedIsReportedOnce) {
    std::ofstream(folder.path() / "plain-file") << "not a folder";
    PersistentContainer blocked("Jotwell", model, folder.path() / "plain-file" / "Stores");
    const auto outcome = load(blocked);
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_NE(outcome.error, "");
    EXPECT_THROW(blocked.viewContext(), std::logic_error);
    EXPECT_THROW(blocked.sharedViewContext(), std::logic_error);
}

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
