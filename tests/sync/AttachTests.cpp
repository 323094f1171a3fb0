// Attaching writes the store as the device's first files straight from its rows; when those
// files cannot all be written, the attachment stands, the status says files are owed, and the
// next merge that can write sends the store whole, with what was saved since after it.

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

class Attach : public testing::SharedCloudTest {};

// Each case: from which write of a first file on writes fail for a while (0: none), for a
// store of three lists written two records a file.
TEST_F(Attach, FirstFilesThatCannotBeWrittenGoOutAtTheNextMerge) {
    tuning_.maxRecordsPerFile = 2;
    auto& keeper = addDevice("keeper");
    std::vector<std::string> outcomes, expected;
    for (const int failing : {0, 1, 2}) {
        const auto name = "away " + std::to_string(failing);
        auto& away = launch(name);
        // From the failing one on, every write of a change file fails until the folder is
        // writable again: the merges after the attach cannot send the store either.
        int writes = 0;
        away.recorder->setBefore([&](test::CloudOperation operation, const std::string& path) {
            if (operation == test::CloudOperation::write && path.ends_with(".jwchanges") &&
                failing > 0 && ++writes >= failing) {
                away.view->failNext(operation, 1, CloudStatus::unavailable);
            }
        });
        // A save starts the attach, so the lists are made once the failures are set up.
        for (const char* list : {"a", "b", "c"}) {
            model::newList(*away.db, name + list);
        }
        away.db->sync();
        settle();
        const auto attached = away.ensemble().status();
        away.recorder->setBefore(nullptr);
        model::newList(*away.db, name + " saved since");
        settle();
        mergeEverywhere();
        outcomes.push_back(name + ": attached=" + std::to_string(attached.leeched) +
                           " owed=" + std::to_string(attached.filesToExport > 0) + "\n" +
                           testing::contents(*keeper.db));
        expected.push_back(name + ": attached=1 owed=" + std::to_string(failing > 0) + "\n" +
                           testing::contents(*away.db));
    }
    EXPECT_EQ(outcomes, expected);
}

}  // namespace
}  // namespace jw::sync
