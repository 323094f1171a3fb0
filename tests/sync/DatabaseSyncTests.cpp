// The database's side of cloud sync: when it attaches, merges, retries and gives up, the
// "CloudDB: " lines it logs on the way, when it asks the lists screen for the cloud status
// intro, the 10-second sync timer, and how changes merged from other devices reach the main
// context and the screens. Everything runs on the manual clock and run loop; devices share an
// in-memory cloud folder and deliveries between them happen when a test says so.

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Paths.h"
#include "platform/store/FetchedResultsController.h"
#include "platform/sync/CloudLayout.h"
#include "platform/sync/FolderCloudFileSystem.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/ListsScreenHook.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"
#include "tests/support/InMemoryCloud.h"
#include "tests/support/ScriptableCloud.h"
#include "tests/support/TestEnvironment.h"

namespace jw::model {
namespace {

namespace fs = std::filesystem;
using test::CloudOperation;
using test::InMemoryCloud;

constexpr const char* kFlag = "cloudDBAlreadyLeeched";

class RecordingListsScreen final : public ListsScreenHook {
  public:
    void presentIntroIfNeeded() override { ++introRequests; }
    int introRequests = 0;
};

// Records what a fetched-results controller tells its screen, as "insert Bread" lines.
class RecordingScreen final : public store::FetchedResultsControllerDelegate {
  public:
    void controllerDidChangeObject(store::FetchedResultsController&, store::ManagedObject& object,
                                   const store::IndexPath*, store::ChangeType type,
                                   const store::IndexPath*) override {
        const char* kind = type == store::ChangeType::Insert   ? "insert"
                           : type == store::ChangeType::Delete ? "delete"
                           : type == store::ChangeType::Move   ? "move"
                                                               : "update";
        std::string label;
        if (object.entity().name == "Item") {
            label = static_cast<Item&>(object).body().value_or("<absent>");
        } else if (object.entity().name == "List") {
            label = static_cast<List&>(object).name().value_or("<absent>");
        }
        changes.push_back(std::string(kind) + " " + label);
    }
    std::vector<std::string> changes;
};

fs::path resourceDirectory() {
    return AppPaths::resolve(std::nullopt).resourceDirectory;
}

std::vector<std::string> itemBodies(
    const std::vector<std::shared_ptr<store::ManagedObject>>& objects) {
    std::vector<std::string> bodies;
    for (const auto& o : objects) {
        bodies.push_back(static_cast<Item&>(*o).body().value_or("<absent>"));
    }
    std::sort(bodies.begin(), bodies.end());
    return bodies;
}

std::size_t count(const std::vector<std::string>& lines, const std::string& line) {
    return std::size_t(std::count(lines.begin(), lines.end(), line));
}

class DatabaseTest : public ::testing::Test {
  protected:
    DatabaseTest() { setListsScreen(listsScreen_); }
    ~DatabaseTest() override { setListsScreen(nullptr); }

    // Device "A" keeps its flag in the standard user defaults, as the application does; every
    // other device has defaults of its own, kept across its launches.
    UserDefaults* settingsFor(const std::string& device) {
        if (device == "A") {
            return nullptr;
        }
        auto& settings = settings_[device];
        if (!settings) {
            settings = std::make_unique<UserDefaults>(fs::path());
        }
        return settings.get();
    }
    UserDefaults& flagHolder(const std::string& device) {
        auto* settings = settingsFor(device);
        return settings ? *settings : platform_.defaults();
    }
    std::optional<bool> flag(const std::string& device) {
        return flagHolder(device).boolForKey(kFlag);
    }

    fs::path dataDirectory(const std::string& device) const { return dir_.path() / device; }

    std::unique_ptr<JWDatabase> launch(const std::string& device,
                                       std::shared_ptr<sync::CloudFileSystem> cloud) {
        JWDatabase::Locations locations{dataDirectory(device), resourceDirectory()};
        locations.cloudFileSystem = std::move(cloud);
        locations.settings = settingsFor(device);
        return std::make_unique<JWDatabase>(locations);
    }
    // A launch on the shared in-memory cloud, through the device's own view.
    std::unique_ptr<JWDatabase> launchOnCloud(const std::string& device) {
        return launch(device, cloud_.deviceView(device));
    }
    std::unique_ptr<JWDatabase> launchWithoutCloud(const std::string& device) {
        return launch(device, nullptr);
    }

    // Runs what the database started to its end: the worker's work, the completions it posts
    // on the main loop, and what those start in turn.
    void settle(JWDatabase& db) {
        for (int round = 0; db.operationsInFlight() > 0; ++round) {
            if (round == 100) {
                ADD_FAILURE() << "the database's operations never finished";
                return;
            }
            db.ensemble()->waitUntilIdle();
            loop().drain();
        }
        loop().drain();
    }
    // The application becomes active and the attach and first merge complete.
    void attach(JWDatabase& db) {
        db.sync();
        settle(db);
        ASSERT_EQ(db.syncState(), SyncState::attached);
    }
    // The folder plainly no longer holds `device`: another device is registered in it and
    // `device`'s registration is gone (as when the folder was replaced).
    void removeFromFolder(JWDatabase& db) {
        auto other = launchOnCloud("remover");
        attach(*other);
        const auto me = db.ensemble()->status().device;
        cloud_.deliverAll();
        cloud_.view("remover")->remove(sync::CloudLayout{"MainStore"}.registrationFile(me));
        cloud_.deliverAll();
        other.reset();
    }
    // Saves on `from`, delivers everything, and lets `to` merge it in.
    void sendOver(JWDatabase& from, JWDatabase& to) {
        from.saveContext(false);
        settle(from);
        cloud_.deliverAll();
        to.saveContext(false);
        settle(to);
    }

    // The database's own lines (the "CloudDB: " ones and the store location) logged since the
    // last call, leaving out whatever the sync engine logs.
    std::vector<std::string> takeDatabaseLines() {
        std::vector<std::string> lines;
        for (auto& line : platform_.logLines()) {
            if (line.rfind("CloudDB: ", 0) == 0 || line.rfind("PSC location: ", 0) == 0) {
                lines.push_back(line);
            }
        }
        platform_.clearLog();
        return lines;
    }

    static std::shared_ptr<List> listNamed(JWDatabase& db, const std::string& name) {
        for (auto& o : db.viewContext().executeFetchRequest(listsFetchRequest(false))) {
            if (static_cast<List&>(*o).name() == name) {
                return std::static_pointer_cast<List>(o);
            }
        }
        return nullptr;
    }
    static std::shared_ptr<Item> itemWithBody(JWDatabase& db, const std::string& body) {
        for (auto& o :
             db.viewContext().executeFetchRequest(itemsFetchRequest(nullptr, JWListFilter::none))) {
            if (static_cast<Item&>(*o).body() == body) {
                return std::static_pointer_cast<Item>(o);
            }
        }
        return nullptr;
    }
    // Every list by name with its items ("[x] Milk"), sorted: what a user could see.
    static std::string contents(JWDatabase& db) {
        std::string text;
        for (auto& o : db.viewContext().executeFetchRequest(listsFetchRequest(false))) {
            auto& list = static_cast<List&>(*o);
            text +=
                list.name().value_or("<absent>") + " (" + std::to_string(list.doneCount()) + "):";
            std::vector<std::string> items;
            for (auto& i : db.viewContext().executeFetchRequest(
                     itemsFetchRequest(&list, JWListFilter::none))) {
                auto& item = static_cast<Item&>(*i);
                items.push_back((item.isDone() ? " [x] " : " [ ] ") +
                                item.body().value_or("<absent>"));
            }
            std::sort(items.begin(), items.end());
            for (auto& item : items) {
                text += item;
            }
            text += "\n";
        }
        return text;
    }
    std::size_t registeredDevices() {
        std::size_t n = 0;
        for (const auto& [path, contents] : cloud_.files()) {
            n += path.size() >= 12 && path.compare(path.size() - 12, 12, "/device.json") == 0;
        }
        return n;
    }

    ManualRunLoop& loop() { return platform_.loop(); }
    int introRequests() const { return listsScreen_->introRequests; }

    test::ManualPlatform platform_;
    test::TempDir dir_;
    InMemoryCloud cloud_;
    std::shared_ptr<RecordingListsScreen> listsScreen_ = std::make_shared<RecordingListsScreen>();
    std::map<std::string, std::unique_ptr<UserDefaults>> settings_;
};

// --- Creation ----------------------------------------------------------------------------------

using DatabaseCreation = DatabaseTest;

TEST_F(DatabaseCreation, LogsTheStoreLocationAndTheEnsembleButDoesNotSyncYet) {
    auto view = cloud_.view("A");
    auto db = launchOnCloud("A");

    ASSERT_NE(db->ensemble(), nullptr);
    EXPECT_EQ(db->storeURL(), dataDirectory("A") / "Jotwell.sqlite");
    EXPECT_EQ(takeDatabaseLines(),
              (std::vector<std::string>{
                  "PSC location: file://" + (dataDirectory("A") / "Jotwell.sqlite").string(),
                  "CloudDB: setup begin",
                  "CloudDB: setup end " + db->ensemble()->description(),
              }));
    EXPECT_EQ(db->ensemble()->ensembleIdentifier(), "MainStore");
    // Nothing is attached, merged or scheduled before the first sync.
    EXPECT_EQ(view->calls(CloudOperation::checkRoot) + view->calls(CloudOperation::write) +
                  view->calls(CloudOperation::list) + view->calls(CloudOperation::read),
              0u);
    EXPECT_EQ(loop().activeTimerCount(), 0);
    EXPECT_EQ(db->syncTimer(), nullptr);
    EXPECT_EQ(db->operationsInFlight(), 0);
    EXPECT_FALSE(flag("A").has_value());
    EXPECT_EQ(db->syncState(), SyncState::notYetAttached);
}

TEST_F(DatabaseCreation, SilencesTheSyncEngine) {
    sync::setCurrentLoggingLevel(2);  // as chatty as it gets, until the database is made
    auto db = launchOnCloud("A");
    attach(*db);
    for (const auto& line : platform_.logLines()) {
        EXPECT_NE(line.rfind("sync: ", 0), 0u) << "the engine still logs: " << line;
    }
}

TEST_F(DatabaseCreation, TheStoreLocationIsAnAbsoluteFileURL) {
    // A data folder given relative to the working directory, with a space and a non-ASCII
    // letter in its name.
    const fs::path folder = fs::weakly_canonical(dir_.path()) / "My Lists \u00e4";
    JWDatabase::Locations locations{fs::relative(folder, fs::current_path()), resourceDirectory()};
    ASSERT_TRUE(locations.dataDirectory.is_relative());
    JWDatabase db(locations);

    const auto lines = takeDatabaseLines();
    ASSERT_FALSE(lines.empty());
    const auto parent = folder.parent_path().string();
    EXPECT_EQ(lines.front(),
              "PSC location: file://" + parent + "/My%20Lists%20%C3%A4/Jotwell.sqlite");
}

TEST_F(DatabaseCreation, WithoutACloudThereIsNoEnsembleAndSyncStaysOff) {
    auto db = launchWithoutCloud("A");
    EXPECT_EQ(db->ensemble(), nullptr);
    EXPECT_EQ(takeDatabaseLines(),
              (std::vector<std::string>{
                  "PSC location: file://" + (dataDirectory("A") / "Jotwell.sqlite").string(),
                  "CloudDB: setup begin",
                  "CloudDB: setup end nil",
              }));

    db->sync();
    EXPECT_EQ(takeDatabaseLines(), (std::vector<std::string>{"CloudDB: Sync called",
                                                             "CloudDB: no ensembles instance yet",
                                                             "CloudDB: Sync call done"}));
    EXPECT_EQ(loop().activeTimerCount(), 0);
    EXPECT_EQ(db->syncState(), SyncState::notYetAttached);

    // Saves still write the store, quietly; attaching and merging do nothing at all.
    ASSERT_NE(newList(*db, "Groceries"), nullptr);
    db->leech();
    db->merge();
    loop().advance(60);
    EXPECT_TRUE(takeDatabaseLines().empty());
    EXPECT_EQ(db->operationsInFlight(), 0);
    EXPECT_EQ(introRequests(), 0);
    EXPECT_FALSE(flag("A").has_value());

    db->saveContext(true);
    EXPECT_EQ(takeDatabaseLines(),
              std::vector<std::string>{"CloudDB: willResignActive so wont bother with sync"});

    db = launchWithoutCloud("A");
    EXPECT_NE(listNamed(*db, "Groceries"), nullptr);
}

// --- First launch with the cloud available -----------------------------------------------------

using DatabaseFirstLaunch = DatabaseTest;

TEST_F(DatabaseFirstLaunch, SyncStartsTheTimerAttachesAndMergesAtOnce) {
    newList(*launchWithoutCloud("A"), "Made before attaching");
    auto gate = std::make_shared<test::ScriptableCloud>(cloud_.deviceView("A"));
    auto db = launch("A", gate);
    test::OpenGateAtExit opener{*gate};  // before the database closes, whatever happens
    takeDatabaseLines();

    db->sync();
    EXPECT_EQ(takeDatabaseLines(),
              (std::vector<std::string>{"CloudDB: Sync called", "CloudDB: setup syncTimer",
                                        "CloudDB: Sync call done"}));
    EXPECT_EQ(loop().activeTimerCount(), 1);
    ASSERT_NE(db->syncTimer(), nullptr);
    EXPECT_TRUE(db->syncTimer()->isValid());
    EXPECT_TRUE(db->syncTimer()->repeats());
    EXPECT_DOUBLE_EQ(db->syncTimer()->interval(), 10.0);
    EXPECT_EQ(db->operationsInFlight(), 1);
    EXPECT_FALSE(flag("A").value_or(false)) << "set before the attach completed";

    // The attach completes: the flag is set and a merge follows in the same completion (held
    // at the gate, so that it cannot complete in the same drain).
    db->ensemble()->waitUntilIdle();
    gate->closeGate();
    loop().drain();
    EXPECT_EQ(takeDatabaseLines(), (std::vector<std::string>{"CloudDB: leech complete",
                                                             "CloudDB: leeched calling to merge"}));
    EXPECT_EQ(flag("A"), true);
    EXPECT_TRUE(db->ensemble()->isLeeched());
    EXPECT_EQ(db->operationsInFlight(), 1) << "no merge was started after attaching";

    gate->openGate();
    settle(*db);
    EXPECT_EQ(takeDatabaseLines(), std::vector<std::string>{"CloudDB: merge complete"});
    EXPECT_EQ(db->syncState(), SyncState::attached);
    EXPECT_EQ(introRequests(), 0);

    // The list made before attaching came along to the cloud.
    auto other = launchOnCloud("B");
    cloud_.deliverAll();
    attach(*other);
    EXPECT_NE(listNamed(*other, "Made before attaching"), nullptr);
}

TEST_F(DatabaseFirstLaunch, SyncingAgainWhileActiveKeepsTheOneTimerAndMerges) {
    auto db = launchOnCloud("A");
    attach(*db);
    const Timer* timer = db->syncTimer();
    takeDatabaseLines();

    db->sync();
    EXPECT_EQ(takeDatabaseLines(),
              (std::vector<std::string>{"CloudDB: Sync called", "CloudDB: Sync call done"}));
    EXPECT_EQ(db->syncTimer(), timer);
    EXPECT_EQ(loop().activeTimerCount(), 1);
    EXPECT_EQ(db->operationsInFlight(), 1);
    settle(*db);
    EXPECT_EQ(takeDatabaseLines(), std::vector<std::string>{"CloudDB: merge complete"});
}

TEST_F(DatabaseFirstLaunch, AnAttachAskedForTwiceRegistersTheDeviceOnce) {
    auto gate = std::make_shared<test::ScriptableCloud>(cloud_.deviceView("A"));
    auto db = launch("A", gate);
    {
        test::OpenGateAtExit opener{*gate};
        gate->closeGate();  // the first attach cannot finish before the save below
        db->sync();
        newList(*db, "Groceries");  // its save asks to attach again
        EXPECT_FALSE(db->ensemble()->isLeeched());
        EXPECT_EQ(db->operationsInFlight(), 2);
    }
    takeDatabaseLines();

    settle(*db);
    const auto lines = takeDatabaseLines();
    EXPECT_EQ(count(lines, "CloudDB: leech complete"), 2u);
    EXPECT_EQ(count(lines, "CloudDB: leeched calling to merge"), 2u);
    EXPECT_EQ(count(lines, "CloudDB: merge complete"), 2u);
    EXPECT_EQ(lines.size(), 6u);
    EXPECT_EQ(registeredDevices(), 1u);
    EXPECT_EQ(db->syncState(), SyncState::attached);
    EXPECT_EQ(introRequests(), 0);

    auto other = launchOnCloud("B");
    cloud_.deliverAll();
    attach(*other);
    EXPECT_EQ(contents(*other), "Groceries (0):\n");
}

TEST_F(DatabaseFirstLaunch, AnAttachedStoreWhoseSettingsWereLostStaysAttached) {
    {
        auto db = launchOnCloud("B");
        attach(*db);
    }
    settings_.erase("B");  // the settings file was removed; the store was kept

    auto db = launchOnCloud("B");
    EXPECT_FALSE(flag("B").has_value());
    EXPECT_EQ(db->syncState(), SyncState::attached);
    EXPECT_EQ(introRequests(), 0);
    takeDatabaseLines();

    // Finding the store attached is enough to set the flag again, with no attach and no line.
    db->leech();
    EXPECT_EQ(flag("B"), true);
    EXPECT_EQ(db->operationsInFlight(), 0);
    EXPECT_TRUE(takeDatabaseLines().empty());

    settings_.erase("B");
    db = launchOnCloud("B");
    takeDatabaseLines();
    db->merge();  // so does starting a merge
    EXPECT_EQ(flag("B"), true);
    EXPECT_EQ(db->operationsInFlight(), 1);
    settle(*db);
    EXPECT_EQ(takeDatabaseLines(), std::vector<std::string>{"CloudDB: merge complete"});
}

TEST_F(DatabaseFirstLaunch, MergingBeforeAttachingOnlySaysSo) {
    auto view = cloud_.view("A");
    auto db = launchOnCloud("A");
    takeDatabaseLines();

    db->merge();
    EXPECT_EQ(takeDatabaseLines(),
              std::vector<std::string>{"CloudDB: no Ensemble instance to merge"});
    EXPECT_EQ(db->operationsInFlight(), 0);
    EXPECT_FALSE(flag("A").has_value());
    EXPECT_EQ(view->calls(CloudOperation::checkRoot), 0u);
}

// --- First launch without a usable cloud -------------------------------------------------------

using DatabaseWithoutUsableCloud = DatabaseTest;

// The attach failed with a reason: "leech complete", then "leech error: <reason>".
void expectFailedAttach(const std::vector<std::string>& lines, std::size_t times) {
    ASSERT_EQ(lines.size(), 2 * times) << ::testing::PrintToString(lines);
    for (std::size_t i = 0; i < times; ++i) {
        EXPECT_EQ(lines[2 * i], "CloudDB: leech complete");
        EXPECT_EQ(lines[2 * i + 1].rfind("CloudDB: leech error: ", 0), 0u) << lines[2 * i + 1];
        EXPECT_GT(lines[2 * i + 1].size(), std::string("CloudDB: leech error: ").size());
    }
}

TEST_F(DatabaseWithoutUsableCloud, EverySaveAndEveryTickRetriesTheAttach) {
    auto view = cloud_.view("A");
    view->setUnavailable(true);
    auto db = launchOnCloud("A");
    takeDatabaseLines();
    db->sync();
    settle(*db);
    auto lines = takeDatabaseLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"CloudDB: Sync called", "CloudDB: setup syncTimer",
                                        "CloudDB: Sync call done"}));
    expectFailedAttach({lines.begin() + 3, lines.end()}, 1);
    EXPECT_EQ(introRequests(), 1);
    EXPECT_EQ(db->syncState(), SyncState::notYetAttached);
    EXPECT_FALSE(flag("A").value_or(false));
    EXPECT_EQ(loop().activeTimerCount(), 1) << "a failed attach must not stop the timer";

    // Each 10-second tick tries again.
    const auto attempts = view->calls(CloudOperation::checkRoot);
    loop().advance(30);
    settle(*db);
    expectFailedAttach(takeDatabaseLines(), 3);
    EXPECT_EQ(introRequests(), 4);
    EXPECT_EQ(view->calls(CloudOperation::checkRoot), attempts + 3);

    // So does each save, and the save itself is kept.
    newList(*db, "Groceries");
    settle(*db);
    expectFailedAttach(takeDatabaseLines(), 1);
    EXPECT_EQ(introRequests(), 5);
    EXPECT_EQ(db->syncState(), SyncState::notYetAttached);

    // Once the cloud is back, the next tick attaches and merges; the intro is not asked again.
    view->setUnavailable(false);
    loop().advance(10);
    settle(*db);
    EXPECT_EQ(takeDatabaseLines(), (std::vector<std::string>{"CloudDB: leech complete",
                                                             "CloudDB: leeched calling to merge",
                                                             "CloudDB: merge complete"}));
    EXPECT_EQ(introRequests(), 5);
    EXPECT_EQ(flag("A"), true);
    EXPECT_EQ(db->syncState(), SyncState::attached);

    auto other = launchOnCloud("B");
    cloud_.deliverAll();
    attach(*other);
    EXPECT_EQ(contents(*other), "Groceries (0):\n");
}

TEST_F(DatabaseWithoutUsableCloud, AMissingCloudFolderIsRetriedUntilItAppears) {
    const auto folder = dir_.path() / "Cloud";  // not there yet: a drive not mounted
    JWDatabase::Locations locations{dataDirectory("A"), resourceDirectory()};
    locations.cloudDirectory = folder;
    JWDatabase db(locations);
    ASSERT_NE(db.ensemble(), nullptr);

    db.sync();
    settle(db);
    takeDatabaseLines();
    newList(db, "Groceries");
    settle(db);
    expectFailedAttach(takeDatabaseLines(), 1);
    EXPECT_EQ(introRequests(), 2);
    EXPECT_EQ(db.syncState(), SyncState::notYetAttached);
    EXPECT_FALSE(fs::exists(folder)) << "the folder the user named must not be made";

    fs::create_directories(folder);
    loop().advance(10);
    settle(db);
    EXPECT_EQ(db.syncState(), SyncState::attached);
    EXPECT_EQ(flag("A"), true);
    EXPECT_TRUE(fs::exists(folder / "MainStore"));

    // What was saved while the folder was missing is in it now.
    auto other = launch("B", std::make_shared<sync::FolderCloudFileSystem>(folder));
    attach(*other);
    EXPECT_EQ(contents(*other), "Groceries (0):\n");
}

TEST_F(DatabaseWithoutUsableCloud, AFailedAttachWithNoListsScreenYetIsOnlyLogged) {
    setListsScreen(nullptr);
    cloud_.view("A")->setUnavailable(true);
    auto db = launchOnCloud("A");
    takeDatabaseLines();
    db->sync();
    settle(*db);
    auto lines = takeDatabaseLines();
    ASSERT_EQ(lines.size(), 5u);
    expectFailedAttach({lines.begin() + 3, lines.end()}, 1);
    EXPECT_EQ(introRequests(), 0);
    EXPECT_EQ(db->syncState(), SyncState::notYetAttached);
}

// --- The attachment lost -----------------------------------------------------------------------

using DatabaseAttachmentLost = DatabaseTest;

TEST_F(DatabaseAttachmentLost, ACloudFolderThatNoLongerHoldsTheDeviceEndsTheAttachment) {
    auto view = cloud_.view("A");
    auto db = launchOnCloud("A");
    attach(*db);
    removeFromFolder(*db);
    takeDatabaseLines();

    newList(*db, "Groceries");
    settle(*db);
    const auto lines = takeDatabaseLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "CloudDB: merge complete");
    EXPECT_EQ(lines[1].rfind("CloudDB: merge error: ", 0), 0u) << lines[1];
    EXPECT_FALSE(db->ensemble()->isLeeched());
    EXPECT_EQ(flag("A"), true) << "nothing sets the flag back";
    EXPECT_EQ(db->syncState(), SyncState::attachmentLost);

    // From now on each save asks for the intro through leech, and nothing reaches the cloud.
    const auto writes = view->calls(CloudOperation::write);
    const auto checks = view->calls(CloudOperation::checkRoot);
    const int asked = introRequests();
    newList(*db, "Hardware");
    newList(*db, "Books");
    EXPECT_EQ(takeDatabaseLines(),
              (std::vector<std::string>{"CloudDB: icloud setting changed must reinstall app",
                                        "CloudDB: icloud setting changed must reinstall app"}));
    EXPECT_EQ(introRequests(), asked + 2);
    EXPECT_EQ(db->operationsInFlight(), 0);
    loop().advance(10);
    EXPECT_EQ(db->operationsInFlight(), 0) << "a tick after the loss attached or merged";
    EXPECT_EQ(view->calls(CloudOperation::write), writes);
    EXPECT_EQ(view->calls(CloudOperation::checkRoot), checks);

    // Resigning and becoming active again: no new timer, only the intro.
    db->saveContext(true);
    takeDatabaseLines();
    const int beforeSync = introRequests();
    db->sync();
    EXPECT_EQ(takeDatabaseLines(), std::vector<std::string>{"CloudDB: Sync called"});
    EXPECT_EQ(loop().activeTimerCount(), 0);
    EXPECT_EQ(introRequests(), beforeSync + 1);

    // The saves were written all the same.
    db = launchOnCloud("A");
    EXPECT_EQ(contents(*db), "Books (0):\nGroceries (0):\nHardware (0):\n");
    EXPECT_EQ(db->syncState(), SyncState::attachmentLost) << "the loss was forgotten at relaunch";
}

TEST_F(DatabaseAttachmentLost, TheNextLaunchStartsNoTimerAndAsksForTheIntro) {
    {
        auto db = launchOnCloud("A");
        attach(*db);
        removeFromFolder(*db);
        db->saveContext(false);
        settle(*db);
        ASSERT_EQ(db->syncState(), SyncState::attachmentLost);
    }
    auto db = launchOnCloud("A");
    takeDatabaseLines();
    const int asked = introRequests();

    db->sync();
    EXPECT_EQ(takeDatabaseLines(), std::vector<std::string>{"CloudDB: Sync called"});
    EXPECT_EQ(introRequests(), asked + 1);
    EXPECT_EQ(loop().activeTimerCount(), 0);
    EXPECT_EQ(db->syncTimer(), nullptr);
    EXPECT_EQ(db->operationsInFlight(), 0);

    // A save writes the store and asks again.
    newList(*db, "Groceries");
    EXPECT_EQ(takeDatabaseLines(),
              std::vector<std::string>{"CloudDB: icloud setting changed must reinstall app"});
    EXPECT_EQ(introRequests(), asked + 2);
    db->saveContext(false);  // nothing to save: still asks
    EXPECT_EQ(introRequests(), asked + 3);
    db = launchOnCloud("A");
    EXPECT_EQ(contents(*db), "Groceries (0):\n");
}

TEST_F(DatabaseAttachmentLost, AnotherEnsembleInTheFolderEndsTheAttachment) {
    auto a = launchOnCloud("A");
    attach(*a);
    cloud_.removeEverythingNow();
    auto b = launchOnCloud("B");
    attach(*b);  // finds no ensemble and starts a new one
    cloud_.deliverAll();

    a->saveContext(false);
    settle(*a);
    EXPECT_EQ(a->syncState(), SyncState::attachmentLost);
    EXPECT_EQ(b->syncState(), SyncState::attached);
}

TEST_F(DatabaseAttachmentLost, AnUnreadableCloudFolderProvesNothing) {
    auto view = cloud_.view("A");
    auto a = launchOnCloud("A");
    auto b = launchOnCloud("B");
    attach(*a);
    cloud_.deliverAll();
    attach(*b);
    takeDatabaseLines();

    view->setUnavailable(true);
    newList(*a, "Made during the outage");
    settle(*a);
    const auto lines = takeDatabaseLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "CloudDB: merge complete");
    EXPECT_EQ(lines[1].rfind("CloudDB: merge error: ", 0), 0u) << lines[1];
    EXPECT_EQ(a->syncState(), SyncState::attached);
    EXPECT_EQ(introRequests(), 0) << "a merge error is only logged";

    // The next tick after the outage sends what was saved during it.
    view->setUnavailable(false);
    loop().advance(10);
    settle(*a);
    cloud_.deliverAll();
    b->saveContext(false);
    settle(*b);
    EXPECT_EQ(contents(*b), "Made during the outage (0):\n");
}

TEST_F(DatabaseAttachmentLost, AFailedExportIsRetriedByTheNextMerge) {
    auto view = cloud_.view("A");
    auto a = launchOnCloud("A");
    auto b = launchOnCloud("B");
    attach(*a);
    cloud_.deliverAll();
    attach(*b);
    takeDatabaseLines();

    view->failNext(CloudOperation::write, 1, sync::CloudStatus::unavailable);
    newList(*a, "Groceries");
    settle(*a);
    const auto lines = takeDatabaseLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("CloudDB: merge error: ", 0), 0u) << lines[1];

    sendOver(*a, *b);  // a save with nothing new to save still merges, and exports the rest
    EXPECT_EQ(contents(*b), "Groceries (0):\n");
}

// --- Becoming active and resigning active ------------------------------------------------------

using DatabaseActiveState = DatabaseTest;

TEST_F(DatabaseActiveState, ResigningActiveSavesStopsTheTimerAndStartsNoMerge) {
    auto view = cloud_.view("A");
    auto db = launchOnCloud("A");
    attach(*db);
    auto list = newList(*db, "Groceries");
    settle(*db);
    list->setName(std::string("Groceries and more"));  // an edit not saved yet
    takeDatabaseLines();
    const auto writes = view->calls(CloudOperation::write);
    const auto lists = view->calls(CloudOperation::list);

    db->saveContext(true);
    EXPECT_EQ(takeDatabaseLines(),
              std::vector<std::string>{"CloudDB: willResignActive so wont bother with sync"});
    EXPECT_FALSE(db->viewContext().hasChanges());
    EXPECT_EQ(db->syncTimer(), nullptr);
    EXPECT_EQ(loop().activeTimerCount(), 0);
    EXPECT_EQ(db->operationsInFlight(), 0);
    loop().advance(60);
    EXPECT_EQ(db->operationsInFlight(), 0);
    EXPECT_TRUE(takeDatabaseLines().empty());
    EXPECT_EQ(view->calls(CloudOperation::write), writes);
    EXPECT_EQ(view->calls(CloudOperation::list), lists);
    EXPECT_EQ(db->ensemble()->status().changesToExport, 1) << "the rename was not saved";

    // Becoming active again makes a new timer, and the merge sends the rename.
    db->sync();
    EXPECT_EQ(takeDatabaseLines(),
              (std::vector<std::string>{"CloudDB: Sync called", "CloudDB: setup syncTimer",
                                        "CloudDB: Sync call done"}));
    EXPECT_EQ(loop().activeTimerCount(), 1);
    settle(*db);
    EXPECT_EQ(db->ensemble()->status().changesToExport, 0);
    auto other = launchOnCloud("B");
    cloud_.deliverAll();
    attach(*other);
    EXPECT_EQ(contents(*other), "Groceries and more (0):\n");
}

TEST_F(DatabaseActiveState, EachTickSavesPendingEditsAndMerges) {
    auto a = launchOnCloud("A");
    auto b = launchOnCloud("B");
    attach(*a);
    auto list = newList(*a, "Groceries");
    auto milk = newItem(*a, *list, "Milk");
    settle(*a);
    cloud_.deliverAll();
    attach(*b);
    b->saveContext(true);  // B is in the background: only A's timer runs
    ASSERT_EQ(loop().activeTimerCount(), 1);
    takeDatabaseLines();

    milk->setBody(std::string("Oat milk"));  // an edit the screen has not saved
    loop().advance(9.5);
    EXPECT_TRUE(a->viewContext().hasChanges());
    loop().advance(0.5);
    EXPECT_FALSE(a->viewContext().hasChanges()) << "the tick did not save";
    // A merge started by a tick is either still running or has completed by now.
    std::size_t completed = count(takeDatabaseLines(), "CloudDB: merge complete");
    EXPECT_EQ(a->operationsInFlight() + completed, 1u) << "the tick did not merge";
    loop().advance(20);
    completed += count(takeDatabaseLines(), "CloudDB: merge complete");
    EXPECT_EQ(a->operationsInFlight() + completed, 3u) << "each tick merges";
    settle(*a);

    cloud_.deliverAll();
    b->sync();
    settle(*b);
    EXPECT_EQ(contents(*b), "Groceries (0): [ ] Oat milk\n");
}

TEST_F(DatabaseActiveState, ASaveWithNothingToSaveStillMergesAndBringsRemoteChanges) {
    auto a = launchOnCloud("A");
    auto b = launchOnCloud("B");
    attach(*a);
    cloud_.deliverAll();
    attach(*b);
    newList(*b, "From B");
    settle(*b);
    cloud_.deliverAll();
    takeDatabaseLines();

    ASSERT_FALSE(a->viewContext().hasChanges());
    a->saveContext(false);
    EXPECT_EQ(a->operationsInFlight(), 1);
    settle(*a);
    EXPECT_EQ(count(takeDatabaseLines(), "CloudDB: merge complete"), 1u);
    EXPECT_EQ(contents(*a), "From B (0):\n");
}

TEST_F(DatabaseActiveState, ClosingTheDatabaseStopsItsTimer) {
    auto db = launchOnCloud("A");
    attach(*db);
    ASSERT_EQ(loop().activeTimerCount(), 1);
    db.reset();
    EXPECT_EQ(loop().activeTimerCount(), 0);
    loop().advance(30);  // a tick of a closed database would touch freed memory
}

// --- Changes merged from other devices ---------------------------------------------------------

class DatabaseMergedChanges : public DatabaseTest {
  protected:
    // A and B share "Groceries" with Milk, Eggs and Tea; only A's timer runs.
    void SetUp() override {
        a = launchOnCloud("A");
        b = launchOnCloud("B");
        attach(*a);
        auto list = newList(*a, "Groceries");
        for (const char* text : {"Milk", "Eggs", "Tea"}) {
            newItem(*a, *list, text);
        }
        settle(*a);
        cloud_.deliverAll();
        attach(*b);
        b->saveContext(true);
        ASSERT_EQ(contents(*b), contents(*a));
    }

    std::unique_ptr<JWDatabase> a, b;
};

TEST_F(DatabaseMergedChanges, ReachAnOpenScreenWithoutAnyUserAction) {
    auto groceries = listNamed(*a, "Groceries");
    store::FetchedResultsController items(itemsFetchRequest(groceries.get(), JWListFilter::none),
                                          a->sharedViewContext());
    items.performFetch();
    RecordingScreen itemsScreen;
    items.setDelegate(&itemsScreen);
    store::FetchedResultsController lists(listsFetchRequest(false), a->sharedViewContext());
    lists.performFetch();
    RecordingScreen listsScreen;
    lists.setDelegate(&listsScreen);

    auto bGroceries = listNamed(*b, "Groceries");
    newItem(*b, *bGroceries, "Bread");
    toggleItem(*b, *itemWithBody(*b, "Milk"));
    deleteItem(*b, *itemWithBody(*b, "Eggs"));
    newList(*b, "Hardware");
    settle(*b);
    cloud_.deliverAll();

    loop().advance(10);  // A's timer: no save, no screen action
    settle(*a);

    EXPECT_EQ(itemBodies(items.fetchedObjects()),
              (std::vector<std::string>{"Bread", "Milk", "Tea"}));
    auto milk = itemWithBody(*a, "Milk");
    ASSERT_NE(milk, nullptr);
    EXPECT_TRUE(milk->isDone());
    EXPECT_EQ(groceries->doneCount(), 1);
    std::vector<std::string> itemChanges = itemsScreen.changes;
    std::sort(itemChanges.begin(), itemChanges.end());
    EXPECT_EQ(itemChanges,
              (std::vector<std::string>{"delete Eggs", "insert Bread", "update Milk"}));
    EXPECT_EQ(std::count(listsScreen.changes.begin(), listsScreen.changes.end(), "insert Hardware"),
              1);
    EXPECT_EQ(lists.fetchedObjects().size(), 2u);
    EXPECT_FALSE(a->viewContext().hasChanges()) << "merged changes must not need saving again";
    EXPECT_EQ(contents(*a), contents(*b));
}

TEST_F(DatabaseMergedChanges, UnsavedEditsSurviveAMergeAndSaveAfterwards) {
    // A's screen holds edits it has not saved yet.
    auto tea = itemWithBody(*a, "Tea");
    tea->setBody(std::string("Green tea"));
    auto groceries = listNamed(*a, "Groceries");
    auto unsavedItem = std::static_pointer_cast<Item>(a->viewContext().insertNewObject("Item"));
    unsavedItem->setBody(std::string("Rice"));
    unsavedItem->setForList(groceries.get());

    // B, meanwhile, checks Tea and writes over its text, and renames the list.
    auto bTea = itemWithBody(*b, "Tea");
    toggleItem(*b, *bTea);
    editItemText(*b, *bTea, "Black tea");
    renameList(*b, *listNamed(*b, "Groceries"), "Food");
    settle(*b);
    cloud_.deliverAll();

    a->merge();  // a merge with the edits still unsaved
    settle(*a);
    EXPECT_TRUE(a->viewContext().hasChanges());
    EXPECT_EQ(tea->body(), "Green tea") << "the unsaved edit was overwritten by the merge";
    EXPECT_TRUE(tea->isDone()) << "B's change to another attribute did not arrive";
    EXPECT_EQ(groceries->name(), "Food");
    EXPECT_EQ(unsavedItem->body(), "Rice");
    EXPECT_EQ(unsavedItem->forList(), groceries.get());

    // The save after the merge succeeds (a failed save would end the program) and, being the
    // newer change, wins on both devices.
    a->saveContext(false);
    settle(*a);
    cloud_.deliverAll();
    b->saveContext(false);
    settle(*b);
    EXPECT_EQ(contents(*b), "Food (1): [ ] Eggs [ ] Milk [ ] Rice [x] Green tea\n");
    EXPECT_EQ(contents(*a), contents(*b));

    a = launchOnCloud("A");  // and it is what A's store holds
    EXPECT_EQ(contents(*a), contents(*b));
}

// A list's done count is one stored value, last writer wins: each device recounts before it
// has seen the other's change, so the value that wins agrees with neither device's items. Once
// the changes are merged, every device shows the count its items give. Each row builds on the
// one before.
TEST_F(DatabaseMergedChanges, DoneCountsAgreeWithTheItemsOnEveryDeviceOnceMerged) {
    struct Step {
        std::function<void(JWDatabase&)> onA, onB;
        const char* expected;
    };
    auto item = [](JWDatabase& db, const char* body) { return itemWithBody(db, body); };
    const Step steps[] = {
        {[&](JWDatabase& d) { toggleItem(d, *item(d, "Milk")); },
         [&](JWDatabase& d) { toggleItem(d, *item(d, "Eggs")); },
         "Groceries (2): [ ] Tea [x] Eggs [x] Milk\n"},
        {[&](JWDatabase& d) { toggleItem(d, *item(d, "Milk")); },
         [&](JWDatabase& d) { deleteItem(d, *item(d, "Eggs")); },
         "Groceries (0): [ ] Milk [ ] Tea\n"},
        {[&](JWDatabase& d) { toggleItem(d, *item(d, "Tea")); },
         [&](JWDatabase& d) { moveItem(d, *item(d, "Tea"), *newList(d, "Later")); },
         "Groceries (0): [ ] Milk\nLater (1): [x] Tea\n"},
        {[&](JWDatabase& d) { toggleItem(d, *item(d, "Milk")); }, [](JWDatabase&) {},
         "Groceries (1): [x] Milk\nLater (1): [x] Tea\n"},
        // Deleting leaves the count for the next recount; the merge is that recount.
        {[](JWDatabase&) {}, [&](JWDatabase& d) { deleteItem(d, *item(d, "Milk")); },
         "Groceries (0):\nLater (1): [x] Tea\n"},
    };
    for (const auto& step : steps) {
        step.onA(*a);
        step.onB(*b);
        settle(*a);
        settle(*b);
        sendOver(*a, *b);
        sendOver(*b, *a);
        sendOver(*a, *b);
        EXPECT_EQ(contents(*a), step.expected);
        EXPECT_EQ(contents(*b), step.expected);
    }
}

TEST_F(DatabaseMergedChanges, ADeleteFromAnotherDeviceRemovesAnObjectTheScreenShows) {
    auto groceries = listNamed(*a, "Groceries");
    store::FetchedResultsController lists(listsFetchRequest(false), a->sharedViewContext());
    lists.performFetch();
    RecordingScreen listsScreen;
    lists.setDelegate(&listsScreen);

    deleteList(*b, *listNamed(*b, "Groceries"));
    settle(*b);
    cloud_.deliverAll();
    loop().advance(10);
    settle(*a);

    EXPECT_EQ(listsScreen.changes, std::vector<std::string>{"delete Groceries"});
    EXPECT_TRUE(lists.fetchedObjects().empty());
    EXPECT_TRUE(a->viewContext()
                    .executeFetchRequest(itemsFetchRequest(nullptr, JWListFilter::none))
                    .empty())
        << "the list's items outlived it";
    EXPECT_EQ(contents(*a), "");
}

}  // namespace
}  // namespace jw::model
