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

}  // namespace

const char* TablePlan::verb(Fate fate) {
    switch (fate) {
        case Fate::deleted:
            return "delete";
        case Fate::reloaded:
            return "reload";
        case Fate::movedAway:
            return "move";
    }
    return "change";
}

TablePlan::TablePlan(const std::vector<std::size_t>& rowCountsBefore,
                     const std::vector<std::size_t>& rowCountsAfter, const TableUpdate& update) {
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
    before_.resize(sectionsBefore);
    after_.resize(sectionsAfter);
    for (std::size_t section = 0; section < sectionsBefore; ++section) {
        before_[section].rows = rowCountsBefore[section];
    }
    {
        std::size_t old = 0;
        for (std::size_t section = 0; section < sectionsAfter; ++section) {
            after_[section].rows = rowCountsAfter[section];
            if (insertedSections.contains(section)) {
                continue;
            }
            while (deletedSections.contains(old)) {
                ++old;
            }
            after_[section].was = old;
            before_[old].becomes = section;
            ++old;
        }
    }

    // What happens to rows named by their place before the batch.
    auto noteOld = [&](const IndexPath& path, Fate fate, IndexPath movedTo) {
        if (path.section >= sectionsBefore || path.row >= rowCountsBefore[path.section]) {
            fail(std::string("attempt to ") + verb(fate) + " row " + path.text() +
                 ", which does not exist before the update");
        }
        if (deletedSections.contains(path.section)) {
            fail(std::string("attempt to ") + verb(fate) + " row " + path.text() +
                 " of a section that is being deleted");
        }
        if (const auto [it, added] = changes_.emplace(path, Change{fate, movedTo}); !added) {
            fail(std::string("attempt to ") + verb(it->second.fate) + " and " + verb(fate) +
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
        noteOld(path, Fate::deleted, {});
    }
    for (const IndexPath& path : update.reloadedRows) {
        noteOld(path, Fate::reloaded, {});
    }
    for (const auto& [from, to] : update.movedRows) {
        noteOld(from, Fate::movedAway, to);
        noteNew(to, from);
    }
    for (const IndexPath& path : update.insertedRows) {
        noteNew(path, std::nullopt);
    }
    for (const auto& [path, change] : changes_) {
        if (change.fate != Fate::reloaded) {
            before_[path.section].removed.push_back(path.row);  // ascending: the map is ordered
        }
    }
    for (const auto& [path, from] : arrivals) {
        after_[path.section].arrivals.emplace_back(path.row, from);
    }

    for (std::size_t section = 0; section < sectionsAfter; ++section) {
        const NewSection& now = after_[section];
        if (!now.was) {
            continue;
        }
        const std::size_t old = *now.was;
        std::size_t deleted = 0;
        std::size_t movedOut = 0;
        std::size_t movedIn = 0;
        for (const auto& [path, change] : changes_) {
            deleted += path.section == old && change.fate == Fate::deleted;
        }
        for (const auto& [from, to] : update.movedRows) {
            movedOut += from.section == old;
            movedIn += to.section == section;
        }
        // The old section's rows that stay in place, in order; reloaded ones come back new.
        const std::size_t staying = before_[old].rows - before_[old].removed.size();
        const std::size_t arriving = now.arrivals.size();
        const std::size_t inserted = arriving - movedIn;

        if (now.rows != staying + arriving) {
            fail("invalid number of rows in section " + std::to_string(section) +
                 ". The number of rows contained in an existing section after the update (" +
                 std::to_string(now.rows) +
                 ") must be equal to the number of rows contained in that section before the "
                 "update (" +
                 std::to_string(before_[old].rows) +
                 "), plus or minus the number of rows inserted or deleted from that section (" +
                 countText(inserted, "inserted") + ", " + countText(deleted, "deleted") +
                 ") and plus or minus the number of rows moved into or out of that section (" +
                 countText(movedIn, "moved in") + ", " + countText(movedOut, "moved out") + ").");
        }
        for (const auto& [row, from] : now.arrivals) {
            if (row >= now.rows) {
                fail(std::string("attempt to ") + (from ? "move a row to" : "insert") + " row " +
                     IndexPath{section, row}.text() + ", but there are only " +
                     countText(now.rows, "rows") + " in section " + std::to_string(section) +
                     " after the update");
            }
        }
    }
}

std::optional<IndexPath> TablePlan::origin(const IndexPath& after) const {
    if (after.section >= after_.size() || after.row >= after_[after.section].rows) {
        throw std::out_of_range("no row " + after.text() + " after the update");
    }
    const NewSection& now = after_[after.section];
    if (!now.was) {
        return std::nullopt;
    }
    const auto arrival =
        std::lower_bound(now.arrivals.begin(), now.arrivals.end(), after.row,
                         [](const auto& placed, std::size_t row) { return placed.first < row; });
    if (arrival != now.arrivals.end() && arrival->first == after.row) {
        return arrival->second;
    }
    // The k-th of the free places holds the k-th row that stays.
    std::size_t old = after.row - static_cast<std::size_t>(arrival - now.arrivals.begin());
    for (const std::size_t removed : before_[*now.was].removed) {
        if (removed > old) {
            break;
        }
        ++old;
    }
    const IndexPath path{*now.was, old};
    if (const auto change = changes_.find(path);
        change != changes_.end() && change->second.fate == Fate::reloaded) {
        return std::nullopt;
    }
    return path;
}

std::optional<IndexPath> TablePlan::destination(const IndexPath& before) const {
    if (before.section >= before_.size() || before.row >= before_[before.section].rows) {
        throw std::out_of_range("no row " + before.text() + " before the update");
    }
    if (const auto change = changes_.find(before); change != changes_.end()) {
        if (change->second.fate == Fate::movedAway) {
            return change->second.movedTo;
        }
        return std::nullopt;
    }
    const OldSection& old = before_[before.section];
    if (!old.becomes) {
        return std::nullopt;
    }
    // The row is the k-th that stays; it takes the k-th place no arrival claims.
    std::size_t row = before.row - static_cast<std::size_t>(
                                       std::lower_bound(old.removed.begin(), old.removed.end(),
                                                        before.row) -
                                       old.removed.begin());
    for (const auto& arrival : after_[*old.becomes].arrivals) {
        if (arrival.first > row) {
            break;
        }
        ++row;
    }
    return IndexPath{*old.becomes, row};
}

}  // namespace jw::ui
