#include "src/lists/ListSelectViewController.h"

#include <stdexcept>

#include "platform/foundation/Fatal.h"
#include "platform/store/StoreError.h"
#include "src/lists/JWListTableViewCell.h"
#include "src/model/JWDatabase.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"
#include "src/themes/ApplyTheme.h"

namespace jw {

namespace {

// Still in the store: not deleted in the view context, nor gone with a deletion saved or merged.
bool isLive(const store::ManagedObject& object) {
    return object.managedObjectContext() && !object.isDeleted();
}

}  // namespace

store::FetchedResultsController& ListSelectViewController::fetchedResultsController() {
    if (!fetchedResultsController_) {
        // No delegate: the picker is a short-lived choice over the lists as they were when it
        // opened, and shownLists_ keeps the rows and what they pick in step.
        fetchedResultsController_ = std::make_unique<store::FetchedResultsController>(
            model::listPickerFetchRequest(), database().sharedViewContext());
        try {
            fetchedResultsController_->performFetch();
        } catch (const store::StoreError& error) {
            fatalError(error.description(), error.userInfo());
        }
    }
    return *fetchedResultsController_;
}

void ListSelectViewController::loadView() {
    JotwellTableViewController::loadView();
    tableView().registerCell(JWListTableViewCell::reuseIdentifier,
                             [] { return JWListTableViewCell::make(); });
}

void ListSelectViewController::viewDidLoad() {
    JotwellTableViewController::viewDidLoad();
    navigationItem().setLeftBarButtonItem(ui::BarButtonItem::withSystemItem(
        ui::SystemItem::cancel, {this, &ListSelectViewController::cancelTapped}));
    tableView().reloadData();
}

void ListSelectViewController::viewWillAppear(bool animated) {
    JotwellTableViewController::viewWillAppear(animated);
    if (copyItem) {
        setTitle("Copy");
    } else if (moveItem) {
        setTitle("Move");
    }
    applyTheme(*this, nullptr);
}

void ListSelectViewController::cancelTapped() {
    dismiss(true);
}

std::size_t ListSelectViewController::numberOfRowsInSection(ui::TableView&, std::size_t section) {
    // The table counts its rows only when it (re)loads: that is when the shown lists are taken.
    auto& controller = fetchedResultsController();
    shownLists_.clear();
    for (const auto& object : controller.fetchedObjects()) {
        shownLists_.push_back(std::static_pointer_cast<model::List>(object));
    }
    return controller.numberOfObjects(section);
}

std::shared_ptr<ui::TableViewCell> ListSelectViewController::cellForRowAtIndexPath(
    ui::TableView& tableView, const ui::IndexPath& indexPath) {
    auto cell = tableView.dequeueReusableCell(JWListTableViewCell::reuseIdentifier, indexPath);
    if (auto* listCell = dynamic_cast<JWListTableViewCell*>(cell.get())) {
        listCell->configure(*shownLists_.at(indexPath.row), false);
    }
    return cell;
}

bool ListSelectViewController::canEditRowAtIndexPath(ui::TableView&, const ui::IndexPath&) {
    return false;
}

void ListSelectViewController::didSelectRowAtIndexPath(ui::TableView&,
                                                       const ui::IndexPath& indexPath) {
    // The completion holds what it needs itself: the picker may be gone by the time it runs.
    dismiss(true, [target = shownLists_.at(indexPath.row), copying = copyItem, moving = moveItem] {
        auto* db = model::sharedDatabase();
        if (!db || !isLive(*target)) {
            return;
        }
        if (copying && isLive(*copying)) {
            model::copyItem(*db, *copying, *target);
        }
        if (moving && isLive(*moving)) {
            model::moveItem(*db, *moving, *target);
        }
    });
}

}  // namespace jw
