// Attaching writes the store as the device's first files straight from its rows, nothing of it
// staged for export; when those files cannot all be written, the attachment stands and the
// next merge sends the store whole, with what was saved since after it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SyncTestSupport.h"
#include "src/model/Operations.h"

namespace jw::sync {
namespace {

class Attach : public testing::SharedCloudTest {};

// Each case: which write of a first file fails (0: none), for a store of three lists written
// two records a file.
TEST_F(Attach, FirstFilesThatCannotBeWrittenGoOutAtTheNextMerge) {
    tuning_.maxRecordsPerFile = 2;
    auto& keeper = addDevice("keeper");
    std::vector<std::string> outcomes, expected;
    for (const int failing : {0, 1, 2}) {
        const auto name = "away " + std::to_string(failing);
        auto& away = launch(name);
        for (const char* list : {"a", "b", "c"}) {
            model::newList(*away.db, name + list);
        }
        int writes = 0;
        away.recorder->setBefore([&](test::CloudOperation operation, const std::string& path) {
            if (operation == test::CloudOperation::write && path.ends_with(".jwchanges") &&
                ++writes == failing) {
                away.view->failNext(operation, 1, CloudStatus::unavailable);
            }
        });
        away.db->sync();
        settle();
        away.recorder->setBefore(nullptr);
        const auto attached = away.ensemble().status();
        model::newList(*away.db, name + " saved since");
        settle();
        mergeEverywhere();
        outcomes.push_back(name + ": attached=" + std::to_string(attached.leeched) +
                           " staged=" + std::to_string(attached.changesToExport) + "\n" +
                           testing::contents(*keeper.db));
        expected.push_back(name + ": attached=1 staged=0\n" + testing::contents(*away.db));
    }
    EXPECT_EQ(outcomes, expected);
}

}  // namespace
}  // namespace jw::sync
