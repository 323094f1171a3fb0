#pragma once
// One row's view in a table. Cells are made by the table from the factory registered for
// their reuse identifier, handed to the data source to fill, and reused for other rows as
// rows leave the screen: prepareForReuse() runs before a cell is handed out again. A cell may
// carry the identifier of a segue its scene performs when the row is tapped (a storyboard
// connection). A cell may show an accessory button at its trailing edge (a "detail button"
// opening more of the row than the row shows); a tap on it is the table's
// tapAccessoryButton. Main thread only.

#include <cstddef>
#include <string>

#include "platform/ui/View.h"

namespace jw::ui {

enum class TableViewCellAccessoryType { none = 0, detailButton = 1 };

class TableViewCell : public View {
  public:
    explicit TableViewCell(std::string reuseIdentifier = {})
        : reuseIdentifier_(std::move(reuseIdentifier)) {}

    const std::string& reuseIdentifier() const { return reuseIdentifier_; }

    // Before the cell is handed out for another row; undo per-row state here.
    virtual void prepareForReuse() {}

    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected, bool /*animated*/) { update(selected_, selected); }
    // While a finger is on the row.
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted, bool /*animated*/) {
        update(highlighted_, highlighted);
    }

    // The segue performed (after shouldPerformSegue) when the row is tapped; empty for none.
    const std::string& selectionSegue() const { return selectionSegue_; }
    void setSelectionSegue(std::string identifier) { selectionSegue_ = std::move(identifier); }

    // The accessory button, none by default; hidden in editing mode. Its accessibility label
    // says what a tap on it does.
    TableViewCellAccessoryType accessoryType() const { return accessoryType_; }
    void setAccessoryType(TableViewCellAccessoryType type) { update(accessoryType_, type); }
    const std::string& accessoryAccessibilityLabel() const { return accessoryLabel_; }
    void setAccessoryAccessibilityLabel(std::string label) {
        update(accessoryLabel_, std::move(label));
    }

  private:
    friend class TableView;
    // Where the cell shows while a table holds it (so a table tells its own cells from
    // another's, and finds a cell's row without searching every row): the table, and the
    // row's flat index when the table last laid out its rows (only a hint: a batch update
    // moves rows before the next layout).
    const TableView* shownIn_ = nullptr;
    std::size_t shownAt_ = 0;
    std::string reuseIdentifier_;
    std::string selectionSegue_;
    TableViewCellAccessoryType accessoryType_ = TableViewCellAccessoryType::none;
    std::string accessoryLabel_;
    bool selected_ = false;
    bool highlighted_ = false;
};

}  // namespace jw::ui
