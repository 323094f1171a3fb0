#pragma once
// A scrolling list of rows in sections, asking its data source and delegate (held weakly)
// for what to show.
//
// Rows and cells. The table keeps its own count of rows; it reads the counts from the data
// source when it loads (first need, or reloadData) and after each batch of changes. Only the
// rows inside the visible area (contentOffset, the frame's height) have cells, and only while
// the table is on screen: a 10,000-row table asks cellForRowAtIndexPath for one screenful.
// Cells that leave the visible area go back to the reuse queue of their identifier, and
// dequeueReusableCell hands them out again (prepareForReuse first) before making new ones.
// Cells are not subviews of the table: the front end reads them with indexPathsForVisibleRows
// and cellForRowAtIndexPath.
//
// Batches. insertRows, deleteRows, reloadRows, moveRow, insertSections and deleteSections
// between beginUpdates and endUpdates (which may nest) form one batch, applied at the
// outermost endUpdates; outside them each call is a batch of its own. Deletions and reloads
// name rows as they were before the batch, insertions as they are after it (TableUpdate.h).
// Within a batch, cellForRow and the other lookups still answer in the rows before it. When a
// batch is applied the table reads the new counts and checks them against the batch; a
// mismatch throws TableUpdateError (TableBatch.h) and nothing is redrawn. Rows that stay or
// move keep their cells as they are (the caller reconfigures them if it wants); inserted and
// reloaded rows on screen are asked for. reloadData inside a batch turns the batch into a
// reload, unchecked. A table that never loaded its rows simply loads them.
//
// What a person does: tapRow, tapAccessoryButton, swipeRow and tapRowAction,
// deleteRowWithEditingControl, dragRow and setContentOffset (scrolling). They act only on rows on
// screen; anything else a person could not do throws std::logic_error.
//
// Changing the table from inside one of its data source calls throws std::logic_error.
// Main thread only.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/RowHeights.h"
#include "platform/ui/TableBatch.h"
#include "platform/ui/TableViewDataSource.h"
#include "platform/ui/View.h"

namespace jw::ui {

class ViewController;

class TableView : public View {
  public:
    using CellFactory = std::function<std::shared_ptr<TableViewCell>()>;

    std::shared_ptr<TableViewDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(std::weak_ptr<TableViewDataSource> dataSource) {
        dataSource_ = std::move(dataSource);
    }
    std::shared_ptr<TableViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<TableViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // --- Look ---
    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height) { rowHeight_ = height; }
    EdgeInsets contentInset() const { return contentInset_; }
    void setContentInset(EdgeInsets inset);
    std::optional<Color> separatorColor() const { return separatorColor_; }
    void setSeparatorColor(std::optional<Color> color) { update(separatorColor_, color); }
    // A view above the first row, scrolling with the rows (a field to add a row, say). It is a
    // subview of the table, so it is on screen with it; its frame's height pushes the rows
    // down. None by default.
    std::shared_ptr<View> tableHeaderView() const { return headerView_; }
    void setTableHeaderView(std::shared_ptr<View> header);

    // --- Cells ---
    void registerCell(std::string reuseIdentifier, CellFactory factory);
    // A cell from the reuse queue, else a new one. Throws std::invalid_argument when no
    // factory was registered for the identifier.
    std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier,
                                                       const IndexPath& indexPath);

    // --- Rows ---
    void reloadData();
    std::size_t numberOfSections();
    std::size_t numberOfRowsInSection(std::size_t section);

    void beginUpdates();
    void endUpdates();
    void insertRows(const std::vector<IndexPath>& indexPaths, RowAnimation animation);
    void deleteRows(const std::vector<IndexPath>& indexPaths, RowAnimation animation);
    void reloadRows(const std::vector<IndexPath>& indexPaths, RowAnimation animation);
    void moveRow(const IndexPath& from, const IndexPath& to);
    void insertSections(const std::vector<std::size_t>& sections, RowAnimation animation);
    void deleteSections(const std::vector<std::size_t>& sections, RowAnimation animation);

    // --- Rows on screen ---
    // The cell of a row on screen; nothing for any other row.
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(const IndexPath& indexPath) const;
    std::optional<IndexPath> indexPathForCell(const TableViewCell& cell) const;
    std::vector<IndexPath> indexPathsForVisibleRows() const;

    // --- Scrolling: the offset of the visible area's top from the first row's top ---
    double contentOffset() const { return contentOffset_; }
    void setContentOffset(double offset);
    // Scrolls so the row is at the top of the visible area, as far as the content allows.
    void scrollToRow(const IndexPath& indexPath, bool animated);
    double contentHeight() const { return loaded_ ? headerHeight_ + heights_.total() : 0.0; }

    // --- Selection (one row at most; reloadData clears it) ---
    std::optional<IndexPath> indexPathForSelectedRow() const;
    void selectRow(const IndexPath& indexPath, bool animated);
    void deselectRow(const IndexPath& indexPath, bool animated);
    bool allowsSelectionDuringEditing() const { return allowsSelectionDuringEditing_; }
    void setAllowsSelectionDuringEditing(bool allows) { allowsSelectionDuringEditing_ = allows; }

    // --- Editing mode: delete controls on rows that can be edited, reorder controls on rows
    // that can move ---
    bool isEditing() const { return editing_; }
    void setEditing(bool editing, bool animated);

    // --- What a person does ---
    // A tap on the row: closes open swipe buttons if any (and nothing else); in editing mode
    // nothing unless selection is allowed then. Otherwise selects it, triggers the cell's
    // segue on the table's controller (sender: the cell, a std::shared_ptr<TableViewCell>),
    // then tells the delegate didSelectRowAtIndexPath.
    void tapRow(const IndexPath& indexPath);
    // A tap on the row's accessory button: closes open swipe buttons if any (and nothing
    // else); otherwise tells the delegate accessoryButtonTappedForRowWithIndexPath. Throws
    // std::logic_error when the row shows none (no accessory, or editing mode).
    void tapAccessoryButton(const IndexPath& indexPath);
    // A swipe on the row: shows and returns its buttons (see TableViewDelegate); none in
    // editing mode or when the row cannot be edited.
    std::vector<std::shared_ptr<TableViewRowAction>> swipeRow(const IndexPath& indexPath);
    // The row whose swipe buttons are open, and the buttons.
    const std::optional<IndexPath>& swipedRow() const { return swipedRow_; }
    const std::vector<std::shared_ptr<TableViewRowAction>>& shownRowActions() const {
        return shownRowActions_;
    }
    // Taps one of the open buttons: they close, then its handler runs with the row.
    void tapRowAction(const TableViewRowAction& action);
    // The delete control of a row in editing mode, then its confirmation.
    void deleteRowWithEditingControl(const IndexPath& indexPath);
    // Drags a row by its reorder control in editing mode; `to` names the row's place after
    // the move. The table shows the move, then tells the data source.
    void dragRow(const IndexPath& from, const IndexPath& to);

  protected:
    void onScreenDidChange() override;
    void frameDidChange() override;

  private:
    friend class TableViewController;
    // What the table remembers of a row beyond its place: only rows on screen or selected
    // have an entry, so a batch costs time in the rows on screen, not in the rows there are.
    struct Row {
        std::shared_ptr<TableViewCell> cell;
        bool selected = false;
    };

    TableViewDataSource& requireDataSource() const;
    void loadIfNeeded();
    void readAllRows();
    void applyBatch(TableUpdate update);
    // Rows on screen or selected follow a batch to their new places; the others let go.
    void carryRows(const TablePlan& plan);
    void measureRows();
    void layoutRows();
    void recycle(std::shared_ptr<TableViewCell> cell);
    void closeSwipe();
    void requireNotBusy(const char* what) const;
    bool hasRow(const IndexPath& indexPath) const;
    TableViewCell& requireRowOnScreen(const IndexPath& indexPath) const;
    std::size_t flatIndex(const IndexPath& indexPath) const;
    IndexPath indexPathAt(std::size_t flatIndex) const;

    std::weak_ptr<TableViewDataSource> dataSource_;
    std::weak_ptr<TableViewDelegate> delegate_;
    std::weak_ptr<ViewController> controller_;
    double rowHeight_ = 44.0;
    EdgeInsets contentInset_;
    std::optional<Color> separatorColor_;
    std::shared_ptr<View> headerView_;

    std::map<std::string, CellFactory> cellFactories_;
    std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> reuseQueues_;

    bool loaded_ = false;
    std::vector<std::size_t> rowCounts_;      // of each section
    std::vector<std::size_t> sectionStarts_;  // flat index of each section's first row, + total
    std::map<IndexPath, Row> rows_;           // rows on screen or selected
    double headerHeight_ = 0.0;               // as measured with the rows
    RowHeights heights_;                      // of each row, flat
    double contentOffset_ = 0.0;

    int updateDepth_ = 0;
    TableUpdate pending_;
    bool busy_ = false;  // inside a data source or delegate call made while laying out

    bool editing_ = false;
    bool allowsSelectionDuringEditing_ = false;
    std::optional<IndexPath> swipedRow_;
    std::vector<std::shared_ptr<TableViewRowAction>> shownRowActions_;
};

}  // namespace jw::ui
