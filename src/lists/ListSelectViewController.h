#pragma once
// The list picker for moving or copying one item: every list, by name (plain case-sensitive
// comparison, whatever order the lists screen uses), each row a JWListTableViewCell with name
// and icon only. The title is "Copy" when copying, else "Move" when moving, else untouched; it
// is set each time the picker is about to appear.
//
// Picking a row closes the picker (animated) and, once it is gone, in the dismissal's
// completion: copies `copyItem` into the picked list (a new unchecked item with the same text,
// created then) or moves `moveItem` there (only its list changes), through
// src/model/Operations.h, which saves; a move to the item's own list changes nothing and still
// saves. Cancel closes the picker and changes nothing. No list's doneCount is touched: the items
// screen recounts.
//
// The lists are fetched on first need and the picker does not follow the store while it is
// open: the rows are those of that fetch, and a row picks the list it shows. A list or item
// deleted meanwhile (on another device) is not written to: the pick then only closes the
// picker. A failed fetch ends the program with the "Unresolved error " message.
//
// Made by the "MoveCopyItem" scene through moveCopyController, which sets one of the two
// items. Needs the shared database. Main thread only.

#include <memory>
#include <vector>

#include "platform/store/FetchedResultsController.h"
#include "src/lists/JotwellTableViewController.h"
#include "src/model/Entities.h"

namespace jw {

class ListSelectViewController : public JotwellTableViewController {
  public:
    std::shared_ptr<model::Item> copyItem;
    std::shared_ptr<model::Item> moveItem;

    // The lists on offer, fetched on first use; no delegate.
    store::FetchedResultsController& fetchedResultsController();

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void cancelTapped();

    std::size_t numberOfRowsInSection(ui::TableView& tableView, std::size_t section) override;
    std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(
        ui::TableView& tableView, const ui::IndexPath& indexPath) override;
    // Rows are only picked: no swipe actions, no editing controls.
    bool canEditRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;

  private:
    std::unique_ptr<store::FetchedResultsController> fetchedResultsController_;
    // The lists as the table last counted them, so that a row always stands for the list it
    // shows even if the store changes underneath.
    std::vector<std::shared_ptr<model::List>> shownLists_;
};

}  // namespace jw
