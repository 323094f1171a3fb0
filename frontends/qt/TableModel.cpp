#include "frontends/qt/TableModel.h"

#include <algorithm>
#include <stdexcept>

#include "platform/foundation/DebugLog.h"

namespace jw::qt {

TableModel::TableModel(std::shared_ptr<ui::TableView> table, ImageStore& images, Handles& handles,
                       QObject* parent)
    : QAbstractListModel(parent), table_(table), images_(images), handles_(handles) {
    count_ = countRows();
    editing_ = table->isEditing();
}

int TableModel::countRows() const {
    const auto table = this->table();
    if (!table || !table->dataSource()) {
        const_cast<TableModel*>(this)->sectionCounts_.clear();
        return 0;
    }
    std::vector<std::size_t> counts;
    int total = 0;
    for (std::size_t section = 0; section < table->numberOfSections(); ++section) {
        counts.push_back(table->numberOfRowsInSection(section));
        total += static_cast<int>(counts.back());
    }
    const_cast<TableModel*>(this)->sectionCounts_ = std::move(counts);
    return total;
}

std::optional<ui::IndexPath> TableModel::pathOf(int row) const {
    if (row < 0) {
        return std::nullopt;
    }
    std::size_t left = static_cast<std::size_t>(row);
    for (std::size_t section = 0; section < sectionCounts_.size(); ++section) {
        if (left < sectionCounts_[section]) {
            return ui::IndexPath{section, left};
        }
        left -= sectionCounts_[section];
    }
    return std::nullopt;
}

int TableModel::rowOf(const ui::IndexPath& path) const {
    std::size_t row = path.row;
    for (std::size_t section = 0; section < path.section && section < sectionCounts_.size();
         ++section) {
        row += sectionCounts_[section];
    }
    return static_cast<int>(row);
}

int TableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count_;
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
    const auto table = this->table();
    const auto path = pathOf(index.row());
    if (!table || !path) {
        return {};
    }
    const auto cell = table->cellForRowAtIndexPath(*path);
    switch (role) {
        case PartsRole:
            served_[index.row()] = cell.get();
            return cell ? describeSubviews(*cell, images_, handles_) : QVariantList();
        case RowHeightRole: {
            const auto delegate = table->delegate();
            return delegate ? delegate->heightForRowAtIndexPath(*table, *path) : table->rowHeight();
        }
        case CanEditRole: {
            const auto source = table->dataSource();
            return source && source->canEditRowAtIndexPath(*table, *path);
        }
        case CanMoveRole: {
            const auto source = table->dataSource();
            return source && source->canMoveRowAtIndexPath(*table, *path);
        }
        case SelectedRole:
            return cell && cell->isSelected();
        case TitleRole: {
            // The first text the row shows: what a screen reader says for it.
            return cell ? firstTextOfSubviews(*cell) : QString();
        }
        case AccessoryRole:
            return cell && cell->accessoryType() != ui::TableViewCellAccessoryType::none
                       ? QString::fromStdString(cell->accessoryAccessibilityLabel())
                       : QString();
        default:
            return {};
    }
}

QHash<int, QByteArray> TableModel::roleNames() const {
    return {{PartsRole, "parts"},        {RowHeightRole, "rowHeight"}, {CanEditRole, "canEdit"},
            {CanMoveRole, "canMove"},    {SelectedRole, "selected"},   {TitleRole, "title"},
            {AccessoryRole, "accessory"}};
}

void TableModel::resetRows() {
    served_.clear();
    beginResetModel();
    count_ = countRows();
    endResetModel();
}

void TableModel::applyUpdate(const ui::TableUpdate& update) {
    served_.clear();
    const auto oldCounts = sectionCounts_;
    const bool followable =
        !update.reloadedAll && update.insertedSections.empty() && update.deletedSections.empty() &&
        (update.movedRows.empty() || (update.movedRows.size() == 1 && update.deletedRows.empty() &&
                                      update.insertedRows.empty() && update.reloadedRows.empty()));
    if (!followable) {
        resetRows();
        return;
    }
    // Row by row, in old positions for deletions and new ones for insertions, as the batch
    // names them. Section counts move along so each flat index is right at its step.
    auto flat = [](const std::vector<std::size_t>& counts, const ui::IndexPath& path) {
        std::size_t row = path.row;
        for (std::size_t s = 0; s < path.section && s < counts.size(); ++s) {
            row += counts[s];
        }
        return static_cast<int>(row);
    };
    auto counts = oldCounts;
    if (update.movedRows.size() == 1) {
        const auto& [from, to] = update.movedRows.front();
        const int source = flat(counts, from);
        auto after = counts;
        after[from.section] -= 1;
        after[to.section] += 1;
        const int destination = flat(after, to);
        if (source != destination) {
            // Qt names the destination as the row the moved one goes before, in old rows.
            beginMoveRows({}, source, source, {},
                          destination > source ? destination + 1 : destination);
            sectionCounts_ = after;
            endMoveRows();
        } else {
            sectionCounts_ = after;
        }
        return;
    }
    std::vector<int> reloaded;
    for (auto it = update.deletedRows.rbegin(); it != update.deletedRows.rend(); ++it) {
        if (it->section >= counts.size()) {
            resetRows();
            return;
        }
        const int row = flat(counts, *it);
        beginRemoveRows({}, row, row);
        counts[it->section] -= 1;
        sectionCounts_ = counts;
        count_ -= 1;
        endRemoveRows();
    }
    // Reloads name old rows: shift them past the deletions below them.
    for (const auto& path : update.reloadedRows) {
        const auto below = std::count_if(
            update.deletedRows.begin(), update.deletedRows.end(),
            [&](const ui::IndexPath& d) { return d.section == path.section && d.row < path.row; });
        reloaded.push_back(flat(counts, ui::IndexPath{path.section, path.row - below}));
    }
    for (const auto& path : update.insertedRows) {
        if (path.section >= counts.size()) {
            resetRows();
            return;
        }
        const int row = flat(counts, path);
        for (auto& r : reloaded) {
            if (r >= row) {
                ++r;
            }
        }
        beginInsertRows({}, row, row);
        counts[path.section] += 1;
        sectionCounts_ = counts;
        count_ += 1;
        endInsertRows();
    }
    for (const int row : reloaded) {
        emit dataChanged(index(row), index(row));
    }
    // Whatever the batch said, the model ends with the table's own counts.
    if (count_ != countRows()) {
        debugLog("table model out of step with its table; reloading it");
        resetRows();
    }
}

void TableModel::tableDidChange() {
    const auto table = this->table();
    if (!table) {
        return;
    }
    if (editing_ != table->isEditing()) {
        editing_ = table->isEditing();
        emit editingChanged();
    }
    const int swiped = table->swipedRow() ? rowOf(*table->swipedRow()) : -1;
    if (swiped != swipedRow_) {
        swipedRow_ = swiped;
        emit swipeChanged();
    }
    // Rows came on screen or were laid out anew: read again the rows the table shows from
    // another cell than before, in runs of neighbouring rows; of the others, what the table
    // and its data source say of a row beside its cell (editing mode may change it).
    const auto visible = table->indexPathsForVisibleRows();
    int first = -1;
    int last = -1;
    const auto flush = [&] {
        if (first >= 0) {
            emit dataChanged(index(first), index(last));
        }
        first = -1;
    };
    for (const auto& path : visible) {
        const int row = rowOf(path);
        if (row < 0 || row >= count_) {
            continue;
        }
        const auto served = served_.find(row);
        if (served != served_.end() && served->second == table->cellForRowAtIndexPath(path).get()) {
            flush();
        } else if (first >= 0 && row == last + 1) {
            last = row;
        } else {
            flush();
            first = last = row;
        }
    }
    flush();
    if (!visible.empty() && count_ > 0) {
        emit dataChanged(index(std::clamp(rowOf(visible.front()), 0, count_ - 1)),
                         index(std::clamp(rowOf(visible.back()), 0, count_ - 1)),
                         {RowHeightRole, CanEditRole, CanMoveRole});
    }
}

bool TableModel::cellDidChange(const ui::TableViewCell& cell) {
    const auto table = this->table();
    if (!table) {
        return false;
    }
    const auto path = table->indexPathForCell(cell);
    if (!path) {
        return false;
    }
    const int row = rowOf(*path);
    if (row >= 0 && row < count_) {
        emit dataChanged(index(row), index(row));
    }
    return true;
}

int TableModel::swipedRow() const {
    return swipedRow_;
}

QVariantList TableModel::swipeActions() const {
    QVariantList actions;
    const auto table = this->table();
    if (!table) {
        return actions;
    }
    for (const auto& action : table->shownRowActions()) {
        QVariantMap entry;
        entry["title"] = QString::fromStdString(action->title());
        QColor color = toQColor(action->backgroundColor());
        if (!color.isValid()) {
            color = action->style() == ui::RowActionStyle::defaultStyle ? QColor("#ff3b30")
                                                                        : QColor("#8e8e93");
        }
        entry["color"] = color;
        actions.push_back(entry);
    }
    return actions;
}

// A person's gesture that the table refuses (the row went away meanwhile, the table left
// editing mode) is a miss, not a fault: it is logged and nothing happens.
template <class Call>
static void attempt(const char* what, Call&& call) {
    try {
        call();
    } catch (const std::logic_error& error) {
        debugLog(std::string(what) + " not possible: " + error.what());
    }
}

void TableModel::tapRow(int row) {
    const auto table = this->table();
    const auto path = pathOf(row);
    if (table && path) {
        attempt("tap", [&] { table->tapRow(*path); });
    }
    tableDidChange();
}

void TableModel::tapAccessory(int row) {
    const auto table = this->table();
    const auto path = pathOf(row);
    if (table && path) {
        attempt("accessory", [&] { table->tapAccessoryButton(*path); });
    }
    tableDidChange();
}

void TableModel::swipeRow(int row) {
    const auto table = this->table();
    const auto path = pathOf(row);
    if (table && path) {
        attempt("swipe", [&] { table->swipeRow(*path); });
    }
    tableDidChange();
}

void TableModel::tapRowAction(int index) {
    const auto table = this->table();
    if (!table || index < 0 || index >= static_cast<int>(table->shownRowActions().size())) {
        return;
    }
    const auto action = table->shownRowActions()[static_cast<std::size_t>(index)];
    attempt("row action", [&] { table->tapRowAction(*action); });
    tableDidChange();
}

void TableModel::deleteRow(int row) {
    const auto table = this->table();
    const auto path = pathOf(row);
    if (table && path) {
        attempt("delete", [&] { table->deleteRowWithEditingControl(*path); });
    }
}

void TableModel::dragRow(int from, int to) {
    const auto table = this->table();
    const auto source = pathOf(from);
    const auto destination = pathOf(to);
    if (table && source && destination && from != to) {
        attempt("drag", [&] { table->dragRow(*source, *destination); });
    }
}

void TableModel::scrollTo(double offset) {
    const auto table = this->table();
    if (table && table->contentOffset() != offset) {
        table->setContentOffset(offset);
    }
}

}  // namespace jw::qt
