#pragma once
// One row's view in a table. Cells are made by the table from the factory registered for
// their reuse identifier, handed to the data source to fill, and reused for other rows as
// rows leave the screen: prepareForReuse() runs before a cell is handed out again. A cell may
// carry the identifier of a segue its scene performs when the row is tapped (a storyboard
// connection). Main thread only.

#include <string>

#include "platform/ui/View.h"

namespace jw::ui {

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

  private:
    friend class TableView;
    std::string reuseIdentifier_;
    std::string selectionSegue_;
    bool selected_ = false;
    bool highlighted_ = false;
};

}  // namespace jw::ui
