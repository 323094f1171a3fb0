#pragma once
// The lists screen: the first screen of the application and the primary column of its split
// view. One row per list (JWListTableViewCell, with counts), in the order of the
// "ManualSortLists" setting (src/model/ListOrder.h). From it the user opens a list (the
// "showDetail" segue of a row, or the items screen in the secondary column when one shows),
// adds, renames, reorders and deletes lists, switches between alphabetical and manual order,
// shares the application and opens the maker's store page.
//
// What it writes goes through src/model/Operations.h. A drag renumbers every list and saves
// nothing: the numbers are saved when editing mode ends (every toggle of it saves) or by any
// earlier save. Deleting the list open in the secondary column first shows the empty
// placeholder there ("showEmpty"). Names are taken exactly as typed; an empty one changes
// nothing, without a message.
//
// It is the database's `listsScreen` from the moment it loads: whenever the store is not
// attached to the cloud, on every appearance and whenever the database asks, it presents the
// "Intro" storyboard's screen over itself. The rows follow the store, merges from other devices
// included, through its fetched-results controller. A failed first fetch ends the program with
// the "Unresolved error " message. Main thread only.

#include <memory>
#include <string>

#include "platform/store/FetchedResultsController.h"
#include "platform/ui/TextField.h"
#include "src/lists/JotwellTableViewController.h"
#include "src/model/Entities.h"
#include "src/model/ListsScreenHook.h"

namespace jw {

class DetailViewController;

// The two store addresses, values per build.
inline constexpr const char* applicationStorePage = "https://jotwell.app/store/jotwell";
inline constexpr const char* makerStorePage = "https://jotwell.app/store";

class MasterViewController : public JotwellTableViewController,
                             public store::FetchedResultsControllerDelegate,
                             public model::ListsScreenHook {
  public:
    static constexpr double rowHeight = 48.0;

    ~MasterViewController() override;

    // --- Operations of the screen ---
    store::FetchedResultsController& fetchedResultsController();
    void presentIntroIfNeeded() override;
    // The items screen showing in the secondary column, or nothing (always nothing on a
    // collapsed split view).
    std::shared_ptr<DetailViewController> detailViewController() const;
    void setManualSort(bool manual);
    void shareApp();
    void openMoreApps();
    // The list whose "Edit List" alert is up, if any.
    const std::shared_ptr<model::List>& editingList() const { return editingList_; }

    // --- Actions ---
    std::shared_ptr<ui::BarButtonItem> menuButton();
    void addNewList();
    void menuTapped();
    void newListTextFieldDidEnd(ui::TextField& field);
    void editListTextFieldDidEnd(ui::TextField& field);

    // --- Controller ---
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void setEditing(bool editing, bool animated) override;
    bool shouldPerformSegue(const std::string& identifier, const std::any& sender) override;
    void prepareForSegue(const ui::StoryboardSegue& segue, const std::any& sender) override;

    // --- Table ---
    std::size_t numberOfSectionsInTableView(ui::TableView& tableView) override;
    std::size_t numberOfRowsInSection(ui::TableView& tableView, std::size_t section) override;
    std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(
        ui::TableView& tableView, const ui::IndexPath& indexPath) override;
    double heightForRowAtIndexPath(ui::TableView& tableView,
                                   const ui::IndexPath& indexPath) override;
    std::optional<double> uniformRowHeight(ui::TableView& tableView) override;
    bool canEditRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
    bool canMoveRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
    void moveRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& from,
                            const ui::IndexPath& to) override;
    void commitEditingStyle(ui::TableView& tableView, ui::TableViewCellEditingStyle style,
                            const ui::IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;

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
    std::shared_ptr<model::List> listAt(const ui::IndexPath& indexPath);
    void presentNameAlert(const std::string& title, const std::string& text,
                          void (MasterViewController::*didEnd)(ui::TextField&),
                          std::function<void()> onCancel);
    void dropFetchedResultsController();

    std::shared_ptr<ui::BarButtonItem> menuButton_;
    std::shared_ptr<model::List> editingList_;
    std::unique_ptr<store::FetchedResultsController> fetchedResultsController_;
};

}  // namespace jw
