#pragma once
// The questions a table asks about its rows: the data source says what the rows are, the
// delegate how they look and what taps on them do. Both are held weakly by the table. The
// defaults are the platform's. Main thread only.

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/IndexPath.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TableViewRowAction.h"

namespace jw::ui {

class TableView;

enum class TableViewCellEditingStyle { none = 0, deleteStyle = 1, insert = 2 };
enum class RowAnimation { fade = 0, right = 1, left = 2, top = 3, bottom = 4, none = 5 };

class TableViewDataSource {
  public:
    virtual ~TableViewDataSource() = default;

    virtual std::size_t numberOfSectionsInTableView(TableView& /*tableView*/) { return 1; }
    virtual std::size_t numberOfRowsInSection(TableView& tableView, std::size_t section) = 0;
    // Must return a cell (usually dequeued from the table); asked only for rows on screen.
    virtual std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView,
                                                                 const IndexPath& indexPath) = 0;
    // Whether the row shows editing controls and can be swiped.
    virtual bool canEditRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) {
        return true;
    }
    // Whether the row shows a reorder control in editing mode.
    virtual bool canMoveRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) {
        return false;
    }
    // The row was dragged; the table shows it at `to` already.
    virtual void moveRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*from*/,
                                    const IndexPath& /*to*/) {}
    // The delete control (or the default swipe action) was confirmed for the row.
    virtual void commitEditingStyle(TableView& /*tableView*/, TableViewCellEditingStyle /*style*/,
                                    const IndexPath& /*indexPath*/) {}
};

class TableViewDelegate {
  public:
    virtual ~TableViewDelegate() = default;

    // The default is the table's rowHeight.
    virtual double heightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath);
    // A height every row has: the table then asks no row for its own (a list of 100,000 items
    // is measured at once). None, the default: each row is asked.
    virtual std::optional<double> uniformRowHeight(TableView& /*tableView*/) {
        return std::nullopt;
    }
    virtual TableViewCellEditingStyle editingStyleForRowAtIndexPath(
        TableView& /*tableView*/, const IndexPath& /*indexPath*/) {
        return TableViewCellEditingStyle::deleteStyle;
    }
    // The buttons a swipe shows, in order. Empty: the platform's one "Delete" button, which
    // commits the delete editing style.
    virtual std::vector<std::shared_ptr<TableViewRowAction>> editActionsForRowAtIndexPath(
        TableView& /*tableView*/, const IndexPath& /*indexPath*/) {
        return {};
    }
    virtual void willDisplayCell(TableView& /*tableView*/, TableViewCell& /*cell*/,
                                 const IndexPath& /*indexPath*/) {}
    virtual void didSelectRowAtIndexPath(TableView& /*tableView*/, const IndexPath& /*indexPath*/) {
    }
    // The row's accessory button was tapped (the row is not selected by it).
    virtual void accessoryButtonTappedForRowWithIndexPath(TableView& /*tableView*/,
                                                          const IndexPath& /*indexPath*/) {}
};

}  // namespace jw::ui
