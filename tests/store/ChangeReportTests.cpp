// What a context tells its change observers at the end of each run-loop event: which objects
// were inserted, updated and deleted, and for updates which keys changed.

#include <sstream>

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

using ::jw::test::PrintTo;

struct ReportCase {
    const char* name;
    const char* events;  // run's steps, each run-loop event's separated by "|"
    const char* expected;
    bool renameHomeWhenTold = false;  // an observer edits while it is told
};
// A saved Folder holding Home (with Pens and Milk) and Work; every report is printed as
// describeChanges does, "+Home +Milk ~Home[listItems] -Bread", "; "-separated.
class ChangeReports : public StoreTest, public ::testing::WithParamInterface<ReportCase> {
  public:
    ChangeReports() {
        run("folder Folder; list Home; list Work 1; link Home inFolder Folder; link Work inFolder "
            "Folder; add Pens "
            "Home; add Milk Home; save");
        observe();
    }
    void relaunch() override {
        StoreTest::relaunch();
        observe();
    }
    void observe() {
        token = context().addChangeObserver([this](const ObjectsDidChange& change) {
            reports += (reports.empty() ? "" : "; ") + describeChanges({change});
        });
        renamer = context().addChangeObserver([this](const ObjectsDidChange&) {
            if (GetParam().renameHomeWhenTold) {
                run("set Home name Renamed");  // once: the same name again changes nothing
            }
        });
    }

    std::string reports;
    ManagedObjectContext::ObserverToken token, renamer;
};

TEST_P(ChangeReports, AreMadeOncePerRunLoopEvent) {
    std::istringstream events(GetParam().events);
    for (std::string event; std::getline(events, event, '|');) {
        platform.loop().post([&] { EXPECT_EQ(run(event), ""); });
        platform.loop().drain();
    }
    platform.loop().post([] {});  // an event without changes reports nothing
    platform.loop().drain();
    EXPECT_EQ(reports, GetParam().expected);
}

const ReportCase kReportCases[] = {
    // A new object's own edits are part of its insertion.
    {"Inserts", "list New; add Eggs New; set New sortNumber 3", "+Eggs +New"},
    {"UpdatesNameTheKeysThatChanged",
     "set Home sortNumber 4; set Home themeKey ocean | set Home themeKey ocean | set Home name "
     "House | move Pens Work | add Eggs Work",
     "~Home[sortNumber,themeKey]; ~House[name]; ~House[listItems] ~Pens[forList] "
     "~Work[listItems]; +Eggs ~Work[listItems]"},
    // The folder loses a list, then the remaining list loses its folder.
    {"DeletionsWithWhatTheyCascadedTo", "delete Home | delete Folder",
     "~Folder[lists] -Home -Milk -Pens; ~Work[inFolder] -Folder"},
    // An insert undone before any report is not reported at all.
    {"AnObjectEditedThenDeletedOnlyAsDeleted",
     "set Work sortNumber 3; delete Work; list Brief; delete Brief", "~Folder[lists] -Brief -Work"},
    {"ASaveReportsWhatIsPendingFirst", "list New; save", "+New"},
    {"EditsMadeDuringAReportComeInTheNext", "set Home sortNumber 1",
     "~Home[sortNumber]; ~Renamed[name]", true},
    // A container that is gone leaves nothing behind in the loop; its successor takes over.
    {"ARelaunchedContextReports", "relaunch | list New", "+New"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ChangeReports, ::testing::ValuesIn(kReportCases),
                         jw::test::caseName);

}  // namespace
}  // namespace jw::store::test
