#pragma once
// A screen that is one table: the table is its view, and the controller is the table's data
// source and delegate. It puts the table in and out of editing mode with its own, clears the
// selected row each time it is about to appear (unless told not to), and is the source of the
// segues of the table's cells. Subclasses answer the data source questions; the defaults give
// no rows. Main thread only.

#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

namespace jw::ui {

class TableViewController : public ViewController,
                            public TableViewDataSource,
                            public TableViewDelegate {
  public:
    // Loads the view if needed.
    TableView& tableView();

    bool clearsSelectionOnViewWillAppear() const { return clearsSelection_; }
    void setClearsSelectionOnViewWillAppear(bool clears) { clearsSelection_ = clears; }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void setEditing(bool editing, bool animated) override;

    std::size_t numberOfRowsInSection(TableView& tableView, std::size_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView,
                                                         const IndexPath& indexPath) override;

  private:
    bool clearsSelection_ = true;
};

}  // namespace jw::ui
