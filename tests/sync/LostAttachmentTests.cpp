// When the cloud folder definitely no longer holds this store's ensemble (the folder was
// deleted, or this device's registration is gone), the attachment ends for good: isLeeched()
// becomes false and stays so, across launches, and the database reports "attachment lost".
// What proves nothing (a folder out of reach, a read that fails, a damaged ensemble file)
// fails the merge and leaves the attachment as it was. Nor does another device's first
// attach, made before it could see this one's, end anything.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SyncTestSupport.h"
#include "platform/sync/CloudLayout.h"
#include "src/model/Entities.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"

namespace jw::sync {
namespace {

using testing::SimulatedDevice;

const CloudLayout kLayout{"MainStore"};

class LostAttachment : public ::testing::Test {
  protected:
    LostAttachment() : device_(std::make_unique<SimulatedDevice>(cloud_, "device")) {
        device_->db->sync();
        settle();
    }

    ~LostAttachment() override {
        if (other_) {
            other_->close();
        }
        device_->close();
    }

    void settle() {
        std::vector<SimulatedDevice*> all{device_.get()};
        if (other_) {
            all.push_back(other_.get());
        }
        testing::runUntilQuiet(platform_, all);
    }

    void merge(SimulatedDevice& device) {
        device.db->merge();
        settle();
    }

    bool mergeFailed() {
        return testing::anyLineContains(platform_.logLines(), "CloudDB: merge error");
    }

    std::vector<std::string> listNames(SimulatedDevice& device) {
        std::vector<std::string> names;
        for (const auto& object :
             device.db->viewContext().executeFetchRequest(model::listsFetchRequest(false))) {
            names.push_back(std::static_pointer_cast<model::List>(object)->name().value_or(""));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void expectStillAttached() {
        EXPECT_TRUE(device_->ensemble().isLeeched());
        EXPECT_EQ(device_->db->syncState(), model::SyncState::attached);
    }

    void expectLostForGood() {
        EXPECT_FALSE(device_->ensemble().isLeeched());
        EXPECT_EQ(device_->db->syncState(), model::SyncState::attachmentLost);
        EXPECT_TRUE(testing::anyLineContains(platform_.logLines(), "attachment lost"));
        // Saves and the timer no longer try anything; a relaunch remembers it.
        model::newList(*device_->db, "after the loss");
        device_->db->sync();
        platform_.loop().advance(30);
        settle();
        EXPECT_FALSE(device_->ensemble().isLeeched());
        device_->close();
        device_->open();
        EXPECT_FALSE(device_->ensemble().isLeeched());
        EXPECT_EQ(device_->db->syncState(), model::SyncState::attachmentLost);
    }

    test::ManualPlatform platform_;
    test::InMemoryCloud cloud_;
    std::unique_ptr<SimulatedDevice> device_;
    std::unique_ptr<SimulatedDevice> other_;
};

TEST_F(LostAttachment, AFolderDeletedEndsTheAttachmentForGood) {
    ASSERT_TRUE(device_->ensemble().isLeeched());
    cloud_.removeEverythingNow();
    merge(*device_);
    expectLostForGood();
}

TEST_F(LostAttachment, AFolderDeletedAndStartedAfreshByAnotherDeviceIsNotThisEnsemble) {
    cloud_.removeEverythingNow();
    other_ = std::make_unique<SimulatedDevice>(cloud_, "other");
    model::newList(*other_->db, "a fresh start");
    other_->db->sync();
    settle();
    cloud_.deliverAll();
    merge(*device_);
    expectLostForGood();
    EXPECT_TRUE(other_->ensemble().isLeeched());
}

TEST_F(LostAttachment, ItsRegistrationRemovedEndsTheAttachment) {
    const auto device = device_->deviceID();
    ASSERT_EQ(device_->view->remove(kLayout.registrationFile(device)), CloudStatus::ok);
    merge(*device_);
    expectLostForGood();
}

TEST_F(LostAttachment, AFolderOutOfReachProvesNothing) {
    device_->view->setUnavailable(true);
    model::newList(*device_->db, "made offline");
    merge(*device_);
    EXPECT_TRUE(mergeFailed());
    expectStillAttached();

    device_->view->setUnavailable(false);
    platform_.clearLog();
    merge(*device_);
    EXPECT_FALSE(mergeFailed());
    expectStillAttached();
    EXPECT_EQ(device_->ensemble().status().changesToExport, 0) << "what waited went out";
}

TEST_F(LostAttachment, FailingReadsAndChecksProveNothing) {
    for (auto operation : {test::CloudOperation::read, test::CloudOperation::checkRoot,
                           test::CloudOperation::list}) {
        platform_.clearLog();
        device_->view->failNext(operation, 1, CloudStatus::unavailable);
        merge(*device_);
        EXPECT_TRUE(mergeFailed()) << int(operation);
        expectStillAttached();
    }
}

TEST_F(LostAttachment, ADamagedEnsembleFileProvesNothing) {
    for (const char* contents : {"", "{\"jotwell-ensemble\": 1", "[]"}) {
        cloud_.plantFile(kLayout.ensembleFile(), contents);
        platform_.clearLog();
        merge(*device_);
        EXPECT_TRUE(mergeFailed()) << contents;
        expectStillAttached();
    }
}

TEST_F(LostAttachment, TwoDevicesAttachingBeforeEitherSeesTheOtherStayAttachedAndMeet) {
    // The first attach of each makes an ensemble file; only one of the two can stay.
    cloud_.removeEverythingNow();
    device_->close();
    device_ = std::make_unique<SimulatedDevice>(cloud_, "first");
    other_ = std::make_unique<SimulatedDevice>(cloud_, "second");
    model::newList(*device_->db, "from the first");
    model::newList(*other_->db, "from the second");
    device_->db->sync();
    other_->db->sync();
    settle();
    ASSERT_TRUE(device_->ensemble().isLeeched());
    ASSERT_TRUE(other_->ensemble().isLeeched());

    for (int round = 0; round < 3; ++round) {
        cloud_.deliverAll();
        merge(*device_);
        merge(*other_);
    }
    EXPECT_TRUE(device_->ensemble().isLeeched());
    EXPECT_TRUE(other_->ensemble().isLeeched());
    const std::vector<std::string> both = {"from the first", "from the second"};
    EXPECT_EQ(listNames(*device_), both);
    EXPECT_EQ(listNames(*other_), both);
}

}  // namespace
}  // namespace jw::sync
