// What each operation writes, and whether it saves at once (a drag's renumbering, a sort-mode
// choice and a recount wait for the next save).

#include <gtest/gtest.h>

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "ModelTestSupport.h"
#include "src/model/DoneCounts.h"

namespace jw::model {
namespace {

using ::jw::test::PrintTo;
using support::ModelTest;

// The store at the start of every case: Source holds a, b and c (made at 1, 2 and 3 s, b
// checked at 3 s), Target holds t (4 s); the operation runs at 100 s.
class Operations : public ModelTest {
  protected:
    Operations() {
        auto items = addItems(*source, {"a", "b", "c"});
        toggleItem(db(), *items[1]);
        addItems(*target, {"t"});
        clock().advance(96);
    }

    // Every list by name, then its items by creation: "Source done=1: a@1 b@2+3 c@3 | ...".
    // Times are seconds since the start; "+3" is checked at 3 s, "#4" a sortNumber, "~" a
    // note, "*2" stars; a list shows its sortMode, sortNumber and theme when set.
    std::string state() {
        const auto seconds = [&](const std::optional<Date>& date) {
            return date ? int(date->secondsSince(start_)) : -1;
        };
        const auto at = [&](const std::optional<Date>& date) {
            return date ? std::to_string(seconds(date)) : std::string("-");
        };
        std::ostringstream out;
        auto lists = fetchLists();
        std::sort(lists.begin(), lists.end(),
                  [](const auto& l, const auto& r) { return l->name() < r->name(); });
        for (const auto& list : lists) {
            out << (out.tellp() > 0 ? " | " : "") << list->name().value_or("<absent>") << "@"
                << at(list->created());
            if (list->sortMode() != 0)
                out << " mode=" << list->sortMode();
            if (list->sortNumber() != 0)
                out << " #" << list->sortNumber();
            if (list->themeKey())
                out << " theme=" << *list->themeKey();
            out << " done=" << list->doneCount() << ":";
            auto members = fetchItems(list.get());
            std::stable_sort(members.begin(), members.end(), [&](const auto& l, const auto& r) {
                return seconds(l->created()) < seconds(r->created());
            });
            for (const auto& i : members) {
                out << " " << i->body().value_or("<absent>") << "@" << at(i->created());
                if (i->isDone())
                    out << "+" << at(i->doneDate());
                if (i->sortNumber() != 0)
                    out << "#" << i->sortNumber();
                if (i->note())
                    out << "~";
                if (i->stars() != 0)
                    out << "*" << i->stars();
            }
        }
        return out.str();
    }

    const Date start_ = clock().current();
    std::shared_ptr<List> source = newList(db(), "Source");
    std::shared_ptr<List> target = newList(db(), "Target");
};

// Operations for ModelTest::operate on Source (and Target), the state in memory, and in the
// file when that differs (null: the same, saved).
constexpr const char* kAsStarted = "Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4";
struct OperationCase {
    const char* name;
    const char* steps;
    const char* inMemory;
    const char* inFile;
};
// (Checking and unchecking, a theme, moving, copying within the list, the bulk actions on what
// is shown, and that a drag of the lists or a sort-mode choice is saved only by the next save,
// are also checked as the screens and the list picker use them.)
const OperationCase kOperationCases[] = {
    {"EmptyNamesAndTextsAreRefused",
     "newList: rename: new:", "Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    // Objects made or checked while the clock gives no date are undated.
    {"WithoutACurrentDate", "noClock newList:Undated new:u toggle:a copy:u",
     "Source@0 done=2: u@- a@1+- b@2+3 c@3 | Target@0 done=0: u@- t@4 | Undated@- done=0:",
     nullptr},
    {"NewList", "newList:New",
     "New@100 done=0: | Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"RenameKeepsTheCreation", "rename:Market",
     "Market@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"DeleteListTakesItsItems", "deleteList", "Target@0 done=0: t@4", nullptr},
    {"ChooseThemeWithNoListSavesWhatIsPending", "mode:1 theme!:Mint",
     "Source@0 mode=1 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"SortModeAnyValueRidesOnTheNextSave", "mode:-1 new:u",
     "Source@0 mode=-1 done=1: a@1 b@2+3 c@3 u@101 | Target@0 done=0: t@4", nullptr},
    {"SortModeWithNoListChangesNothing", "mode!:5",
     "Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"NewItemLeavesAStaleDoneCount", "delete:b new:Milk",
     "Source@0 done=1: a@1 c@3 Milk@101 | Target@0 done=0: t@4", nullptr},
    {"EditTextKeepsCreationAndCheck", "edit:b:oat",
     "Source@0 done=1: a@1 oat@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"CheckingMakesAStaleCountExact", "toggle:a delete:a toggle:c",
     "Source@0 done=2: b@2+3 c@3+100 | Target@0 done=0: t@4", nullptr},
    {"DeletingAnItemLeavesTheCount", "delete:b", "Source@0 done=1: a@1 c@3 | Target@0 done=0: t@4",
     nullptr},
    {"RecountingIsNotSaved", "delete:b recount", "Source@0 done=0: a@1 c@3 | Target@0 done=0: t@4",
     "Source@0 done=1: a@1 c@3 | Target@0 done=0: t@4"},
    {"ResetCheckedCountsTheItemsNotShown", "toggle:a reset:b",
     "Source@0 done=1: a@1+100 b@2 c@3 | Target@0 done=0: t@4", nullptr},
    {"DeleteCheckedDeletesTheShownAndCountsTheRest", "toggle:a deleteChecked:a,c",
     "Source@0 done=1: b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"BulkActionsWithNoListCountNothing", "toggle:a reset!:a deleteChecked!:all",
     "Source@0 done=2: a@1 c@3 | Target@0 done=0: t@4", nullptr},
    {"ACopyIsNewAndUnchecked", "number:b:9 note:b stars:b:2 copy:b",
     "Source@0 done=1: a@1 b@2+3#9~*2 c@3 | Target@0 done=0: t@4 b@100", nullptr},
    {"CopyingNoText", "noText:a copy:<absent>",
     "Source@0 done=1: <absent>@1 b@2+3 c@3 | Target@0 done=0: t@4 <absent>@100", nullptr},
    // A drag in manual order numbers the shown rows from zero, dense, and only those; one from
    // or to outside the rows changes nothing. (Also checked on the items screen, and in the row
    // changes it hears.)
    {"DragDown", "mode:7 drag:all:0:2",
     "Source@0 mode=7 done=1: a@1#1 b@2+3 c@3#2 | Target@0 done=0: t@4", kAsStarted},
    {"DragMakesGapsAndDuplicatesDense", "number:a:-5 number:b:9 number:c:9 mode:7 drag:all:1:1",
     "Source@0 mode=7 done=1: a@1 b@2+3#2 c@3#1 | Target@0 done=0: t@4", kAsStarted},
    {"DragRenumbersOnlyTheShownRows", "number:a:2 number:b:1 number:c:3 mode:7 drag:unchecked:1:0",
     "Source@0 mode=7 done=1: a@1#1 b@2+3#1 c@3 | Target@0 done=0: t@4", kAsStarted},
    {"DragOutOfRange", "number:a:7 mode:7 drag:all:3:0 drag:all:0:3",
     "Source@0 mode=7 done=1: a@1#7 b@2+3 c@3 | Target@0 done=0: t@4", kAsStarted},
};

class OperationWrites : public Operations, public ::testing::WithParamInterface<OperationCase> {};

TEST_P(OperationWrites, InMemoryAndInTheFile) {
    const OperationCase& c = GetParam();
    operate(c.steps, *source, *target);
    const std::string inFile = c.inFile ? c.inFile : c.inMemory;
    EXPECT_EQ(state(), c.inMemory);
    EXPECT_EQ(context().hasChanges(), inFile != c.inMemory);
    reopen();
    EXPECT_EQ(state(), inFile);
}

INSTANTIATE_TEST_SUITE_P(Cases, OperationWrites, ::testing::ValuesIn(kOperationCases),
                         jw::test::caseName);

// A list's counts text and done fraction: every item counts, the done count is the stored
// doneCount as it is (stale or not), and the text shows "done/" only from one done up. As
// "text fraction", "-" for no text; nine digits tell a float from a double.
std::string progress(const List& list) {
    const auto [text, fraction] = list.progressInfo(" (", ")");
    std::ostringstream out;
    out << text.value_or("-") << " " << std::setprecision(9) << fraction;
    return out.str();
}

const OperationCase kProgressCases[] = {
    {"SomeDoneIsAThirtyTwoBitDivision", "", " (1/3) 0.333333343", nullptr},
    {"NothingDone", "toggle:b", " (3) 0", nullptr},
    {"AllDone", "toggle:a toggle:c", " (3/3) 1", nullptr},
    {"NoItemsWithAStaleDoneCount", "delete:a delete:b delete:c", "- 0", nullptr},
    {"StaleAboveTheItemCount", "doneCount:5", " (5/3) 1.66666663", nullptr},
    {"NegativeDoneCount", "doneCount:-1", " (3) -0.333333343", nullptr},
    {"NoDigitGrouping", "doneCount:1234567", " (1234567/3) 411522.344", nullptr},
};

class ProgressInfo : public Operations, public ::testing::WithParamInterface<OperationCase> {};

TEST_P(ProgressInfo, TextAndFraction) {
    operate(GetParam().steps, *source, *target);
    EXPECT_EQ(progress(*source), GetParam().inMemory);
    db().saveContext(false);
    reopen();
    EXPECT_EQ(progress(*fetchListNamed("Source")), GetParam().inMemory)
        << "read back from the file without loading the items";
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressInfo, ::testing::ValuesIn(kProgressCases),
                         jw::test::caseName);

// Every item of the list counts, saved or not, but no other list's; a recount reads items that
// were never loaded from the file.
TEST_F(Operations, ProgressCountsEveryItemOfTheListSavedOrNot) {
    auto unsaved = std::static_pointer_cast<Item>(context().insertNewObject("Item"));
    unsaved->setBody("e");
    unsaved->setForList(source.get());
    EXPECT_EQ(progress(*source), " (1/4) 0.25");
    operate("doneCount:3", *source, *target);
    reopen();
    auto stored = fetchListNamed("Source");
    recountDone(*stored);
    EXPECT_EQ(progress(*stored), " (1/4) 0.25");
}

// Lists waiting for a recount after merges: each once however often added, first added first,
// and a task stops once its budget of items is read (Source holds three, Target one).
TEST_F(Operations, PendingRecountsGoInTurnWithinTheirBudget) {
    source->setDoneCount(7);
    target->setDoneCount(7);
    PendingRecounts pending;
    pending.add({target.get(), nullptr, source.get(), target.get()});
    std::string steps;
    for (const std::size_t budget : {1, 1, 1}) {
        const bool changed = pending.recountSome(budget);
        steps += std::to_string(source->doneCount()) + "/" + std::to_string(target->doneCount()) +
                 (changed ? " changed" : "") + (pending.empty() ? " none waiting; " : "; ");
    }
    pending.add({source.get(), target.get()});
    pending.recountSome(4);
    steps += pending.empty() ? "both in one" : "not both in one";
    EXPECT_EQ(steps, "7/0 changed; 1/0 changed none waiting; 1/0 none waiting; both in one");

    // A list whose items nothing has read is counted in the store, unsaved checks included,
    // and its items stay unread.
    reopen();
    auto stored = fetchListNamed("Source");
    stored->setDoneCount(7);
    auto unchecked = std::static_pointer_cast<Item>(
        context()
            .executeFetchRequest(itemsFetchRequest(stored.get(), JWListFilter::unchecked))
            .at(0));
    const auto counted = [&] {
        pending.add({stored.get()});
        pending.recountSome(10);
        return std::to_string(stored->doneCount()) +
               (stored->hasLoadedListItems() ? " read" : " unread");
    };
    steps = counted() + "; ";
    unchecked->setIsDone(true);
    steps += counted();
    EXPECT_EQ(steps, "1 unread; 2 unread");
}

}  // namespace
}  // namespace jw::model
