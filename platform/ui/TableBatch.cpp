#include "platform/ui/TableBatch.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace jw::ui {

namespace {

[[noreturn]] void fail(const std::string& message) {
    throw TableUpdateError("Invalid update: " + message);
}

std::string countText(std::size_t count, const char* what) {
    return std::to_string(count) + " " + what;
}

enum class OldRowFate { deleted, reloaded, movedAway };

const char* verb(OldRowFate fate) {
    switch (fate) {
        case OldRowFate::deleted:
            return "delete";
        case OldRowFate::reloaded:
            return "reload";
        case OldRowFate::movedAway:
            return "move";
    }
    return "change";
}

}  // namespace

RowOrigins planTableUpdate(const std::vector<std::size_t>& rowCountsBefore,
                           const std::vector<std::size_t>& rowCountsAfter,
                           const TableUpdate& update) {
    const std::size_t sectionsBefore = rowCountsBefore.size();
    const std::size_t sectionsAfter = rowCountsAfter.size();

    const std::set<std::size_t> deletedSections(update.deletedSections.begin(),
                                                update.deletedSections.end());
    const std::set<std::size_t> insertedSections(update.insertedSections.begin(),
                                                 update.insertedSections.end());
    if (deletedSections.size() != update.deletedSections.size() ||
        insertedSections.size() != update.insertedSections.size()) {
        fail("a section is inserted or deleted more than once");
    }
    for (const std::size_t section : deletedSections) {
        if (section >= sectionsBefore) {
            fail("attempt to delete section " + std::to_string(section) + ", but there are only " +
                 countText(sectionsBefore, "sections") + " before the update");
        }
    }
    for (const std::size_t section : insertedSections) {
        if (section >= sectionsAfter) {
            fail("attempt to insert section " + std::to_string(section) + ", but there are only " +
                 countText(sectionsAfter, "sections") + " after the update");
        }
    }
    if (sectionsAfter + deletedSections.size() != sectionsBefore + insertedSections.size()) {
        fail("invalid number of sections. The number of sections after the update (" +
             std::to_string(sectionsAfter) +
             ") must be equal to the number of sections before the update (" +
             std::to_string(sectionsBefore) + "), plus or minus the number of sections inserted " +
             "or deleted (" + countText(insertedSections.size(), "inserted") + ", " +
             countText(deletedSections.size(), "deleted") + ").");
    }

    // Surviving sections keep their order and fill the places inserted sections leave free.
    std::vector<std::optional<std::size_t>> sectionOrigin(sectionsAfter);
    {
        std::size_t old = 0;
        for (std::size_t section = 0; section < sectionsAfter; ++section) {
            if (insertedSections.contains(section)) {
                continue;
            }
            while (deletedSections.contains(old)) {
                ++old;
            }
            sectionOrigin[section] = old++;
        }
    }

    // What happens to rows named by their place before the batch.
    std::map<IndexPath, OldRowFate> fates;
    auto noteOld = [&](const IndexPath& path, OldRowFate fate) {
        if (path.section >= sectionsBefore || path.row >= rowCountsBefore[path.section]) {
            fail(std::string("attempt to ") + verb(fate) + " row " + path.text() +
                 ", which does not exist before the update");
        }
        if (deletedSections.contains(path.section)) {
            fail(std::string("attempt to ") + verb(fate) + " row " + path.text() +
                 " of a section that is being deleted");
        }
        if (const auto [it, added] = fates.emplace(path, fate); !added) {
            fail(std::string("attempt to ") + verb(it->second) + " and " + verb(fate) +
                 " the same index path (" + path.text() + ")");
        }
    };
    // What fills rows named by their place after the batch: none for an insertion.
    std::map<IndexPath, std::optional<IndexPath>> arrivals;
    auto noteNew = [&](const IndexPath& path, std::optional<IndexPath> from) {
        const char* what = from ? "move a row to" : "insert";
        if (path.section >= sectionsAfter) {
            fail(std::string("attempt to ") + what + " row " + path.text() +
                 ", but there are only " + countText(sectionsAfter, "sections") +
                 " after the update");
        }
        if (insertedSections.contains(path.section)) {
            fail(std::string("attempt to ") + what + " row " + path.text() +
                 " of a section that is being inserted");
        }
        if (!arrivals.emplace(path, from).second) {
            fail("two rows are placed at the same index path (" + path.text() + ")");
        }
    };
    for (const IndexPath& path : update.deletedRows) {
        noteOld(path, OldRowFate::deleted);
    }
    for (const IndexPath& path : update.reloadedRows) {
        noteOld(path, OldRowFate::reloaded);
    }
    for (const auto& [from, to] : update.movedRows) {
        noteOld(from, OldRowFate::movedAway);
        noteNew(to, from);
    }
    for (const IndexPath& path : update.insertedRows) {
        noteNew(path, std::nullopt);
    }

    RowOrigins origins(sectionsAfter);
    for (std::size_t section = 0; section < sectionsAfter; ++section) {
        const std::size_t count = rowCountsAfter[section];
        auto& rows = origins[section];
        if (!sectionOrigin[section]) {
            rows.assign(count, std::nullopt);
            continue;
        }
        const std::size_t old = *sectionOrigin[section];

        // The rows of the old section that stay in place, in order; reloaded ones come back new.
        std::vector<std::optional<IndexPath>> staying;
        std::size_t deleted = 0;
        for (std::size_t row = 0; row < rowCountsBefore[old]; ++row) {
            const IndexPath path{old, row};
            const auto fate = fates.find(path);
            if (fate == fates.end()) {
                staying.emplace_back(path);
            } else if (fate->second == OldRowFate::reloaded) {
                staying.emplace_back(std::nullopt);
            } else if (fate->second == OldRowFate::deleted) {
                ++deleted;
            }
        }
        std::size_t movedOut = 0;
        std::size_t movedIn = 0;
        for (const auto& [from, to] : update.movedRows) {
            movedOut += from.section == old;
            movedIn += to.section == section;
        }
        const auto firstArrival = arrivals.lower_bound(IndexPath{section, 0});
        const auto endArrival = arrivals.lower_bound(IndexPath{section + 1, 0});
        const auto arriving = static_cast<std::size_t>(std::distance(firstArrival, endArrival));
        const std::size_t inserted = arriving - movedIn;

        if (count != staying.size() + arriving) {
            fail("invalid number of rows in section " + std::to_string(section) +
                 ". The number of rows contained in an existing section after the update (" +
                 std::to_string(count) +
                 ") must be equal to the number of rows contained in that section before the "
                 "update (" +
                 std::to_string(rowCountsBefore[old]) +
                 "), plus or minus the number of rows inserted or deleted from that section (" +
                 countText(inserted, "inserted") + ", " + countText(deleted, "deleted") +
                 ") and plus or minus the number of rows moved into or out of that section (" +
                 countText(movedIn, "moved in") + ", " + countText(movedOut, "moved out") + ").");
        }

        rows.resize(count);
        std::vector<bool> taken(count, false);
        for (auto it = firstArrival; it != endArrival; ++it) {
            if (it->first.row >= count) {
                fail(std::string("attempt to ") + (it->second ? "move a row to" : "insert") +
                     " row " + it->first.text() + ", but there are only " +
                     countText(count, "rows") + " in section " + std::to_string(section) +
                     " after the update");
            }
            rows[it->first.row] = it->second;
            taken[it->first.row] = true;
        }
        auto next = staying.begin();
        for (std::size_t row = 0; row < count; ++row) {
            if (!taken[row]) {
                rows[row] = *next++;
            }
        }
    }
    return origins;
}

}  // namespace jw::ui
