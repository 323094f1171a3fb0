#pragma once
// What the sync engine's tests stand on:
// - scratch folders on a memory file system when there is one (/dev/shm), so that a test
//   making many small stores costs no disk writes;
// - the object model and a raw dump of a store file, every object by global identifier with
//   every attribute and to-one target in the sync file form, sorted: two stores hold the same
//   data exactly when their dumps are equal;
// - a cloud file system that records what goes through it (change files written, files
//   removed), wrapped around a device's view of the in-memory cloud;
// - simulated devices: a JWDatabase each, with its own folder, user defaults and view.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
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
#include "src/model/JWDatabase.h"
#include "tests/support/InMemoryCloud.h"
#include "tests/support/ScriptableCloud.h"
#include "tests/support/TestEnvironment.h"

namespace jw::sync::testing {

// Scratch folders -----------------------------------------------------------------------------

inline std::filesystem::path scratchParent() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}

// A new empty folder under scratchParent(), removed with its contents at destruction.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (scratchParent() / "jotwell-sync-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        }
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// How many seeds a randomised test runs: JOTWELL_SYNC_SEEDS when set to a positive number,
// else `fallback`.
inline int seedCount(int fallback) {
    if (const char* text = std::getenv("JOTWELL_SYNC_SEEDS")) {
        const int n = std::atoi(text);
        if (n > 0) {
            return n;
        }
    }
    return fallback;
}

// The one seed to run, from JOTWELL_SYNC_SEED, to replay a failure; 0 when not set.
inline int singleSeed() {
    const char* text = std::getenv("JOTWELL_SYNC_SEED");
    return text ? std::max(0, std::atoi(text)) : 0;
}

// The object model -----------------------------------------------------------------------------

inline std::filesystem::path resourceDirectory() {
    return AppPaths::resolve(std::nullopt).resourceDirectory;
}

inline std::filesystem::path modelFile() {
    return store::PersistentContainer::modelURL(resourceDirectory(), "Jotwell");
}

inline std::shared_ptr<const store::ObjectModel> jotwellModel() {
    static const std::shared_ptr<const store::ObjectModel> model =
        store::ObjectModel::fromFile(modelFile());
    return model;
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

inline std::vector<std::string> dumpStore(const std::filesystem::path& storeFile) {
    store::SqliteDatabase db(storeFile, /*writeAheadLog=*/false);
    return dumpDatabase(db);
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
    {
        store::SqliteStatement s(db.handle(),
                                 "SELECT \"gid\", \"key\", \"counter\", \"device\" FROM "
                                 "\"_sync_stamps\"");
        while (s.step()) {
            lines.push_back("stamp " + globalIDOf(s, 0).toString() + " " + s.columnText(1) + " " +
                            std::to_string(s.columnInt(2)) + "/" + s.columnText(3));
        }
    }
    {
        store::SqliteStatement s(db.handle(),
                                 "SELECT \"gid\", \"entity\", \"counter\", \"device\" FROM "
                                 "\"_sync_tombstones\"");
        while (s.step()) {
            lines.push_back("removed " + globalIDOf(s, 0).toString() + " " + s.columnText(1) + " " +
                            std::to_string(s.columnInt(2)) + "/" + s.columnText(3));
        }
    }
    {
        store::SqliteStatement s(db.handle(), "SELECT \"payload\" FROM \"_sync_parked\"");
        while (s.step()) {
            lines.push_back("aside " + meaningOf(ObjectChange::fromJson(
                                           nlohmann::json::parse(s.columnText(0)))));
        }
    }
    {
        store::SqliteStatement s(db.handle(),
                                 "SELECT \"gid\", \"key\", \"target\" FROM \"_sync_links\"");
        while (s.step()) {
            lines.push_back("waits " + globalIDOf(s, 0).toString() + " " + s.columnText(1) + " " +
                            globalIDOf(s, 2).toString());
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The global identifiers of every object in a dump.
inline std::set<std::string> objectsIn(const std::vector<std::string>& dump) {
    std::set<std::string> ids;
    for (const auto& line : dump) {
        ids.insert(line.substr(0, line.find(' ')));
    }
    return ids;
}

// Rows of one of the engine's tables (or any table) in a store file.
inline std::int64_t rowCount(const std::filesystem::path& storeFile, const std::string& table) {
    store::SqliteDatabase db(storeFile, /*writeAheadLog=*/false);
    store::SqliteStatement s(db.handle(),
                             "SELECT COUNT(*) FROM " + store::StoreConnection::quoted(table));
    s.step();
    return s.columnInt(0);
}

// The changes a store keeps for objects not stored: ones waiting for their creation, and
// objects set aside with an owner that is removed.
inline std::vector<ObjectChange> parkedChanges(const std::filesystem::path& storeFile) {
    store::SqliteDatabase db(storeFile, /*writeAheadLog=*/false);
    store::SqliteStatement s(db.handle(), "SELECT \"payload\" FROM \"_sync_parked\"");
    std::vector<ObjectChange> out;
    while (s.step()) {
        out.push_back(ObjectChange::fromJson(nlohmann::json::parse(s.columnText(0))));
    }
    return out;
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

// The files devices wrote that a folder can no longer give a newcomer: neither there nor held
// by a baseline there, as "<device> <n>". `folder` is every file of the folder by path;
// `written` is every change file path devices wrote into it. Empty when everything every
// device exported can be rebuilt from the folder.
inline std::vector<std::string> unrecoverableFiles(const std::map<std::string, std::string>& folder,
                                                   const std::set<std::string>& written) {
    // "MainStore/devices/<device>/<kind>/<name>"
    auto split = [](const std::string& path) -> std::optional<std::array<std::string, 3>> {
        const std::string prefix = "MainStore/devices/";
        if (!path.starts_with(prefix)) {
            return std::nullopt;
        }
        const auto rest = path.substr(prefix.size());
        const auto a = rest.find('/');
        const auto b = a == std::string::npos ? a : rest.find('/', a + 1);
        if (b == std::string::npos) {
            return std::nullopt;
        }
        return std::array<std::string, 3>{rest.substr(0, a), rest.substr(a + 1, b - a - 1),
                                          rest.substr(b + 1)};
    };
    std::map<std::string, std::int64_t> covered;
    std::set<std::pair<std::string, std::int64_t>> present;
    for (const auto& [path, contents] : folder) {
        const auto parts = split(path);
        if (!parts) {
            continue;
        }
        const auto& [device, kind, name] = *parts;
        if (kind == "changes") {
            if (const auto n = CloudLayout::changeFileSequence(name)) {
                present.emplace(device, *n);
            }
        } else if (kind == "baselines" && CloudLayout::baselineFileSequence(name)) {
            const auto header = nlohmann::json::parse(contents.substr(0, contents.find('\n')));
            for (const auto& [other, n] : header.at("coverage").items()) {
                covered[other] = std::max(covered[other], n.get<std::int64_t>());
            }
        }
    }
    std::vector<std::string> lost;
    for (const auto& path : written) {
        const auto parts = split(path);
        const auto n = parts ? CloudLayout::changeFileSequence((*parts)[2]) : std::nullopt;
        if (n && !present.count({(*parts)[0], *n}) && covered[(*parts)[0]] < *n) {
            lost.push_back((*parts)[0] + " " + std::to_string(*n));
        }
    }
    return lost;
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
// merged-changes notifications (a completion may start another merge, hence the loop).
template <typename Devices>
void runUntilQuiet(test::ManualPlatform& platform, Devices& devices) {
    for (int round = 0; round < 100; ++round) {
        bool busy = false;
        for (auto& device : devices) {
            device->ensemble().waitUntilIdle();
        }
        platform.loop().drain();
        for (auto& device : devices) {
            busy = busy || device->db->operationsInFlight() > 0;
        }
        if (!busy) {
            return;
        }
    }
    FAIL() << "attach and merge operations never finished";
}

inline void runUntilQuiet(test::ManualPlatform& platform, SimulatedDevice& device) {
    std::vector<SimulatedDevice*> one{&device};
    runUntilQuiet(platform, one);
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

    SimulatedDevice& addDevice(const std::string& name, bool joiningLate = false) {
        devices_.push_back(std::make_unique<SimulatedDevice>(cloud_, name, joiningLate, tuning_));
        auto& device = *devices_.back();
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

    // Every device merges what every other has, until nothing moves.
    void mergeEverywhere() {
        for (int round = 0; round < 3; ++round) {
            cloud_.deliverAll();
            for (auto& device : devices_) {
                merge(*device);
            }
        }
        cloud_.deliverAll();
    }

    test::ManualPlatform platform_;
    test::InMemoryCloud cloud_;
    EnsembleTuning tuning_;  // for the devices added from now on
    std::vector<std::unique_ptr<SimulatedDevice>> devices_;
};

}  // namespace jw::sync::testing
