// What a context tells its change observers at the end of each run-loop event: which objects
// were inserted, updated and deleted, and for updates which keys changed.

#include <functional>

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

class ChangeReports;
using Step = std::function<void(ChangeReports&)>;
struct ReportCase {
    const char* name;
    std::vector<Step> steps;  // each one run-loop event
    const char* expected;     // the reports, "; "-separated
};
void PrintTo(const ReportCase& c, std::ostream* out) {
    *out << c.name;
}

// A saved Folder holding Home (with Pens and Milk) and Work; every report is printed as
// describeChanges does: "+Home +Milk ~Home[listItems] -Bread".
class ChangeReports : public StoreTest, public ::testing::WithParamInterface<ReportCase> {
  public:
    ChangeReports() {
        folderObject = context().insertNewObject("Folder");
        folderObject->setValue("name", text("Folder"));
        home = newList("Home");
        work = newList("Work", 1);
        home->setToOne(inFolder, folderObject.get());
        work->setToOne(inFolder, folderObject.get());
        pens = newItem(home.get(), "Pens");
        newItem(home.get(), "Milk");
        context().save();
        observe();
    }
    void observe() {
        token = context().addChangeObserver([this](const ObjectsDidChange& change) {
            reports += (reports.empty() ? "" : "; ") + describeChanges({change});
        });
    }

    std::shared_ptr<ManagedObject> folderObject, home, work, pens;
    std::string reports;
    ManagedObjectContext::ObserverToken token, renamer;
};

TEST_P(ChangeReports, AreMadeOncePerRunLoopEvent) {
    for (const auto& step : GetParam().steps) {
        platform.loop().post([&] { step(*this); });
        platform.loop().drain();
    }
    platform.loop().post([] {});  // an event without changes reports nothing
    platform.loop().drain();
    EXPECT_EQ(reports, GetParam().expected);
}

const ReportCase kReportCases[] = {
    // A new object's own edits are part of its insertion.
    {"Inserts",
     {[](ChangeReports& t) {
         auto list = t.newList("New");
         t.newItem(list.get(), "Eggs");
         list->setValue("sortNumber", integer(3));
     }},
     "+Eggs +New"},
    {"UpdatesNameTheKeysThatChanged",
     {[](ChangeReports& t) {
          t.home->setValue("sortNumber", integer(4));
          t.home->setValue("themeKey", text("ocean"));
      },
      [](ChangeReports& t) { t.home->setValue("themeKey", text("ocean")); },  // no change
      [](ChangeReports& t) { t.home->setValue("name", text("House")); },
      [](ChangeReports& t) { t.pens->setToOne(t.forList, t.work.get()); },
      [](ChangeReports& t) { t.newItem(t.work.get(), "Eggs"); }},
     "~Home[sortNumber,themeKey]; ~House[name]; ~House[listItems] ~Pens[forList] "
     "~Work[listItems]; +Eggs ~Work[listItems]"},
    // The folder loses a list, then the remaining list loses its folder.
    {"DeletionsWithWhatTheyCascadedTo",
     {[](ChangeReports& t) { t.context().deleteObject(*t.home); },
      [](ChangeReports& t) { t.context().deleteObject(*t.folderObject); }},
     "~Folder[lists] -Home -Milk -Pens; ~Work[inFolder] -Folder"},
    {"AnObjectEditedThenDeletedOnlyAsDeleted",
     {[](ChangeReports& t) {
         t.work->setValue("sortNumber", integer(3));
         t.context().deleteObject(*t.work);
         t.context().deleteObject(*t.newList("Brief"));  // an insert undone before any report
     }},
     "~Folder[lists] -Brief -Work"},
    {"ASaveReportsWhatIsPendingFirst",
     {[](ChangeReports& t) {
         t.newList("New");
         t.context().save();
         t.context().save();
     }},
     "+New"},
    {"EditsMadeDuringAReportComeInTheNext",
     {[](ChangeReports& t) {
         t.renamer = t.context().addChangeObserver([&t](const ObjectsDidChange&) {
             if (t.home->value("name") == text("Home")) {
                 t.home->setValue("name", text("Renamed"));
             }
         });
         t.home->setValue("sortNumber", integer(1));
     }},
     "~Home[sortNumber]; ~Renamed[name]"},
    // A container that is gone leaves nothing behind in the loop; its successor takes over.
    {"ARelaunchedContextReports",
     {[](ChangeReports& t) {
          t.folderObject = t.home = t.work = t.pens = nullptr;
          t.relaunch();
          t.observe();
      },
      [](ChangeReports& t) { t.newList("New"); }},
     "+New"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ChangeReports, ::testing::ValuesIn(kReportCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jw::store::test
