#include "src/lists/ListSelectViewController.h"

#include "src/themes/ApplyTheme.h"

namespace jw {

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

}  // namespace jw
