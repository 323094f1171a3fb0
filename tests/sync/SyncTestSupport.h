#pragma once
// What the sync engine's tests stand on: the object model, raw dumps of a store (equal exactly
// when two stores hold the same data), what a user sees of a database, and simulated devices
// sharing an in-memory cloud, each call recorded.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/store/GlobalID.h"
#include "platform/store/ObjectModel.h"
#include "platform/store/PersistentContainer.h"
#include "platform/store/Sqlite.h"
#include "platform/store/StoreConnection.h"
#include "platform/sync/ChangeFile.h"
#include "platform/sync/CloudFileSystem.h"
#include "platform/sync/CloudLayout.h"
#include "platform/sync/ObjectChange.h"
#include "platform/sync/PersistentStoreEnsemble.h"
#include "platform/sync/SyncTables.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"
#include "tests/support/InMemoryCloud.h"
#include "tests/support/ScriptCase.h"
#include "tests/support/ScriptableCloud.h"
#include "tests/support/TestEnvironment.h"

namespace jw::sync::testing {

// A scratch folder in memory when there can be one.
struct ScratchDir : test::TempDir {
    ScratchDir() : test::TempDir(/*inMemory=*/true) {}
};

// The object model -----------------------------------------------------------------------------

inline std::filesystem::path resourceDirectory() {
    return AppPaths::resolve(std::nullopt).resourceDirectory;
}

inline std::shared_ptr<const store::ObjectModel> jotwellModel() {
    static const std::shared_ptr<const store::ObjectModel> model = store::ObjectModel::fromFile(
        store::PersistentContainer::modelURL(resourceDirectory(), "Jotwell"));
    return model;
}

// Hand-made changes. A stamp is device "A"'s unless told; a creation's values carry no stamp of
// their own, an update's carry the update's.
inline Stamp at(std::int64_t counter, const char* device = "A") {
    return Stamp{counter, device};
}
inline ObjectChange changeOf(std::string entity, std::string id, std::optional<Stamp> created,
                             std::optional<Stamp> removed,
                             const std::map<std::string, nlohmann::json>& values = {},
                             const std::optional<Stamp>& stamp = std::nullopt) {
    ObjectChange c{std::move(entity), std::move(id), std::move(created), std::move(removed), {}};
    for (const auto& [key, value] : values) {
        c.values[key] = {value, stamp};
    }
    return c;
}

// A change as a file means it: a creation holds every key of its entity, those it leaves out
// at their default under the creation stamp (see ChangeFile.h). Anything else as it is.
inline ObjectChange spelledOut(ObjectChange change) {
    const auto* e = change.created ? jotwellModel()->entity(change.entity) : nullptr;
    if (e) {
        for (const auto& a : e->attributes) {
            change.values.try_emplace(
                a.name,
                KeyChange{encodeValue(a.type, store::defaultValueFor(a.type)), std::nullopt});
        }
        for (const auto* r : e->toOneRelationships) {
            change.values.try_emplace(r->name, KeyChange{nullptr, std::nullopt});
        }
    }
    return change;
}

// Dumps ------------------------------------------------------------------------------------------

inline store::GlobalID globalIDOf(const store::SqliteStatement& s, int column) {
    store::GlobalID id;
    const auto* data = static_cast<const unsigned char*>(s.columnBlobData(column));
    if (data && s.columnBytes(column) == 16) {
        std::copy(data, data + 16, id.bytes.begin());
    }
    return id;
}

// One line per object: "<gid> <Entity> key=value ...", keys in model order, values in the sync
// file form (so a date or a blob is compared exactly), a to-one as its target's global
// identifier, null, or "dangling" when the row it names does not exist. Sorted.
inline std::vector<std::string> dumpDatabase(store::SqliteDatabase& db) {
    const auto model = jotwellModel();
    std::vector<std::map<std::int64_t, std::string>> idsByKey(model->entities().size());
    for (const auto& e : model->entities()) {
        store::SqliteStatement s(db.handle(), "SELECT \"_key\", \"_gid\" FROM " +
                                                  store::StoreConnection::quoted(e.name));
        while (s.step()) {
            idsByKey[e.index][s.columnInt(0)] = globalIDOf(s, 1).toString();
        }
    }
    std::vector<std::string> lines;
    for (const auto& e : model->entities()) {
        store::SqliteStatement s(db.handle(), "SELECT " + store::StoreConnection::selectColumns(e) +
                                                  " FROM " +
                                                  store::StoreConnection::quoted(e.name));
        while (s.step()) {
            std::string line =
                globalIDOf(s, store::StoreConnection::kGlobalIDColumn).toString() + " " + e.name;
            for (const auto& a : e.attributes) {
                line += " " + a.name + "=" +
                        encodeValue(
                            a.type,
                            s.columnValue(store::StoreConnection::attributeColumn(a.index), a.type))
                            .dump();
            }
            for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                const auto* r = e.toOneRelationships[slot];
                const int column = store::StoreConnection::toOneColumn(e, slot);
                std::string target = "null";
                if (!s.columnIsNull(column)) {
                    const auto& targets = idsByKey[r->destination->index];
                    const auto it = targets.find(s.columnInt(column));
                    target = it == targets.end() ? "dangling" : "\"" + it->second + "\"";
                }
                line += " " + r->name + "=" + target;
            }
            lines.push_back(std::move(line));
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A change as what it means: each key with its value and the stamp it carries, however the
// change spells its stamps.
inline std::string meaningOf(const ObjectChange& c) {
    auto text = [](const std::optional<Stamp>& s) {
        return s ? std::to_string(s->counter) + "/" + s->device : std::string("-");
    };
    std::string line = c.globalID + " " + c.entity;
    if (c.created)
        line += " created@" + text(c.created);
    if (c.removed)
        line += " removed@" + text(c.removed);
    for (const auto& [key, change] : c.values) {
        line += " " + key + "=" + change.value.dump() + "@" + text(c.stampOf(key));
    }
    return line;
}

// The engine's own record beside the data: stamps, removals, changes kept aside, links
// waiting for their target. Sorted.
inline std::vector<std::string> dumpSyncRecord(store::SqliteDatabase& db) {
    std::vector<std::string> lines;
    for (const auto& [id, stamps] : SyncTables(db).allStamps()) {
        for (const auto& [key, stamp] : stamps) {
            lines.push_back("stamp " + id.toString() + " " + key + " " +
                            std::to_string(stamp.counter) + "/" + stamp.device);
        }
    }
    store::SqliteStatement s(db.handle(),
                             "SELECT \"gid\", \"entity\", \"counter\", \"device\" FROM "
                             "\"_sync_tombstones\"");
    while (s.step()) {
        lines.push_back("removed " + globalIDOf(s, 0).toString() + " " + s.columnText(1) + " " +
                        std::to_string(s.columnInt(2)) + "/" + s.columnText(3));
    }
    store::SqliteStatement parked(db.handle(), "SELECT \"payload\" FROM \"_sync_parked\"");
    while (parked.step()) {
        lines.push_back("aside " + meaningOf(ObjectChange::fromJson(
                                       nlohmann::json::parse(parked.columnText(0)))));
    }
    store::SqliteStatement links(db.handle(),
                                 "SELECT \"gid\", \"key\", \"target\" FROM \"_sync_links\"");
    while (links.step()) {
        lines.push_back("waits " + globalIDOf(links, 0).toString() + " " + links.columnText(1) +
                        " " + globalIDOf(links, 2).toString());
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Rewrites the changes a store keeps for export in the JSON form an earlier version kept them
// in; answers how many there were.
inline std::size_t keepPendingAsJson(store::SqliteDatabase& db) {
    std::vector<std::pair<std::int64_t, std::string>> rows;
    {
        store::SqliteStatement s(db.handle(), "SELECT \"seq\", \"payload\" FROM \"_sync_pending\"");
        while (s.step()) {
            rows.emplace_back(s.columnInt(0), pendingChangeFrom(s.columnText(1)).toJson().dump());
        }
    }
    for (const auto& [seq, json] : rows) {
        store::SqliteStatement s(db.handle(),
                                 "UPDATE \"_sync_pending\" SET \"payload\" = ? WHERE \"seq\" = ?");
        s.bindText(1, json);
        s.bindInt(2, seq);
        s.step();
    }
    return rows.size();
}

// The lines only in `a` (prefixed "- ") and only in `b` ("+ "), for failure messages.
inline std::string diffOf(const std::vector<std::string>& a, const std::vector<std::string>& b,
                          std::size_t maxLines = 40) {
    std::vector<std::string> onlyA, onlyB;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyA));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyB));
    std::string text;
    std::size_t shown = 0;
    for (const auto& line : onlyA) {
        if (shown++ < maxLines)
            text += "- " + line + "\n";
    }
    for (const auto& line : onlyB) {
        if (shown++ < maxLines)
            text += "+ " + line + "\n";
    }
    if (shown > maxLines) {
        text += "... (" + std::to_string(shown - maxLines) + " more)\n";
    }
    return text;
}

// The folder's own guarantee to a newcomer -------------------------------------------------------

// How far the baselines in a folder reach into each device's files: by device, the largest
// file number some baseline holds.
inline std::map<std::string, std::int64_t> baselineCoverage(
    const std::map<std::string, std::string>& folder) {
    std::map<std::string, std::int64_t> covered;
    for (const auto& [path, contents] : folder) {
        const auto name = path.substr(path.rfind('/') + 1);
        if (path.find("/baselines/") != std::string::npos &&
            CloudLayout::baselineFileSequence(name)) {  // not a conflict copy of one
            const auto header = nlohmann::json::parse(contents.substr(0, contents.find('\n')));
            for (const auto& [device, n] : header.at("coverage").items()) {
                covered[device] = std::max(covered[device], n.template get<std::int64_t>());
            }
        }
    }
    return covered;
}

// Log lines of the engine saying it skipped a file or folder.
inline std::vector<std::string> skippedLines(const test::ManualPlatform& platform) {
    std::vector<std::string> out;
    for (const auto& line : platform.logLines()) {
        if (line.starts_with("sync: skipped ")) {
            out.push_back(line);
        }
    }
    return out;
}

inline bool anyLineContains(const std::vector<std::string>& lines, std::string_view a,
                            std::string_view b = {}) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(a) != std::string::npos && line.find(b) != std::string::npos;
    });
}

// What a user sees -------------------------------------------------------------------------------

inline std::shared_ptr<model::List> listNamed(model::JWDatabase& db, const std::string& name) {
    for (auto& o : db.viewContext().executeFetchRequest(model::listsFetchRequest(false))) {
        if (static_cast<model::List&>(*o).name() == name) {
            return std::static_pointer_cast<model::List>(o);
        }
    }
    return nullptr;
}

inline std::shared_ptr<model::Item> itemWithBody(model::JWDatabase& db, const std::string& body) {
    for (auto& o : db.viewContext().executeFetchRequest(
             model::itemsFetchRequest(nullptr, model::JWListFilter::none))) {
        if (static_cast<model::Item&>(*o).body() == body) {
            return std::static_pointer_cast<model::Item>(o);
        }
    }
    return nullptr;
}

// Every list by name with its done count and items ("[x] Milk"), one line each, sorted.
inline std::string contents(model::JWDatabase& db) {
    std::vector<std::string> lines;
    for (auto& o : db.viewContext().executeFetchRequest(model::listsFetchRequest(false))) {
        auto& list = static_cast<model::List&>(*o);
        std::vector<std::string> items;
        for (auto& i : db.viewContext().executeFetchRequest(
                 model::itemsFetchRequest(&list, model::JWListFilter::none))) {
            auto& item = static_cast<model::Item&>(*i);
            items.push_back((item.isDone() ? " [x] " : " [ ] ") + item.body().value_or("<absent>"));
        }
        std::sort(items.begin(), items.end());
        std::string line =
            list.name().value_or("<absent>") + " (" + std::to_string(list.doneCount()) + "):";
        for (auto& item : items) {
            line += item;
        }
        lines.push_back(line + "\n");
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (auto& line : lines) {
        text += line;
    }
    return text;
}

// Runs what the databases started to its end: the worker's work, the completions it posts on
// the main loop, and what those start in turn (a completion may start another merge).
inline void finishOperations(ManualRunLoop& loop, const std::vector<model::JWDatabase*>& dbs) {
    for (int round = 0; round < 100; ++round) {
        for (auto* db : dbs) {
            db->ensemble()->waitUntilIdle();
        }
        loop.drain();
        if (std::none_of(dbs.begin(), dbs.end(),
                         [](auto* db) { return db->operationsInFlight() > 0; })) {
            return;
        }
    }
    FAIL() << "the databases' operations never finished";
}

// Simulated devices ------------------------------------------------------------------------------

// One device: its own folder, user defaults and view of the shared cloud, and a JWDatabase.
// Needs a ManualPlatform alive around it (the ensemble posts to the main run loop).
struct SimulatedDevice {
    // With `joiningLate`, the device's view of the folder starts empty and is filled by the
    // deliveries (see InMemoryCloud::joiningView).
    SimulatedDevice(test::InMemoryCloud& cloud, std::string deviceName, bool joiningLate = false,
                    EnsembleTuning syncTuning = {})
        : name(std::move(deviceName)),
          settings(std::filesystem::path{}),
          view(joiningLate ? cloud.joiningView(name) : cloud.view(name)),
          recorder(std::make_shared<test::ScriptableCloud>(view)),
          tuning(syncTuning) {
        open();
    }

    void open() {
        db = std::make_unique<model::JWDatabase>(model::JWDatabase::Locations{
            dir.path(), resourceDirectory(), recorder, std::nullopt, &settings, tuning});
    }
    // Closes the database (the ensemble's work under way finishes first).
    void close() { db.reset(); }

    PersistentStoreEnsemble& ensemble() { return *db->ensemble(); }
    std::filesystem::path storeFile() const { return db->storeURL(); }
    std::string deviceID() { return ensemble().status().device; }

    std::string name;
    ScratchDir dir;
    UserDefaults settings;
    std::shared_ptr<test::InMemoryCloudView> view;
    std::shared_ptr<test::ScriptableCloud> recorder;  // every call of the device goes through it
    EnsembleTuning tuning;
    std::unique_ptr<model::JWDatabase> db;
};

// Lets every started attach and merge of `devices` finish and delivers their completions and
// merged-changes notifications.
template <typename Devices>
void runUntilQuiet(test::ManualPlatform& platform, Devices& devices) {
    std::vector<model::JWDatabase*> dbs;
    for (auto& device : devices) {
        dbs.push_back(device->db.get());
    }
    finishOperations(platform.loop(), dbs);
}

// Every device holds the same store as the first, with no link to an object that is gone, and
// none removed a file of another device. Answers the first device's dump.
template <typename Devices>
std::vector<std::string> expectSameStores(const Devices& devices) {
    auto dumpStore = [](const auto& device) {
        store::SqliteDatabase db(device->storeFile(), /*writeAheadLog=*/false);
        return dumpDatabase(db);
    };
    const auto first = dumpStore(devices[0]);
    for (const auto& device : devices) {
        const auto dump = dumpStore(device);
        EXPECT_TRUE(dump == first)
            << devices[0]->name << " (-) and " << device->name << " (+) differ:\n"
            << diffOf(first, dump);
        for (const auto& line : dump) {
            EXPECT_EQ(line.find("dangling"), std::string::npos) << device->name << ": " << line;
        }
        const auto own = CloudLayout{"MainStore"}.deviceFolder(device->deviceID()) + "/";
        for (const auto& path : device->recorder->removed()) {
            EXPECT_TRUE(path.starts_with(own)) << device->name << " removed " << path;
        }
    }
    return first;
}

// Devices sharing one in-memory cloud folder. Each device added attaches at once, and what it
// wrote is delivered to all.
class SharedCloudTest : public ::testing::Test {
  protected:
    ~SharedCloudTest() override {
        for (auto& device : devices_) {
            device->close();
        }
    }

    // A device made and not yet attached: it attaches at its first save or sync.
    SimulatedDevice& launch(const std::string& name, bool joiningLate = false) {
        devices_.push_back(std::make_unique<SimulatedDevice>(cloud_, name, joiningLate, tuning_));
        return *devices_.back();
    }

    SimulatedDevice& addDevice(const std::string& name, bool joiningLate = false) {
        auto& device = launch(name, joiningLate);
        device.db->sync();
        settle();
        cloud_.deliverAll();
        return device;
    }

    void settle() { runUntilQuiet(platform_, devices_); }

    void merge(SimulatedDevice& device) {
        device.db->merge();
        settle();
    }

    // Every device merges what every other has in `cloud` (by default the shared one), until
    // nothing moves.
    void mergeEverywhere(test::InMemoryCloud* cloud = nullptr) {
        cloud = cloud ? cloud : &cloud_;
        for (int round = 0; round < 3; ++round) {
            cloud->deliverAll();
            for (auto& device : devices_) {
                merge(*device);
            }
        }
        cloud->deliverAll();
    }

    void expectSameStoresEverywhere() { expectSameStores(devices_); }

    // The folder no longer holds `device`: `by` removed its registration (as when the folder
    // was replaced by one of another set of devices).
    void unregister(SimulatedDevice& device, SimulatedDevice& by) {
        ASSERT_EQ(by.view->remove(CloudLayout{"MainStore"}.registrationFile(device.deviceID())),
                  CloudStatus::ok);
        cloud_.deliverAll();
    }

    test::ManualPlatform platform_;
    test::InMemoryCloud cloud_;
    EnsembleTuning tuning_;  // for the devices added from now on
    std::vector<std::unique_ptr<SimulatedDevice>> devices_;
};

// "device" and "other" attached to one folder, each with a list the other has ("from device",
// "from other").
class TwoDevicesTest : public SharedCloudTest {
  protected:
    TwoDevicesTest() : device_(addDevice("device")), other_(addDevice("other")) {
        model::newList(*device_.db, "from device");
        model::newList(*other_.db, "from other");
        settle();
        mergeEverywhere();
    }

    SimulatedDevice& device_;
    SimulatedDevice& other_;
};

}  // namespace jw::sync::testing
