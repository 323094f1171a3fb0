// Convergence: five devices, each with its own copy of the cloud folder, which a file-sync
// service fills late, out of order, twice, cut short and as conflict copies; calls fail now and
// then, a device goes offline, long stretches pass, and compaction runs every few files. Each
// seed runs ~60 random model operations on random devices with random merges. Then every
// device (and a newcomer) must hold the same store, done counts true, and that store must be
// what the exported changes call for (per key the greatest stamp, removals final); a model of
// the operations checks the plain facts (what was made and never deleted is everywhere).
// JOTWELL_SYNC_SEEDS runs more seeds; a failure names its seed.

#include <fmt/format.h>

#include <cstdlib>
#include <random>
#include <set>

#include "SyncTestSupport.h"
#include "tests/support/HaltingSqliteLayer.h"

namespace jw::sync {
namespace {

using model::Item;
using model::JWListFilter;
using model::List;
using nlohmann::json;
using testing::SimulatedDevice;

// The seeds a randomised test runs, first to last: the one in JOTWELL_SYNC_SEED alone (to
// replay a failure), else JOTWELL_SYNC_FIRST_SEED (default 1) to JOTWELL_SYNC_SEEDS when that
// is a positive number, else 1 to `fallback`. A long run splits over processes by first seed.
std::pair<int, int> seedsToRun(int fallback) {
    if (const char* one = std::getenv("JOTWELL_SYNC_SEED"); one && std::atoi(one) > 0) {
        return {std::atoi(one), std::atoi(one)};
    }
    const char* first = std::getenv("JOTWELL_SYNC_FIRST_SEED");
    const char* last = std::getenv("JOTWELL_SYNC_SEEDS");
    return {first && std::atoi(first) > 0 ? std::atoi(first) : 1,
            last && std::atoi(last) > 0 ? std::atoi(last) : fallback};
}

// The global identifiers of every object in a dump.
std::set<std::string> objectsIn(const std::vector<std::string>& dump) {
    std::set<std::string> ids;
    for (const auto& line : dump) {
        ids.insert(line.substr(0, line.find(' ')));
    }
    return ids;
}

// The change files `devices` wrote (as their recorders saw) that the cloud's true state can no
// longer give a newcomer: neither there nor held by a baseline there, as "<device> <n>". Empty
// when everything every device exported can be rebuilt from the folder.
template <typename Devices>
std::vector<std::string> unrecoverableFiles(const test::InMemoryCloud& cloud,
                                            const Devices& devices) {
    const auto folder = cloud.files();
    auto covered = testing::baselineCoverage(folder);
    const std::string prefix = "MainStore/devices/";  // then "<device>/changes/<name>"
    std::set<std::string> lost;
    for (const auto& device : devices) {
        for (const auto& [path, contents] : device->recorder->changeFiles()) {
            const auto owner =
                path.substr(prefix.size(), path.find('/', prefix.size()) - prefix.size());
            const auto n = CloudLayout::changeFileSequence(path.substr(path.rfind('/') + 1));
            if (!folder.count(path) && covered[owner] < n.value_or(0)) {
                lost.insert(owner + " " + std::to_string(*n));
            }
        }
    }
    return {lost.begin(), lost.end()};
}

constexpr int kDevices = 5;
constexpr int kOperationsPerSeed = 60;
constexpr int kDefaultSeeds = 100;

template <typename T>
std::vector<std::shared_ptr<T>> fetchAs(store::ManagedObjectContext& context,
                                        const store::FetchRequest& request) {
    std::vector<std::shared_ptr<T>> out;
    for (auto& object : context.executeFetchRequest(request)) {
        out.push_back(std::static_pointer_cast<T>(object));
    }
    return out;
}

// What the operations did, told without the engine: which objects were made, which deleted,
// which lists each item was ever put in, and each device's last write of some keys.
struct OperationFacts {
    std::set<std::string> lists;
    std::map<std::string, std::set<std::string>> itemLists;  // item -> every list it was in
    std::set<std::string> deleted;
    // (device, object, key) -> the value written, in the file form.
    std::map<std::tuple<int, std::string, std::string>, std::string> lastWrites;
};

// The store the exported changes call for, computed from the change files alone: per key the
// value with the greatest stamp, removals final, a to-one naming a removed owner takes its
// object with it (the inverse cascades) or reads null.
class ReferenceStore {
  public:
    void add(const ObjectChange& change) {
        auto& o = objects_[change.globalID];
        o.entity = change.entity;
        o.created = o.created || change.created.has_value();
        o.removed = o.removed || change.removed.has_value();
        for (const auto& [key, value] : change.values) {
            const auto stamp = change.stampOf(key);
            auto it = o.values.find(key);
            if (stamp && (it == o.values.end() || it->second.first < *stamp)) {
                o.values[key] = {*stamp, value.value};
            }
        }
    }

    std::vector<std::string> dump() {
        const auto model = testing::jotwellModel();
        auto live = [&](const std::string& id) {
            auto it = objects_.find(id);
            return it != objects_.end() && it->second.created && !it->second.removed;
        };
        for (bool changed = true; changed;) {
            changed = false;
            for (auto& [id, o] : objects_) {
                if (!live(id)) {
                    continue;
                }
                const auto& e = model->requireEntity(o.entity);
                for (const auto* r : e.toOneRelationships) {
                    auto it = o.values.find(r->name);
                    if (it == o.values.end() || !it->second.second.is_string() ||
                        r->inverse->deleteRule != store::DeleteRule::Cascade) {
                        continue;
                    }
                    auto target = objects_.find(it->second.second.get<std::string>());
                    if (target != objects_.end() && target->second.removed) {
                        o.removed = true;
                        changed = true;
                        break;
                    }
                }
            }
        }
        std::vector<std::string> lines;
        for (const auto& [id, o] : objects_) {
            if (!live(id)) {
                continue;
            }
            const auto& e = model->requireEntity(o.entity);
            std::string line = id + " " + e.name;
            for (const auto& a : e.attributes) {
                auto it = o.values.find(a.name);
                line += " " + a.name + "=" +
                        (it == o.values.end() ? encodeValue(a.type, store::defaultValueFor(a.type))
                                              : it->second.second)
                            .dump();
            }
            for (const auto* r : e.toOneRelationships) {
                auto it = o.values.find(r->name);
                std::string target = "null";
                if (it != o.values.end() && it->second.second.is_string() &&
                    live(it->second.second.get<std::string>())) {
                    target = it->second.second.dump();
                }
                line += " " + r->name + "=" + target;
            }
            lines.push_back(std::move(line));
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

  private:
    struct Object {
        std::string entity;
        bool created = false;
        bool removed = false;
        std::map<std::string, std::pair<Stamp, json>> values;
    };
    std::map<std::string, Object> objects_;
};

class ConvergenceRun {
  public:
    explicit ConvergenceRun(unsigned seed) : rng_(seed) {
        test::CloudDeliveryOptions options;
        options.deliveryProbability = 0.5;
        options.truncateProbability = 0.2;
        options.duplicateProbability = 0.2;
        options.conflictCopyProbability = 0.5;
        cloud_.setOptions(options);
        tuning_.baselineAfterFiles = 4;
        tuning_.objectsPerBaselineFile = 1'000'000;
        tuning_.registrationRefreshSeconds = 600;
        tuning_.staleDeviceSeconds = 2 * 3600;
        tuning_.changesPerTransaction = 1 + seed % 3;  // files applied in slices
        for (int i = 0; i < kDevices; ++i) {
            devices_.push_back(std::make_unique<SimulatedDevice>(
                cloud_, "device" + std::to_string(i), false, tuning_));
        }
    }

    ~ConvergenceRun() {
        for (auto& device : devices_) {
            device->close();
        }
    }

    void run() {
        // The first device has lists before it attaches: they must reach everyone.
        auto& first = *devices_[0];
        auto groceries = model::newList(*first.db, "Groceries");
        note(groceries.get());
        noteItem(model::newItem(*first.db, *groceries, "milk").get(), groceries.get());
        noteItem(model::newItem(*first.db, *groceries, "eggs").get(), groceries.get());
        first.db->sync();
        testing::runUntilQuiet(platform_, devices_);
        ASSERT_TRUE(first.ensemble().isLeeched());
        // The others attach at their first save, at random points of the run; now and then
        // before the cloud has shown them the ensemble the first one made, so that they make
        // it anew.
        if (chance(0.7)) {
            cloud_.deliverAll();
        }
        for (int step = 0; step < kOperationsPerSeed && !::testing::Test::HasFatalFailure();
             ++step) {
            randomStep();
        }
        settle();
        check();
        if (::testing::Test::HasFailure()) {
            return;
        }
        // A newcomer, whose copy of the folder fills only as the service brings it.
        devices_.push_back(std::make_unique<SimulatedDevice>(cloud_, "newcomer", true, tuning_));
        auto& newcomer = *devices_.back();
        newcomer.db->sync();
        for (int round = 0; round < 6; ++round) {
            trace("newcomer: deliver some: {}", cloud_.deliverSome(rng_));
            newcomer.db->merge();
            testing::runUntilQuiet(platform_, devices_);
        }
        settle();
        check();
    }

  private:
    // With JOTWELL_SYNC_TRACE set, each step is told on standard error.
    template <typename... Args>
    void trace(fmt::format_string<Args...> format, Args&&... args) {
        if (tracing_) {
            fmt::print(stderr, "  [{}] {}\n", counter_,
                       fmt::format(format, std::forward<Args>(args)...));
        }
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng_); }

    void note(List* list) {
        if (list) {
            facts_.lists.insert(list->globalID().toString());
        }
    }
    void noteItem(Item* item, List* list) {
        if (item && list) {
            facts_.itemLists[item->globalID().toString()].insert(list->globalID().toString());
        }
    }
    void noteWrite(int device, const store::ManagedObject& object, const std::string& key,
                   const json& value) {
        facts_.lastWrites[{device, object.globalID().toString(), key}] = value.dump();
    }

    void randomStep() {
        platform_.clock().advance(1 + pick(90));
        const int kind = pick(100);
        if (kind < 62) {
            const int d = pick(kDevices);
            operate(d);
            devices_[d]->ensemble().waitUntilIdle();
        } else if (kind < 72) {
            trace("deliver some: {}", cloud_.deliverSome(rng_));
        } else if (kind < 80) {
            auto& device = *devices_[pick(kDevices)];
            trace("{} merges", device.name);
            chance(0.5) ? device.db->merge() : device.db->sync();
            device.ensemble().waitUntilIdle();
        } else if (kind < 88) {
            injectFault(*devices_[pick(kDevices)]);
        } else if (kind < 94) {
            // Time passes: the sync timers of devices that called sync() fire and save.
            const int seconds = pick(25);
            trace("{} seconds pass", seconds);
            platform_.loop().advance(seconds);
            for (auto& device : devices_) {
                device->ensemble().waitUntilIdle();
            }
        } else if (kind < 97) {
            trace("deliver all: {}", cloud_.deliverAll());
        } else if (kind < 98) {
            // A device goes offline (its file-sync service stops), or comes back.
            if (away_ < 0) {
                away_ = 1 + pick(kDevices - 1);
                trace("{} goes offline", devices_[away_]->name);
                devices_[away_]->view->setOffline(true);
            } else {
                comeBack();
            }
        } else {
            // A long stretch passes: a device not heard of since is no longer waited for.
            trace("three hours pass");
            platform_.clock().advance(3 * 3600);
        }
        checkFolderRebuildsEverything();
        // Completions and merged changes reach the main contexts only now and then, so the
        // contexts often act on a store that has moved on under them.
        if (chance(0.5)) {
            trace("main loop runs");
            testing::runUntilQuiet(platform_, devices_);
        }
    }

    // At every moment, whatever the devices saw and removed, the folder itself still holds
    // everything any device exported (checked while no device holds writes back).
    void checkFolderRebuildsEverything() {
        if (away_ >= 0) {
            return;
        }
        const auto lost = unrecoverableFiles(cloud_, devices_);
        ASSERT_TRUE(lost.empty()) << "a newcomer could not rebuild " << lost.front();
    }

    void comeBack() {
        if (away_ >= 0) {
            trace("{} is back online", devices_[away_]->name);
            devices_[away_]->view->setOffline(false);
            away_ = -1;
        }
    }

    void injectFault(SimulatedDevice& device) {
        static const test::CloudOperation kOperations[] = {
            test::CloudOperation::write,         test::CloudOperation::write,
            test::CloudOperation::read,          test::CloudOperation::list,
            test::CloudOperation::makeDirectory, test::CloudOperation::checkRoot};
        const auto operation = kOperations[pick(6)];
        const int count = 1 + pick(2);
        trace("{}: the next {} calls of operation {} fail", device.name, count, int(operation));
        device.view->failNext(operation, count, CloudStatus::unavailable);
    }

    void operate(int d) {
        auto& db = *devices_[d]->db;
        auto& context = db.viewContext();
        auto lists = fetchAs<List>(context, model::listsFetchRequest(false));
        auto randomList = [&]() -> std::shared_ptr<List> {
            return lists.empty() ? nullptr : lists[pick(int(lists.size()))];
        };
        auto itemsOf = [&](List* list) {
            return fetchAs<Item>(context, model::itemsFetchRequest(list, JWListFilter::none));
        };
        const int op = pick(16);
        const auto step = std::to_string(++counter_);
        trace("{} operation {}", devices_[d]->name, op);
        if (lists.empty() || op == 0 || (op == 1 && lists.size() < 6)) {
            note(model::newList(db, "list " + step).get());
            return;
        }
        auto list = randomList();
        auto items = itemsOf(list.get());
        trace("  on list {} ({} items)", list->globalID().toString(), items.size());
        auto randomItem = [&]() -> std::shared_ptr<Item> {
            auto item = items.empty() ? nullptr : items[pick(int(items.size()))];
            if (item) {
                trace("  item {}", item->globalID().toString());
            }
            return item;
        };
        switch (op) {
            case 1:
            case 2: {
                auto item = model::newItem(db, *list, "item " + step);
                noteItem(item.get(), list.get());
                return;
            }
            case 3: {
                const std::string name = "renamed " + step;
                model::renameList(db, *list, name);
                noteWrite(d, *list, "name", name);  // a new name: always a change
                return;
            }
            case 4:
                if (lists.size() > 2 || chance(0.3)) {
                    facts_.deleted.insert(list->globalID().toString());
                    for (auto& item : items) {
                        facts_.deleted.insert(item->globalID().toString());
                    }
                    model::deleteList(db, *list);
                }
                return;
            case 5:
                if (auto item = randomItem()) {
                    const std::string text = chance(0.1) ? "" : "edited " + step;
                    const bool changes = item->body() != text;
                    model::editItemText(db, *item, text);
                    if (changes) {
                        noteWrite(d, *item, "body", text);
                    }
                }
                return;
            case 6:
            case 7:
                if (auto item = randomItem()) {
                    model::toggleItem(db, *item);
                    noteWrite(d, *item, "isDone", item->isDone());
                }
                return;
            case 8:
                if (auto item = randomItem()) {
                    facts_.deleted.insert(item->globalID().toString());
                    model::deleteItem(db, *item);
                }
                return;
            case 9: {
                auto item = randomItem();
                auto target = randomList();
                if (item && target) {
                    noteItem(item.get(), target.get());
                    const bool changes = item->forList() != target.get();
                    model::moveItem(db, *item, *target);
                    if (changes) {
                        noteWrite(d, *item, "forList", target->globalID().toString());
                    }
                }
                return;
            }
            case 10: {
                auto item = randomItem();
                auto target = randomList();
                if (item && target) {
                    noteItem(model::copyItem(db, *item, *target).get(), target.get());
                }
                return;
            }
            case 11: {
                // A drag in manual order: lists on the lists screen or the list's items.
                std::vector<store::ManagedObject*> shown;
                if (chance(0.5)) {
                    for (auto& l : fetchAs<List>(context, model::listsFetchRequest(true))) {
                        shown.push_back(l.get());
                    }
                } else {
                    model::chooseSortMode(list.get(), 7);
                    for (auto& i : itemsOf(list.get())) {
                        shown.push_back(i.get());
                    }
                }
                if (!shown.empty()) {
                    model::renumberAfterMove(shown, std::size_t(pick(int(shown.size()))),
                                             std::size_t(pick(int(shown.size()))));
                }
                // Saved by the next save, whoever makes it.
                if (chance(0.5)) {
                    db.saveContext(false);
                }
                return;
            }
            case 12: {
                const std::string theme = chance(0.5) ? "Ocean" : "Forest " + step;
                const bool changes = list->themeKey() != theme;
                model::chooseTheme(db, list.get(), theme);
                if (changes) {
                    noteWrite(d, *list, "themeKey", theme);
                }
                return;
            }
            case 13:
                model::chooseSortMode(list.get(), std::int16_t(1 + pick(7)));
                if (chance(0.7)) {
                    db.saveContext(false);
                }
                return;
            default: {
                // Checked items reset (14) or deleted.
                std::vector<Item*> shown;
                for (auto& i : items) {
                    shown.push_back(i.get());
                    if (i->isDone() && op == 14) {
                        noteWrite(d, *i, "isDone", false);
                    } else if (i->isDone()) {
                        facts_.deleted.insert(i->globalID().toString());
                    }
                }
                op == 14 ? model::resetChecked(db, list.get(), shown)
                         : model::deleteChecked(db, list.get(), shown);
                return;
            }
        }
    }

    // Merge everywhere, deliver everything, until every merge succeeds (failures asked for
    // may still be queued) and nothing is left to import or export.
    void settle() {
        comeBack();
        int quietRounds = 0;
        for (int round = 0; round < 12 && quietRounds < 2; ++round) {
            platform_.clearLog();
            for (auto& device : devices_) {
                device->db->saveContext(false);
            }
            testing::runUntilQuiet(platform_, devices_);
            checkFolderRebuildsEverything();
            cloud_.deliverAll();
            bool quiet = !testing::anyLineContains(platform_.logLines(), "CloudDB: merge error");
            for (auto& device : devices_) {
                const auto status = device->ensemble().status();
                quiet = quiet && status.leeched && status.changesToExport == 0 &&
                        status.filesToImport == 0;
            }
            quietRounds = quiet ? quietRounds + 1 : 0;
        }
        ASSERT_EQ(quietRounds, 2) << "the devices never stopped having files to merge";
    }

    void check() {
        // Same store everywhere.
        for (auto& device : devices_) {
            ASSERT_EQ(device->db->syncState(), model::SyncState::attached) << device->name;
        }
        const auto store = testing::expectSameStores(devices_);
        if (::testing::Test::HasFailure()) {
            return;
        }
        // Nothing left waiting anywhere: every change exported, every object created, every
        // link settled. What is kept aside is objects whose owner is removed. Every done count
        // is what the items say.
        const auto present = objectsIn(store);
        for (auto& device : devices_) {
            // "<list>|<stored count>|<checked items>" for each list whose count is wrong, and a
            // row for each change still waiting to be exported.
            EXPECT_EQ(
                test::sqliteRows(
                    device->storeFile(),
                    "SELECT hex(l.\"_gid\"), l.\"doneCount\", (SELECT COUNT(*) FROM \"Item\" i "
                    "WHERE i.\"forList\" = l.\"_key\" AND i.\"isDone\") AS done FROM \"List\" l "
                    "WHERE l.\"doneCount\" != done UNION ALL SELECT 'pending', 0, 0 FROM "
                    "\"_sync_pending\""),
                std::vector<std::string>{})
                << device->name;
            store::SqliteDatabase db(device->storeFile(), /*writeAheadLog=*/false);
            for (const auto& line : testing::dumpSyncRecord(db)) {  // "aside <gid> <Entity> ..."
                const bool aside = line.starts_with("aside ");
                EXPECT_TRUE(!line.starts_with("waits ") &&
                            (!aside || (line.find(" created@") != line.npos &&
                                        !present.count(line.substr(6, 36)))))
                    << device->name << " still waits with " << line;
            }
        }

        // The store is what the exported changes call for, and each device's last write of
        // a key went out as it was written.
        ReferenceStore reference;
        std::map<std::tuple<int, std::string, std::string>, std::string> exported;
        for (int d = 0; d < int(devices_.size()); ++d) {
            std::map<std::int64_t, ChangeFile> files;  // by sequence: in the order written
            for (const auto& [path, contents] : devices_[d]->recorder->changeFiles()) {
                auto file = decodeChangeFile(contents, testing::jotwellModel()->version());
                files[file.header.sequence] = std::move(file);
            }
            for (const auto& [sequence, file] : files) {
                for (const auto& written : file.changes) {
                    const auto change = testing::spelledOut(written);
                    reference.add(change);
                    for (const auto& [key, value] : change.values) {
                        exported[{d, change.globalID, key}] = value.value.dump();
                    }
                }
            }
        }
        const auto expected = reference.dump();
        EXPECT_TRUE(expected == store) << "the exported changes (-) call for another store than "
                                          "the devices hold (+):\n"
                                       << testing::diffOf(expected, store);

        for (const auto& [write, value] : facts_.lastWrites) {
            const auto& [device, object, key] = write;
            if (!present.count(object)) {
                continue;  // removed since: removals win
            }
            auto it = exported.find(write);
            ASSERT_NE(it, exported.end()) << devices_[device]->name << "'s write of " << key
                                          << " = " << value << " to " << object << " never left it";
            EXPECT_EQ(it->second, value) << devices_[device]->name << "'s last write of " << key
                                         << " to " << object << " went out changed";
        }

        // The plain facts.
        for (const auto& id : facts_.deleted) {
            EXPECT_FALSE(present.count(id)) << "deleted " << id << " is back";
        }
        for (const auto& id : facts_.lists) {
            if (!facts_.deleted.count(id)) {
                EXPECT_TRUE(present.count(id)) << "list " << id << " was never deleted but is gone";
            }
        }
        for (const auto& [id, itsLists] : facts_.itemLists) {
            const bool listDeleted =
                std::any_of(itsLists.begin(), itsLists.end(),
                            [&](const auto& l) { return facts_.deleted.count(l); });
            if (!facts_.deleted.count(id) && !listDeleted) {
                EXPECT_TRUE(present.count(id))
                    << "item " << id << " was never deleted nor in a deleted list, but is gone";
            }
        }
        for (const auto& line : store) {
            if (line.find(" Item ") != std::string::npos) {
                const auto at = line.find("forList=\"");
                ASSERT_NE(at, std::string::npos) << "an item without its list: " << line;
                EXPECT_TRUE(present.count(line.substr(at + 9, 36)))
                    << "an item in a list that is gone: " << line;
            }
        }
    }

    std::mt19937 rng_;
    test::ManualPlatform platform_;
    test::InMemoryCloud cloud_;
    std::vector<std::unique_ptr<SimulatedDevice>> devices_;
    OperationFacts facts_;
    EnsembleTuning tuning_;
    int away_ = -1;  // the device offline, if any
    int counter_ = 0;
    bool tracing_ = std::getenv("JOTWELL_SYNC_TRACE") != nullptr;
};

TEST(Convergence, FiveDevicesReachTheSameStoreWhateverTheCloudDoes) {
    const auto [first, last] = seedsToRun(kDefaultSeeds);
    // JOTWELL_SYNC_SEEDS names the last seed, not a count: a first seed past it runs nothing.
    ASSERT_LE(first, last) << "no seeds to run";
    for (int seed = first; seed <= last && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed) +
                     " (the seeds after a failed one are not run)");
        ConvergenceRun(unsigned(seed)).run();
    }
}

}  // namespace
}  // namespace jw::sync
