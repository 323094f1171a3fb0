// jotwell-cli's commands, run in-process against a real store in a scratch folder.

#include <gtest/gtest.h>

#include <sstream>

#include "frontends/cli/CliError.h"
#include "frontends/cli/Commands.h"
#include "frontends/cli/Lookup.h"
#include "src/model/Entities.h"
#include "tests/support/TestEnvironment.h"

namespace jw::cli {
namespace {

using model::JWListFilter;

class CommandsTest : public ::testing::Test {
  protected:
    CommandsTest() { open(); }

    void open() {
        context_.reset();
        db_.reset();
        db_ = std::make_unique<model::JWDatabase>(
            model::JWDatabase::Locations{dir_.path(), JOTWELL_TEST_RESOURCES});
        context_ = std::make_unique<CommandContext>(CommandContext{*db_, out_});
    }

    // Runs a command and returns what it printed.
    template <typename F>
    std::string run(F&& command) {
        out_.str("");
        command(*context_);
        platform_.clock().advance(1);  // every command at its own moment, as a person types
        return out_.str();
    }

    test::TempDir dir_;
    test::ManualPlatform platform_;
    std::ostringstream out_;
    std::unique_ptr<model::JWDatabase> db_;
    std::unique_ptr<CommandContext> context_;
};

TEST_F(CommandsTest, ListsPrintInTheChosenOrderWithTheirCounts) {
    for (const char* name : {"apple", "Zoo", "banana"}) {
        run([&](auto& c) { newList(c, name); });
    }
    run([](auto& c) { addItem(c, "banana", "one"); });
    run([](auto& c) { addItem(c, "banana", "two"); });
    run([](auto& c) { toggleItem(c, "banana", "1"); });
    EXPECT_EQ(run([](auto& c) { listLists(c); }), "Zoo\t\napple\t\nbanana\t1/2\n");

    run([](auto& c) { sortLists(c, "manual"); });
    run([](auto& c) { moveList(c, "banana", "1"); });
    EXPECT_EQ(run([](auto& c) { listLists(c); }), "banana\t1/2\nZoo\t\napple\t\n");
    // Back to alphabetical and again manual: the hand-made order survives.
    run([](auto& c) { sortLists(c, "alphabetical"); });
    EXPECT_EQ(run([](auto& c) { listLists(c); }), "Zoo\t\napple\t\nbanana\t1/2\n");
    run([](auto& c) { sortLists(c, "manual"); });
    EXPECT_EQ(run([](auto& c) { listLists(c); }), "banana\t1/2\nZoo\t\napple\t\n");
}

TEST_F(CommandsTest, MovingAListIsSavedAndNeedsManualOrder) {
    for (const char* name : {"A", "B", "C", "D"}) {
        run([&](auto& c) { newList(c, name); });
    }
    EXPECT_THROW(run([](auto& c) { moveList(c, "D", "1"); }), CommandError);
    run([](auto& c) { sortLists(c, "manual"); });
    run([](auto& c) { moveList(c, "D", "2"); });
    EXPECT_FALSE(db_->viewContext().hasChanges());
    open();
    EXPECT_EQ(run([](auto& c) { listLists(c); }), "A\t\nD\t\nB\t\nC\t\n");
    EXPECT_THROW(run([](auto& c) { moveList(c, "A", "5"); }), CommandError);
    EXPECT_THROW(run([](auto& c) { moveList(c, "A", "0"); }), UsageError);
    EXPECT_THROW(run([](auto& c) { moveList(c, "A", "two"); }), UsageError);
}

TEST_F(CommandsTest, ListsAreNamedByNameOrPositionAndAmbiguityIsAnError) {
    run([](auto& c) { newList(c, "Shop"); });
    run([](auto& c) { newList(c, "Shop"); });
    run([](auto& c) { newList(c, "Home"); });
    try {
        run([](auto& c) { addItem(c, "Shop", "milk"); });
        FAIL() << "an ambiguous name must be refused";
    } catch (const CommandError& e) {
        EXPECT_NE(std::string(e.what()).find("#2, #3"), std::string::npos) << e.what();
    }
    run([](auto& c) { addItem(c, "#3", "milk"); });
    EXPECT_EQ(findList(*db_, "#3")->listItemsCount(), 1u);
    EXPECT_EQ(findList(*db_, "#2")->listItemsCount(), 0u);
    EXPECT_THROW(findList(*db_, "#4"), CommandError);
    EXPECT_THROW(findList(*db_, "#0"), UsageError);
    EXPECT_THROW(findList(*db_, "#x"), UsageError);
    EXPECT_THROW(findList(*db_, "shop"), CommandError);  // names are case-sensitive
}

TEST_F(CommandsTest, ItemsShowTheTitleLineThenTheRowsUnderTheFilter) {
    run([](auto& c) { newList(c, "Groceries"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "Groceries", JWListFilter::none); }), "\n");
    for (const char* text : {"Milk", "Bread", "Eggs"}) {
        run([&](auto& c) { addItem(c, "Groceries", text); });
    }
    EXPECT_EQ(run([](auto& c) { listItems(c, "Groceries", JWListFilter::none); }),
              "Groceries (3)\n[ ] Eggs\n[ ] Bread\n[ ] Milk\n");
    run([](auto& c) { toggleItem(c, "Groceries", "2"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "Groceries", JWListFilter::checked); }),
              "Groceries (1/3)\n[x] Bread\n");
    EXPECT_EQ(run([](auto& c) { listItems(c, "Groceries", JWListFilter::unchecked); }),
              "Groceries (1/3)\n[ ] Eggs\n[ ] Milk\n");
    run([](auto& c) { sortItems(c, "Groceries", "checked-first"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "Groceries", JWListFilter::none); }),
              "Groceries (1/3)\n[x] Bread\n[ ] Eggs\n[ ] Milk\n");
    run([](auto& c) { sortItems(c, "Groceries", "alphabetical"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "Groceries", JWListFilter::none); }),
              "Groceries (1/3)\n[x] Bread\n[ ] Eggs\n[ ] Milk\n");
    EXPECT_THROW(run([](auto& c) { sortItems(c, "Groceries", "newest"); }), UsageError);
}

TEST_F(CommandsTest, EditingCopyingMovingAndBulkActions) {
    run([](auto& c) { newList(c, "From"); });
    run([](auto& c) { newList(c, "To"); });
    run([](auto& c) { addItem(c, "From", "a"); });
    run([](auto& c) { addItem(c, "From", "b"); });
    run([](auto& c) { toggleItem(c, "From", "1"); });  // b
    run([](auto& c) { editItem(c, "From", "2", "  a  "); });
    run([](auto& c) { copyItem(c, "From", "1", "To"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "To", JWListFilter::none); }), "To (1)\n[ ] b\n");
    run([](auto& c) { moveItem(c, "From", "2", "To"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "To", JWListFilter::none); }),
              "To (2)\n[ ] b\n[ ]   a  \n");
    run([](auto& c) { resetChecked(c, "From"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "From", JWListFilter::none); }), "From (1)\n[ ] b\n");
    run([](auto& c) { toggleItem(c, "To", "1"); });
    run([](auto& c) { deleteChecked(c, "To"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "To", JWListFilter::none); }), "To (1)\n[ ]   a  \n");
    run([](auto& c) { deleteItem(c, "To", "1"); });
    EXPECT_EQ(run([](auto& c) { listItems(c, "To", JWListFilter::none); }), "\n");
    run([](auto& c) { deleteList(c, "From"); });
    EXPECT_EQ(run([](auto& c) { listLists(c); }), "To\t\n");
}

TEST_F(CommandsTest, RefusedCommandsWriteNothing) {
    run([](auto& c) { newList(c, "Shop"); });
    run([](auto& c) { addItem(c, "Shop", "milk"); });
    EXPECT_THROW(run([](auto& c) { newList(c, ""); }), CommandError);
    EXPECT_THROW(run([](auto& c) { addItem(c, "Shop", ""); }), CommandError);
    EXPECT_THROW(run([](auto& c) { renameList(c, "Shop", ""); }), CommandError);
    EXPECT_THROW(run([](auto& c) { moveItem(c, "Shop", "1", "Nowhere"); }), CommandError);
    EXPECT_THROW(run([](auto& c) { toggleItem(c, "Shop", "2"); }), CommandError);
    EXPECT_THROW(run([](auto& c) { toggleItem(c, "Shop", "-1"); }), UsageError);
    EXPECT_FALSE(db_->viewContext().hasChanges());
    open();
    EXPECT_EQ(run([](auto& c) { listLists(c); }), "Shop\t1\n");
    EXPECT_EQ(run([](auto& c) { listItems(c, "Shop", JWListFilter::none); }),
              "Shop (1)\n[ ] milk\n");
}

TEST_F(CommandsTest, ShareTextIsPrintedExactly) {
    run([](auto& c) { newList(c, "Shop"); });
    EXPECT_EQ(run([](auto& c) { shareList(c, "Shop", JWListFilter::none); }), "");
    run([](auto& c) { addItem(c, "Shop", "Bread"); });
    run([](auto& c) { addItem(c, "Shop", "Milk"); });
    run([](auto& c) { toggleItem(c, "Shop", "1"); });  // Milk, the newest
    EXPECT_EQ(run([](auto& c) { shareList(c, "Shop", JWListFilter::none); }),
              "Shop:\n\u2714\uFE0E Milk\n- Bread");
    EXPECT_EQ(run([](auto& c) { shareList(c, "Shop", JWListFilter::unchecked); }),
              "Shop:\n- Bread");
}

TEST_F(CommandsTest, ThemeIsStoredOnTheListAndMustBeInTheCatalogue) {
    run([](auto& c) { newList(c, "Shop"); });
    run([](auto& c) { setTheme(c, "Shop", "Dark Blue"); });
    EXPECT_THROW(run([](auto& c) { setTheme(c, "Shop", "dark blue"); }), UsageError);
    EXPECT_THROW(run([](auto& c) { setTheme(c, "Shop", "Ocean"); }), UsageError);
    open();
    EXPECT_EQ(findList(*db_, "Shop")->themeKey(), "Dark Blue");
}

}  // namespace
}  // namespace jw::cli
