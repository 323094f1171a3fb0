// A table configures cells only for rows on screen, reuses them, keeps them through batches
// for rows that stay, and refuses a batch that disagrees with its data source.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ui/NavigationController.h"
#include "platform/ui/TableViewController.h"
#include "tests/ui/UiTestSupport.h"

namespace jw::ui::test {
namespace {

using ::jw::test::PrintTo;

class TextCell : public TableViewCell {
  public:
    std::string text;
};

// A table of texts, one vector per section.
class TextsScreen : public TableViewController {
  public:
    std::vector<std::vector<std::string>> model;
    std::vector<std::string> configured;
    int cellsMade = 0;
    std::function<void(const IndexPath&, const IndexPath&)> onMove;
    std::vector<IndexPath> deleted;
    std::vector<IndexPath> accessoryTapped;

    void viewDidLoad() override {
        tableView().setRowHeight(48.0);
        tableView().registerCell("Cell", [this] {
            ++cellsMade;
            return std::make_shared<TextCell>();
        });
    }
    std::size_t numberOfSectionsInTableView(TableView&) override { return model.size(); }
    std::size_t numberOfRowsInSection(TableView&, std::size_t section) override {
        return model[section].size();
    }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table,
                                                         const IndexPath& path) override {
        auto cell = std::static_pointer_cast<TextCell>(table.dequeueReusableCell("Cell", path));
        cell->text = model[path.section][path.row];
        // Rows whose text starts with "+" offer more through an accessory button.
        cell->setAccessoryType(cell->text.starts_with("+")
                                   ? TableViewCellAccessoryType::detailButton
                                   : TableViewCellAccessoryType::none);
        configured.push_back(cell->text);
        return cell;
    }
    bool canMoveRowAtIndexPath(TableView&, const IndexPath&) override { return true; }
    void moveRowAtIndexPath(TableView&, const IndexPath& from, const IndexPath& to) override {
        onMove(from, to);
    }
    void commitEditingStyle(TableView&, TableViewCellEditingStyle, const IndexPath& path) override {
        deleted.push_back(path);
    }
    void accessoryButtonTappedForRowWithIndexPath(TableView&, const IndexPath& path) override {
        accessoryTapped.push_back(path);
    }

    // The rows on screen as their cells show them, sections split by "/".
    std::string shown() {
        std::string text;
        std::size_t section = 0;
        for (const auto& path : tableView().indexPathsForVisibleRows()) {
            if (path.section != section) {
                text += " /";
                section = path.section;
            }
            const auto cell =
                std::static_pointer_cast<TextCell>(tableView().cellForRowAtIndexPath(path));
            // A cell the table cannot place back at its row is marked.
            text += (text.empty() ? "" : " ") + cell->text +
                    (tableView().indexPathForCell(*cell) == path ? "" : "?");
        }
        return text;
    }
    std::string takeConfigured() { return jw::test::joined(std::exchange(configured, {}), " "); }
};

class TableViewTest : public UiTest {
  public:
    void showTexts(std::vector<std::vector<std::string>> model) {
        texts->model = std::move(model);
        show(NavigationController::withRoot(texts), Window::phoneSize);
    }
    TableView& table() { return texts->tableView(); }

    std::shared_ptr<TextsScreen> texts = std::make_shared<TextsScreen>();
};

TEST_F(TableViewTest, OnlyAScreenfulIsConfiguredAndScrollingReusesTheCells) {
    std::vector<std::string> many;
    for (int i = 0; i < 10'000; ++i) {
        many.push_back(std::to_string(i));
    }
    showTexts({many});
    // 844 points of 48-point rows: 17 whole rows and a part of one more.
    EXPECT_EQ(texts->configured.size(), 18u);
    EXPECT_EQ(texts->cellsMade, 18);

    table().scrollToRow(IndexPath{0, 5000}, false);
    EXPECT_EQ(texts->configured.size(), 36u);
    EXPECT_EQ(texts->cellsMade, 18);
    EXPECT_EQ(table().indexPathsForVisibleRows().front(), (IndexPath{0, 5000}));
    EXPECT_EQ(table().indexPathsForVisibleRows().back(), (IndexPath{0, 5017}));
    EXPECT_EQ(table().cellForRowAtIndexPath(IndexPath{0, 0}), nullptr);
}

struct BatchOnScreenCase {
    const char* name;
    // Changes the model and tells the table, as a fetched-results delegate would.
    std::function<void(TextsScreen&, TableView&)> change;
    const char* shown;       // after the batch
    const char* configured;  // rows the data source was asked for by the batch
};

class BatchOnScreenTest : public TableViewTest,
                          public ::testing::WithParamInterface<BatchOnScreenCase> {};

TEST_P(BatchOnScreenTest, KeepsTheCellsOfRowsThatStay) {
    showTexts({{"a", "b", "c", "d", "e"}});
    texts->configured.clear();
    table().beginUpdates();
    GetParam().change(*texts, table());
    table().endUpdates();
    EXPECT_EQ(texts->shown(), GetParam().shown);
    EXPECT_EQ(texts->takeConfigured(), GetParam().configured);
}

using Rows = std::vector<std::string>;

const BatchOnScreenCase batchOnScreenCases[] = {
    {"InsertAtTheTop",
     [](TextsScreen& s, TableView& t) {
         s.model[0].insert(s.model[0].begin(), "X");
         t.insertRows({{0, 0}}, RowAnimation::fade);
     },
     "X a b c d e", "X"},
    {"InsertNamedBeforeDeleteStillCountsAfterIt",
     [](TextsScreen& s, TableView& t) {
         s.model[0] = Rows{"a", "c", "d", "X", "e"};
         t.insertRows({{0, 3}}, RowAnimation::fade);
         t.deleteRows({{0, 1}}, RowAnimation::fade);
     },
     "a c d X e", "X"},
    {"MoveKeepsTheCellAsItWas",
     [](TextsScreen& s, TableView& t) {
         s.model[0] = Rows{"D", "a", "b", "c", "e"};  // the moved row also changed
         t.moveRow({0, 3}, {0, 0});
     },
     "d a b c e", ""},
    {"OnlyReloadedRowsAreAskedAgain",
     [](TextsScreen& s, TableView& t) {
         s.model[0] = Rows{"a", "B", "C", "d", "e"};
         t.reloadRows({{0, 1}}, RowAnimation::fade);
     },
     "a B c d e", "B"},
    {"EverythingAtOnce",
     [](TextsScreen& s, TableView& t) {
         s.model[0] = Rows{"e", "b", "X", "C", "d"};
         t.deleteRows({{0, 0}}, RowAnimation::fade);
         t.moveRow({0, 4}, {0, 0});
         t.insertRows({{0, 2}}, RowAnimation::fade);
         t.reloadRows({{0, 2}}, RowAnimation::fade);
     },
     "e b X C d", "X C"},
    {"InsertedSectionAbove",
     [](TextsScreen& s, TableView& t) {
         s.model.insert(s.model.begin(), Rows{"X", "Y"});
         t.insertSections({0}, RowAnimation::fade);
     },
     "X Y / a b c d e", "X Y"},
    {"ReloadDataInsideABatchReadsEverythingAgain",
     [](TextsScreen& s, TableView& t) {
         s.model[0] = Rows{"e", "d"};
         t.moveRow({0, 4}, {0, 0});
         t.reloadData();
     },
     "e d", "e d"},
};

INSTANTIATE_TEST_SUITE_P(Batches, BatchOnScreenTest, ::testing::ValuesIn(batchOnScreenCases),
                         jw::test::caseName);

TEST_F(TableViewTest, ABatchThatDisagreesWithTheDataSourceThrowsAndRedrawsNothing) {
    showTexts({{"a", "b", "c"}});
    texts->configured.clear();
    table().beginUpdates();
    texts->model[0].insert(texts->model[0].begin(), "X");
    EXPECT_THROW(
        {
            try {
                table().endUpdates();
            } catch (const TableUpdateError& error) {
                EXPECT_NE(std::string(error.what()).find("invalid number of rows in section 0"),
                          std::string::npos);
                throw;
            }
        },
        TableUpdateError);
    EXPECT_EQ(texts->shown(), "a b c");
    EXPECT_EQ(texts->takeConfigured(), "");
    // Outside a batch the same disagreement is caught at once.
    EXPECT_THROW(table().deleteRows({{0, 0}}, RowAnimation::fade), TableUpdateError);
}

TEST_F(TableViewTest, WithinABatchCellsAreFoundByTheirRowsBeforeIt) {
    showTexts({{"a", "b", "c"}});
    auto cellText = [&](std::size_t row) {
        return std::static_pointer_cast<TextCell>(table().cellForRowAtIndexPath({0, row}))->text;
    };
    table().beginUpdates();
    texts->model[0].erase(texts->model[0].begin());
    table().deleteRows({{0, 0}}, RowAnimation::fade);
    EXPECT_EQ(cellText(0), "a");
    table().endUpdates();
    EXPECT_EQ(cellText(0), "b");
}

TEST_F(TableViewTest, ADraggedRowHasMovedOnScreenBeforeTheDataSourceHears) {
    showTexts({{"a", "b", "c", "d"}});
    texts->setEditing(true, false);
    std::string seenByDataSource;
    texts->onMove = [&](const IndexPath& from, const IndexPath& to) {
        seenByDataSource = texts->shown();
        auto& rows = texts->model[0];
        const std::string moved = rows[from.row];
        rows.erase(rows.begin() + static_cast<long>(from.row));
        rows.insert(rows.begin() + static_cast<long>(to.row), moved);
    };
    table().dragRow({0, 0}, {0, 2});
    EXPECT_EQ(seenByDataSource, "b c a d");
    // The table and its data source agree afterwards: an empty batch passes the count check.
    EXPECT_NO_THROW(table().reloadRows({}, RowAnimation::none));
    EXPECT_THROW(table().dragRow({0, 0}, {0, 4}), std::logic_error);
}

TEST_F(TableViewTest, ASwipeOffersTheDefaultDeleteExceptInEditingMode) {
    showTexts({{"a", "b"}});
    const auto actions = table().swipeRow({0, 1});
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions.front()->title(), "Delete");
    table().tapRowAction(*actions.front());
    EXPECT_EQ(texts->deleted, (std::vector<IndexPath>{{0, 1}}));
    EXPECT_FALSE(table().swipedRow());

    texts->setEditing(true, false);
    EXPECT_TRUE(table().swipeRow({0, 1}).empty());
    table().deleteRowWithEditingControl({0, 0});
    EXPECT_EQ(texts->deleted, (std::vector<IndexPath>{{0, 1}, {0, 0}}));
}

TEST_F(TableViewTest, TheAccessoryButtonTellsTheDelegateWithoutSelectingTheRow) {
    showTexts({{"a", "+b"}});
    table().tapAccessoryButton({0, 1});
    EXPECT_EQ(texts->accessoryTapped, (std::vector<IndexPath>{{0, 1}}));
    EXPECT_FALSE(table().indexPathForSelectedRow());
    // Open swipe buttons close first, as with a tap on the row.
    table().swipeRow({0, 0});
    table().tapAccessoryButton({0, 1});
    EXPECT_FALSE(table().swipedRow());
    EXPECT_EQ(texts->accessoryTapped.size(), 1u);
    // A row without one, and every row in editing mode, shows none to tap.
    EXPECT_THROW(table().tapAccessoryButton({0, 0}), std::logic_error);
    texts->setEditing(true, false);
    EXPECT_THROW(table().tapAccessoryButton({0, 1}), std::logic_error);
}

}  // namespace
}  // namespace jw::ui::test
