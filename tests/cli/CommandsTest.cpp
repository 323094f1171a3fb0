// jotwell-cli's commands, run in-process against a real store in a scratch folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

#include "frontends/cli/CliError.h"
#include "frontends/cli/Commands.h"
#include "frontends/cli/Lookup.h"
#include "src/model/Entities.h"
#include "tests/support/TestEnvironment.h"

namespace jw::cli {
namespace {

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

    // Runs commands separated by "; ", named as the program names them, their words split at
    // spaces ("_" stands for a space, "''" for an empty word); "reopen" opens the store again.
    // Returns what they printed; a refused command prints "<usage>" or "<error>" and one that
    // leaves anything unsaved "<unsaved>". Every command runs a second after the one before.
    std::string run(const std::string& script) {
        using Words = std::vector<std::string>;
        static const std::map<std::string, std::function<void(CommandContext&, const Words&)>>
            commands = {
                {"lists", [](auto& c, auto&) { listLists(c); }},
                {"new-list", [](auto& c, auto& w) { newList(c, w[1]); }},
                {"rename-list", [](auto& c, auto& w) { renameList(c, w[1], w[2]); }},
                {"delete-list", [](auto& c, auto& w) { deleteList(c, w[1]); }},
                {"sort-lists", [](auto& c, auto& w) { sortLists(c, w[1]); }},
                {"move-list", [](auto& c, auto& w) { moveList(c, w[1], w[2]); }},
                {"items", [](auto& c, auto& w) { listItems(c, w[1], parseFilter(w[2])); }},
                {"add", [](auto& c, auto& w) { addItem(c, w[1], w[2]); }},
                {"toggle", [](auto& c, auto& w) { toggleItem(c, w[1], w[2]); }},
                {"edit", [](auto& c, auto& w) { editItem(c, w[1], w[2], w[3]); }},
                {"delete", [](auto& c, auto& w) { deleteItem(c, w[1], w[2]); }},
                {"sort", [](auto& c, auto& w) { sortItems(c, w[1], w[2]); }},
                {"move-item", [](auto& c, auto& w) { moveItem(c, w[1], w[2], w[3]); }},
                {"copy-item", [](auto& c, auto& w) { copyItem(c, w[1], w[2], w[3]); }},
                {"reset-checked", [](auto& c, auto& w) { resetChecked(c, w[1]); }},
                {"delete-checked", [](auto& c, auto& w) { deleteChecked(c, w[1]); }},
                {"theme", [](auto& c, auto& w) { setTheme(c, w[1], w[2]); }},
                {"share", [](auto& c, auto& w) { shareList(c, w[1], parseFilter(w[2])); }},
            };
        std::string printed;
        std::istringstream in(script);
        for (std::string command; std::getline(in, command, ';');) {
            Words words;
            std::istringstream split(command);
            for (std::string word; split >> word;) {
                std::replace(word.begin(), word.end(), '_', ' ');
                words.push_back(word == "''" ? "" : word);
            }
            if (words.size() < 3 && (words[0] == "items" || words[0] == "share")) {
                words.push_back("all");
            }
            words.resize(4);
            out_.str("");
            if (words[0] == "reopen") {
                open();
            } else if (!commands.contains(words[0])) {
                ADD_FAILURE() << "no such command: " << command;
            } else {
                try {
                    commands.at(words[0])(*context_, words);
                } catch (const UsageError&) {
                    out_ << "<usage>";
                } catch (const CommandError&) {
                    out_ << "<error>";
                }
            }
            printed += out_.str() + (db_->viewContext().hasChanges() ? "<unsaved>" : "");
            platform_.clock().advance(1);
        }
        return printed;
    }

    test::TempDir dir_;
    test::ManualPlatform platform_;
    std::ostringstream out_;
    std::unique_ptr<model::JWDatabase> db_;
    std::unique_ptr<CommandContext> context_;
};

// Lists print by name, or in manual order, which survives a spell of alphabetical order; a
// list moves only in manual order, to a position that exists, and the move is saved.
TEST_F(CommandsTest, ListsPrintInTheChosenOrderAndMoveOnlyInManualOrder) {
    EXPECT_EQ(run("new-list apple; new-list Zoo; new-list banana; add banana one; "
                  "add banana two; toggle banana 1; lists; move-list banana 1; sort-lists manual; "
                  "move-list banana 1; lists; sort-lists alphabetical; lists; sort-lists manual; "
                  "reopen; lists; move-list apple 4; move-list apple 0; move-list apple two; "
                  "sort-lists newest"),
              "Zoo\t\napple\t\nbanana\t1/2\n<error>banana\t1/"
              "2\nZoo\t\napple\t\nZoo\t\napple\t\nbanana\t1/2\nbanana\t1/"
              "2\nZoo\t\napple\t\n<error><usage><usage><usage>");
}

// By name (case-sensitively; a name two lists share is refused, naming them) or by position.
TEST_F(CommandsTest, ListsAreNamedByNameOrPositionAndAmbiguityIsAnError) {
    run("new-list Shop; new-list Shop; new-list Home");
    try {
        addItem(*context_, "Shop", "milk");
        ADD_FAILURE() << "an ambiguous name must be refused";
    } catch (const CommandError& e) {
        EXPECT_NE(std::string(e.what()).find("#2, #3"), std::string::npos) << e.what();
    }
    EXPECT_EQ(run("add #3 milk; items #3; items #2; items #4; items #0; items #x; items shop"),
              "Shop (1)\n[ ] milk\n\n<error><usage><usage><error>");
}

// The title line, then the rows the filter shows in the list's order; an empty list prints an
// empty line.
TEST_F(CommandsTest, ItemsShowTheTitleLineThenTheRowsUnderTheFilter) {
    EXPECT_EQ(run("new-list Groceries; items Groceries; add Groceries Milk; add Groceries Bread; "
                  "add Groceries Eggs; items Groceries; toggle Groceries 2; items Groceries "
                  "checked; items Groceries unchecked; items Groceries done; sort Groceries "
                  "checked-first; items Groceries; sort Groceries alphabetical; items Groceries; "
                  "sort Groceries newest"),
              "\nGroceries (3)\n[ ] Eggs\n[ ] Bread\n[ ] Milk\nGroceries (1/3)\n[x] "
              "Bread\nGroceries (1/3)\n[ ] Eggs\n[ ] Milk\n<usage>Groceries (1/3)\n[x] Bread\n[ ] "
              "Eggs\n[ ] Milk\nGroceries (1/3)\n[x] Bread\n[ ] Eggs\n[ ] Milk\n<usage>");
}

TEST_F(CommandsTest, EditingCopyingMovingAndBulkActions) {
    EXPECT_EQ(run("new-list From; new-list To; add From a; add From b; toggle From 1; "
                  "edit From 2 __a__; copy-item From 1 To; items To; move-item From 2 To; items "
                  "To; reset-checked From; items From; toggle To 1; delete-checked To; items To; "
                  "delete To 1; items To; delete-list From; lists"),
              "To (1)\n[ ] b\nTo (2)\n[ ] b\n[ ]   a  \nFrom (1)\n[ ] b\nTo (1)\n[ ]   a  \n\n"
              "To\t\n");
}

// Whatever a name or an item holds (a line break from the item editor, an escape sequence from
// another device), it prints on its own line, its controls shown as their pictures.
TEST_F(CommandsTest, NamesAndItemsPrintOnOneLineEach) {
    run("new-list Shop\x1b[2J");
    addItem(*context_, "#1", "two\nlines");
    EXPECT_EQ(run("lists; items #1"), "Shop␛[2J\t1\nShop␛[2J (1)\n[ ] two␊lines\n");
}

// A refused command changes nothing, in memory or in the file.
TEST_F(CommandsTest, RefusedCommandsWriteNothing) {
    EXPECT_EQ(run("new-list Shop; add Shop milk; new-list ''; add Shop ''; rename-list Shop ''; "
                  "move-item Shop 1 Nowhere; toggle Shop 2; toggle Shop -1; reopen; lists; items "
                  "Shop"),
              "<error><error><error><error><error><usage>Shop\t1\nShop (1)\n[ ] milk\n");
}

// The shown items, newest first, checked ones marked, with no line feed after the last.
TEST_F(CommandsTest, ShareTextIsPrintedExactly) {
    EXPECT_EQ(run("new-list Shop; share Shop; add Shop Bread; add Shop Milk; toggle Shop 1; "
                  "share Shop; share Shop unchecked"),
              "Shop:\n\u2714\uFE0E Milk\n- BreadShop:\n- Bread");
}

// Only a theme of the catalogue, named exactly, is stored.
TEST_F(CommandsTest, ThemeIsStoredOnTheListAndMustBeInTheCatalogue) {
    EXPECT_EQ(run("new-list Shop; theme Shop Dark_Blue; theme Shop dark_blue; theme Shop Ocean; "
                  "reopen"),
              "<usage><usage>");
    EXPECT_EQ(findList(*db_, "Shop")->themeKey(), "Dark Blue");
}

}  // namespace
}  // namespace jw::cli
