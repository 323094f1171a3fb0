#pragma once
// The items screen: the items of one list (or, with no list, every item of the store, newest
// first, unfiltered), where items are added, checked, edited, sorted, filtered, moved, copied,
// deleted, reminded of and shared.
//
// What it shows: the list's items that pass the screen's filter (JWListFilter, "All" at
// creation, kept when the screen is given another list, never stored), in the order of the
// list's sortMode (src/model/Ordering.h), one "Simple" row (JWItemTableViewCell) of 48 points
// each. A new filter, sort mode or list drops the fetched-results controller and reloads the
// whole table; the next data source call fetches again. Title: the list's name and its counts
// (" (3/10)", " (10)"), or "" when no list is shown or the list has no items.
//
// Store changes (its own edits and merges from other devices alike) reach the table through
// the fetched-results controller: inserts and deletes fade in and out; an update redraws the
// row when its cell is on screen; a move redraws and moves the row when its old row is on
// screen and does nothing otherwise; in manual order a move reloads the table (a drag
// renumbers many rows at once). After each batch the title is updated.
//
// Every change goes through src/model/Operations.h and is saved at once, except a drag's
// renumbering and a sort-mode change, which the next save stores. The list's doneCount is
// recounted after a toggle, a reset and a delete of checked items, and when the screen is
// about to disappear (not saved then). A callback from a cell no longer in the table is
// ignored. Actions that need a list do nothing without one.
//
// The first time the screen appears, a list created within the last 30 seconds and still
// empty gets the keyboard in the add field; every appearance asks the ad pacer
// (JWAdvertising::showAdIfDue) whether to cover the screen with an ad.
// A failed fetch ends the program with the "Unresolved error " message. Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/store/FetchedResultsController.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "src/lists/JotwellTableViewController.h"
#include "src/model/Entities.h"
#include "src/model/JWListFilter.h"

namespace jw {

class JWItemTableViewCell;

class DetailViewController : public JotwellTableViewController,
                             public store::FetchedResultsControllerDelegate,
                             public ui::TextFieldDelegate {
  public:
    static constexpr double rowHeight = 48.0;
    // How close to now a list's creation must be for its first appearance to focus the add
    // field, in whole seconds either way.
    static constexpr long long newListSeconds = 30;

    ~DetailViewController() override;

    // --- Outlets (laid out by loadView: the add field heads the table) ---
    std::weak_ptr<ui::TextField> addItemTextField;
    std::weak_ptr<ui::Label> detailDescriptionLabel;

    // --- State ---
    const std::shared_ptr<model::List>& list() const { return list_; }
    // Stores the list (none allowed), colours the screen from it and refetches.
    void setList(std::shared_ptr<model::List> list);
    model::JWListFilter filterMode() const { return filterMode_; }
    bool viewAppearedOnce() const { return viewAppearedOnce_; }

    // --- Bar buttons, made on first use and kept ---
    std::shared_ptr<ui::BarButtonItem> menuButton();
    std::shared_ptr<ui::BarButtonItem> shareButton();
    std::shared_ptr<ui::BarButtonItem> filterButton();

    // --- Operations of the screen ---
    store::FetchedResultsController& fetchedResultsController();
    // The items on screen in their shown order (the fetched objects).
    std::vector<model::Item*> shownItems();
    void refetch();
    void setFilter(model::JWListFilter filter);
    void changeSortMode(std::int16_t mode);
    void updateTitle();
    void applyListTheme();
    void addItem(const std::string& text);
    void recountDone();
    void presentReminder(std::shared_ptr<model::Item> item);
    // The multi-line editor for the item's text, as a form sheet ("ItemEditor" scene).
    void presentItemEditor(std::shared_ptr<model::Item> item);
    void showMenu();
    void confirmResetChecked();
    void resetChecked();
    void confirmDeleteChecked();
    void deleteChecked();
    void shareList();
    void focusAddFieldIfNew();

    // --- Actions ---
    void filterTapped();
    void menuTapped();
    void sendShareTapped();
    bool textFieldShouldReturn(ui::TextField& textField) override;

    // --- Controller ---
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    // --- Table ---
    std::size_t numberOfSectionsInTableView(ui::TableView& tableView) override;
    std::size_t numberOfRowsInSection(ui::TableView& tableView, std::size_t section) override;
    std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(
        ui::TableView& tableView, const ui::IndexPath& indexPath) override;
    double heightForRowAtIndexPath(ui::TableView& tableView,
                                   const ui::IndexPath& indexPath) override;
    std::optional<double> uniformRowHeight(ui::TableView& tableView) override;
    void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
    // A row's accessory button: the item's multi-line editor (presentItemEditor).
    void accessoryButtonTappedForRowWithIndexPath(ui::TableView& tableView,
                                                  const ui::IndexPath& indexPath) override;
    bool canMoveRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
    void moveRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& from,
                            const ui::IndexPath& to) override;
    void commitEditingStyle(ui::TableView& tableView, ui::TableViewCellEditingStyle style,
                            const ui::IndexPath& indexPath) override;
    // "⏰ Reminder", "Move", "Copy", "Delete", in that order.
    std::vector<std::shared_ptr<ui::TableViewRowAction>> editActionsForRowAtIndexPath(
        ui::TableView& tableView, const ui::IndexPath& indexPath) override;

    // --- Store changes ---
    void controllerWillChangeContent(store::FetchedResultsController& controller) override;
    void controllerDidChangeSection(store::FetchedResultsController& controller, std::size_t index,
                                    store::ChangeType type) override;
    void controllerDidChangeObject(store::FetchedResultsController& controller,
                                   store::ManagedObject& object, const store::IndexPath* indexPath,
                                   store::ChangeType type,
                                   const store::IndexPath* newIndexPath) override;
    void controllerDidChangeContent(store::FetchedResultsController& controller) override;

  private:
    std::shared_ptr<model::Item> itemAt(const ui::IndexPath& indexPath);
    // The item of the row `cell` shows now; null when the cell has left the table.
    std::shared_ptr<model::Item> itemShownBy(const JWItemTableViewCell& cell);
    void renumberAfterMove(std::size_t from, std::size_t to);
    bool isManualOrder() const;
    template <class Effect>
    std::function<void()> weakly(Effect effect);

    std::shared_ptr<ui::BarButtonItem> menuButton_;
    std::shared_ptr<ui::BarButtonItem> shareButton_;
    std::shared_ptr<ui::BarButtonItem> filterButton_;
    model::JWListFilter filterMode_ = model::JWListFilter::none;
    bool viewAppearedOnce_ = false;
    std::shared_ptr<model::List> list_;
    std::unique_ptr<store::FetchedResultsController> fetchedResultsController_;
};

}  // namespace jw
