#include "src/lists/MasterViewController.h"

#include <stdexcept>

#include "platform/foundation/Fatal.h"
#include "platform/store/StoreError.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "src/items/DetailViewController.h"
#include "src/lists/JWListTableViewCell.h"
#include "src/lists/Menu.h"
#include "src/lists/StoreChangesOnTable.h"
#include "src/model/JWDatabase.h"
#include "src/model/ListOrder.h"
#include "src/model/Operations.h"
#include "src/themes/ApplyTheme.h"

namespace jw {

MasterViewController::~MasterViewController() {
    if (fetchedResultsController_) {
        fetchedResultsController_->setDelegate(nullptr);
    }
}

// --- Operations of the screen ----------------------------------------------------------------

store::FetchedResultsController& MasterViewController::fetchedResultsController() {
    if (!fetchedResultsController_) {
        fetchedResultsController_ = std::make_unique<store::FetchedResultsController>(
            model::listsScreenFetchRequest(), database().sharedViewContext());
        fetchedResultsController_->setDelegate(this);
        try {
            fetchedResultsController_->performFetch();
        } catch (const store::StoreError& error) {
            fatalError(error.description(), error.userInfo());
        }
    }
    return *fetchedResultsController_;
}

void MasterViewController::dropFetchedResultsController() {
    if (fetchedResultsController_) {
        fetchedResultsController_->setDelegate(nullptr);
        fetchedResultsController_.reset();
    }
}

void MasterViewController::presentIntroIfNeeded() {
    const auto* db = model::sharedDatabase();
    if (db && db->syncState() == model::SyncState::attached) {
        return;
    }
    present(ui::Storyboard::named("Intro")->instantiateInitialViewController(), true);
}

std::shared_ptr<DetailViewController> MasterViewController::detailViewController() const {
    const auto split = splitViewController();
    if (!split) {
        return nullptr;
    }
    const auto navigation =
        std::dynamic_pointer_cast<ui::NavigationController>(split->viewControllers().back());
    if (!navigation) {
        return nullptr;
    }
    return std::dynamic_pointer_cast<DetailViewController>(navigation->topViewController());
}

void MasterViewController::setManualSort(bool manual) {
    model::setManualSortLists(manual);
    dropFetchedResultsController();
    tableView().reloadData();
}

void MasterViewController::shareApp() {
    auto sheet = std::make_shared<ui::ActivityViewController>(std::vector<ui::ActivityItem>{
        std::string("Check out Jotwell!"), ui::Url{applicationStorePage}});
    sheet->popoverPresentationController()->setBarButtonItem(menuButton());
    present(sheet, true);
}

void MasterViewController::openMoreApps() {
    ui::Application::shared().openURL(ui::Url{makerStorePage});
}

std::shared_ptr<model::List> MasterViewController::listAt(const ui::IndexPath& indexPath) {
    return std::static_pointer_cast<model::List>(
        fetchedResultsController().objectAtIndexPath({0, indexPath.row}).shared_from_this());
}

// --- Actions ---------------------------------------------------------------------------------

std::shared_ptr<ui::BarButtonItem> MasterViewController::menuButton() {
    if (!menuButton_) {
        menuButton_ = ui::BarButtonItem::withTitle("Menu", ui::BarButtonItemStyle::plain,
                                                   {this, &MasterViewController::menuTapped});
    }
    return menuButton_;
}

void MasterViewController::presentNameAlert(const std::string& title, const std::string& text,
                                            void (MasterViewController::*didEnd)(ui::TextField&),
                                            std::function<void()> onCancel) {
    auto alert = ui::AlertController::make(title, std::nullopt, ui::AlertControllerStyle::alert);
    alert->addTextField([&](ui::TextField& field) {
        field.setPlaceholder("Name");
        field.setText(text);
        field.setTextAlignment(ui::TextAlignment::center);
        field.setReturnKeyType(ui::ReturnKeyType::done);
        field.setAutocapitalizationType(ui::AutocapitalizationType::words);
        field.setAutocorrectionType(ui::AutocorrectionType::yes);
        field.addTarget({this, didEnd}, ui::ControlEvent::editingDidEndOnExit);
    });
    ui::AlertAction::Handler cancelled;
    if (onCancel) {
        cancelled = [onCancel = std::move(onCancel)](ui::AlertAction&) { onCancel(); };
    }
    alert->addAction(
        ui::AlertAction::make("Cancel", ui::AlertActionStyle::cancel, std::move(cancelled)));
    present(alert, true);
}

void MasterViewController::addNewList() {
    presentNameAlert("New List", "", &MasterViewController::newListTextFieldDidEnd, {});
}

void MasterViewController::newListTextFieldDidEnd(ui::TextField& field) {
    auto list = model::newList(database(), field.text());
    if (!list) {
        return;  // an empty name makes nothing
    }
    if (const auto detail = detailViewController()) {
        detail->setList(list);
    } else {
        performSegue("showDetail", std::any(list));
    }
    if (const auto selected = tableView().indexPathForSelectedRow()) {
        tableView().deselectRow(*selected, false);
    }
}

void MasterViewController::editListTextFieldDidEnd(ui::TextField& field) {
    // An empty name keeps the old one, and the alert's list stays the one being edited.
    if (editingList_ && model::renameList(database(), *editingList_, field.text())) {
        editingList_.reset();
    }
}

void MasterViewController::menuTapped() {
    const bool manual = model::manualSortLists();
    auto sheet = makeMenuSheet(menuButton());
    const auto self = std::weak_ptr<MasterViewController>(
        std::static_pointer_cast<MasterViewController>(shared_from_this()));
    const auto entry = [&](std::string title, void (*effect)(MasterViewController&)) {
        sheet->addAction(ui::AlertAction::make(std::move(title), ui::AlertActionStyle::defaultStyle,
                                               [self, effect](ui::AlertAction&) {
                                                   if (const auto screen = self.lock()) {
                                                       effect(*screen);
                                                   }
                                               }));
    };
    entry(menuEntryTitle("Sort: Alphabetical", !manual),
          [](MasterViewController& screen) { screen.setManualSort(false); });
    entry(menuEntryTitle("Sort: Manual", manual),
          [](MasterViewController& screen) { screen.setManualSort(true); });
    entry("Share App...", [](MasterViewController& screen) { screen.shareApp(); });
    entry("More Apps...", [](MasterViewController& screen) { screen.openMoreApps(); });
    sheet->addAction(menuCancelAction());
    present(sheet, true);
}

// --- Controller ------------------------------------------------------------------------------

void MasterViewController::loadView() {
    JotwellTableViewController::loadView();
    // The storyboard's prototype row, which opens its list when tapped, and the table's
    // settings: a tap in editing mode selects (it renames).
    tableView().registerCell(JWListTableViewCell::reuseIdentifier, [] {
        auto cell = JWListTableViewCell::make();
        cell->setSelectionSegue("showDetail");
        return cell;
    });
    tableView().setAllowsSelectionDuringEditing(true);
}

void MasterViewController::viewDidLoad() {
    JotwellTableViewController::viewDidLoad();
    setTitle("Lists");
    tableView().setContentInset(ui::EdgeInsets{0.0, 0.0, 80.0, 0.0});
    if (const auto split = splitViewController()) {
        split->setPreferredDisplayMode(ui::DisplayMode::allVisible);
    }
    setToolbarItems({menuButton(), ui::BarButtonItem::withSystemItem(ui::SystemItem::flexibleSpace),
                     editButtonItem()},
                    false);
    navigationItem().setRightBarButtonItem(ui::BarButtonItem::withSystemItem(
        ui::SystemItem::add, {this, &MasterViewController::addNewList}));
    model::setListsScreen(std::static_pointer_cast<MasterViewController>(shared_from_this()));
}

void MasterViewController::viewWillAppear(bool animated) {
    const auto split = splitViewController();
    setClearsSelectionOnViewWillAppear(split && split->isCollapsed());
    JotwellTableViewController::viewWillAppear(animated);
    applyTheme(*this, nullptr);
}

void MasterViewController::viewDidAppear(bool animated) {
    JotwellTableViewController::viewDidAppear(animated);
    presentIntroIfNeeded();
}

void MasterViewController::setEditing(bool editing, bool animated) {
    JotwellTableViewController::setEditing(editing, animated);
    database().saveContext(false);
}

bool MasterViewController::shouldPerformSegue(const std::string& identifier, const std::any&) {
    return identifier != "showDetail" || !isEditing();
}

void MasterViewController::prepareForSegue(const ui::StoryboardSegue& segue,
                                           const std::any& sender) {
    if (segue.identifier != "showDetail") {
        return;
    }
    const auto navigation = std::dynamic_pointer_cast<ui::NavigationController>(segue.destination);
    const auto detail =
        navigation
            ? std::dynamic_pointer_cast<DetailViewController>(navigation->topViewController())
            : nullptr;
    if (!detail) {
        return;
    }
    if (const auto selected = tableView().indexPathForSelectedRow()) {
        detail->setList(listAt(*selected));
    } else if (const auto* list = std::any_cast<std::shared_ptr<model::List>>(&sender)) {
        detail->setList(*list);
    }
    const auto split = splitViewController();
    detail->navigationItem().setLeftBarButtonItem(split ? split->displayModeButtonItem() : nullptr);
    detail->navigationItem().setLeftItemsSupplementBackButton(true);
}

// --- Table -----------------------------------------------------------------------------------

std::size_t MasterViewController::numberOfSectionsInTableView(ui::TableView&) {
    return fetchedResultsController().numberOfSections();
}

std::size_t MasterViewController::numberOfRowsInSection(ui::TableView&, std::size_t section) {
    return fetchedResultsController().numberOfObjects(section);
}

std::shared_ptr<ui::TableViewCell> MasterViewController::cellForRowAtIndexPath(
    ui::TableView& tableView, const ui::IndexPath& indexPath) {
    auto cell = tableView.dequeueReusableCell(JWListTableViewCell::reuseIdentifier, indexPath);
    if (auto* listCell = dynamic_cast<JWListTableViewCell*>(cell.get())) {
        listCell->configure(*listAt(indexPath), true);
    }
    return cell;
}

double MasterViewController::heightForRowAtIndexPath(ui::TableView&, const ui::IndexPath&) {
    return rowHeight;
}

std::optional<double> MasterViewController::uniformRowHeight(ui::TableView&) {
    return rowHeight;
}

bool MasterViewController::canEditRowAtIndexPath(ui::TableView&, const ui::IndexPath&) {
    return isEditing();
}

bool MasterViewController::canMoveRowAtIndexPath(ui::TableView&, const ui::IndexPath&) {
    return model::manualSortLists();
}

void MasterViewController::moveRowAtIndexPath(ui::TableView&, const ui::IndexPath& from,
                                              const ui::IndexPath& to) {
    auto& controller = fetchedResultsController();
    if (controller.numberOfObjects(0) == 0) {
        return;
    }
    std::vector<store::ManagedObject*> lists;
    for (const auto& object : controller.fetchedObjects()) {
        lists.push_back(object.get());
    }
    // The table shows the move already: the renumbering must not be reported back to it.
    controller.setDelegate(nullptr);
    model::renumberAfterMove(lists, from.row, to.row);
    controller.setDelegate(this);
}

void MasterViewController::commitEditingStyle(ui::TableView&, ui::TableViewCellEditingStyle style,
                                              const ui::IndexPath& indexPath) {
    if (style != ui::TableViewCellEditingStyle::deleteStyle) {
        return;
    }
    const auto list = listAt(indexPath);
    // The items screen must not be left showing a list that is gone.
    if (const auto detail = detailViewController(); detail && detail->list() == list) {
        performSegue("showEmpty", std::any());
    }
    model::deleteList(database(), *list);
}

void MasterViewController::didSelectRowAtIndexPath(ui::TableView&, const ui::IndexPath& indexPath) {
    if (!isEditing()) {
        return;  // the row's "showDetail" segue opens the list
    }
    editingList_ = listAt(indexPath);
    const auto self = std::weak_ptr<MasterViewController>(
        std::static_pointer_cast<MasterViewController>(shared_from_this()));
    presentNameAlert("Edit List", editingList_->name().value_or(""),
                     &MasterViewController::editListTextFieldDidEnd, [self] {
                         if (const auto screen = self.lock()) {
                             screen->editingList_.reset();
                         }
                     });
}

// --- Store changes ---------------------------------------------------------------------------

void MasterViewController::controllerWillChangeContent(store::FetchedResultsController&) {
    tableView().beginUpdates();
}

void MasterViewController::controllerDidChangeSection(store::FetchedResultsController&,
                                                      std::size_t index, store::ChangeType type) {
    showSectionChange(tableView(), index, type);
}

void MasterViewController::controllerDidChangeObject(store::FetchedResultsController&,
                                                     store::ManagedObject& object,
                                                     const store::IndexPath* indexPath,
                                                     store::ChangeType type,
                                                     const store::IndexPath* newIndexPath) {
    auto* list = dynamic_cast<model::List*>(&object);
    showObjectChange(tableView(), indexPath, type, newIndexPath, model::manualSortLists(),
                     [list](ui::TableViewCell& cell) {
                         if (auto* listCell = dynamic_cast<JWListTableViewCell*>(&cell);
                             listCell && list) {
                             listCell->configure(*list, true);
                         }
                     });
}

void MasterViewController::controllerDidChangeContent(store::FetchedResultsController&) {
    tableView().endUpdates();
}

}  // namespace jw
