// Where each row after a batch comes from ("s.r" its row before, "new" asked for; sections
// split by "|"), or why the batch does not add up. Every row is also asked the other way round
// (where does the row before go?), and the two answers must agree.

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/TableBatch.h"
#include "tests/support/ScriptCase.h"

namespace jw::ui {
namespace {

using ::jw::test::PrintTo;

struct BatchCase {
    const char* name;
    std::vector<std::size_t> before;
    std::vector<std::size_t> after;
    TableUpdate update;
    const char* expected;  // the origins, or "error: " and a part of the message
};

std::string plan(const BatchCase& batch) {
    try {
        const TablePlan plan(batch.before, batch.after, batch.update);
        std::string text;
        std::map<IndexPath, IndexPath> arrived;  // before -> after, from the origins
        for (std::size_t section = 0; section < batch.after.size(); ++section) {
            text += section == 0 ? "" : " |";
            for (std::size_t row = 0; row < batch.after[section]; ++row) {
                const auto origin = plan.origin(IndexPath{section, row});
                text += (text.empty() ? "" : " ") + (origin ? origin->text() : std::string("new"));
                if (origin) {
                    arrived.emplace(*origin, IndexPath{section, row});
                }
            }
        }
        for (std::size_t section = 0; section < batch.before.size(); ++section) {
            for (std::size_t row = 0; row < batch.before[section]; ++row) {
                const IndexPath before{section, row};
                const auto to = plan.destination(before);
                const auto from = arrived.find(before);
                if (to != (from == arrived.end() ? std::nullopt : std::optional(from->second))) {
                    text += " (" + before.text() + " goes elsewhere)";
                }
            }
        }
        return text;
    } catch (const TableUpdateError& error) {
        return std::string("error: ") + error.what();
    }
}

class TableBatchTest : public ::testing::TestWithParam<BatchCase> {};

TEST_P(TableBatchTest, PlansOrRefuses) {
    const std::string expected = GetParam().expected;
    const std::string actual = plan(GetParam());
    if (expected.starts_with("error: ")) {
        EXPECT_TRUE(actual.starts_with("error: ")) << actual;
        EXPECT_NE(actual.find(expected.substr(7)), std::string::npos) << actual;
    } else {
        EXPECT_EQ(actual, expected);
    }
}

IndexPath at(std::size_t section, std::size_t row) {
    return IndexPath{section, row};
}

const BatchCase batchCases[] = {
    {"NothingChanges", {3}, {3}, {}, "0.0 0.1 0.2"},
    // Deletions name rows before the batch, insertions after it, whatever the call order.
    {"DeleteAndInsertInTheirOwnCoordinates",
     {5},
     {5},
     {.deletedRows = {at(0, 1)}, .insertedRows = {at(0, 3)}},
     "0.0 0.2 0.3 new 0.4"},
    {"MoveTakesItsRowAlong", {4}, {4}, {.movedRows = {{at(0, 3), at(0, 0)}}}, "0.3 0.0 0.1 0.2"},
    {"ReloadAsksForTheRowInPlace", {3}, {3}, {.reloadedRows = {at(0, 1)}}, "0.0 new 0.2"},
    {"EverythingAtOnce",
     {5},
     {5},
     {.deletedRows = {at(0, 0)},
      .insertedRows = {at(0, 2)},
      .reloadedRows = {at(0, 2)},
      .movedRows = {{at(0, 4), at(0, 0)}}},
     "0.4 0.1 new new 0.3"},
    {"InsertedSectionIsAllNew", {2}, {1, 2}, {.insertedSections = {0}}, "new | 0.0 0.1"},
    {"DeletedSectionTakesItsRows", {1, 2}, {2}, {.deletedSections = {0}}, "1.0 1.1"},
    {"MoveAcrossSections", {2, 1}, {1, 2}, {.movedRows = {{at(0, 0), at(1, 0)}}}, "0.1 | 0.0 1.0"},
    {"CountThatDoesNotAddUp", {2}, {3}, {}, "error: invalid number of rows in section 0"},
    {"SectionsThatDoNotAddUp", {1}, {1, 1}, {}, "error: invalid number of sections"},
    {"DeleteOfARowThatIsNotThere",
     {2},
     {1},
     {.deletedRows = {at(0, 5)}},
     "error: which does not exist before the update"},
    {"DeleteAndReloadOfOneRow",
     {2},
     {1},
     {.deletedRows = {at(0, 0)}, .reloadedRows = {at(0, 0)}},
     "error: attempt to delete and reload the same index path"},
    {"InsertBeyondTheEnd",
     {2},
     {3},
     {.insertedRows = {at(0, 5)}},
     "error: there are only 3 rows in section 0"},
    {"TwoRowsInOnePlace",
     {2},
     {4},
     {.insertedRows = {at(0, 0), at(0, 0)}},
     "error: same index path"},
    {"RowOfADeletedSection",
     {1, 1},
     {1},
     {.deletedSections = {0}, .deletedRows = {at(0, 0)}},
     "error: section that is being deleted"},
};

INSTANTIATE_TEST_SUITE_P(Batches, TableBatchTest, ::testing::ValuesIn(batchCases),
                         jw::test::caseName);

}  // namespace
}  // namespace jw::ui
