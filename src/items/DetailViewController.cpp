#include "src/items/DetailViewController.h"

#include <stdexcept>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Fatal.h"
#include "platform/store/StoreError.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Storyboard.h"
#include "src/ads/JWAdvertising.h"
#include "src/items/ItemEditorViewController.h"
#include "src/items/JWItemTableViewCell.h"
#include "src/lists/Menu.h"
#include "src/lists/StoreChangesOnTable.h"
#include "src/model/JWDatabase.h"
#include "src/model/JWListSortMode.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"
#include "src/model/ShareText.h"
#include "src/reminders/ReminderViewController.h"
#include "src/themes/ApplyTheme.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"

namespace jw {

DetailViewController::~DetailViewController() {
    if (fetchedResultsController_) {
        fetchedResultsController_->setDelegate(nullptr);
    }
}

// A handler that runs `effect` on this screen while it still exists: alerts, sheets and row
// actions outlive a tap and must not keep the screen alive.
template <class Effect>
std::function<void()> DetailViewController::weakly(Effect effect) {
    const auto self = std::weak_ptr<DetailViewController>(
        std::static_pointer_cast<DetailViewController>(shared_from_this()));
    return [self, effect = std::move(effect)] {
        if (const auto screen = self.lock()) {
            effect(*screen);
        }
    };
}

// --- State -----------------------------------------------------------------------------------

void DetailViewController::setList(std::shared_ptr<model::List> list) {
    list_ = std::move(list);
    applyListTheme();
    refetch();
}

std::shared_ptr<ui::BarButtonItem> DetailViewController::menuButton() {
    if (!menuButton_) {
        menuButton_ = ui::BarButtonItem::withTitle("Menu", ui::BarButtonItemStyle::plain,
                                                   {this, &DetailViewController::menuTapped});
    }
    return menuButton_;
}

std::shared_ptr<ui::BarButtonItem> DetailViewController::shareButton() {
    if (!shareButton_) {
        shareButton_ = ui::BarButtonItem::withSystemItem(
            ui::SystemItem::action, {this, &DetailViewController::sendShareTapped});
    }
    return shareButton_;
}

std::shared_ptr<ui::BarButtonItem> DetailViewController::filterButton() {
    if (!filterButton_) {
        filterButton_ = ui::BarButtonItem::withTitle(
            std::string(model::filterButtonTitle(model::JWListFilter::none)),
            ui::BarButtonItemStyle::plain, {this, &DetailViewController::filterTapped});
    }
    return filterButton_;
}

// --- Fetching and showing --------------------------------------------------------------------

store::FetchedResultsController& DetailViewController::fetchedResultsController() {
    if (!fetchedResultsController_) {
        fetchedResultsController_ = std::make_unique<store::FetchedResultsController>(
            model::itemsFetchRequest(list_.get(), filterMode_), database().sharedViewContext());
        fetchedResultsController_->setDelegate(this);
        try {
            fetchedResultsController_->performFetch();
        } catch (const store::StoreError& error) {
            fatalError(error.description(), error.userInfo());
        }
    }
    return *fetchedResultsController_;
}

std::vector<model::Item*> DetailViewController::shownItems() {
    std::vector<model::Item*> items;
    for (const auto& object : fetchedResultsController().fetchedObjects()) {
        items.push_back(static_cast<model::Item*>(object.get()));
    }
    return items;
}

std::shared_ptr<model::Item> DetailViewController::itemAt(const ui::IndexPath& indexPath) {
    return std::static_pointer_cast<model::Item>(
        fetchedResultsController().objectAtIndexPath({0, indexPath.row}).shared_from_this());
}

std::shared_ptr<model::Item> DetailViewController::itemShownBy(const JWItemTableViewCell& cell) {
    const auto indexPath = tableView().indexPathForCell(cell);
    if (!indexPath) {
        return nullptr;
    }
    return itemAt(*indexPath);
}

void DetailViewController::refetch() {
    if (fetchedResultsController_) {
        fetchedResultsController_->setDelegate(nullptr);
        fetchedResultsController_.reset();
    }
    if (isViewLoaded()) {
        tableView().reloadData();
    }
}

void DetailViewController::setFilter(model::JWListFilter filter) {
    filterMode_ = filter;
    filterButton()->setTitle(std::string(model::filterButtonTitle(filter)));
    refetch();
}

void DetailViewController::filterTapped() {
    setFilter(model::nextFilter(filterMode_));
}

bool DetailViewController::isManualOrder() const {
    return list_ && model::effectiveSortMode(list_->sortMode()) == model::JWListSortMode::manual;
}

void DetailViewController::updateTitle() {
    if (!list_) {
        setTitle("");
        return;
    }
    const auto [counts, fraction] = list_->progressInfo(" (", ")");
    setTitle(counts ? list_->name().value_or("") + *counts : "");
}

void DetailViewController::applyListTheme() {
    if (!list_) {
        applyTheme(*this, nullptr);
        return;
    }
    const auto theme = JWThemesDB::shared().themeForKey(list_->themeKey().value_or(""));
    applyTheme(*this, theme);
    tableView().setSeparatorColor(theme->baseColor().withAlphaComponent(0.23));
    if (const auto navigation = navigationController()) {
        navigation->toolbar().setBarTintColor(grey96);
    }
    updateTitle();
}

// --- Editing ---------------------------------------------------------------------------------

bool DetailViewController::textFieldShouldReturn(ui::TextField& textField) {
    const std::string text = textField.text();
    if (text.empty()) {
        textField.resignFirstResponder();
        return false;
    }
    addItem(text);
    textField.setText("");
    return false;
}

void DetailViewController::addItem(const std::string& text) {
    if (!list_) {
        return;
    }
    if (filterMode_ == model::JWListFilter::checked) {
        setFilter(model::JWListFilter::unchecked);
    }
    model::newItem(database(), *list_, text);
}

void DetailViewController::recountDone() {
    if (list_) {
        model::recountDone(*list_);
    }
}

namespace {

// The item's screen made from its storyboard scene, in a navigation controller of its own,
// presented as a form sheet over `presenter`.
template <class ItemScreen>
void presentForItem(ui::ViewController& presenter, const std::string& scene, const char* what,
                    std::shared_ptr<model::Item> item) {
    auto screen = std::dynamic_pointer_cast<ItemScreen>(
        presenter.storyboard()->instantiateViewController(scene));
    if (!screen) {
        throw std::logic_error("the \"" + scene + "\" scene is not " + what);
    }
    screen->item = std::move(item);
    auto navigation = ui::NavigationController::withRoot(screen);
    navigation->setModalPresentationStyle(ui::ModalPresentationStyle::formSheet);
    presenter.present(navigation, true);
}

}  // namespace

void DetailViewController::presentReminder(std::shared_ptr<model::Item> item) {
    presentForItem<ReminderViewController>(*this, "Reminder", "the reminder screen",
                                           std::move(item));
}

void DetailViewController::presentItemEditor(std::shared_ptr<model::Item> item) {
    presentForItem<ItemEditorViewController>(*this, "ItemEditor", "the item editor",
                                             std::move(item));
}

void DetailViewController::accessoryButtonTappedForRowWithIndexPath(
    ui::TableView& /*tableView*/, const ui::IndexPath& indexPath) {
    if (auto item = itemAt(indexPath)) {
        presentItemEditor(std::move(item));
    }
}

void DetailViewController::renumberAfterMove(std::size_t from, std::size_t to) {
    auto& controller = fetchedResultsController();
    if (controller.numberOfObjects(0) == 0) {
        return;
    }
    std::vector<store::ManagedObject*> items;
    for (const auto& object : controller.fetchedObjects()) {
        items.push_back(object.get());
    }
    // The table shows the move already: the renumbering must not be reported back to it.
    controller.setDelegate(nullptr);
    model::renumberAfterMove(items, from, to);
    controller.setDelegate(this);
}

// --- The menu, bulk actions and sharing ------------------------------------------------------

void DetailViewController::menuTapped() {
    showMenu();
}

void DetailViewController::showMenu() {
    auto sheet = makeMenuSheet(menuButton());
    const auto entry = [&](std::string title, ui::AlertActionStyle style,
                           std::function<void()> effect) {
        sheet->addAction(ui::AlertAction::make(
            std::move(title), style, [effect = std::move(effect)](ui::AlertAction&) { effect(); }));
    };
    entry(
        "List Theme", ui::AlertActionStyle::defaultStyle, weakly([](DetailViewController& screen) {
            screen.presentThemeSelect(nullptr, [self = std::weak_ptr<DetailViewController>(
                                                    std::static_pointer_cast<DetailViewController>(
                                                        screen.shared_from_this()))](
                                                   const JWThemeRef& theme) {
                if (const auto screen = self.lock()) {
                    model::chooseTheme(database(), screen->list_.get(), theme ? theme->name() : "");
                    screen->applyListTheme();
                }
            });
        }));
    const auto marked = model::markedSortMode(list_ ? std::optional<std::int64_t>(list_->sortMode())
                                                    : std::nullopt);
    for (const auto mode : model::menuSortModes()) {
        entry(menuEntryTitle(model::sortModeMenuLabel(mode), marked == mode),
              ui::AlertActionStyle::defaultStyle, weakly([mode](DetailViewController& screen) {
                  screen.changeSortMode(static_cast<std::int16_t>(mode));
              }));
    }
    entry("Reset Checked", ui::AlertActionStyle::defaultStyle,
          weakly([](DetailViewController& screen) { screen.confirmResetChecked(); }));
    entry("Delete Checked", ui::AlertActionStyle::destructive,
          weakly([](DetailViewController& screen) { screen.confirmDeleteChecked(); }));
    sheet->addAction(menuCancelAction());
    present(sheet, true);
}

void DetailViewController::changeSortMode(std::int16_t mode) {
    model::chooseSortMode(list_.get(), mode);
    const auto chosen = static_cast<model::JWListSortMode>(mode);
    if (chosen == model::JWListSortMode::checkedFirst ||
        chosen == model::JWListSortMode::checkedLast) {
        setFilter(model::JWListFilter::none);
    } else {
        refetch();
    }
}

namespace {

// "Yes" runs `yes`; "Cancel" closes the alert.
std::shared_ptr<ui::AlertController> confirmation(const std::string& title,
                                                  const std::string& message,
                                                  ui::AlertActionStyle yesStyle,
                                                  std::function<void()> yes) {
    auto alert = ui::AlertController::make(title, message, ui::AlertControllerStyle::alert);
    alert->addAction(ui::AlertAction::make("Yes", yesStyle,
                                           [yes = std::move(yes)](ui::AlertAction&) { yes(); }));
    alert->addAction(ui::AlertAction::make("Cancel", ui::AlertActionStyle::cancel, {}));
    return alert;
}

}  // namespace

void DetailViewController::confirmResetChecked() {
    present(confirmation("Reset Checked", "Items checked will be unchecked",
                         ui::AlertActionStyle::defaultStyle,
                         weakly([](DetailViewController& screen) { screen.resetChecked(); })),
            true);
}

void DetailViewController::resetChecked() {
    model::resetChecked(database(), list_.get(), shownItems());
}

void DetailViewController::confirmDeleteChecked() {
    present(confirmation("Clear Checked", "Items checked will be deleted",
                         ui::AlertActionStyle::destructive,
                         weakly([](DetailViewController& screen) { screen.deleteChecked(); })),
            true);
}

void DetailViewController::deleteChecked() {
    model::deleteChecked(database(), list_.get(), shownItems());
}

void DetailViewController::sendShareTapped() {
    shareList();
}

void DetailViewController::shareList() {
    const auto items = shownItems();
    if (items.empty()) {
        return;
    }
    const std::string text = model::shareText(items);
    auto sheet = std::make_shared<ui::ActivityViewController>(
        std::vector<ui::ActivityItem>{text, ui::SimpleTextPrintFormatter{text}});
    sheet->popoverPresentationController()->setBarButtonItem(shareButton());
    present(sheet, true);
}

void DetailViewController::focusAddFieldIfNew() {
    if (!list_ || list_->listItemsCount() >= 1 || !list_->created()) {
        return;
    }
    const auto now = currentClock().now();
    if (!now) {
        return;
    }
    const long long seconds = calendar::wholeSecondsBetween(*list_->created(), *now);
    if (seconds < -newListSeconds || seconds > newListSeconds) {
        return;
    }
    if (const auto field = addItemTextField.lock()) {
        field->setAutocapitalizationType(ui::AutocapitalizationType::sentences);
        field->becomeFirstResponder();
    }
}

// --- Controller ------------------------------------------------------------------------------

void DetailViewController::loadView() {
    JotwellTableViewController::loadView();
    tableView().registerCell(JWItemTableViewCell::reuseIdentifier,
                             [] { return JWItemTableViewCell::make(); });
    // The storyboard's header: the add field above the rows, and the description label, which
    // shows nothing.
    auto header = std::make_shared<ui::View>(ui::Rect{{0.0, 0.0}, {375.0, 48.0}});
    auto field = std::make_shared<ui::TextField>();
    field->setFrame(ui::Rect{{16.0, 8.0}, {343.0, 32.0}});
    field->setPlaceholder("Add an item");
    field->setBorderStyle(ui::BorderStyle::roundedRect);
    field->setReturnKeyType(ui::ReturnKeyType::done);
    field->setAccessibilityLabel("Add");
    auto label = std::make_shared<ui::Label>();
    label->setHidden(true);
    header->addSubview(field);
    header->addSubview(label);
    addItemTextField = field;
    detailDescriptionLabel = label;
    tableView().setTableHeaderView(header);
}

void DetailViewController::viewDidLoad() {
    JotwellTableViewController::viewDidLoad();
    if (const auto field = addItemTextField.lock()) {
        field->setDelegate(ui::weakAs<ui::TextFieldDelegate>(*this));
    }
    const auto space = ui::BarButtonItem::withSystemItem(ui::SystemItem::flexibleSpace);
    setToolbarItems({menuButton(), space, filterButton(), space, editButtonItem()}, false);
    navigationItem().setRightBarButtonItem(shareButton());
}

void DetailViewController::viewWillAppear(bool animated) {
    JotwellTableViewController::viewWillAppear(animated);
    applyListTheme();
}

void DetailViewController::viewDidAppear(bool animated) {
    JotwellTableViewController::viewDidAppear(animated);
    if (!viewAppearedOnce_) {
        focusAddFieldIfNew();
        viewAppearedOnce_ = true;
    }
    JWAdvertising::shared().showAdIfDue(*this);
}

void DetailViewController::viewWillDisappear(bool animated) {
    JotwellTableViewController::viewWillDisappear(animated);
    recountDone();
}

// --- Table -----------------------------------------------------------------------------------

std::size_t DetailViewController::numberOfSectionsInTableView(ui::TableView&) {
    return fetchedResultsController().numberOfSections();
}

std::size_t DetailViewController::numberOfRowsInSection(ui::TableView&, std::size_t section) {
    return fetchedResultsController().numberOfObjects(section);
}

std::shared_ptr<ui::TableViewCell> DetailViewController::cellForRowAtIndexPath(
    ui::TableView& tableView, const ui::IndexPath& indexPath) {
    auto cell = tableView.dequeueReusableCell(JWItemTableViewCell::reuseIdentifier, indexPath);
    auto* itemCell = dynamic_cast<JWItemTableViewCell*>(cell.get());
    if (!itemCell) {
        return cell;
    }
    const auto self = std::weak_ptr<DetailViewController>(
        std::static_pointer_cast<DetailViewController>(shared_from_this()));
    const auto weakCell =
        std::weak_ptr<JWItemTableViewCell>(std::static_pointer_cast<JWItemTableViewCell>(cell));
    itemCell->didToggleTick = [self, weakCell] {
        const auto screen = self.lock();
        const auto cell = weakCell.lock();
        if (!screen || !cell) {
            return;
        }
        if (const auto item = screen->itemShownBy(*cell)) {
            model::toggleItem(database(), *item);
        }
    };
    itemCell->didChangeText = [self, weakCell](const std::string& text) {
        const auto screen = self.lock();
        const auto cell = weakCell.lock();
        if (!screen || !cell) {
            return;
        }
        if (const auto item = screen->itemShownBy(*cell)) {
            model::editItemText(database(), *item, text);
        }
    };
    itemCell->configure(*itemAt(indexPath));
    return cell;
}

double DetailViewController::heightForRowAtIndexPath(ui::TableView&, const ui::IndexPath&) {
    return rowHeight;
}

std::optional<double> DetailViewController::uniformRowHeight(ui::TableView&) {
    return rowHeight;
}

void DetailViewController::didSelectRowAtIndexPath(ui::TableView& tableView,
                                                   const ui::IndexPath& indexPath) {
    tableView.deselectRow(indexPath, true);
}

bool DetailViewController::canMoveRowAtIndexPath(ui::TableView&, const ui::IndexPath&) {
    return isManualOrder();
}

void DetailViewController::moveRowAtIndexPath(ui::TableView&, const ui::IndexPath& from,
                                              const ui::IndexPath& to) {
    renumberAfterMove(from.row, to.row);
}

void DetailViewController::commitEditingStyle(ui::TableView&, ui::TableViewCellEditingStyle style,
                                              const ui::IndexPath& indexPath) {
    if (style != ui::TableViewCellEditingStyle::deleteStyle) {
        return;
    }
    model::deleteItem(database(), *itemAt(indexPath));
}

std::vector<std::shared_ptr<ui::TableViewRowAction>>
DetailViewController::editActionsForRowAtIndexPath(ui::TableView&, const ui::IndexPath&) {
    const auto self = std::weak_ptr<DetailViewController>(
        std::static_pointer_cast<DetailViewController>(shared_from_this()));
    // Each handler acts on the row it is given when tapped.
    const auto action = [&](std::string title, std::optional<Color> colour,
                            void (*effect)(DetailViewController&, const ui::IndexPath&)) {
        auto rowAction = ui::TableViewRowAction::make(
            ui::RowActionStyle::defaultStyle, std::move(title),
            [self, effect](ui::TableViewRowAction&, const ui::IndexPath& indexPath) {
                if (const auto screen = self.lock()) {
                    effect(*screen, indexPath);
                }
            });
        rowAction->setBackgroundColor(colour);
        return rowAction;
    };
    return {
        action("\u23F0 Reminder", grey20,
               [](DetailViewController& screen, const ui::IndexPath& row) {
                   screen.presentReminder(screen.itemAt(row));
               }),
        action("Move", grey56,
               [](DetailViewController& screen, const ui::IndexPath& row) {
                   screen.present(screen.moveCopyController(screen.itemAt(row), nullptr), true);
               }),
        action("Copy", grey50,
               [](DetailViewController& screen, const ui::IndexPath& row) {
                   screen.present(screen.moveCopyController(nullptr, screen.itemAt(row)), true);
               }),
        action("Delete", std::nullopt,
               [](DetailViewController& screen, const ui::IndexPath& row) {
                   screen.commitEditingStyle(screen.tableView(),
                                             ui::TableViewCellEditingStyle::deleteStyle, row);
               }),
    };
}

// --- Store changes ---------------------------------------------------------------------------

void DetailViewController::controllerWillChangeContent(store::FetchedResultsController&) {
    tableView().beginUpdates();
}

void DetailViewController::controllerDidChangeSection(store::FetchedResultsController&,
                                                      std::size_t index, store::ChangeType type) {
    showSectionChange(tableView(), index, type);
}

void DetailViewController::controllerDidChangeObject(store::FetchedResultsController&,
                                                     store::ManagedObject& object,
                                                     const store::IndexPath* indexPath,
                                                     store::ChangeType type,
                                                     const store::IndexPath* newIndexPath) {
    auto* item = dynamic_cast<model::Item*>(&object);
    showObjectChange(tableView(), indexPath, type, newIndexPath, isManualOrder(),
                     [item](ui::TableViewCell& cell) {
                         if (auto* itemCell = dynamic_cast<JWItemTableViewCell*>(&cell);
                             itemCell && item) {
                             itemCell->configure(*item);
                         }
                     });
}

void DetailViewController::controllerDidChangeContent(store::FetchedResultsController&) {
    tableView().endUpdates();
    updateTitle();
}

}  // namespace jw
