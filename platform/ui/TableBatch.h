#pragma once
// The bookkeeping of a table's batch updates, apart from any view: given the row counts before
// a batch, the counts the data source reports after it, and the batch itself, where does each
// row after the batch come from? This is the platform's rule: rows that are neither deleted,
// reloaded nor moved keep their order and fill the places that insertions and moves leave
// free. A batch that does not add up is a programming error in the caller (its data source
// and its updates disagree) and throws TableUpdateError naming what is wrong; the table does
// not paper over it with a silent reload.

#include <cstddef>
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

// For each section after the batch, for each of its rows: the index path the row had before
// (it keeps its cell), or none for a new row (inserted, reloaded, or in an inserted section).
using RowOrigins = std::vector<std::vector<std::optional<IndexPath>>>;

RowOrigins planTableUpdate(const std::vector<std::size_t>& rowCountsBefore,
                           const std::vector<std::size_t>& rowCountsAfter,
                           const TableUpdate& update);

}  // namespace jw::ui
