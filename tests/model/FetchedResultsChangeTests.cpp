// The row changes the items screen hears from its fetched-results controller as the model
// operations run. (Merged changes: see the store's merge tests.)

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "ModelTestSupport.h"

namespace jw::model {
namespace {

using ::jw::test::PrintTo;
using support::ModelTest;

// Writes down what the controller says, one line per callback, e.g. "move a 2->0".
class RowChangeRecorder : public store::FetchedResultsControllerDelegate {
  public:
    std::vector<std::string> lines;

    void controllerWillChangeContent(store::FetchedResultsController&) override {
        lines.push_back("will change");
    }
    void controllerDidChangeObject(store::FetchedResultsController&, store::ManagedObject& object,
                                   const store::IndexPath* indexPath, store::ChangeType type,
                                   const store::IndexPath* newIndexPath) override {
        const char* kinds[] = {"insert", "delete", "move", "update"};
        const auto row = [](const store::IndexPath* at) {
            return at ? std::to_string(at->row) : std::string("-");
        };
        lines.push_back(std::string(kinds[int(type) - 1]) + " " +
                        static_cast<Item&>(object).body().value_or("<absent>") + " " +
                        row(indexPath) + "->" + row(newIndexPath));
    }
    void controllerDidChangeContent(store::FetchedResultsController&) override {
        lines.push_back("did change");
    }
};

class ItemsScreenRows : public ModelTest {
  protected:
    std::shared_ptr<List> list = newList(db(), "Groceries");
    std::shared_ptr<List> other = newList(db(), "Other");  // where moves and copies go
    RowChangeRecorder recorder;
    std::unique_ptr<store::FetchedResultsController> frc;  // the screen's, once a case made it

    // What the items screen builds on first use: the list's fetch on the main context, with
    // the screen as delegate.
    std::unique_ptr<store::FetchedResultsController> controllerFor(
        List* shown, JWListFilter filter = JWListFilter::none,
        store::FetchedResultsControllerDelegate* delegate = nullptr) {
        auto frc = std::make_unique<store::FetchedResultsController>(
            itemsFetchRequest(shown, filter), db().sharedViewContext());
        frc->performFetch();
        frc->setDelegate(delegate ? delegate : &recorder);
        return frc;
    }

    // "callback, callback | row row".
    static std::string heard(const RowChangeRecorder& recorder,
                             const store::FetchedResultsController& frc) {
        std::string text = jw::test::joined(recorder.lines, ", ") + " |";
        for (const auto& row : frc.fetchedObjects()) {
            text += " " + static_cast<Item&>(*row).body().value_or("<absent>");
        }
        return text;
    }

    // ModelTest::operate on the list, and: "process" (the context's pending changes),
    // "later:<item>:<text>" (an edit made in an event, heard when it ends), "showOther" (the
    // screen shows the list moves and copies go to), "detach" and "attach"
    // (the screen lets go of the controller and takes it back) and "save".
    void act(std::string_view steps) {
        std::istringstream in{std::string(steps)};
        for (std::string step; in >> step;) {
            const auto colon = step.find(':');
            const std::string verb = step.substr(0, colon);
            const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
            if (verb == "process") {
                context().processPendingChanges();
            } else if (verb == "showOther") {
                frc = controllerFor(other.get());
            } else if (verb == "detach" || verb == "attach") {
                frc->setDelegate(verb == "attach" ? &recorder : nullptr);
            } else if (verb == "save") {
                db().saveContext(false);
                EXPECT_FALSE(context().hasChanges());
            } else if (verb == "later") {
                const auto at = arg.find(':');
                Item* edited = &item(arg.substr(0, at));
                platform().loop().post(
                    [edited, text = arg.substr(at + 1)] { edited->setBody(text); });
                EXPECT_TRUE(recorder.lines.empty());
                platform().loop().drain();
            } else {
                operate(step, *list, *other);
            }
        }
    }
};

// The screen's list in a sort mode and filter, its items (oldest first) set up, steps for
// act(), and then what the controller said and the rows it shows.
struct RowCase {
    const char* name;
    std::int16_t sortMode;
    JWListFilter filter;
    const char* oldestFirst;
    const char* setUp;
    const char* steps;
    const char* expected;
};
constexpr auto kAll = JWListFilter::none;
constexpr auto kChecked = JWListFilter::checked;
constexpr auto kUnchecked = JWListFilter::unchecked;

const RowCase kRowCases[] = {
    {"CheckingUnderCheckedFirstMovesToTheTop", 5, kAll, "a b c", "", "toggle:a",
     "will change, move a 2->0, did change | a c b"},
    {"UncheckingUnderCheckedFirstMovesBack", 5, kAll, "a b c", "toggle:b", "toggle:b",
     "will change, move b 0->1, did change | c b a"},
    {"CheckingUnderCheckedLastMovesBelow", 6, kAll, "a b c", "", "toggle:c",
     "will change, move c 0->2, did change | b a c"},
    // (An edit, or a check in manual order, that leaves the row in place is heard the same way.)
    {"CheckingUnderLatestCreatedUpdatesInPlace", 3, kAll, "a b c", "", "toggle:b",
     "will change, update b 1->1, did change | c b a"},
    {"CheckingUnderTheUncheckedFilterRemoves", 3, kUnchecked, "a b c", "", "toggle:b",
     "will change, delete b 1->-, did change | c a"},
    {"TheCheckedFilterGainsAndLosesRows", 3, kChecked, "a b c", "toggle:a", "toggle:c toggle:a",
     "will change, insert c -->0, did change, will change, delete a 1->-, did change | c"},
    {"AddingUnderTheUncheckedFilterInsertsAtTheTop", 3, kUnchecked, "a b", "", "new:new",
     "will change, insert new -->0, did change | new b a"},
    {"AddingUnderTheCheckedFilterShowsNothingNew", 3, kChecked, "a b", "toggle:a", "new:new",
     " | a"},
    {"AddingUnderAlphabeticalInsertsInPlace", 1, kAll, "Apple cherry banana", "", "new:Blueberry",
     "will change, insert Blueberry -->1, did change | Apple Blueberry banana cherry"},
    {"EditingUnderAlphabeticalMoves", 1, kAll, "a b c", "", "edit:a:z",
     "will change, move z 0->2, did change | b c z"},
    {"DeletingRemovesTheRow", 3, kAll, "a b c", "", "delete:b",
     "will change, delete b 1->-, did change | c a"},
    // Moving and copying reach the target's screen too: the moved item leaves here, and both are
    // the newest there.
    {"MovingAwayRemovesTheRow", 3, kAll, "a b", "", "move:a",
     "will change, delete a 1->-, did change | b"},
    {"MovesAndCopiesArriveOnTheTargetsScreen", 3, kAll, "a b", "", "showOther move:a copy:b",
     "will change, insert a -->0, did change, will change, insert b -->0, did change | b a"},
    {"DeleteCheckedRemovesEachCheckedRow", 3, kAll, "a b c d", "toggle:a toggle:c",
     "deleteChecked:all", "will change, delete c 1->-, delete a 3->-, did change | d b"},
    {"ASortModeChoiceChangesNothingUntilANewController", 3, kAll, "b a c", "", "mode:1 process",
     " | c a b"},
    {"AnEditDuringAnEventIsReportedWhenItEnds", 3, kAll, "a b", "", "later:a:A",
     "will change, update A 1->1, did change | b A"},
    // A drag's renumbering made while the screen had let go of the controller is not heard
    // after it takes it back, nor is the save that carries it; later changes are heard again.
    {"ADragWithTheDelegateDetachedIsNotHeard", 7, kAll, "d c b a", "",
     "detach drag:all:3:0 attach process save toggle:d",
     "will change, update d 0->0, did change | d a b c"},
    // With it attached, every renumbered row would be reported as a move.
    {"ADragWithTheDelegateAttachedIsHeardAsMoves", 7, kAll, "d c b a", "", "drag:all:3:0 process",
     "will change, move a 0->1, move b 1->2, move c 2->3, did change | d a b c"},
};

class RowChanges : public ItemsScreenRows, public ::testing::WithParamInterface<RowCase> {};

TEST_P(RowChanges, AsTheScreenHearsThem) {
    const RowCase& c = GetParam();
    std::istringstream in(c.oldestFirst);
    chooseSortMode(list.get(), c.sortMode);
    addItems(*list, {std::istream_iterator<std::string>(in), {}});
    act(c.setUp);
    frc = controllerFor(list.get(), c.filter);
    act(c.steps);
    EXPECT_EQ(heard(recorder, *frc), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, RowChanges, ::testing::ValuesIn(kRowCases), jw::test::caseName);

}  // namespace
}  // namespace jw::model
