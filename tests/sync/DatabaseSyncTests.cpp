// The database's side of cloud sync: when it attaches, merges, retries and gives up, the
// "CloudDB: " lines it logs, the cloud status intro, the 10-second sync timer, and merged
// changes reaching the main context and the screens. Devices share an in-memory cloud, on the
// manual clock and run loop.

#include <functional>
#include <sstream>
#include <stdexcept>

#include "SyncTestSupport.h"
#include "platform/store/FetchedResultsController.h"
#include "src/model/ListsScreenHook.h"

namespace jw::model {
namespace {

namespace fs = std::filesystem;
using sync::testing::itemWithBody;
using sync::testing::listNamed;
using sync::testing::SimulatedDevice;
using test::CloudOperation;
using Lines = std::vector<std::string>;

constexpr const char* kFlag = "cloudDBAlreadyLeeched";

// A screen that records what a fetched-results controller tells it, as "insert Bread" lines,
// and, as the lists screen, how often the cloud status intro was asked for.
class RecordingScreen final : public store::FetchedResultsControllerDelegate,
                              public ListsScreenHook {
  public:
    void presentIntroIfNeeded() override { ++introRequests; }
    void controllerDidChangeObject(store::FetchedResultsController&, store::ManagedObject& object,
                                   const store::IndexPath*, store::ChangeType type,
                                   const store::IndexPath*) override {
        const char* kinds[] = {"insert", "delete", "move", "update"};
        const auto label = object.entity().name == "Item" ? static_cast<Item&>(object).body()
                                                          : static_cast<List&>(object).name();
        changes.push_back(std::string(kinds[int(type) - 1]) + " " + label.value_or("<absent>"));
    }
    Lines changes;
    int introRequests = 0;
};

std::size_t count(const Lines& lines, const std::string& line) {
    return std::size_t(std::count(lines.begin(), lines.end(), line));
}

class DatabaseSync : public sync::testing::SharedCloudTest {
  protected:
    DatabaseSync() { setListsScreen(listsScreen_); }
    ~DatabaseSync() override { setListsScreen(nullptr); }

    static void relaunch(SimulatedDevice& device) {
        device.close();
        device.open();
    }
    static std::optional<bool> flag(SimulatedDevice& device) {
        return device.settings.boolForKey(kFlag);
    }

    void settle(JWDatabase& db) { sync::testing::finishOperations(loop(), {&db}); }
    void settle(SimulatedDevice& device) { settle(*device.db); }
    // The application becomes active and the attach and first merge complete.
    void attach(SimulatedDevice& device) {
        device.db->sync();
        settle(device);
        ASSERT_EQ(device.db->syncState(), SyncState::attached);
    }
    // The folder plainly no longer holds `device`: another device is registered and `device` no
    // longer is.
    void removeFromFolder(SimulatedDevice& device) {
        auto& other = launch("remover");
        attach(other);
        cloud_.deliverAll();
        unregister(device, other);
        other.close();
    }
    // The database's own lines (the "CloudDB: " ones and the store location) logged since the
    // last call, leaving out whatever the sync engine logs.
    Lines takeDatabaseLines() {
        Lines lines;
        for (auto& line : platform_.logLines()) {
            if (line.starts_with("CloudDB: ") || line.starts_with("PSC location: ")) {
                lines.push_back(line);
            }
        }
        platform_.clearLog();
        return lines;
    }

    // What a device shows of its sync, as one string: the database's lines since the last
    // look (an error's reason as "<reason>"), then its timers, operations under way, the
    // attached flag, its sync state and the intros asked for so far.
    std::string look(SimulatedDevice& device) {
        std::string text;
        for (auto line : takeDatabaseLines()) {
            for (const std::string error : {"leech error: ", "merge error: "}) {
                const auto at = line.find(error);
                if (at != std::string::npos && line.size() > at + error.size()) {
                    line = line.substr(0, at + error.size()) + "<reason>";
                }
            }
            text += line + "\n";
        }
        const auto f = flag(device);
        const char* states[] = {"attached", "notYetAttached", "attachmentLost"};
        return text + "timers=" + std::to_string(loop().activeTimerCount()) +
               " inFlight=" + std::to_string(device.db->operationsInFlight()) +
               " flag=" + (f ? (*f ? "yes" : "no") : "unset") +
               " state=" + states[int(device.db->syncState())] +
               " intros=" + std::to_string(introRequests());
    }

    SimulatedDevice& device(const std::string& name) {
        for (auto& d : devices_) {
            if (d->name == name) {
                return *d;
            }
        }
        throw std::invalid_argument("no device " + name);
    }

    // Runs steps, "; " between them, and answers what the `look`s and `contents` among them
    // showed. A step is a verb, then a device's name (a number for tick), then the rest as its
    // text: launch, attach, join (launch, take in the folder, attach), sync, merge, leech,
    // settle, save, resign (save as the application resigns active), relaunch, list NAME (a new
    // list), down and up (the cloud unavailable and back), lose (the folder no longer holds the
    // device), hold and free (the gate), idle (the worker's work done), look, contents; and
    // tick S (the main loop's clock advances), deliver, drain, quiet (the lines so far dropped).
    std::string run(const std::string& script) {
        std::string shown;
        using Step = std::function<void(const std::string& name, const std::string& text)>;
        const std::map<std::string, Step> steps = {
            {"launch", [&](auto& n, auto&) { launch(n); }},
            {"join", [&](auto& n, auto&) { run("deliver; launch " + n + "; attach " + n); }},
            {"attach", [&](auto& n, auto&) { attach(device(n)); }},
            {"sync", [&](auto& n, auto&) { device(n).db->sync(); }},
            {"merge", [&](auto& n, auto&) { device(n).db->merge(); }},
            {"leech", [&](auto& n, auto&) { device(n).db->leech(); }},
            {"settle", [&](auto& n, auto&) { settle(device(n)); }},
            {"save", [&](auto& n, auto&) { device(n).db->saveContext(false); }},
            {"resign", [&](auto& n, auto&) { device(n).db->saveContext(true); }},
            {"relaunch", [&](auto& n, auto&) { relaunch(device(n)); }},
            {"list", [&](auto& n, auto& text) { newList(*device(n).db, text); }},
            {"down", [&](auto& n, auto&) { device(n).view->setUnavailable(true); }},
            {"up", [&](auto& n, auto&) { device(n).view->setUnavailable(false); }},
            {"lose", [&](auto& n, auto&) { removeFromFolder(device(n)); }},
            {"hold", [&](auto& n, auto&) { device(n).recorder->closeGate(); }},
            {"free", [&](auto& n, auto&) { device(n).recorder->openGate(); }},
            {"idle", [&](auto& n, auto&) { device(n).ensemble().waitUntilIdle(); }},
            {"look", [&](auto& n, auto&) { shown += look(device(n)); }},
            {"contents", [&](auto& n, auto&) { shown += contents(device(n)); }},
            {"tick", [&](auto& n, auto&) { loop().advance(std::stod(n)); }},
            {"deliver", [&](auto&, auto&) { cloud_.deliverAll(); }},
            {"drain", [&](auto&, auto&) { loop().drain(); }},
            {"quiet", [&](auto&, auto&) { takeDatabaseLines(); }},
        };
        for (std::size_t at = 0; at < script.size();) {
            auto end = script.find("; ", at);
            end = end == std::string::npos ? script.size() : end;
            std::istringstream in(script.substr(at, end - at));
            at = end + 2;
            std::string verb, name, text;
            in >> verb >> name;
            std::getline(in >> std::ws, text);
            steps.at(verb)(name, text);
        }
        return shown;
    }

    static std::string contents(JWDatabase& db) { return sync::testing::contents(db); }
    static std::string contents(SimulatedDevice& device) { return contents(*device.db); }

    ManualRunLoop& loop() { return platform_.loop(); }
    int introRequests() const { return listsScreen_->introRequests; }

    std::shared_ptr<RecordingScreen> listsScreen_ = std::make_shared<RecordingScreen>();
};

// --- Launching ----------------------------------------------------------------------------------

using DatabaseLaunch = DatabaseSync;

TEST_F(DatabaseLaunch, WithoutACloudThereIsNoEnsembleAndSyncStaysOff) {
    // A data folder given relative to the working directory, with a space and a non-ASCII
    // letter in its name: the store's location is logged as an absolute file URL.
    sync::testing::ScratchDir dir;
    const fs::path folder = fs::weakly_canonical(dir.path()) / "My Lists \u00e4";
    const JWDatabase::Locations locations{fs::relative(folder, fs::current_path()),
                                          sync::testing::resourceDirectory()};
    ASSERT_TRUE(locations.dataDirectory.is_relative());
    auto db = std::make_unique<JWDatabase>(locations);
    EXPECT_EQ(db->ensemble(), nullptr);
    EXPECT_EQ(takeDatabaseLines(), (Lines{"PSC location: file://" + folder.parent_path().string() +
                                              "/My%20Lists%20%C3%A4/Jotwell.sqlite",
                                          "CloudDB: setup begin", "CloudDB: setup end nil"}));

    db->sync();
    EXPECT_EQ(takeDatabaseLines(),
              (Lines{"CloudDB: Sync called", "CloudDB: no ensembles instance yet",
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
    EXPECT_FALSE(platform_.defaults().boolForKey(kFlag).has_value());

    db->saveContext(true);
    EXPECT_EQ(takeDatabaseLines(), Lines{"CloudDB: willResignActive so wont bother with sync"});
    db = std::make_unique<JWDatabase>(locations);
    EXPECT_NE(listNamed(*db, "Groceries"), nullptr);
}

// --- Attaching ----------------------------------------------------------------------------------

using DatabaseAttach = DatabaseSync;

TEST_F(DatabaseAttach, SyncStartsTheTimerAttachesAndMergesAtOnceAndAgainOnlyMerges) {
    sync::setCurrentLoggingLevel(2);  // as chatty as it gets, until the database is made
    auto& a = launch("A");
    // Launched: the store's location and the ensemble are logged, and nothing is attached,
    // merged or scheduled before the first sync.
    EXPECT_EQ(run("merge A; look A"),
              "PSC location: file://" + (a.dir.path() / "Jotwell.sqlite").string() +
                  "\nCloudDB: setup begin\nCloudDB: setup end " + a.ensemble().description() +
                  "\nCloudDB: no Ensemble instance to merge\n"
                  "timers=0 inFlight=0 flag=unset state=notYetAttached intros=0");
    EXPECT_EQ(a.ensemble().ensembleIdentifier(), "MainStore");
    EXPECT_EQ(a.view->calls(CloudOperation::checkRoot) + a.view->calls(CloudOperation::write) +
                  a.view->calls(CloudOperation::list) + a.view->calls(CloudOperation::read),
              0u);
    a.close();
    {
        JWDatabase withoutCloud({a.dir.path(), sync::testing::resourceDirectory()});
        newList(withoutCloud, "Made before attaching");
    }
    a.open();
    test::OpenGateAtExit opener{*a.recorder};  // before the database closes, whatever happens

    // The attach waits at the gate until the state before it is seen.
    EXPECT_EQ(run("quiet; hold A; sync A; look A"),
              "CloudDB: Sync called\nCloudDB: setup syncTimer\nCloudDB: Sync call done\n"
              "timers=1 inFlight=1 flag=unset state=notYetAttached intros=0");
    const Timer* timer = a.db->syncTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isValid() && timer->repeats());
    EXPECT_DOUBLE_EQ(timer->interval(), 10.0);

    // The attach completes: the flag is set and a merge follows in the same completion (held
    // at the gate, so that it cannot complete in the same drain).
    EXPECT_EQ(run("free A; idle A; hold A; drain; look A; free A; settle A; look A"),
              "CloudDB: leech complete\nCloudDB: leeched calling to merge\n"
              "timers=1 inFlight=1 flag=yes state=attached intros=0"
              "CloudDB: merge complete\n"
              "timers=1 inFlight=0 flag=yes state=attached intros=0");

    // Syncing again while active keeps the one timer and merges.
    EXPECT_EQ(run("sync A; look A; settle A; look A"),
              "CloudDB: Sync called\nCloudDB: Sync call done\n"
              "timers=1 inFlight=1 flag=yes state=attached intros=0"
              "CloudDB: merge complete\n"
              "timers=1 inFlight=0 flag=yes state=attached intros=0");
    EXPECT_EQ(a.db->syncTimer(), timer);

    // The list made before attaching came along to the cloud. The database silenced the
    // sync engine as it attached.
    EXPECT_EQ(run("join B; contents B"), "Made before attaching (0):\n");
    for (const auto& line : platform_.logLines()) {
        EXPECT_FALSE(line.starts_with("sync: ")) << "the engine still logs: " << line;
    }
}

TEST_F(DatabaseAttach, AnAttachAskedForTwiceRegistersTheDeviceOnce) {
    auto& a = launch("A");
    {
        test::OpenGateAtExit opener{*a.recorder};
        // The first attach cannot finish before the save, which asks to attach again.
        run("hold A; sync A; list A Groceries");
        EXPECT_FALSE(a.ensemble().isLeeched());
        EXPECT_EQ(a.db->operationsInFlight(), 2);
    }
    takeDatabaseLines();

    settle(a);
    auto lines = takeDatabaseLines();  // two attaches, each with its merge, in any order
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines,
              (Lines{"CloudDB: leech complete", "CloudDB: leech complete",
                     "CloudDB: leeched calling to merge", "CloudDB: leeched calling to merge",
                     "CloudDB: merge complete", "CloudDB: merge complete"}));
    std::size_t registered = 0;
    for (const auto& [path, contents] : cloud_.files()) {
        registered += path.ends_with("/device.json");
    }
    EXPECT_EQ(registered, 1u);
    EXPECT_EQ(run("look A; join B; contents B"),
              "timers=1 inFlight=0 flag=yes state=attached intros=0Groceries (0):\n");
}

// The store is attached, the settings file was removed: finding the store attached is enough
// to set the flag again, with no attach and no line; so is starting a merge.
TEST_F(DatabaseAttach, AnAttachedStoreWhoseSettingsWereLostStaysAttached) {
    auto& b = launch("B");
    attach(b);
    for (const std::string verb : {"leech", "merge"}) {
        b.close();
        b.settings.removeObjectForKey(kFlag);
        b.open();
        const std::string merged = verb == "merge" ? "1" : "0";
        EXPECT_EQ(run("quiet; look B; " + verb + " B; look B; settle B; look B"),
                  "timers=0 inFlight=0 flag=unset state=attached intros=0"
                  "timers=0 inFlight=" +
                      merged + " flag=yes state=attached intros=0" +
                      (verb == "merge" ? "CloudDB: merge complete\n" : "") +
                      "timers=0 inFlight=0 flag=yes state=attached intros=0");
    }
}

// A failed attach or merge asks for nothing but the intro and keeps what was saved: the next
// tick that reaches the cloud sends it.
TEST_F(DatabaseAttach, WhileTheCloudIsUnavailableEverySaveAndEveryTickRetries) {
    const std::string syncCalled =
        "CloudDB: Sync called\nCloudDB: setup syncTimer\nCloudDB: Sync call done\n";
    const std::string failed = "CloudDB: leech complete\nCloudDB: leech error: <reason>\n";
    cloud_.view("A")->setUnavailable(true);
    // A failed attach asks for the intro, and does not stop the timer.
    EXPECT_EQ(run("launch A; quiet; sync A; settle A; look A"),
              syncCalled + failed + "timers=1 inFlight=0 flag=unset state=notYetAttached intros=1");

    // Each 10-second tick tries again; so does each save, and the save itself is kept.
    auto& a = device("A");
    const auto attempts = a.view->calls(CloudOperation::checkRoot);
    run("tick 30; settle A");
    EXPECT_EQ(a.view->calls(CloudOperation::checkRoot), attempts + 3);
    EXPECT_EQ(run("list A Groceries; settle A; look A"),
              failed + failed + failed + failed +
                  "timers=1 inFlight=0 flag=unset state=notYetAttached intros=5");

    // Once the cloud is back, the next tick attaches and merges; the intro is not asked again.
    EXPECT_EQ(run("up A; tick 10; settle A; look A; join B; contents B"),
              "CloudDB: leech complete\nCloudDB: leeched calling to merge\n"
              "CloudDB: merge complete\n"
              "timers=1 inFlight=0 flag=yes state=attached intros=5"
              "Groceries (0):\n");

    // A merge error is only logged; the next tick sends what was saved meanwhile.
    EXPECT_EQ(run("resign B; quiet; down A; list A Made during the outage; settle A; look A"),
              "CloudDB: merge complete\nCloudDB: merge error: <reason>\n"
              "timers=1 inFlight=0 flag=yes state=attached intros=5");
    {
        // Kept as an earlier version kept what waits for export: it goes out all the same.
        store::SqliteDatabase db(device("A").storeFile(), /*writeAheadLog=*/false);
        EXPECT_GT(sync::testing::keepPendingAsJson(db), 0u);
    }
    EXPECT_EQ(run("up A; tick 10; settle A; save A; settle A; deliver; save B; settle B; "
                  "contents B"),
              "Groceries (0):\nMade during the outage (0):\n");

    // With no lists screen yet, a failed attach is only logged.
    setListsScreen(nullptr);
    cloud_.view("C")->setUnavailable(true);
    EXPECT_EQ(run("launch C; quiet; sync C; settle C; look C"),
              syncCalled + failed + "timers=2 inFlight=0 flag=unset state=notYetAttached intros=5");
}

// --- The attachment lost ------------------------------------------------------------------------

TEST_F(DatabaseSync, ALostAttachmentIsLoggedOnceAndThenEverySaveAndSyncOnlyAsksForTheIntro) {
    // Nothing sets the flag back.
    EXPECT_EQ(run("launch A; attach A; lose A; quiet; list A Groceries; settle A; look A"),
              "CloudDB: merge complete\nCloudDB: merge error: <reason>\n"
              "timers=1 inFlight=0 flag=yes state=attachmentLost intros=0");

    // From now on each save (with nothing to save too, a tick's as well) asks for the intro
    // through leech; no tick attaches or merges, and nothing reaches the cloud.
    auto& a = device("A");
    const auto calls =
        a.view->calls(CloudOperation::write) + a.view->calls(CloudOperation::checkRoot);
    const std::string lost = "CloudDB: icloud setting changed must reinstall app\n";
    EXPECT_EQ(run("list A Hardware; save A; tick 10; look A"),
              lost + lost + lost + "timers=1 inFlight=0 flag=yes state=attachmentLost intros=3");
    EXPECT_EQ(a.view->calls(CloudOperation::write) + a.view->calls(CloudOperation::checkRoot),
              calls);

    // Resigning and becoming active again, or the next launch: no timer, only the intro. The
    // saves were written all the same.
    EXPECT_EQ(run("resign A; quiet; sync A; look A; resign A; relaunch A; quiet; sync A; look A; "
                  "contents A"),
              "CloudDB: Sync called\n"
              "timers=0 inFlight=0 flag=yes state=attachmentLost intros=4"
              "CloudDB: Sync called\n"
              "timers=0 inFlight=0 flag=yes state=attachmentLost intros=5"
              "Groceries (0):\nHardware (0):\n");
}

// --- Becoming active and resigning active -------------------------------------------------------

using DatabaseActiveState = DatabaseSync;

TEST_F(DatabaseActiveState, ResigningActiveSavesStopsTheTimerAndStartsNoMerge) {
    run("launch A; attach A; list A Groceries; settle A");
    auto& a = device("A");
    listNamed(*a.db, "Groceries")->setName(std::string("Groceries and more"));  // not saved yet
    const auto calls = a.view->calls(CloudOperation::write) + a.view->calls(CloudOperation::list);

    EXPECT_EQ(run("quiet; resign A; tick 60; look A"),
              "CloudDB: willResignActive so wont bother with sync\n"
              "timers=0 inFlight=0 flag=yes state=attached intros=0");
    EXPECT_FALSE(a.db->viewContext().hasChanges());
    EXPECT_EQ(a.db->syncTimer(), nullptr);
    EXPECT_EQ(a.view->calls(CloudOperation::write) + a.view->calls(CloudOperation::list), calls);
    EXPECT_EQ(a.ensemble().status().changesToExport, 1) << "the rename was not saved";

    // Becoming active again makes a new timer, and the merge sends the rename.
    EXPECT_EQ(run("sync A; settle A; look A; join B; contents B"),
              "CloudDB: Sync called\nCloudDB: setup syncTimer\nCloudDB: Sync call done\n"
              "CloudDB: merge complete\n"
              "timers=1 inFlight=0 flag=yes state=attached intros=0"
              "Groceries and more (0):\n");
}

TEST_F(DatabaseActiveState, EachTickSavesPendingEditsAndMerges) {
    auto& a = launch("A");
    attach(a);
    auto milk = newItem(*a.db, *newList(*a.db, "Groceries"), "Milk");
    run("settle A; join B; resign B; quiet");  // B is in the background: only A's timer runs
    ASSERT_EQ(loop().activeTimerCount(), 1);

    milk->setBody(std::string("Oat milk"));  // an edit the screen has not saved
    loop().advance(9.5);
    EXPECT_TRUE(a.db->viewContext().hasChanges());
    loop().advance(0.5);
    EXPECT_FALSE(a.db->viewContext().hasChanges()) << "the tick did not save";
    // A merge started by a tick is either still running or has completed by now.
    std::size_t completed = count(takeDatabaseLines(), "CloudDB: merge complete");
    EXPECT_EQ(a.db->operationsInFlight() + completed, 1u) << "the tick did not merge";
    loop().advance(20);
    completed += count(takeDatabaseLines(), "CloudDB: merge complete");
    EXPECT_EQ(a.db->operationsInFlight() + completed, 3u) << "each tick merges";
    EXPECT_EQ(run("settle A; deliver; sync B; settle B; contents B"),
              "Groceries (0): [ ] Oat milk\n");

    run("resign B");
    a.close();
    EXPECT_EQ(loop().activeTimerCount(), 0) << "a closed database's timer still runs";
    loop().advance(30);  // a tick of a closed database would touch freed memory
}

// --- Changes merged from other devices ---------------------------------------------------------
// (That a context's unsaved edits survive a merge and win when saved is the store's merge
// cases' and the convergence run's.)

TEST_F(DatabaseSync, ChangesMergedElsewhereReachAnOpenScreenWithoutAnyUserAction) {
    // A and B share "Groceries" with Milk, Eggs and Tea; only A's timer runs.
    auto& deviceA = launch("A");
    attach(deviceA);
    auto* a = deviceA.db.get();
    auto list = newList(*a, "Groceries");
    for (const char* text : {"Milk", "Eggs", "Tea"}) {
        newItem(*a, *list, text);
    }
    run("settle A; join B; resign B");
    auto* b = device("B").db.get();
    ASSERT_EQ(contents(*b), contents(*a));

    auto groceries = listNamed(*a, "Groceries");
    store::FetchedResultsController items(itemsFetchRequest(groceries.get(), JWListFilter::none),
                                          a->sharedViewContext());
    store::FetchedResultsController lists(listsFetchRequest(false), a->sharedViewContext());
    RecordingScreen itemsScreen, listsScreen;
    items.performFetch();
    items.setDelegate(&itemsScreen);
    lists.performFetch();
    lists.setDelegate(&listsScreen);

    newItem(*b, *listNamed(*b, "Groceries"), "Bread");
    toggleItem(*b, *itemWithBody(*b, "Milk"));
    deleteItem(*b, *itemWithBody(*b, "Eggs"));
    newList(*b, "Hardware");
    run("settle B; deliver; tick 10; settle A");  // A's timer: no save, no screen action

    EXPECT_EQ(items.fetchedObjects().size(), 3u);  // which three: the screen's changes say
    std::sort(itemsScreen.changes.begin(), itemsScreen.changes.end());
    EXPECT_EQ(itemsScreen.changes, (Lines{"delete Eggs", "insert Bread", "update Milk"}));
    EXPECT_EQ(count(listsScreen.changes, "insert Hardware"), 1u);
    EXPECT_EQ(lists.fetchedObjects().size(), 2u);
    EXPECT_FALSE(a->viewContext().hasChanges()) << "merged changes must not need saving again";
    EXPECT_EQ(contents(*a), "Groceries (1): [ ] Bread [ ] Tea [x] Milk\nHardware (0):\n");
    EXPECT_EQ(contents(*b), contents(*a));

    // A list deleted elsewhere leaves the screen, and its items go with it.
    listsScreen.changes.clear();
    deleteList(*b, *listNamed(*b, "Groceries"));
    run("settle B; deliver; tick 10; settle A");
    EXPECT_EQ(listsScreen.changes, Lines{"delete Groceries"});
    EXPECT_EQ(lists.fetchedObjects().size(), 1u);
    EXPECT_EQ(
        a->viewContext().executeFetchRequest(itemsFetchRequest(nullptr, JWListFilter::none)).size(),
        0u)
        << "the list's items outlived it";
}

}  // namespace
}  // namespace jw::model
