// What a device saved goes out in change files numbered one after another, each written once
// whole; an export that was cut short is written again under the same number, also when an
// earlier version of the program left it.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "SyncTestSupport.h"
#include "platform/sync/ChangeFile.h"
#include "src/model/Entities.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"

namespace jw::sync {
namespace {

using testing::SimulatedDevice;

class Export : public testing::SharedCloudTest {
  protected:
    // Files this device wrote, by number, decoded.
    std::map<std::int64_t, ChangeFile> filesOf(SimulatedDevice& device) {
        std::map<std::int64_t, ChangeFile> files;
        for (const auto& [path, contents] : device.recorder->changeFiles()) {
            auto file = decodeChangeFile(contents, testing::jotwellModel()->version());
            files[file.header.sequence] = std::move(file);
        }
        return files;
    }

    bool mentions(const ChangeFile& file, const std::string& text) {
        for (const auto& change : file.changes) {
            if (change.toJson().dump().find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(Export, AnExportAnEarlierVersionLeftCutShortIsFinishedUnderItsNumber) {
    auto& a = addDevice("a");
    auto& b = addDevice("b");
    const auto written = filesOf(a).size();

    // An earlier version marked a file's records with its number, then stopped before
    // writing it: the records wait, marked, and the next number is already taken.
    a.ensemble().waitUntilIdle();
    {
        auto& context = a.db->viewContext();
        auto list = std::static_pointer_cast<model::List>(context.insertNewObject("List"));
        list->setName("left behind");
        context.save();  // saved, not merged: the record waits
    }
    const auto number = std::int64_t(written) + 1;
    const auto storeFile = a.storeFile();
    a.close();  // the new version starts on what the earlier one left
    {
        store::SqliteDatabase db(storeFile);
        db.execute("UPDATE \"_sync_pending\" SET \"file\" = " + std::to_string(number));
        db.execute("UPDATE \"_sync_state\" SET \"value\" = '" + std::to_string(number + 1) +
                   "' WHERE \"key\" = 'nextFile'");
    }
    a.open();

    model::newList(*a.db, "made later");  // saves and merges
    settle();
    const auto files = filesOf(a);
    ASSERT_TRUE(files.contains(number));
    EXPECT_TRUE(mentions(files.at(number), "left behind"));
    EXPECT_FALSE(mentions(files.at(number), "made later"));
    ASSERT_TRUE(files.contains(number + 1)) << "the next file follows the unfinished one";
    EXPECT_TRUE(mentions(files.at(number + 1), "made later"));

    mergeEverywhere();
    std::set<std::string> names;
    for (const auto& object :
         b.db->viewContext().executeFetchRequest(model::listsFetchRequest(false))) {
        names.insert(std::static_pointer_cast<model::List>(object)->name().value_or(""));
    }
    EXPECT_TRUE(names.contains("left behind"));
    EXPECT_TRUE(names.contains("made later"));
}

}  // namespace
}  // namespace jw::sync
