#pragma once
// The bookkeeping of a table's batch updates, apart from any view: given the row counts before
// a batch, the counts the data source reports after it, and the batch itself, where does each
// row after the batch come from, and where does each row before it go? This is the platform's
// rule: rows that are neither deleted, reloaded nor moved keep their order and fill the places
// that insertions and moves leave free. A batch that does not add up is a programming error in
// the caller (its data source and its updates disagree) and throws TableUpdateError naming
// what is wrong; the table does not paper over it with a silent reload.
//
// The plan holds only the batch's changes: each question costs time in the number of changes
// in the section asked about, never in its rows, so a table of 100,000 rows applies a batch of
// one move in the time of one move.

#include <cstddef>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/ui/IndexPath.h"
#include "platform/ui/TableUpdate.h"

namespace jw::ui {

class TableUpdateError : public std::logic_error {
  public:
    using std::logic_error::logic_error;
};

class TablePlan {
  public:
    // Throws TableUpdateError when the batch does not add up.
    TablePlan(const std::vector<std::size_t>& rowCountsBefore,
              const std::vector<std::size_t>& rowCountsAfter, const TableUpdate& update);

    // The place before the batch of a row after it (the row keeps its cell), or none for a new
    // row (inserted, reloaded, or in an inserted section). Throws std::out_of_range for a row
    // that is not there after the batch.
    std::optional<IndexPath> origin(const IndexPath& after) const;
    // The place after the batch of a row before it, or none when it goes (deleted, reloaded,
    // or in a deleted section). Throws std::out_of_range for a row that was not there.
    std::optional<IndexPath> destination(const IndexPath& before) const;

  private:
    enum class Fate { deleted, reloaded, movedAway };
    static const char* verb(Fate fate);
    struct Change {
        Fate fate;
        IndexPath movedTo;  // for movedAway
    };
    struct OldSection {
        std::size_t rows = 0;
        std::optional<std::size_t> becomes;  // none when deleted
        std::vector<std::size_t> removed;    // rows deleted or moved away, ascending
    };
    struct NewSection {
        std::size_t rows = 0;
        std::optional<std::size_t> was;  // none when inserted
        // Rows placed by the batch, ascending: where a moved row came from, none if inserted.
        std::vector<std::pair<std::size_t, std::optional<IndexPath>>> arrivals;
    };

    std::vector<OldSection> before_;
    std::vector<NewSection> after_;
    std::map<IndexPath, Change> changes_;  // rows named before the batch
};

}  // namespace jw::ui
