// What each operation writes, and whether it leaves the main context saved. Most operations
// save at once; a drag's renumbering, a sort-mode choice and a recount of doneCount stay in
// the context and reach the file with whatever save comes next.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "ModelTestSupport.h"

namespace jw::model {
namespace {

using support::ModelTest;
using support::raw;

// The store at the start of every case: Source holds a, b and c (made at 1, 2 and 3 s, b
// checked at 3 s), Target holds t (4 s); the operation runs at 100 s.
class Operations : public ModelTest {
  public:
    using ModelTest::clock;
    using ModelTest::fetchItems;
    using ModelTest::fetchLists;

    Operations() {
        auto items = addItems(*source, {"a", "b", "c"});
        toggleItem(db(), *items[1]);
        addItems(*target, {"t"});
        clock().advance(96);
    }

    Item& item(const std::string& body) { return *fetchItemWithBody(body); }
    std::vector<Item*> items(JWListFilter filter = JWListFilter::none) {
        return raw(fetchItems(source.get(), filter));
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
            if (list->sortMode() != 0) out << " mode=" << list->sortMode();
            if (list->sortNumber() != 0) out << " #" << list->sortNumber();
            if (list->themeKey()) out << " theme=" << *list->themeKey();
            out << " done=" << list->doneCount() << ":";
            auto members = fetchItems(list.get());
            std::stable_sort(members.begin(), members.end(), [&](const auto& l, const auto& r) {
                return seconds(l->created()) < seconds(r->created());
            });
            for (const auto& i : members) {
                out << " " << i->body().value_or("<absent>") << "@" << at(i->created());
                if (i->isDone()) out << "+" << at(i->doneDate());
                if (i->sortNumber() != 0) out << "#" << i->sortNumber();
                if (i->note()) out << "~";
                if (i->stars() != 0) out << "*" << i->stars();
            }
        }
        return out.str();
    }

    const Date start_ = clock().current();
    std::shared_ptr<List> source = newList(db(), "Source");
    std::shared_ptr<List> target = newList(db(), "Target");
};

struct OperationCase {
    const char* name;
    std::function<void(Operations&, JWDatabase&, List& source, List& target)> run;
    const char* inMemory;
    const char* inFile;  // null: the same, saved
};
void PrintTo(const OperationCase& c, std::ostream* out) { *out << c.name; }

#define OP [](Operations & t, JWDatabase & db, List & source, List & target)

const OperationCase kOperationCases[] = {
    {"NewList", OP { newList(db, "New"); },
     "New@100 done=0: | Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"RenameKeepsTheCreation", OP { renameList(db, source, "Market"); },
     "Market@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"DeleteListTakesItsItems", OP { deleteList(db, source); }, "Target@0 done=0: t@4", nullptr},
    {"ReorderingListsIsNotSaved", OP {
         auto shown = raw<store::ManagedObject>(t.fetchLists(true));
         renumberAfterMove(shown, 1, 0);
     },
     "Source@0 #1 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4",
     "Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4"},
    {"AReorderingRidesOnTheNextSave", OP {
         auto shown = raw<store::ManagedObject>(t.fetchLists(true));
         renumberAfterMove(shown, 1, 0);
         newList(db, "New");
     },
     "New@100 done=0: | Source@0 #1 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"ChooseTheme", OP { chooseTheme(db, &source, "Mint"); },
     "Source@0 theme=Mint done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"ChooseThemeWithNoListSavesWhatIsPending", OP {
         chooseSortMode(&source, 1);
         chooseTheme(db, nullptr, "Mint");
     },
     "Source@0 mode=1 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"SortModeIsNotSaved", OP { chooseSortMode(&source, 5); },
     "Source@0 mode=5 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4",
     "Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4"},
    {"SortModeAnyValueRidesOnTheNextSave", OP {
         chooseSortMode(&source, -1);
         newItem(db, target, "u");
     },
     "Source@0 mode=-1 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4 u@100", nullptr},
    {"SortModeWithNoListChangesNothing", OP { chooseSortMode(nullptr, 5); },
     "Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"NewItemLeavesAStaleDoneCount", OP {
         deleteItem(db, t.item("b"));
         newItem(db, source, "Milk");
     },
     "Source@0 done=1: a@1 c@3 Milk@100 | Target@0 done=0: t@4", nullptr},
    {"EditTextKeepsCreationAndCheck", OP { editItemText(db, t.item("b"), "Oat milk"); },
     "Source@0 done=1: a@1 Oat milk@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"CheckingDatesAndRecounts", OP { toggleItem(db, t.item("a")); },
     "Source@0 done=2: a@1+100 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"UncheckingClearsTheDateAndRecounts", OP { toggleItem(db, t.item("b")); },
     "Source@0 done=0: a@1 b@2 c@3 | Target@0 done=0: t@4", nullptr},
    {"CheckingAgainGivesANewerDate", OP {
         toggleItem(db, t.item("b"));
         t.clock().advance(10);
         toggleItem(db, t.item("b"));
     },
     "Source@0 done=1: a@1 b@2+110 c@3 | Target@0 done=0: t@4", nullptr},
    {"CheckingMakesAStaleCountExact", OP {
         toggleItem(db, t.item("a"));
         deleteItem(db, t.item("a"));
         toggleItem(db, t.item("c"));
     },
     "Source@0 done=2: b@2+3 c@3+100 | Target@0 done=0: t@4", nullptr},
    {"DeletingAnItemLeavesTheCount", OP { deleteItem(db, t.item("b")); },
     "Source@0 done=1: a@1 c@3 | Target@0 done=0: t@4", nullptr},
    {"RecountingIsNotSaved", OP {
         deleteItem(db, t.item("b"));
         recountDone(source);
     },
     "Source@0 done=0: a@1 c@3 | Target@0 done=0: t@4",
     "Source@0 done=1: a@1 c@3 | Target@0 done=0: t@4"},
    {"ResetCheckedUnchecksTheShownAndRecounts", OP {
         toggleItem(db, t.item("a"));
         resetChecked(db, &source, t.items());
     },
     "Source@0 done=0: a@1 b@2 c@3 | Target@0 done=0: t@4", nullptr},
    {"ResetCheckedCountsTheItemsNotShown", OP {
         toggleItem(db, t.item("a"));
         resetChecked(db, &source, {&t.item("b")});
     },
     "Source@0 done=1: a@1+100 b@2 c@3 | Target@0 done=0: t@4", nullptr},
    {"ResetCheckedUnderTheUncheckedFilter", OP {
         resetChecked(db, &source, t.items(JWListFilter::unchecked));
     },
     "Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"DeleteCheckedDeletesTheShownAndCountsTheRest", OP {
         toggleItem(db, t.item("a"));
         deleteChecked(db, &source, {&t.item("a"), &t.item("c")});
     },
     "Source@0 done=1: b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"DeleteCheckedUnderTheUncheckedFilter", OP {
         deleteChecked(db, &source, t.items(JWListFilter::unchecked));
     },
     "Source@0 done=1: a@1 b@2+3 c@3 | Target@0 done=0: t@4", nullptr},
    {"BulkActionsWithNoListCountNothing", OP {
         toggleItem(db, t.item("a"));
         resetChecked(db, nullptr, {&t.item("a")});
         deleteChecked(db, nullptr, raw(t.fetchItems(nullptr)));
     },
     "Source@0 done=2: a@1 c@3 | Target@0 done=0: t@4", nullptr},
    {"MovingChangesOnlyTheList", OP {
         t.item("b").setSortNumber(4);
         moveItem(db, t.item("b"), target);
     },
     "Source@0 done=1: a@1 c@3 | Target@0 done=0: b@2+3#4 t@4", nullptr},
    {"ACopyIsNewAndUnchecked", OP {
         Item& b = t.item("b");
         b.setSortNumber(9);
         b.setNote("a note");
         b.setStars(2);
         copyItem(db, b, target);
     },
     "Source@0 done=1: a@1 b@2+3#9~*2 c@3 | Target@0 done=0: t@4 b@100", nullptr},
    {"CopyingNoText", OP {
         t.item("a").setBody(std::nullopt);
         copyItem(db, *t.fetchItems(&source).back(), target);
     },
     "Source@0 done=1: <absent>@1 b@2+3 c@3 | Target@0 done=0: t@4 <absent>@100", nullptr},
    {"CopyingWithinTheList", OP { copyItem(db, t.item("c"), source); },
     "Source@0 done=1: a@1 b@2+3 c@3 c@100 | Target@0 done=0: t@4", nullptr},
};

class OperationWrites : public Operations, public ::testing::WithParamInterface<OperationCase> {
};

TEST_P(OperationWrites, InMemoryAndInTheFile) {
    const OperationCase& c = GetParam();
    c.run(*this, db(), *source, *target);
    const std::string inFile = c.inFile ? c.inFile : c.inMemory;
    EXPECT_EQ(state(), c.inMemory);
    EXPECT_EQ(context().hasChanges(), inFile != c.inMemory);
    reopen();
    EXPECT_EQ(state(), inFile);
}

INSTANTIATE_TEST_SUITE_P(Cases, OperationWrites, ::testing::ValuesIn(kOperationCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Renumbering after a drag, in a list shown in manual order: the items (top first, with
// sortNumbers when given, "checked" ones toggled), the rows shown, the drag, and then every
// item in the list's order with its number, after what renumberAfterMove answered.
struct RenumberCase {
    const char* name;
    std::vector<std::string> topFirst;
    std::vector<std::int32_t> numbers;
    std::vector<std::string> checked;
    JWListFilter shown;
    std::size_t from;
    std::size_t to;
    const char* expected;
};
void PrintTo(const RenumberCase& c, std::ostream* out) { *out << c.name; }

const RenumberCase kRenumberCases[] = {
    {"LastOfFourToTheTop", {"a", "b", "c", "d"}, {}, {}, JWListFilter::none, 3, 0,
     "true: d0 a1 b2 c3"},
    {"ThirdOfFiveToTheTop", {"a", "b", "c", "d", "e"}, {}, {}, JWListFilter::none, 2, 0,
     "true: c0 a1 b2 d3 e4"},
    {"Down", {"a", "b", "c", "d"}, {}, {}, JWListFilter::none, 0, 2, "true: b0 c1 a2 d3"},
    {"GapsAndDuplicatesBecomeDense", {"a", "b", "c", "d"}, {-5, 9, 9, 40}, {},
     JWListFilter::none, 1, 1, "true: a0 b1 c2 d3"},
    {"OnlyTheShownRowsUnderAFilter", {"a", "b", "c", "d", "e"}, {0, 1, 2, 3, 4}, {"b", "d"},
     JWListFilter::unchecked, 2, 0, "true: e0 a1 b1 c2 d3"},
    {"FromOutOfRange", {"a", "b", "c"}, {7, 0, 0}, {}, JWListFilter::none, 3, 0,
     "false: b0 c0 a7"},
    {"ToOutOfRange", {"a", "b", "c"}, {7, 0, 0}, {}, JWListFilter::none, 0, 3,
     "false: b0 c0 a7"},
};

class Renumbering : public ModelTest, public ::testing::WithParamInterface<RenumberCase> {};

TEST_P(Renumbering, NumbersTheShownRowsFromZero) {
    const RenumberCase& c = GetParam();
    auto list = newList(db(), "Manual");
    chooseSortMode(list.get(), 7);
    // Added bottom first, so that the newest, shown first among equal numbers, is the top one.
    addItems(*list, std::vector<std::string>(c.topFirst.rbegin(), c.topFirst.rend()));
    for (std::size_t i = 0; i < c.numbers.size(); ++i) {
        fetchItemWithBody(c.topFirst[i])->setSortNumber(c.numbers[i]);
    }
    for (const auto& body : c.checked) {
        toggleItem(db(), *fetchItemWithBody(body));
    }
    db().saveContext(false);
    auto shown = raw<store::ManagedObject>(fetchItems(list.get(), c.shown));
    std::string text = renumberAfterMove(shown, c.from, c.to) ? "true:" : "false:";
    for (const auto& item : fetchItems(list.get())) {
        text += " " + item->body().value_or("") + std::to_string(item->sortNumber());
    }
    EXPECT_EQ(text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Renumbering, ::testing::ValuesIn(kRenumberCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jw::model
