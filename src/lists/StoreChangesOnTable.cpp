#include "src/lists/StoreChangesOnTable.h"

#include <string>

#include "platform/foundation/Fatal.h"

namespace jw {

namespace {

ui::IndexPath rowOf(const store::IndexPath& path) {
    return ui::IndexPath{path.section, path.row};
}

}  // namespace

void showSectionChange(ui::TableView& tableView, std::size_t index, store::ChangeType type) {
    if (type == store::ChangeType::Insert) {
        tableView.insertSections({index}, ui::RowAnimation::fade);
    } else if (type == store::ChangeType::Delete) {
        tableView.deleteSections({index}, ui::RowAnimation::fade);
    }
}

void showObjectChange(ui::TableView& tableView, const store::IndexPath* indexPath,
                      store::ChangeType type, const store::IndexPath* newIndexPath,
                      bool orderKeptByHand, const std::function<void(ui::TableViewCell&)>& redraw) {
    const auto cellOnScreen = [&] {
        return indexPath ? tableView.cellForRowAtIndexPath(rowOf(*indexPath)) : nullptr;
    };
    switch (type) {
        case store::ChangeType::Insert:
            if (newIndexPath) {
                tableView.insertRows({rowOf(*newIndexPath)}, ui::RowAnimation::fade);
            }
            return;
        case store::ChangeType::Delete:
            if (indexPath) {
                tableView.deleteRows({rowOf(*indexPath)}, ui::RowAnimation::fade);
            }
            return;
        case store::ChangeType::Move:
            if (orderKeptByHand) {
                if (indexPath && newIndexPath) {
                    tableView.reloadData();
                }
            } else if (const auto cell = cellOnScreen(); cell && newIndexPath) {
                redraw(*cell);
                tableView.moveRow(rowOf(*indexPath), rowOf(*newIndexPath));
            }
            return;
        case store::ChangeType::Update:
            if (const auto cell = cellOnScreen()) {
                redraw(*cell);
            }
            return;
    }
    fatalError("unknown change type " + std::to_string(static_cast<int>(type)), "");
}

}  // namespace jw
