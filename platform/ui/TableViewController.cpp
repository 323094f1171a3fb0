#include "platform/ui/TableViewController.h"

#include <stdexcept>

namespace jw::ui {

TableView& TableViewController::tableView() {
    return static_cast<TableView&>(view());
}

void TableViewController::loadView() {
    auto table = std::make_shared<TableView>();
    table->setDataSource(weakAs<TableViewDataSource>(*this));
    table->setDelegate(weakAs<TableViewDelegate>(*this));
    table->controller_ = std::static_pointer_cast<ViewController>(shared_from_this());
    table->setEditing(isEditing(), false);
    setView(std::move(table));
}

void TableViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (clearsSelection_) {
        if (const auto selected = tableView().indexPathForSelectedRow()) {
            tableView().deselectRow(*selected, animated);
        }
    }
}

void TableViewController::setEditing(bool editing, bool animated) {
    ViewController::setEditing(editing, animated);
    tableView().setEditing(editing, animated);
}

std::size_t TableViewController::numberOfRowsInSection(TableView&, std::size_t) {
    return 0;
}

std::shared_ptr<TableViewCell> TableViewController::cellForRowAtIndexPath(TableView&,
                                                                          const IndexPath&) {
    throw std::logic_error("a table view controller with rows must make their cells");
}

}  // namespace jw::ui
