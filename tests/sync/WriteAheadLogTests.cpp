// Who copies the store's write-ahead log back into the store file. A save to an attached store
// never does (the main thread would wait for it); the engine does after the merge the save
// starts, whether the cloud answers or not, and after an import, which checkpoints seldom
// while it applies files.

#include <filesystem>
#include <string>

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using testing::SimulatedDevice;

class WriteAheadLog : public testing::TwoDevicesTest {
  protected:
    // Several MB of new rows saved straight from the view context: no merge starts.
    static void saveLongItems(SimulatedDevice& device, const std::string& tag) {
        auto list = testing::listNamed(*device.db, "from device");
        auto& context = device.db->viewContext();
        for (int i = 0; i < 4000; ++i) {
            auto item = std::static_pointer_cast<model::Item>(context.insertNewObject("Item"));
            item->setBody(tag + std::to_string(i) + std::string(600, 'x'));
            item->setForList(list.get());
        }
        context.save();
    }
    static std::uintmax_t storeBytes(const SimulatedDevice& device) {
        return std::filesystem::file_size(device.storeFile());
    }
    static constexpr std::uintmax_t kSavedBytes = 2'000'000;  // well under what is saved
};

TEST_F(WriteAheadLog, SavesLeaveItToTheEngineWhichCopiesItBackOnlineOrNot) {
    for (const bool online : {true, false}) {
        SCOPED_TRACE(online ? "online" : "cloud unavailable");
        device_.view->setUnavailable(!online);
        const auto before = storeBytes(device_);
        saveLongItems(device_, online ? "online " : "offline ");
        EXPECT_EQ(storeBytes(device_), before) << "the save copied the log back";
        merge(device_);
        EXPECT_GT(storeBytes(device_), before + kSavedBytes) << "the engine left the log as it was";
    }

    device_.view->setUnavailable(false);
    merge(device_);
    cloud_.deliverAll();
    const auto before = storeBytes(other_);
    merge(other_);
    EXPECT_GT(storeBytes(other_), before + kSavedBytes) << "the import left its log";
    expectSameStoresEverywhere();
}

}  // namespace
}  // namespace jw::sync
