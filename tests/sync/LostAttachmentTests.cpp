// "Attachment lost" takes plain evidence: the folder holds the ensemble with other devices and
// no longer this one. Anything else fails the merge with its reason, keeps the attachment and
// loses nothing saved meanwhile. Attaching afresh brings a lost device back without doubling.

#include <functional>
#include <ostream>

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using ::jw::test::PrintTo;
using testing::SimulatedDevice;
using Kind = SyncError::Kind;

const CloudLayout kLayout{"MainStore"};

class Attachment : public testing::TwoDevicesTest {
  protected:
    void expectAttached(SimulatedDevice& device) {
        EXPECT_TRUE(device.ensemble().isLeeched()) << device.name;
        EXPECT_EQ(device.db->syncState(), model::SyncState::attached) << device.name;
    }

    void expectLostForGood() {
        EXPECT_EQ(device_.db->syncState(), model::SyncState::attachmentLost);
        ASSERT_TRUE(device_.db->lastSyncError());
        EXPECT_EQ(device_.db->lastSyncError()->kind, Kind::lost);
        EXPECT_FALSE(device_.ensemble().isLeeched());
        // That saves, ticks and relaunches change nothing then is the database's sync tests'.
    }

    test::InMemoryCloud elsewhere_;  // another folder
};

// What proves nothing: begun, the device saves a list (and its merge fails, or not); ended,
// the device merges and everything saved meanwhile reaches the other device. (Single failing
// calls of every kind are the convergence run's faults, which end with every device attached.)
struct Disturbance {
    const char* name;
    std::function<void(SimulatedDevice&, test::InMemoryCloud&)> begin;
    std::optional<Kind> failure;  // none: the merge goes through
};

class ProvesNothing : public Attachment, public ::testing::WithParamInterface<Disturbance> {};

const Disturbance kDisturbances[] = {
    {"Unmounted", [](SimulatedDevice& d, test::InMemoryCloud&) { d.view->setUnavailable(true); },
     Kind::unavailable},
    {"EmptiedForAMoment",
     [](SimulatedDevice& d, test::InMemoryCloud& elsewhere) {
         // The same folder, seen empty (a sync client that has not filled it yet).
         elsewhere.setLocation(d.recorder->location());
         d.recorder->redirect(elsewhere.deviceView(d.name));
     },
     Kind::notRecognised},
    {"AnotherEmptyFolder",
     [](SimulatedDevice& d, test::InMemoryCloud& elsewhere) {
         d.recorder->redirect(elsewhere.deviceView(d.name));
     },
     Kind::otherFolder},
    {"AnotherFolderOfOtherDevices",
     [](SimulatedDevice& d, test::InMemoryCloud& elsewhere) {
         // A folder shared by a stranger: its ensemble, its device, not this one.
         elsewhere.view(d.name)->plantFile(kLayout.ensembleFile(), ensembleFileJson("stranger"));
         DeviceRegistration stranger;
         stranger.device = store::GlobalID::generate().toString();
         stranger.ensemble = "stranger";
         elsewhere.view(d.name)->plantFile(kLayout.registrationFile(stranger.device),
                                           stranger.toJson());
         d.recorder->redirect(elsewhere.deviceView(d.name));
     },
     Kind::otherFolder},
    {"DamagedEnsembleFile",
     [](SimulatedDevice& d, test::InMemoryCloud&) {
         d.view->plantFile(kLayout.ensembleFile(), "[]");
     },
     std::nullopt},
};

TEST_P(ProvesNothing, TheAttachmentStaysAndNothingSavedMeanwhileIsLost) {
    const auto& disturbance = GetParam();
    disturbance.begin(device_, elsewhere_);
    model::newList(*device_.db, "made meanwhile");
    settle();
    expectAttached(device_);
    if (disturbance.failure) {
        ASSERT_TRUE(device_.db->lastSyncError()) << "the merge failed and says why";
        EXPECT_EQ(device_.db->lastSyncError()->kind, *disturbance.failure)
            << device_.db->lastSyncError()->localizedDescription;
    } else {
        EXPECT_FALSE(device_.db->lastSyncError());
    }

    device_.view->setUnavailable(false);
    device_.recorder->redirect(device_.view);
    mergeEverywhere();
    expectAttached(device_);
    EXPECT_FALSE(device_.db->lastSyncError());
    EXPECT_EQ(testing::contents(*device_.db),
              "from device (0):\nfrom other (0):\nmade meanwhile (0):\n");
    EXPECT_EQ(testing::contents(*other_.db), testing::contents(*device_.db));
}

INSTANTIATE_TEST_SUITE_P(Attachment, ProvesNothing, ::testing::ValuesIn(kDisturbances),
                         jw::test::caseName);

TEST_F(Attachment, AFolderStartedAfreshByAnotherDeviceIsNotThisEnsemble) {
    // The user emptied the folder, and a stranger attached to it before this device looked.
    elsewhere_.setLocation(cloud_.location());
    devices_.push_back(std::make_unique<SimulatedDevice>(elsewhere_, "stranger"));
    auto& stranger = *devices_.back();
    stranger.db->sync();
    settle();
    elsewhere_.deliverAll();
    expectAttached(stranger);
    device_.recorder->redirect(elsewhere_.view("device"));
    merge(device_);
    expectLostForGood();
}

// A folder that holds others but no longer this device ends the attachment for good, until
// the user attaches afresh.
TEST_F(Attachment, AttachingAfreshBringsALostDeviceBackWithoutDoublingAnything) {
    unregister(device_, other_);
    merge(device_);
    expectLostForGood();
    expectAttached(other_);
    // While lost: a list made, one renamed, the other device's list deleted; meanwhile the
    // other device adds one.
    model::newList(*device_.db, "made while lost");
    model::renameList(*device_.db, *testing::listNamed(*device_.db, "from device"),
                      "renamed while lost");
    model::deleteList(*device_.db, *testing::listNamed(*device_.db, "from other"));
    model::newList(*other_.db, "other meanwhile");
    settle();

    // Attaching afresh while the folder is out of reach changes nothing.
    device_.view->setUnavailable(true);
    device_.db->reattach();
    settle();
    EXPECT_EQ(device_.db->syncState(), model::SyncState::attachmentLost);
    ASSERT_TRUE(device_.db->lastSyncError());
    EXPECT_EQ(device_.db->lastSyncError()->kind, Kind::unavailable);

    device_.view->setUnavailable(false);
    device_.db->reattach();
    settle();
    expectAttached(device_);
    mergeEverywhere();
    EXPECT_EQ(testing::contents(*device_.db),
              "made while lost (0):\nother meanwhile (0):\nrenamed while lost (0):\n");
    expectSameStoresEverywhere();
}

TEST_F(Attachment, AStoreDeletedWithoutItsSettingsStartsUnattachedAndAttachesAfresh) {
    const auto before = device_.deviceID();
    device_.close();
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(device_.dir.path() / (std::string("Jotwell.sqlite") + suffix));
    }
    device_.open();
    EXPECT_EQ(device_.db->syncState(), model::SyncState::notYetAttached);
    device_.db->sync();
    settle();
    expectAttached(device_);
    EXPECT_NE(device_.deviceID(), before);
    EXPECT_EQ(testing::contents(*device_.db), "from device (0):\nfrom other (0):\n");
}

}  // namespace
}  // namespace jw::sync
