// Moving to another cloud folder loses nothing: what was saved but not yet sent goes to the new
// folder, what another device left in the old one comes along once that device moves too, and
// the devices end up equal there. A move that cannot attach to the new folder leaves the store
// attached where it was, still syncing there. Saves and the timer start nothing while a move
// runs.

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using testing::SimulatedDevice;

class MoveCloudFolder : public testing::TwoDevicesTest {
  protected:
    // Moves `device` to its view of the new folder and lets it finish; "moved" or the error.
    std::string move(SimulatedDevice& device, std::shared_ptr<test::InMemoryCloudView> view) {
        std::optional<std::string> outcome;
        device.db->moveToCloudFolder(view, [&](const std::optional<SyncError>& error) {
            outcome = error ? "failed: " + error->localizedDescription : "moved";
        });
        EXPECT_TRUE(device.db->isMovingCloudFolder());
        settle();
        newCloud_.deliverAll();
        cloud_.deliverAll();
        return outcome.value_or("not finished");
    }

    test::InMemoryCloud newCloud_;
};

TEST_F(MoveCloudFolder, EverythingOfBothDevicesArrivesInTheNewFolder) {
    // Saved here but not sent yet; made on the other device and sent to the old folder only.
    model::newList(*device_.db, "unsent");
    model::newList(*other_.db, "left in the old folder");
    settle();
    cloud_.deliverAll();

    EXPECT_EQ(move(device_, newCloud_.view("device")), "moved");
    EXPECT_EQ(device_.db->syncState(), model::SyncState::attached);
    EXPECT_FALSE(device_.db->lastSyncError());
    EXPECT_EQ(move(other_, newCloud_.view("other")), "moved");
    mergeEverywhere(&newCloud_);

    EXPECT_EQ(testing::contents(*device_.db),
              "from device (0):\nfrom other (0):\nleft in the old folder (0):\nunsent (0):\n");
    expectSameStoresEverywhere();
}

TEST_F(MoveCloudFolder, AMoveThatCannotAttachStaysWithTheOldFolderAndGoesOnSyncingThere) {
    auto unreachable = newCloud_.view("device");
    unreachable->setUnavailable(true);
    const auto outcome = move(device_, unreachable);
    EXPECT_EQ(outcome.rfind("failed: ", 0), 0u) << outcome;
    EXPECT_EQ(device_.db->syncState(), model::SyncState::attached);

    model::newList(*device_.db, "after the failed move");
    settle();
    mergeEverywhere();
    EXPECT_EQ(testing::contents(*other_.db),
              "after the failed move (0):\nfrom device (0):\nfrom other (0):\n");
    EXPECT_FALSE(device_.db->lastSyncError());
}

TEST_F(MoveCloudFolder, NothingElseStartsWhileAMoveRuns) {
    device_.db->moveToCloudFolder(newCloud_.view("device"), nullptr);
    EXPECT_THROW(device_.db->moveToCloudFolder(newCloud_.view("device"), nullptr),
                 std::logic_error);
    const int inFlight = device_.db->operationsInFlight();
    device_.db->merge();
    device_.db->sync();
    device_.db->reattach();
    model::newList(*device_.db, "saved during the move");  // saves, starts no merge
    EXPECT_EQ(device_.db->operationsInFlight(), inFlight);
    settle();
    EXPECT_FALSE(device_.db->isMovingCloudFolder());
    EXPECT_EQ(device_.db->operationsInFlight(), 0);
    move(other_, newCloud_.view("other"));
    mergeEverywhere(&newCloud_);
    EXPECT_EQ(testing::contents(*other_.db),
              "from device (0):\nfrom other (0):\nsaved during the move (0):\n");
}

}  // namespace
}  // namespace jw::sync
