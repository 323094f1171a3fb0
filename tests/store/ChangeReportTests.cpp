// What a context tells its change observers when it processes its pending changes: which
// objects were inserted, updated and deleted, and for updates which keys changed.

#include <map>
#include <set>

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

// Records every report and prints each as one line: "+Home +Milk ~Home[listItems] -Bread",
// inserted, then updated with the keys that changed, then deleted, each by name.
class ChangeReports : public StoreTest {
  protected:
    ChangeReports() {
        token = context().addChangeObserver([this](const ObjectsDidChange& change) {
            reports.push_back(describeChanges({change}));
        });
    }

    // The reports since the last call, "; "-separated.
    std::string taken() {
        std::string text;
        for (const auto& report : reports) {
            text += (text.empty() ? "" : "; ") + report;
        }
        reports.clear();
        return text;
    }
    // Saves the setup and forgets its reports.
    void saveAndForget() {
        context().save();
        reports.clear();
    }

    std::vector<std::string> reports;
    ManagedObjectContext::ObserverToken token;
};

TEST_F(ChangeReports, InsertsAreReportedOnceWhenPendingChangesAreProcessed) {
    auto list = newList("Home");
    newItem(list.get(), "Milk");
    EXPECT_EQ(taken(), "") << "nothing is reported before processing";
    context().processPendingChanges();
    context().processPendingChanges();  // nothing new, nothing reported
    // A new object's own edits are part of its insertion.
    EXPECT_EQ(taken(), "+Home +Milk");
}

TEST_F(ChangeReports, UpdatesNameTheKeysThatChangedSinceTheLastReport) {
    auto home = newList("Home");
    auto work = newList("Work");
    auto pens = newItem(home.get(), "Pens");
    saveAndForget();
    home->setValue("sortNumber", integer(4));
    home->setValue("themeKey", text("ocean"));
    context().processPendingChanges();
    home->setValue("themeKey", text("ocean"));  // the same value is no change
    context().processPendingChanges();
    home->setValue("name", text("House"));
    context().processPendingChanges();
    pens->setToOne(forList, work.get());
    context().processPendingChanges();
    newItem(work.get(), "Milk");
    context().processPendingChanges();
    EXPECT_EQ(taken(),
              "~Home[sortNumber,themeKey]; ~House[name]; "
              "~House[listItems] ~Pens[forList] ~Work[listItems]; +Milk ~Work[listItems]");
}

TEST_F(ChangeReports, DeletionsAreReportedWithWhatTheyCascadedTo) {
    auto folder = context().insertNewObject("Folder");
    folder->setValue("name", text("Folder"));
    auto home = newList("Home");
    home->setToOne(inFolder, folder.get());
    auto work = newList("Work");
    work->setToOne(inFolder, folder.get());
    newItem(home.get(), "Milk");
    newItem(home.get(), "Bread");
    saveAndForget();

    context().deleteObject(*home);
    context().processPendingChanges();
    context().deleteObject(*folder);
    context().processPendingChanges();
    // The folder loses a list, then the remaining list loses its folder.
    EXPECT_EQ(taken(), "~Folder[lists] -Bread -Home -Milk; ~Work[inFolder] -Folder");
}

TEST_F(ChangeReports, AnObjectEditedThenDeletedIsReportedOnlyAsDeleted) {
    auto home = newList("Home");
    saveAndForget();
    home->setValue("sortNumber", integer(3));
    context().deleteObject(*home);
    auto brief = newList("Brief");  // an insert undone before any report
    context().deleteObject(*brief);
    context().processPendingChanges();
    const auto report = taken();
    EXPECT_EQ(report.find_first_of("+~"), std::string::npos) << report;
    EXPECT_NE(report.find("-Home"), std::string::npos) << report;
}

TEST_F(ChangeReports, ASaveReportsWhatIsPendingFirst) {
    newList("Home");
    context().save();
    context().save();
    EXPECT_EQ(taken(), "+Home");
}

TEST_F(ChangeReports, ObserversHearEditsMadeDuringAReportInTheNextOne) {
    auto home = newList("Home");
    saveAndForget();
    bool renamed = false;
    auto renamer = context().addChangeObserver([&](const ObjectsDidChange&) {
        if (!renamed) {
            renamed = true;
            home->setValue("name", text("Renamed"));
        }
    });
    home->setValue("sortNumber", integer(1));
    context().processPendingChanges();
    context().processPendingChanges();
    EXPECT_EQ(taken(), "~Home[sortNumber]; ~Renamed[name]");
}

TEST_F(ChangeReports, ADroppedTokenStopsTheReports) {
    token.reset();
    newList("Home");
    context().processPendingChanges();
    EXPECT_EQ(taken(), "");
}

}  // namespace
}  // namespace jw::store::test
