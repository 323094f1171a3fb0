#pragma once
// How the table screens show a change their fetched-results controller reports (the lists
// screen and the items screen follow one rule):
// - a section inserted or deleted fades in or out; other section changes are ignored;
// - an object inserted or deleted fades in or out at its index path;
// - an update redraws the row when a cell is on screen for its old index path;
// - a move in an order kept by hand reloads the whole table (a drag renumbers many rows at
//   once); in any other order it redraws and moves the row when a cell is on screen for its old
//   index path, and does nothing when that row is off screen (rows on screen keep what they
//   show until they are drawn again).
// `redraw` is given the cell on screen and configures it with the changed object.
// Call between the table's beginUpdates and endUpdates. Main thread only.

#include <cstddef>
#include <functional>

#include "platform/store/FetchedResultsController.h"
#include "platform/ui/TableView.h"

namespace jw {

void showSectionChange(ui::TableView& tableView, std::size_t index, store::ChangeType type);

void showObjectChange(ui::TableView& tableView, const store::IndexPath* indexPath,
                      store::ChangeType type, const store::IndexPath* newIndexPath,
                      bool orderKeptByHand, const std::function<void(ui::TableViewCell&)>& redraw);

}  // namespace jw
