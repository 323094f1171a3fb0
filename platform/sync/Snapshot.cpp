#include "Snapshot.h"

#include <fmt/format.h>

#include <cstring>
#include <unordered_map>

#include "SyncTables.h"
#include "platform/store/StoreRows.h"

namespace jw::sync {

using store::GlobalID;
using store::StoreConnection;

namespace {

GlobalID idFrom(const store::SqliteStatement& s, int column) {
    return store::StoreRows::globalIDAt(s, column).value_or(GlobalID{});
}

}  // namespace

std::vector<ObjectChange> snapshotStore(StoreConnection& connection, const Stamp& stampForNew,
                                        bool includeRemovals) {
    auto& db = connection.database();
    const auto& model = connection.model();

    // Every stamp at once: creation stamps and the stamps of values written since.
    SyncTables tables(db);
    auto stamps = tables.allStamps();
    std::unordered_map<GlobalID, std::map<std::string, GlobalID>, store::GlobalIDHash> waitingLinks;
    {
        auto& s = db.cached("SELECT \"gid\", \"key\", \"target\" FROM \"_sync_links\"");
        while (s.step()) {
            waitingLinks[idFrom(s, 0)][s.columnText(1)] = idFrom(s, 2);
        }
        s.reset();
    }
    // Keys to global identifiers, for to-one values.
    std::vector<std::unordered_map<std::int64_t, GlobalID>> idsByKey(model.entities().size());
    for (const auto& e : model.entities()) {
        auto& s = db.cached(
            fmt::format("SELECT \"_key\", \"_gid\" FROM {}", StoreConnection::quoted(e.name)));
        while (s.step()) {
            idsByKey[e.index][s.columnInt(0)] = idFrom(s, 1);
        }
        s.reset();
    }

    std::vector<ObjectChange> out;
    for (const auto& e : model.entities()) {
        bool unstamped = false;
        auto& s = db.cached(fmt::format("SELECT {} FROM {}", StoreConnection::selectColumns(e),
                                        StoreConnection::quoted(e.name)));
        while (s.step()) {
            const auto id = idFrom(s, StoreConnection::kGlobalIDColumn);
            const auto& objectStamps = stamps[id];
            ObjectChange change;
            change.entity = e.name;
            change.globalID = id.toString();
            auto created = objectStamps.find("");
            if (created == objectStamps.end()) {
                change.created = stampForNew;  // recorded for all such objects at once below
                unstamped = true;
            } else {
                change.created = created->second;
            }
            auto stampFor = [&](const std::string& key) -> std::optional<Stamp> {
                auto it = objectStamps.find(key);
                return it == objectStamps.end() || it->second == *change.created
                           ? std::nullopt
                           : std::optional<Stamp>(it->second);
            };
            for (const auto& a : e.attributes) {
                change.values[a.name] = {
                    encodeValue(a.type,
                                s.columnValue(StoreConnection::attributeColumn(a.index), a.type)),
                    stampFor(a.name)};
            }
            for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                const auto* r = e.toOneRelationships[slot];
                const int column = StoreConnection::toOneColumn(e, slot);
                nlohmann::json value = nullptr;
                if (!s.columnIsNull(column)) {
                    const auto& targets = idsByKey[r->destination->index];
                    auto it = targets.find(s.columnInt(column));
                    if (it != targets.end()) {
                        value = it->second.toString();
                    }
                }
                // No target stored, or one no longer there: the value is the one waiting.
                if (value.is_null()) {
                    if (auto links = waitingLinks.find(id); links != waitingLinks.end()) {
                        if (auto link = links->second.find(r->name); link != links->second.end()) {
                            value = link->second.toString();
                        }
                    }
                }
                change.values[r->name] = {std::move(value), stampFor(r->name)};
            }
            out.push_back(std::move(change));
        }
        s.reset();
        if (unstamped) {
            // The objects never stamped (made before the store was first attached) are
            // created by this snapshot: one statement stamps them all.
            tables.stampUnstamped(e.name, stampForNew);
        }
    }
    if (includeRemovals) {
        // Changes still waiting for their object travel along: the files that brought them
        // may be gone once this snapshot replaces them.
        auto& parked = db.cached("SELECT \"payload\" FROM \"_sync_parked\"");
        while (parked.step()) {
            try {
                out.push_back(ObjectChange::fromJson(nlohmann::json::parse(parked.columnText(0))));
            } catch (const std::exception&) {
                // A damaged parked change is dropped; it came from a file another device keeps.
            }
        }
        parked.reset();
        auto& s = db.cached(
            "SELECT \"gid\", \"entity\", \"counter\", \"device\" FROM \"_sync_tombstones\"");
        while (s.step()) {
            ObjectChange change;
            change.globalID = idFrom(s, 0).toString();
            change.entity = s.columnText(1);
            change.removed = Stamp{s.columnInt(2), s.columnText(3)};
            out.push_back(std::move(change));
        }
        s.reset();
    }
    return out;
}

}  // namespace jw::sync
