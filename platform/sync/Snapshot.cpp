#include "Snapshot.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
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

// Files of at most `perFile` changes each, one after the other.
class FileSeries {
  public:
    FileSeries(const ChangeFileHeader& first, std::size_t perFile)
        : header_(first), perFile_(std::max<std::size_t>(perFile, 1)) {}

    // The file the next change goes to.
    ChangeFileWriter& next() {
        if (!writer_ || writer_->changeCount() >= perFile_) {
            close();
            writer_.emplace(header_);
            ++header_.sequence;
        }
        return *writer_;
    }
    std::vector<std::string> finish() {
        if (!writer_ && files_.empty()) {
            writer_.emplace(header_);
        }
        close();
        return std::move(files_);
    }

  private:
    void close() {
        if (writer_) {
            files_.push_back(writer_->finish());
            writer_.reset();
        }
    }

    ChangeFileHeader header_;
    std::size_t perFile_;
    std::optional<ChangeFileWriter> writer_;
    std::vector<std::string> files_;
};

}  // namespace

std::vector<std::string> snapshotFiles(StoreConnection& connection, const Stamp& stampForNew,
                                       bool includeRemovals, const ChangeFileHeader& first,
                                       std::size_t perFile) {
    auto& db = connection.database();
    const auto& model = connection.model();

    // Every stamp at once: creation stamps and the stamps of values written since. The rows
    // are then written as they are read, no object change built for any of them.
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

    FileSeries files(first, perFile);
    static const SyncTables::StampsByKey kNoStamps;
    for (const auto& e : model.entities()) {
        bool unstamped = false;
        auto& s = db.cached(fmt::format("SELECT {} FROM {}", StoreConnection::selectColumns(e),
                                        StoreConnection::quoted(e.name)));
        while (s.step()) {
            const auto id = idFrom(s, StoreConnection::kGlobalIDColumn);
            const auto found = stamps.find(id);
            const auto& objectStamps = found == stamps.end() ? kNoStamps : found->second;
            const auto creation = objectStamps.find("");
            const Stamp* created =
                creation == objectStamps.end() ? &stampForNew : &creation->second;
            unstamped = unstamped || created == &stampForNew;
            auto stampFor = [&](const std::string& key) -> std::optional<Stamp> {
                const auto it = objectStamps.find(key);
                return it == objectStamps.end() || it->second == *created
                           ? std::nullopt
                           : std::optional<Stamp>(it->second);
            };
            auto& file = files.next();
            const auto entity = file.entity(e.name);
            file.beginChange(entity, id, *created);
            for (const auto& a : e.attributes) {
                const auto stamp = objectStamps.size() > 1 ? stampFor(a.name) : std::nullopt;
                const auto value = s.columnValue(StoreConnection::attributeColumn(a.index), a.type);
                if (!stamp && encodesAsDefault(a.type, value)) {
                    continue;  // left out: the creation gives it its default
                }
                file.value(file.key(entity, a.name), stamp,
                           [&](std::string& out) { appendEncodedValue(out, a.type, value); });
            }
            for (std::size_t slot = 0; slot < e.toOneRelationships.size(); ++slot) {
                const auto* r = e.toOneRelationships[slot];
                const int column = StoreConnection::toOneColumn(e, slot);
                std::optional<GlobalID> target;
                if (!s.columnIsNull(column)) {
                    const auto& targets = idsByKey[r->destination->index];
                    if (auto it = targets.find(s.columnInt(column)); it != targets.end()) {
                        target = it->second;
                    }
                }
                // No target stored, or one no longer there: the value is the one waiting.
                if (!target) {
                    if (auto links = waitingLinks.find(id); links != waitingLinks.end()) {
                        if (auto link = links->second.find(r->name); link != links->second.end()) {
                            target = link->second;
                        }
                    }
                }
                const auto stamp = objectStamps.size() > 1 ? stampFor(r->name) : std::nullopt;
                if (!stamp && !target) {
                    continue;
                }
                file.link(file.key(entity, r->name, true), stamp, target);
            }
            file.endChange(std::nullopt);
        }
        s.reset();
        if (unstamped) {
            // The objects never stamped (made before the store was first attached) are
            // created by this snapshot: one statement stamps them all (see stampUnstamped).
            tables.stampUnstamped(e.name, stampForNew);
        }
    }
    if (includeRemovals) {
        // Changes still waiting for their object travel along: the files that brought them
        // may be gone once this snapshot replaces them.
        auto& parked = db.cached("SELECT \"payload\" FROM \"_sync_parked\"");
        while (parked.step()) {
            try {
                files.next().add(
                    ObjectChange::fromJson(nlohmann::json::parse(parked.columnText(0))));
            } catch (const std::exception&) {
                // A damaged parked change is dropped; it came from a file another device keeps.
            }
        }
        parked.reset();
        auto& s = db.cached(
            "SELECT \"gid\", \"entity\", \"counter\", \"device\" FROM \"_sync_tombstones\"");
        while (s.step()) {
            auto& file = files.next();
            file.beginChange(file.entity(s.columnText(1)), idFrom(s, 0), std::nullopt);
            file.endChange(Stamp{s.columnInt(2), s.columnText(3)});
        }
        s.reset();
    }
    return files.finish();
}

}  // namespace jw::sync
