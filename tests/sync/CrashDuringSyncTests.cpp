// A device killed with SIGKILL while it saves, exports, imports or compacts loses nothing it
// was told was saved, duplicates nothing, leaves a sound store, and the next merges give the
// other device every change.
//
// Each round forks a child that runs devices A and B on their own stores and one real cloud
// folder, saving and merging without pause, and reports each save before and after it. The
// test kills it at a random moment or stopped at a chosen point: around a cloud call (a change
// file, a baseline, an import, a compaction's removal, an attach's first files), halfway
// through a write to a store's log (a save's commit, or the worker's), or with saves
// acknowledged and their exports held. Then it checks both stores, reopens both devices, lets
// them settle and compares them with every acknowledged save. Each device changes only the
// items it created, so the last acknowledged value of each is known.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DebugLog.h"
#include "platform/foundation/ThreadRunLoop.h"
#include "platform/sync/FolderCloudFileSystem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HaltingSqliteLayer.h"
#include "tests/sync/SyncTestSupport.h"

namespace jw::model {
namespace {

using ::jw::test::PrintTo;

namespace fs = std::filesystem;

constexpr const char* kListName = "Crash";
const char kDevices[] = {'A', 'B'};

// The text of the item written by save `n` of `device`: unique per save, starting with the
// device's name, a few hundred bytes to a couple of kilobytes of one-, two- and three-byte
// characters.
std::string itemText(char device, std::uint64_t n) {
    std::string text = std::string(1, device) + " save " + std::to_string(n) + ":";
    const std::size_t length = 200 + (n * 7919) % 1800;
    for (std::size_t i = 0; text.size() < length; ++i) {
        static const char* const kWords[] = {" milk", " \u00e4pfel", " \u65e5\u672c", " 42"};
        text += kWords[(n + i) % 4];
    }
    return text;
}

using sync::testing::resourceDirectory;

// Where the child stops for the kill: "none" (killed at a random moment), "insideSave"
// (halfway through a log write in a save's commit), "afterSave" (saves made while exports
// are held), or one of the points around the cloud's calls (kCloudHalts below).
using Halt = std::string;

// --- The child (killed, or _exit when it cannot start) -----------------------------------------

// One kill: where the child stops, and for a halt inside a save, the kind of save and the log
// write (0: one of the first three at random).
struct Round {
    Round(Halt at = "none", std::string kind = {}, int write = 0)
        : halt(std::move(at)), saveKind(std::move(kind)), logWrite(write) {}
    Halt halt;
    std::string saveKind;  // insideSave: only in a save of this kind (insert, edit, toggle)
    int logWrite;          // for the halts inside a commit: stop at this write to the log after it
};

struct ChildPlan {
    fs::path folder;  // holds A/, B/ and Cloud/
    std::uint32_t seed = 0;
    std::uint64_t firstSave = 1;
    Round round;
    int occurrence = 1;  // stop at this occurrence of the halt point
};

int gReportFd = -1;

// One line to the test; write(2) of less than PIPE_BUF bytes, so lines from the main thread
// and a worker never mix.
void report(const std::string& line) {
    const std::string text = line + "\n";
    std::size_t written = 0;
    while (written < text.size()) {
        const auto n = ::write(gReportFd, text.data() + written, text.size() - written);
        if (n <= 0) {
            _exit(3);
        }
        written += std::size_t(n);
    }
}

[[noreturn]] void haltForTheKill(const Halt& halt) {
    report("halt " + halt);
    for (;;) {
        pause();
    }
}

Halt gHalt = "none";
std::atomic<int> gOccurrencesLeft{0};
int gLogWrite = 1;

// Whether this event is the chosen occurrence of the halt point.
bool isTheHaltPoint(const Halt& event) {
    return gHalt == event && gOccurrencesLeft.fetch_sub(1) == 1;
}

// The halting SQLite file layer (tests/support): a thread that was armed with a count stops at
// that many-th write to a log file, writing only half of its bytes.
thread_local int tLogWritesToHalt = 0;
thread_local Halt tLogHalt = "none";

// The calling thread stops at its plan.logWrite-th write to a log from now: in the commit that
// follows, or in one soon after it.
void armLogHalt(const Halt& halt) {
    tLogHalt = halt;
    tLogWritesToHalt = gLogWrite;
}

// The changes folder of the device an attach in the child registers (the child attaches
// nothing else), once it is made: where that attach writes the store as its first files.
std::mutex gAttachingMutex;
std::string gAttachingFolder;

bool inTheAttachingFolder(const std::string& path) {
    std::lock_guard lock(gAttachingMutex);
    return !gAttachingFolder.empty() && path.starts_with(gAttachingFolder);
}

// The halt points of the sync phases around the cloud's calls: before or after a call of an
// operation on a path with that ending (with `firstFiles`, only in the folder an attach in
// the child writes its first files to); some stop there, some arm the log halt.
struct CloudHalt {
    Halt halt;
    bool before;
    test::CloudOperation operation;
    const char* pathEnding;
    bool inTheLog;
    bool firstFiles = false;
};
const CloudHalt kCloudHalts[] = {
    // A change file is about to be written; it was written, its bookkeeping not yet; halfway
    // through a log write recording the export, or soon after.
    {"beforeExportWrite", true, test::CloudOperation::write, ".jwchanges", false},
    {"afterExportWrite", false, test::CloudOperation::write, ".jwchanges", false},
    {"insideExportBookkeeping", false, test::CloudOperation::write, ".jwchanges", true},
    // Another device's change file was read, not applied yet; halfway through a log write
    // applying it, or soon after.
    {"afterImportRead", false, test::CloudOperation::read, ".jwchanges", false},
    {"insideImport", false, test::CloudOperation::read, ".jwchanges", true},
    // A baseline was written, not yet recorded or announced; a compaction removed its first
    // file.
    {"afterBaselineWrite", false, test::CloudOperation::write, ".jwbaseline", false},
    {"afterCompactionRemove", false, test::CloudOperation::remove, "", false},
    // An attach writes the store as its first file: about to, done, its bookkeeping halfway.
    {"beforeFirstFilesWrite", true, test::CloudOperation::write, ".jwchanges", false, true},
    {"afterFirstFilesWrite", false, test::CloudOperation::write, ".jwchanges", false, true},
    {"insideFirstFilesBookkeeping", false, test::CloudOperation::write, ".jwchanges", true, true},
};

// Set at the "afterSave" halt: from then on no change file is written (the worker stops
// before its write), so the saves that follow are killed before their export.
std::atomic<bool> gHoldExports{false};
// Saves acknowledged after exports were held, before the "afterSave" halt.
constexpr int kSavesHeldBeforeKill = 3;

bool isFirstFilesHalt(const Halt& halt) {
    for (const auto& h : kCloudHalts) {
        if (h.halt == halt) {
            return h.firstFiles;
        }
    }
    return false;
}

void atCloudCall(bool before, test::CloudOperation operation, const std::string& path) {
    if (before && operation == test::CloudOperation::write && path.ends_with(".jwchanges") &&
        gHoldExports.load()) {
        for (;;) {
            pause();
        }
    }
    if (!before && operation == test::CloudOperation::makeDirectory && path.ends_with("/changes")) {
        std::lock_guard lock(gAttachingMutex);
        gAttachingFolder = path + "/";
    }
    for (const auto& h : kCloudHalts) {
        if (h.before == before && h.operation == operation && path.ends_with(h.pathEnding) &&
            (!h.firstFiles || inTheAttachingFolder(path)) && isTheHaltPoint(h.halt)) {
            h.inTheLog ? armLogHalt(h.halt) : haltForTheKill(h.halt);
        }
    }
}

// The real cloud folder, with the halt points around its calls.
std::shared_ptr<test::ScriptableCloud> haltingCloud(const fs::path& root) {
    auto cloud = std::make_shared<test::ScriptableCloud>(
        std::make_shared<sync::FolderCloudFileSystem>(root));
    cloud->setBefore([](auto operation, const auto& path) { atCloudCall(true, operation, path); });
    cloud->setAfter(
        [](auto operation, const auto& path, auto) { atCloudCall(false, operation, path); });
    return cloud;
}

struct ChildDevice {
    char name = 'A';
    std::unique_ptr<UserDefaults> settings;
    std::unique_ptr<JWDatabase> db;
    std::shared_ptr<List> list;
    std::vector<std::shared_ptr<Item>> own;  // the items this device created
};

[[noreturn]] void runDevicesUntilKilled(const ChildPlan& plan) {
    installClock(std::make_shared<SystemClock>());
    auto loop = std::make_shared<ThreadRunLoop>();
    installMainRunLoop(loop);
    // What the sync engine reports (skipped files, store errors) goes to the test, which shows
    // it when a round fails.
    setDebugLogSink([](std::string_view line) {
        if (line.rfind("sync: ", 0) == 0) {
            report("log " + std::string(line.substr(0, 400)));
        }
    });
    test::installHaltingSqliteLayer(
        "jotwell-sync-crash", [] { return tLogWritesToHalt > 0 && --tLogWritesToHalt == 0; },
        [] { haltForTheKill(tLogHalt); });
    gHalt = plan.round.halt;
    gOccurrencesLeft = plan.occurrence;
    gLogWrite = plan.round.logWrite;

    ChildDevice devices[2];
    for (int d = 0; d < 2; ++d) {
        auto& device = devices[d];
        device.name = kDevices[d];
        const auto folder = plan.folder / std::string(1, device.name);
        device.settings = std::make_unique<UserDefaults>(folder / "defaults.json");
        JWDatabase::Locations locations{folder, resourceDirectory()};
        locations.cloudFileSystem = haltingCloud(plan.folder / "Cloud");
        locations.settings = device.settings.get();
        // Arriving files go in a few changes per transaction, so kills land between them.
        locations.syncTuning.changesPerTransaction = 2;
        device.db = std::make_unique<JWDatabase>(locations);
        device.list = sync::testing::listNamed(*device.db, kListName);
        if (!device.list || device.db->syncState() != SyncState::attached) {
            report("error device " + std::string(1, device.name) + " is not ready");
            _exit(2);
        }
        for (auto& o : device.db->viewContext().executeFetchRequest(
                 itemsFetchRequest(device.list.get(), JWListFilter::none))) {
            auto item = std::static_pointer_cast<Item>(o);
            if (item->body().value_or("").rfind(std::string(1, device.name) + " ", 0) == 0) {
                device.own.push_back(item);
            }
        }
    }
    report("ready");
    for (auto& device : devices) {
        device.db->sync();  // becoming active: the timer, and a first merge
    }

    std::mt19937 random(plan.seed);
    // For the halts in an attach's first file: B attaches afresh, under a new identity, a
    // few saves in, while both devices go on saving.
    const std::uint64_t reattachAt =
        isFirstFilesHalt(plan.round.halt) ? plan.firstSave + 2 + plan.seed % 12 : 0;
    int savesHeld = -1;  // counting down to the "afterSave" halt once exports are held
    for (std::uint64_t n = plan.firstSave;; ++n) {
        if (n == reattachAt) {
            devices[1].db->reattach();
        }
        auto& device = devices[std::uniform_int_distribution<int>(0, 1)(random)];
        const std::string who(1, device.name);
        const std::string number = std::to_string(n);
        const int roll = std::uniform_int_distribution<int>(0, 99)(random);
        const bool insert = device.own.size() < 3 || roll < 40;
        const std::string kind = insert ? "insert" : roll < 75 ? "toggle" : "edit";
        if ((plan.round.saveKind.empty() || plan.round.saveKind == kind) &&
            isTheHaltPoint("insideSave")) {
            armLogHalt("insideSave");
        }
        if (insert) {
            report("begin " + who + " " + number + " insert");
            auto item = newItem(*device.db, *device.list, itemText(device.name, n));
            device.own.push_back(item);
            report("saved " + who + " " + number + " " + item->globalID().toString());
        } else {
            auto& item = *device.own[std::uniform_int_distribution<std::size_t>(
                0, device.own.size() - 1)(random)];
            if (kind == "toggle") {
                report("begin " + who + " " + number + " toggle " + item.globalID().toString());
                toggleItem(*device.db, item);
            } else {
                report("begin " + who + " " + number + " edit " + item.globalID().toString());
                editItemText(*device.db, item, itemText(device.name, n));
            }
            report("saved " + who + " " + number);
        }
        if (savesHeld < 0 && isTheHaltPoint("afterSave")) {
            gHoldExports = true;
            savesHeld = 0;
        }
        if (savesHeld >= 0) {
            // Saves in quick succession, their merges waiting behind a held export.
            if (++savesHeld == kSavesHeldBeforeKill) {
                haltForTheKill("afterSave");
            }
            continue;
        }
        // Completions run between saves; at most a few merges wait on each worker.
        loop->runPending();
        loop->runUntil(
            [&] {
                return devices[0].db->operationsInFlight() + devices[1].db->operationsInFlight() <=
                       2;
            },
            3600);
    }
}

// --- The test ----------------------------------------------------------------------------------

struct ItemState {
    std::string body;
    bool isDone = false;
    bool operator==(const ItemState&) const = default;
};
using Items = std::map<std::string, ItemState>;  // by global identifier

std::string describe(const Items& items) {
    std::string text;
    for (const auto& [id, state] : items) {
        text += id.substr(0, 8) + " " + state.body.substr(0, 14) +
                (state.isDone ? " [x]" : " [ ]") + "\n";
    }
    return text;
}

// A save that had begun but was not acknowledged when the child died, and the item it makes.
struct InFlight {
    char device = 'A';
    std::uint64_t save = 0;
    std::string kind;  // insert, edit or toggle
    std::string id;    // edit and toggle
    ItemState after;
};

using test::sqliteRows;

class CrashDuringSync : public ::testing::Test {
  protected:
    CrashDuringSync() : platform_(SystemClock().now().value()) {
        fs::create_directories(cloudFolder());
        // A makes the list and attaches; B attaches and receives it. Then both close: only the
        // child holds the stores while it runs.
        auto a = open('A');
        newList(*a, kListName);
        attach(*a);
        auto b = open('B');
        attach(*b);
        settle(*a, *b);
        EXPECT_NE(listIn(*b), nullptr) << "B did not receive the list";
    }

    fs::path cloudFolder() const { return dir_.path() / "Cloud"; }
    fs::path storeOf(char device) const {
        return dir_.path() / std::string(1, device) / "Jotwell.sqlite";
    }

    std::unique_ptr<JWDatabase> open(char device) {
        const auto folder = dir_.path() / std::string(1, device);
        auto& settings = settings_[device];
        // Read again at every opening: the child changes the file.
        settings = std::make_unique<UserDefaults>(folder / "defaults.json");
        JWDatabase::Locations locations{folder, resourceDirectory()};
        locations.cloudFileSystem = std::make_shared<sync::FolderCloudFileSystem>(cloudFolder());
        locations.settings = settings.get();
        return std::make_unique<JWDatabase>(locations);
    }
    void finish(JWDatabase& db) { sync::testing::finishOperations(platform_.loop(), {&db}); }
    void attach(JWDatabase& db) {
        db.sync();
        finish(db);
        ASSERT_EQ(db.syncState(), SyncState::attached);
    }
    // Merges on both devices in turn until neither has anything to send or receive and both
    // hold the same items. False when that does not happen in a few turns.
    bool settle(JWDatabase& a, JWDatabase& b) {
        for (int turn = 0; turn < 6; ++turn) {
            for (auto* db : {&a, &b}) {
                db->saveContext(false);
                finish(*db);
            }
            const auto sa = a.ensemble()->status();
            const auto sb = b.ensemble()->status();
            if (sa.changesToExport == 0 && sa.filesToImport == 0 && sb.changesToExport == 0 &&
                sb.filesToImport == 0 && itemsIn(a) == itemsIn(b)) {
                return true;
            }
        }
        return false;
    }

    static std::shared_ptr<List> listIn(JWDatabase& db) {
        return sync::testing::listNamed(db, kListName);
    }
    static Items itemsIn(JWDatabase& db) {
        Items items;
        for (auto& o :
             db.viewContext().executeFetchRequest(itemsFetchRequest(nullptr, JWListFilter::none))) {
            auto& item = static_cast<Item&>(*o);
            EXPECT_TRUE(item.forList() && item.forList()->name() == kListName)
                << "an item outside the list";
            items[item.globalID().toString()] = {item.body().value_or(""), item.isDone()};
        }
        return items;
    }
    static Items ownedBy(char device, const Items& items) {
        Items out;
        for (const auto& [id, state] : items) {
            if (!state.body.empty() && state.body[0] == device) {
                out.emplace(id, state);
            }
        }
        return out;
    }

    // Folds one report of the child into what the stores must hold.
    void take(const std::string& line) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (word == "begin") {
            InFlight op;
            in >> op.device >> op.save >> op.kind >> op.id;
            // Each device changes only its own items, so what it was told it saved is known.
            op.after = op.kind == "insert" ? ItemState{} : expected_.at(op.id);
            if (op.kind == "toggle") {
                op.after.isDone = !op.after.isDone;
            } else {
                op.after.body = itemText(op.device, op.save);
            }
            inFlight_ = op;
        } else if (word == "saved") {
            char device = 0;
            std::uint64_t n = 0;
            in >> device >> n;
            ASSERT_TRUE(inFlight_ && inFlight_->device == device && inFlight_->save == n)
                << "an acknowledgement out of turn: " << line;
            std::string id = inFlight_->id;
            in >> id;  // an insert's new item
            expected_[id] = inFlight_->after;
            inFlight_.reset();
            nextSave_ = n + 1;
            ++acknowledgedThisRound_;
        } else if (word == "halt") {
            haltedAt_ = line.substr(5);
        } else if (word == "log") {
            childLog_ += line.substr(4) + "\n";
        } else if (word == "ready") {
            ready_ = true;
        } else {
            ADD_FAILURE() << "unexpected report from the child: " << line;
        }
    }

    // Runs the child until it halted at the plan's point (or, with no halt point, until it
    // acknowledged `saves` saves and then for a random moment more), then kills it and reads
    // what it reported until it died.
    void runAndKill(const Round& round, int occurrence, int saves, std::mt19937& random) {
        const Halt halt = round.halt;
        acknowledgedThisRound_ = 0;
        haltedAt_.clear();
        ready_ = false;
        const int logWrite =
            round.logWrite ? round.logWrite : std::uniform_int_distribution<int>(1, 3)(random);
        ChildPlan plan{dir_.path(), std::uint32_t(random()), nextSave_, round, occurrence};
        plan.round.logWrite = logWrite;
        test::ChildProcess child([&plan](int reportFd) {
            gReportFd = reportFd;
            try {
                runDevicesUntilKilled(plan);
            } catch (const std::exception& e) {
                report(std::string("error ") + e.what());
            }
        });
        while (halt != "none" ? haltedAt_.empty() : acknowledgedThisRound_ < saves) {
            auto line = child.nextLine();
            ASSERT_TRUE(line) << "the child stopped reporting after " << acknowledgedThisRound_
                              << " saves; it logged:\n"
                              << childLog_;
            take(*line);
            if (HasFatalFailure()) {
                return;
            }
            // Every halt point comes round within a few hundred saves (compaction the
            // slowest); a child far past that never gets there and would run forever.
            ASSERT_LT(acknowledgedThisRound_, 3000)
                << "the child never reached " << halt << "; it logged:\n"
                << childLog_;
        }
        if (halt == "none") {
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20'000)(random)));
        }
        EXPECT_TRUE(child.killAndWait()) << "the child ended otherwise than by SIGKILL";
        while (auto line = child.nextLine()) {
            take(*line);
        }
        EXPECT_TRUE(ready_);
        if (halt != "none") {
            EXPECT_EQ(haltedAt_, halt);
        }
    }

    // The checks after a kill; afterwards what the stores hold is what the next round builds
    // on.
    void checkAfterCrash(const std::string& round, bool saveWasCutInTheMiddle) {
        SCOPED_TRACE(round);
        for (char device : kDevices) {
            SCOPED_TRACE(std::string("device ") + device);
            EXPECT_EQ(sqliteRows(storeOf(device), "PRAGMA integrity_check"),
                      std::vector<std::string>{"ok"});
            // No two objects share a global identifier, and the one list is still one.
            EXPECT_EQ(
                sqliteRows(storeOf(device),
                           "SELECT hex(g) FROM (SELECT \"_gid\" AS g FROM \"Folder\" UNION ALL "
                           "SELECT \"_gid\" FROM \"List\" UNION ALL SELECT \"_gid\" FROM \"Item\") "
                           "GROUP BY g HAVING COUNT(*) > 1"),
                std::vector<std::string>{});
            EXPECT_EQ(sqliteRows(storeOf(device), "SELECT COUNT(*) FROM \"List\""),
                      std::vector<std::string>{"1"});
        }

        auto a = open('A');
        auto b = open('B');
        std::map<char, Items> stored{{'A', itemsIn(*a)}, {'B', itemsIn(*b)}};

        // The save in flight may or may not have been committed, but nothing else: after it
        // is settled, each device holds exactly what it was told it saved of its own items.
        if (inFlight_) {
            const auto& mine = stored[inFlight_->device];
            auto applied = expected_;
            for (const auto& [id, state] : ownedBy(inFlight_->device, mine)) {
                if (inFlight_->kind == "insert" ? !expected_.count(id) : id == inFlight_->id) {
                    applied[id] = inFlight_->after;
                }
            }
            const bool committed =
                ownedBy(inFlight_->device, mine) == ownedBy(inFlight_->device, applied) &&
                applied != expected_;
            if (saveWasCutInTheMiddle) {
                EXPECT_FALSE(committed) << "a save cut in the middle of its commit was kept";
            }
            if (committed) {
                expected_ = applied;
            }
            nextSave_ = inFlight_->save + 1;
            inFlight_.reset();
        } else {
            EXPECT_FALSE(saveWasCutInTheMiddle) << "the child halted in no save";
        }
        for (char device : kDevices) {
            EXPECT_EQ(describe(ownedBy(device, stored[device])),
                      describe(ownedBy(device, expected_)))
                << "device " << device << " lost or changed its own acknowledged saves";
        }

        // The next merges finish the work: both devices end with every change, once each.
        EXPECT_TRUE(settle(*a, *b)) << "the devices did not settle; the child logged:\n"
                                    << childLog_;
        for (auto* db : {a.get(), b.get()}) {
            EXPECT_TRUE(itemsIn(*db) == expected_) << describe(itemsIn(*db)) << "instead of\n"
                                                   << describe(expected_);
        }
    }

    // Runs the rounds: each halts at its point (at a random occurrence of it) or, for
    // "none", is killed at a random moment.
    void runRounds(const std::vector<Round>& rounds, std::uint32_t seed) {
        std::mt19937 random(seed);
        for (std::size_t r = 0; r < rounds.size(); ++r) {
            const auto halt = rounds[r].halt;
            // A save is halted a few dozen saves in, so the stores hold something by then.
            // An attach writes its first file once.
            const int occurrence = halt == "insideSave" || halt == "afterSave"
                                       ? std::uniform_int_distribution<int>(5, 40)(random)
                                   : isFirstFilesHalt(halt)
                                       ? 1
                                       : std::uniform_int_distribution<int>(1, 4)(random);
            const int saves = std::uniform_int_distribution<int>(3, 40)(random);
            runAndKill(rounds[r], occurrence, saves, random);
            if (HasFatalFailure()) {
                return;
            }
            if (halt == "insideSave" && !rounds[r].saveKind.empty()) {
                ASSERT_TRUE(inFlight_.has_value());
                EXPECT_EQ(inFlight_->kind, rounds[r].saveKind);
            }
            checkAfterCrash("round " + std::to_string(r) + ", killed at " + halt +
                                (halt != "none" ? " #" + std::to_string(occurrence) : ""),
                            halt == "insideSave");
            if (HasFailure()) {
                return;  // later rounds would only repeat the failure
            }
        }
        EXPECT_GT(expected_.size(), 10u);
        checkImportingAgainChangesNothing();
    }

    // After the crashes: B forgets which files it applied (the engine's record of them, the
    // table "_sync_applied") and imports everything again, baselines included; a new device C
    // attaches and catches up from what the folder holds now. Neither may differ from A.
    void checkImportingAgainChangesNothing() {
        SCOPED_TRACE("importing everything again");
        EXPECT_EQ(sqliteRows(storeOf('B'), "DELETE FROM \"_sync_applied\""),
                  std::vector<std::string>{});
        auto a = open('A');
        auto b = open('B');
        b->saveContext(false);
        finish(*b);
        EXPECT_EQ(b->ensemble()->status().filesToImport, 0);
        EXPECT_EQ(describe(itemsIn(*b)), describe(expected_));
        EXPECT_TRUE(settle(*a, *b));
        EXPECT_EQ(itemsIn(*a), expected_);
        EXPECT_EQ(itemsIn(*b), expected_);

        auto c = open('C');
        attach(*c);
        EXPECT_TRUE(settle(*a, *c));
        EXPECT_EQ(describe(itemsIn(*c)), describe(expected_));
        EXPECT_EQ(sqliteRows(storeOf('C'), "SELECT COUNT(*) FROM \"List\""),
                  std::vector<std::string>{"1"});
    }

    test::ManualPlatform platform_;
    test::TempDir dir_;
    std::map<char, std::unique_ptr<UserDefaults>> settings_;
    Items expected_;
    std::optional<InFlight> inFlight_;
    std::uint64_t nextSave_ = 1;
    int acknowledgedThisRound_ = 0;
    std::string haltedAt_;
    bool ready_ = false;
    std::string childLog_;
};

// Each case: the halts of its rounds, in order. Inside a save, write 1 to the log tears the
// first page's frame header; 3 and 4 come after a whole page of the save reached the log (a
// check writes the item's page and the list's).
struct CrashCase {
    const char* name;
    std::vector<Round> rounds;
    std::uint32_t seed;
};
const CrashCase kCrashCases[] = {
    {"AtRandomMoments", std::vector<Round>(8, Round{}), 11},
    {"InTheMiddleOfASave",
     {{"insideSave", "toggle", 1},
      {"insideSave", "insert", 2},
      {"insideSave", "edit", 4},
      {"insideSave", "toggle", 3},
      {"insideSave", "toggle", 4},
      {"insideSave"}},
     12},
    {"WhileExporting",
     {{"beforeExportWrite"},
      {"afterExportWrite"},
      {"insideExportBookkeeping"},
      {"afterExportWrite"},
      {"insideExportBookkeeping"}},
     13},
    // Saves acknowledged and not yet exported (their merges queued behind an export that
    // never comes) are still sent after the kill.
    {"BetweenSavesAndTheirExport", {{"afterSave"}, {"afterSave"}, {"afterSave"}}, 16},
    {"WhileImporting",
     {{"afterImportRead"}, {"insideImport"}, {"insideImport"}, {"afterImportRead"}},
     14},
    {"WhileAttaching",
     {{"beforeFirstFilesWrite"},
      {"afterFirstFilesWrite"},
      {"insideFirstFilesBookkeeping"},
      {"beforeFirstFilesWrite"}},
     16},
    {"WhileCompacting",
     {{"afterBaselineWrite"},
      {"afterCompactionRemove"},
      {"afterBaselineWrite"},
      {"afterCompactionRemove"}},
     15},
};

class KilledDevices : public CrashDuringSync, public ::testing::WithParamInterface<CrashCase> {};

TEST_P(KilledDevices, LoseAndDuplicateNothing) {
    runRounds(GetParam().rounds, GetParam().seed);
}

INSTANTIATE_TEST_SUITE_P(CrashDuringSync, KilledDevices, ::testing::ValuesIn(kCrashCases),
                         jw::test::caseName);

}  // namespace
}  // namespace jw::model
