// Compaction: after many change files a device writes a baseline and removes its own files that
// every device still in touch has applied. A device away past the stale-device time stops
// holding that back and catches up from the baseline, keeping what it did meanwhile. No device
// removes another's files.

#include <atomic>
#include <stdexcept>

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using testing::SimulatedDevice;

const CloudLayout kLayout{"MainStore"};
constexpr auto kManyFiles = int(EnsembleTuning{}.baselineAfterFiles) + 5;

class Compaction : public testing::SharedCloudTest {
  protected:
    // `count` saves on `device`, each exported in a file of its own.
    void makeLists(SimulatedDevice& device, int count, const std::string& prefix) {
        for (int i = 0; i < count; ++i) {
            model::newList(*device.db, prefix + " " + std::to_string(i));
            settle();
        }
    }

    // Files of a device in the cloud's true state.
    std::size_t changeFilesOf(SimulatedDevice& device) {
        return filesUnder(kLayout.changesFolder(device.deviceID()) + "/");
    }
    std::size_t baselinesOf(SimulatedDevice& device) {
        return filesUnder(kLayout.baselinesFolder(device.deviceID()) + "/");
    }
    // Whether the device's files left are exactly those no baseline holds.
    void expectOnlyFilesPastTheBaseline(SimulatedDevice& device) {
        const auto folder = cloud_.files();
        const auto covered = testing::baselineCoverage(folder)[device.deviceID()];
        EXPECT_GT(covered, 0) << "a baseline holds " << device.name << "'s files";
        std::string expected, left;
        for (const auto& [path, contents] : device.recorder->changeFiles()) {
            const auto n = CloudLayout::changeFileSequence(path.substr(path.rfind('/') + 1));
            expected += n > covered ? path + "\n" : "";
            left += folder.count(path) ? path + "\n" : "";
        }
        EXPECT_EQ(left, expected) << device.name << "'s files past the baseline's " << covered;
    }

    std::size_t filesUnder(const std::string& prefix) {
        std::size_t n = 0;
        for (const auto& [path, contents] : cloud_.files()) {
            n += path.starts_with(prefix) ? 1 : 0;
        }
        return n;
    }

    static bool hasList(SimulatedDevice& device, const std::string& name) {
        return testing::listNamed(*device.db, name) != nullptr;
    }
};

TEST_F(Compaction, ABaselineReplacesTheFilesEveryDeviceHasApplied) {
    auto& a = addDevice("a");
    // b's first attach stops right after it registered; the next attaches as the same device,
    // since a stray registration would hold compaction back for good.
    auto& b = launch("b");
    std::atomic<int> cuts = 0;
    b.recorder->setAfter(
        [&](test::CloudOperation operation, const std::string& path, CloudStatus status) {
            if (operation == test::CloudOperation::write && status == CloudStatus::ok &&
                path.ends_with("/device.json") && cuts++ == 0) {
                throw std::runtime_error("stopped right after registering");
            }
        });
    for (bool attached : {false, true}) {
        b.db->sync();
        settle();
        ASSERT_EQ(b.ensemble().isLeeched(), attached);
    }
    auto& c = addDevice("c");
    makeLists(a, kManyFiles, "from a");
    makeLists(b, 3, "from b");
    ASSERT_GE(changeFilesOf(a), std::size_t(kManyFiles));
    mergeEverywhere();
    merge(a);  // now that a has heard every device has applied its files

    EXPECT_EQ(baselinesOf(a), 1u);
    expectOnlyFilesPastTheBaseline(a);
    EXPECT_LT(changeFilesOf(a), EnsembleTuning{}.baselineAfterFiles);
    EXPECT_EQ(changeFilesOf(b), 3u) << "b's files are b's to remove";
    expectSameStoresEverywhere();

    // More files later: a newer baseline, and the older one goes.
    makeLists(a, kManyFiles, "again from a");
    mergeEverywhere();
    merge(a);
    mergeEverywhere();
    EXPECT_EQ(baselinesOf(a) + baselinesOf(b) + baselinesOf(c), 1u) << "one baseline is enough";
    expectOnlyFilesPastTheBaseline(a);
    expectSameStoresEverywhere();
}

// Files a device has not applied, or may not have applied, stay; until it is away for longer
// than the stale-device time.
TEST_F(Compaction, ADeviceAwayTooLongCatchesUpFromTheBaselineKeepingItsOwnChanges) {
    auto& a = addDevice("a");
    auto& b = addDevice("b");
    auto& away = addDevice("away");
    model::newList(*away.db, "shared");
    settle();
    mergeEverywhere();

    // Away: its folder is out of reach; what it does stays in its store.
    away.view->setUnavailable(true);
    model::newList(*away.db, "made while away");
    model::renameList(*away.db, *testing::listNamed(*away.db, "shared"), "renamed while away");
    settle();
    ASSERT_GT(away.ensemble().status().changesToExport, 0);
    EXPECT_EQ(away.db->syncState(), model::SyncState::attached) << "unreachable is not lost";

    makeLists(a, kManyFiles, "from a");
    cloud_.deliverAll();
    merge(b);
    cloud_.deliverAll();
    merge(a);
    EXPECT_EQ(changeFilesOf(a), std::size_t(kManyFiles)) << "the device away needs them";
    // An I/O error reading its registration, or listing the devices folder, says nothing
    // about what it has applied: a must not take it for a device that holds nothing back.
    for (const auto& path : {kLayout.registrationFile(away.deviceID()), kLayout.devicesFolder()}) {
        a.view->setUnavailable(true, path);
        merge(a);
        EXPECT_EQ(changeFilesOf(a), std::size_t(kManyFiles)) << path;
        EXPECT_EQ(a.db->syncState(), model::SyncState::attached);
        a.view->setUnavailable(false, path);
    }

    platform_.clock().advance(EnsembleTuning{}.staleDeviceSeconds + 3600);
    merge(b);
    cloud_.deliverAll();
    merge(a);
    expectOnlyFilesPastTheBaseline(a);  // a device not seen for so long holds nothing back
    EXPECT_EQ(baselinesOf(a), 1u);

    // Back again.
    away.view->setUnavailable(false);
    cloud_.deliverAll();
    merge(away);
    EXPECT_TRUE(hasList(away, "from a 0"));
    EXPECT_TRUE(hasList(away, "from a " + std::to_string(kManyFiles - 1)));
    mergeEverywhere();
    for (auto* device : {&a, &b, &away}) {
        EXPECT_TRUE(hasList(*device, "made while away")) << device->name;
        EXPECT_TRUE(hasList(*device, "renamed while away")) << device->name;
        EXPECT_FALSE(hasList(*device, "shared")) << device->name;
    }
    expectSameStoresEverywhere();
}

TEST_F(Compaction, ALargeStoreAttachesInFilesOfABoundedSize) {
    auto& a = addDevice("a");
    auto& large = launch("large");
    auto& context = large.db->viewContext();
    auto list = std::static_pointer_cast<model::List>(context.insertNewObject("List"));
    list->setName("many");
    constexpr auto kItems = EnsembleTuning{}.maxRecordsPerFile + 10;
    for (std::size_t i = 0; i < kItems; ++i) {
        auto item = std::static_pointer_cast<model::Item>(context.insertNewObject("Item"));
        item->setBody("item " + std::to_string(i));
        item->setForList(list.get());
    }
    context.save();
    large.db->sync();
    settle();

    // The list and its items, one record each, make two files.
    ASSERT_EQ(large.recorder->changeFiles().size(), 2u);
    for (const auto& [path, contents] : large.recorder->changeFiles()) {
        EXPECT_LE(decodeChangeFile(contents, testing::jotwellModel()->version()).changes.size(),
                  EnsembleTuning{}.maxRecordsPerFile)
            << path;
    }
    cloud_.deliverAll();
    merge(a);
    auto lists = a.db->viewContext().executeFetchRequest(model::listsFetchRequest(false));
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(std::static_pointer_cast<model::List>(lists[0])->listItems().size(), kItems);
}

// Each device has its own copy of the folder, which the file-sync service brings in step only
// now and then; compaction decides on those copies, yet at every moment the folder itself
// (what the service holds) keeps what a newcomer needs to rebuild everything.
class CompactionOnOwnCopies : public Compaction {
  protected:
    CompactionOnOwnCopies() {
        tuning_.baselineAfterFiles = 10;
        tuning_.objectsPerBaselineFile = 1'000'000;
    }
};

TEST_F(CompactionOnOwnCopies, AGapInAnotherDevicesFilesIsClosedFromABaselineOrWaitedFor) {
    auto& a = addDevice("a");
    auto& d = addDevice("d");
    // d is away past the stale time while a's files pile up, are held by a's baseline and
    // removed.
    d.view->setOffline(true);
    platform_.clock().advance(tuning_.staleDeviceSeconds + 3600);
    makeLists(a, 12, "from a");
    merge(a);
    merge(a);
    ASSERT_EQ(baselinesOf(a), 1u);
    ASSERT_LT(changeFilesOf(a), 12u);
    const auto firstGone =
        kLayout.changesFolder(a.deviceID()) + "/" + CloudLayout::changeFileName(2);
    ASSERT_FALSE(cloud_.files().count(firstGone));

    // Back: the files' removal arrives, along with a cut-short copy of one of them, before d
    // can see the baseline.
    d.view->setOffline(false);
    d.view->setUnavailable(true, kLayout.baselinesFolder(a.deviceID()));
    cloud_.deliverAll();
    d.view->plantFile(firstGone, "{\"jotwell-sync\"");
    merge(d);
    EXPECT_FALSE(hasList(d, "from a 0"));
    const auto waiting = d.ensemble().status();
    EXPECT_GT(waiting.filesToImport, 0) << "it says it waits";
    EXPECT_GT(waiting.filesNotArrived, 0);
    EXPECT_EQ(d.db->syncState(), model::SyncState::attached);

    d.view->setUnavailable(false, kLayout.baselinesFolder(a.deviceID()));
    merge(d);
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(hasList(d, "from a " + std::to_string(i))) << i;
    }
    const auto caughtUp = d.ensemble().status();
    EXPECT_EQ(caughtUp.filesToImport, 0);
    EXPECT_EQ(caughtUp.filesNotArrived, 0);
    mergeEverywhere();
    expectSameStoresEverywhere();
}

}  // namespace
}  // namespace jw::sync
