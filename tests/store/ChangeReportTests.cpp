// What a context tells its change observers when it processes its pending changes: which
// objects were inserted, updated and deleted, and for updates which keys changed.

#include <map>
#include <set>

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

// Records every report, keyed by the objects' names for readable expectations.
class ChangeReports : public StoreTest {
  protected:
    ChangeReports() {
        token = context().addChangeObserver(
            [this](const ObjectsDidChange& change) { reports.push_back(change); });
    }

    static std::string nameOf(const ManagedObject& object) {
        const auto* attribute = object.entity().attribute("name");
        if (!attribute) {
            attribute = object.entity().attribute("body");
        }
        return stringOf(object.valueAt(attribute->index)).value_or("?");
    }
    std::set<std::string> names(const std::vector<std::shared_ptr<ManagedObject>>& objects) {
        std::set<std::string> out;
        for (const auto& o : objects) {
            out.insert(nameOf(*o));
        }
        return out;
    }
    std::map<std::string, std::bitset<64>> updates(const ObjectsDidChange& change) {
        std::map<std::string, std::bitset<64>> out;
        for (const auto& u : change.updated) {
            EXPECT_EQ(out.count(nameOf(*u.object)), 0u) << "reported twice";
            out[nameOf(*u.object)] = u.changedKeys;
        }
        return out;
    }
    std::bitset<64> attributeBit(const std::string& entity, const std::string& attribute) {
        return std::bitset<64>().set(
            model->requireEntity(entity).requireAttribute(attribute).index);
    }
    std::bitset<64> relationshipBit(const RelationshipDescription& r) {
        return std::bitset<64>().set(32 + r.index);
    }

    // Saves the setup and forgets its reports.
    void saveAndForget() {
        context().save();
        reports.clear();
    }

    std::vector<ObjectsDidChange> reports;
    ManagedObjectContext::ObserverToken token;
};

TEST_F(ChangeReports, InsertsAreReportedOnceWhenPendingChangesAreProcessed) {
    auto list = newList("Home");
    newItem(list.get(), "Milk");
    EXPECT_TRUE(reports.empty()) << "nothing is reported before processing";
    context().processPendingChanges();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(names(reports[0].inserted), (std::set<std::string>{"Home", "Milk"}));
    EXPECT_TRUE(reports[0].updated.empty()) << "a new object's own edits are part of its insertion";
    EXPECT_TRUE(reports[0].deleted.empty());

    context().processPendingChanges();
    EXPECT_EQ(reports.size(), 1u) << "nothing new, nothing reported";
}

TEST_F(ChangeReports, AnUpdateNamesTheAttributesThatChanged) {
    auto list = newList("Home");
    saveAndForget();
    list->setValue("sortNumber", integer(4));
    list->setValue("themeKey", text("ocean"));
    context().processPendingChanges();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(
        updates(reports[0]),
        (std::map<std::string, std::bitset<64>>{
            {"Home", attributeBit("List", "sortNumber") | attributeBit("List", "themeKey")}}));

    list->setValue("themeKey", text("ocean"));
    context().processPendingChanges();
    EXPECT_EQ(reports.size(), 1u) << "setting the same value is no change";

    list->setValue("name", text("House"));
    context().processPendingChanges();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(updates(reports[1]),
              (std::map<std::string, std::bitset<64>>{{"House", attributeBit("List", "name")}}))
        << "only what changed since the last report";
}

TEST_F(ChangeReports, AMovedItemAndBothOfItsListsAreReported) {
    auto home = newList("Home");
    auto work = newList("Work");
    auto pens = newItem(home.get(), "Pens");
    saveAndForget();

    pens->setToOne(forList, work.get());
    context().processPendingChanges();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(updates(reports[0]),
              (std::map<std::string, std::bitset<64>>{{"Pens", relationshipBit(forList)},
                                                      {"Home", relationshipBit(listItems)},
                                                      {"Work", relationshipBit(listItems)}}));
}

TEST_F(ChangeReports, AnInsertedItemReportsItsListAsUpdated) {
    auto home = newList("Home");
    saveAndForget();
    newItem(home.get(), "Milk");
    context().processPendingChanges();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(names(reports[0].inserted), std::set<std::string>{"Milk"});
    EXPECT_EQ(updates(reports[0]),
              (std::map<std::string, std::bitset<64>>{{"Home", relationshipBit(listItems)}}));
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
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(names(reports[0].deleted), (std::set<std::string>{"Home", "Milk", "Bread"}));
    EXPECT_EQ(updates(reports[0]),
              (std::map<std::string, std::bitset<64>>{{"Folder", relationshipBit(folderLists)}}));
    EXPECT_TRUE(reports[0].inserted.empty());

    context().deleteObject(*folder);
    context().processPendingChanges();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(names(reports[1].deleted), std::set<std::string>{"Folder"});
    EXPECT_EQ(updates(reports[1]),
              (std::map<std::string, std::bitset<64>>{{"Work", relationshipBit(inFolder)}}))
        << "the nullified list";
}

TEST_F(ChangeReports, AnObjectEditedThenDeletedIsReportedOnlyAsDeleted) {
    auto home = newList("Home");
    saveAndForget();
    home->setValue("sortNumber", integer(3));
    context().deleteObject(*home);
    auto brief = newList("Brief");
    context().deleteObject(*brief);
    context().processPendingChanges();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].updated.empty());
    EXPECT_TRUE(reports[0].inserted.empty()) << "an insert undone before any report";
    EXPECT_EQ(names(reports[0].deleted).count("Home"), 1u);
}

TEST_F(ChangeReports, ASaveReportsWhatIsPendingFirst) {
    auto home = newList("Home");
    context().save();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(names(reports[0].inserted), std::set<std::string>{"Home"});
    context().save();
    EXPECT_EQ(reports.size(), 1u);
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
    ASSERT_EQ(reports.size(), 1u);
    context().processPendingChanges();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(updates(reports[1]),
              (std::map<std::string, std::bitset<64>>{{"Renamed", attributeBit("List", "name")}}));
}

TEST_F(ChangeReports, ADroppedTokenStopsTheReports) {
    token.reset();
    newList("Home");
    context().processPendingChanges();
    EXPECT_TRUE(reports.empty());
}

}  // namespace
}  // namespace jw::store::test
