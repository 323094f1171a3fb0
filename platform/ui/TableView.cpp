#include "platform/ui/TableView.h"

#include <algorithm>
#include <stdexcept>

#include "platform/ui/ViewController.h"

namespace jw::ui {

namespace {

// Marks the table busy for the span of a data source call, so the call cannot change it.
class BusyScope {
  public:
    explicit BusyScope(bool& busy) : busy_(busy), was_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = was_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& busy_;
    bool was_;
};

template <class T>
void sortUnique(std::vector<T>& values) {
    std::sort(values.begin(), values.end());
}

}  // namespace

double TableViewDelegate::heightForRowAtIndexPath(TableView& tableView, const IndexPath&) {
    return tableView.rowHeight();
}

void TableView::setContentInset(EdgeInsets inset) {
    update(contentInset_, inset);
    setContentOffset(contentOffset_);
}

void TableView::registerCell(std::string reuseIdentifier, CellFactory factory) {
    cellFactories_[std::move(reuseIdentifier)] = std::move(factory);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier,
                                                              const IndexPath& /*indexPath*/) {
    auto& queue = reuseQueues_[reuseIdentifier];
    if (!queue.empty()) {
        auto cell = std::move(queue.back());
        queue.pop_back();
        cell->prepareForReuse();
        return cell;
    }
    const auto factory = cellFactories_.find(reuseIdentifier);
    if (factory == cellFactories_.end()) {
        throw std::invalid_argument("unable to dequeue a cell with identifier '" + reuseIdentifier +
                                    "': no cell is registered for it");
    }
    auto cell = factory->second();
    if (!cell) {
        throw std::logic_error("the cell factory for '" + reuseIdentifier + "' made no cell");
    }
    cell->reuseIdentifier_ = reuseIdentifier;
    return cell;
}

// --- Rows -----------------------------------------------------------------------------------

TableViewDataSource& TableView::requireDataSource() const {
    const auto dataSource = dataSource_.lock();
    if (!dataSource) {
        throw std::logic_error("the table has no data source");
    }
    // The data source is owned elsewhere and outlives this call.
    return *dataSource;
}

void TableView::requireNotBusy(const char* what) const {
    if (busy_) {
        throw std::logic_error(std::string("cannot ") + what +
                               " while the table asks its data source for rows");
    }
}

void TableView::loadIfNeeded() {
    if (!loaded_) {
        readAllRows();
    }
}

void TableView::readAllRows() {
    for (auto& [path, row] : rows_) {
        recycle(std::move(row.cell));
    }
    rows_.clear();
    rowCounts_.clear();
    if (const auto dataSource = dataSource_.lock()) {
        BusyScope busy(busy_);
        const std::size_t sectionCount = dataSource->numberOfSectionsInTableView(*this);
        for (std::size_t section = 0; section < sectionCount; ++section) {
            rowCounts_.push_back(dataSource->numberOfRowsInSection(*this, section));
        }
    }
    loaded_ = true;
    measureRows();
}

void TableView::setTableHeaderView(std::shared_ptr<View> header) {
    if (header == headerView_) {
        return;
    }
    if (headerView_) {
        headerView_->removeFromSuperview();
    }
    headerView_ = std::move(header);
    if (headerView_) {
        addSubview(headerView_);
    }
    if (loaded_ && !busy_) {
        measureRows();
        layoutRows();
    }
    didChange();
}

void TableView::reloadData() {
    requireNotBusy("reload the table");
    if (updateDepth_ > 0) {
        pending_.reloadedAll = true;
        return;
    }
    closeSwipe();
    readAllRows();
    layoutRows();
    TableUpdate update;
    update.reloadedAll = true;
    Application::shared().observer().tableViewDidUpdate(*this, update);
}

std::size_t TableView::numberOfSections() {
    loadIfNeeded();
    return rowCounts_.size();
}

std::size_t TableView::numberOfRowsInSection(std::size_t section) {
    loadIfNeeded();
    return section < rowCounts_.size() ? rowCounts_[section] : 0;
}

void TableView::beginUpdates() {
    requireNotBusy("update the table");
    ++updateDepth_;
}

void TableView::endUpdates() {
    requireNotBusy("update the table");
    if (updateDepth_ == 0) {
        throw std::logic_error("endUpdates without beginUpdates");
    }
    if (--updateDepth_ > 0) {
        return;
    }
    TableUpdate update = std::move(pending_);
    pending_ = TableUpdate{};
    applyBatch(std::move(update));
}

void TableView::insertRows(const std::vector<IndexPath>& indexPaths, RowAnimation) {
    beginUpdates();
    pending_.insertedRows.insert(pending_.insertedRows.end(), indexPaths.begin(), indexPaths.end());
    endUpdates();
}

void TableView::deleteRows(const std::vector<IndexPath>& indexPaths, RowAnimation) {
    beginUpdates();
    pending_.deletedRows.insert(pending_.deletedRows.end(), indexPaths.begin(), indexPaths.end());
    endUpdates();
}

void TableView::reloadRows(const std::vector<IndexPath>& indexPaths, RowAnimation) {
    beginUpdates();
    pending_.reloadedRows.insert(pending_.reloadedRows.end(), indexPaths.begin(), indexPaths.end());
    endUpdates();
}

void TableView::moveRow(const IndexPath& from, const IndexPath& to) {
    beginUpdates();
    pending_.movedRows.emplace_back(from, to);
    endUpdates();
}

void TableView::insertSections(const std::vector<std::size_t>& sections, RowAnimation) {
    beginUpdates();
    pending_.insertedSections.insert(pending_.insertedSections.end(), sections.begin(),
                                     sections.end());
    endUpdates();
}

void TableView::deleteSections(const std::vector<std::size_t>& sections, RowAnimation) {
    beginUpdates();
    pending_.deletedSections.insert(pending_.deletedSections.end(), sections.begin(),
                                    sections.end());
    endUpdates();
}

void TableView::applyBatch(TableUpdate update) {
    if (update.empty() && !loaded_) {
        return;
    }
    if (!loaded_ || update.reloadedAll) {
        reloadData();
        return;
    }
    std::vector<std::size_t> countsAfter;
    {
        TableViewDataSource& dataSource = requireDataSource();
        BusyScope busy(busy_);
        const std::size_t sectionCount = dataSource.numberOfSectionsInTableView(*this);
        for (std::size_t section = 0; section < sectionCount; ++section) {
            countsAfter.push_back(dataSource.numberOfRowsInSection(*this, section));
        }
    }
    const TablePlan plan(rowCounts_, countsAfter, update);

    closeSwipe();
    carryRows(plan);
    rowCounts_ = std::move(countsAfter);
    measureRows();
    layoutRows();

    sortUnique(update.deletedSections);
    sortUnique(update.insertedSections);
    sortUnique(update.deletedRows);
    sortUnique(update.insertedRows);
    sortUnique(update.reloadedRows);
    sortUnique(update.movedRows);
    Application::shared().observer().tableViewDidUpdate(*this, update);
}

void TableView::carryRows(const TablePlan& plan) {
    std::map<IndexPath, Row> carried;
    for (auto& [path, row] : rows_) {
        if (const auto to = plan.destination(path)) {
            carried.emplace(*to, std::move(row));
        } else {
            recycle(std::move(row.cell));  // deleted or reloaded: its cell goes
        }
    }
    rows_ = std::move(carried);
}

void TableView::measureRows() {
    sectionStarts_.assign(1, 0);
    for (const std::size_t count : rowCounts_) {
        sectionStarts_.push_back(sectionStarts_.back() + count);
    }
    headerHeight_ = headerView_ ? headerView_->frame().size.height : 0.0;
    heights_.clear();
    const auto delegate = delegate_.lock();
    BusyScope busy(busy_);
    const auto uniform = delegate ? delegate->uniformRowHeight(*this) : rowHeight_;
    for (std::size_t section = 0; section < rowCounts_.size(); ++section) {
        if (uniform) {
            heights_.append(*uniform, rowCounts_[section]);
            continue;
        }
        for (std::size_t row = 0; row < rowCounts_[section]; ++row) {
            heights_.append(delegate
                                ? delegate->heightForRowAtIndexPath(*this, IndexPath{section, row})
                                : rowHeight_);
        }
    }
}

// --- Rows on screen -------------------------------------------------------------------------

void TableView::onScreenDidChange() {
    if (isOnScreen()) {
        loadIfNeeded();
        layoutRows();
    } else {
        closeSwipe();
    }
}

void TableView::frameDidChange() {
    setContentOffset(contentOffset_);
}

void TableView::setContentOffset(double offset) {
    const double lowest = -contentInset_.top;
    const double highest =
        std::max(lowest, contentHeight() + contentInset_.bottom - frame().size.height);
    const double clamped = std::clamp(offset, lowest, highest);
    if (clamped != contentOffset_) {
        contentOffset_ = clamped;
        didChange();
    }
    layoutRows();
}

void TableView::scrollToRow(const IndexPath& indexPath, bool /*animated*/) {
    loadIfNeeded();
    if (!hasRow(indexPath)) {
        throw std::out_of_range("scrollToRow: no row " + indexPath.text());
    }
    setContentOffset(headerHeight_ + heights_.topOf(flatIndex(indexPath)));
}

void TableView::layoutRows() {
    if (!isOnScreen() || busy_ || !loaded_) {
        return;
    }
    // Rows [first, last) overlap [top, bottom), measured from the first row's top.
    const double top = contentOffset_ - headerHeight_;
    const double bottom = top + frame().size.height;
    const std::size_t rowCount = heights_.size();
    const std::size_t first = heights_.firstEndingBelow(top);
    const std::size_t last =
        bottom <= top ? first : std::max(first, heights_.firstStartingAtOrBelow(bottom));

    bool changed = false;
    for (auto it = rows_.begin(); it != rows_.end();) {
        const std::size_t flat = flatIndex(it->first);
        if (it->second.cell && (flat < first || flat >= last)) {
            recycle(std::move(it->second.cell));
            changed = true;
        }
        it = it->second.cell || it->second.selected ? std::next(it) : rows_.erase(it);
    }
    const auto dataSource = dataSource_.lock();
    const auto delegate = delegate_.lock();
    for (std::size_t flat = first; flat < std::min(last, rowCount) && dataSource; ++flat) {
        const IndexPath path = indexPathAt(flat);
        if (const auto shown = rows_.find(path); shown != rows_.end() && shown->second.cell) {
            shown->second.cell->shownAt_ = flat;
            continue;
        }
        std::shared_ptr<TableViewCell> cell;
        {
            BusyScope busy(busy_);
            cell = dataSource->cellForRowAtIndexPath(*this, path);
        }
        if (!cell) {
            throw std::logic_error("the data source returned no cell for row " + path.text());
        }
        if (cell->isOnScreen()) {
            throw std::logic_error("the data source returned a cell already on screen for row " +
                                   path.text());
        }
        Row& row = rows_[path];
        row.cell = cell;
        cell->shownIn_ = this;
        cell->shownAt_ = flat;
        cell->setSelected(row.selected, false);
        cell->setOnScreen(true);
        changed = true;
        if (delegate) {
            BusyScope busy(busy_);
            delegate->willDisplayCell(*this, *cell, path);
        }
    }
    if (changed) {
        didChange();
    }
}

void TableView::recycle(std::shared_ptr<TableViewCell> cell) {
    if (!cell) {
        return;
    }
    cell->shownIn_ = nullptr;
    cell->setOnScreen(false);
    cell->setSelected(false, false);
    cell->setHighlighted(false, false);
    if (!cell->reuseIdentifier().empty()) {
        reuseQueues_[cell->reuseIdentifier()].push_back(std::move(cell));
    }
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& indexPath) const {
    const auto row = rows_.find(indexPath);
    return row != rows_.end() ? row->second.cell : nullptr;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) const {
    if (cell.shownIn_ != this) {
        return std::nullopt;
    }
    if (!sectionStarts_.empty() && cell.shownAt_ < sectionStarts_.back()) {
        const IndexPath hinted = indexPathAt(cell.shownAt_);
        if (const auto row = rows_.find(hinted);
            row != rows_.end() && row->second.cell.get() == &cell) {
            return hinted;
        }
    }
    for (const auto& [path, row] : rows_) {
        if (row.cell.get() == &cell) {
            return path;
        }
    }
    return std::nullopt;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() const {
    std::vector<IndexPath> visible;
    for (const auto& [path, row] : rows_) {
        if (row.cell) {
            visible.push_back(path);
        }
    }
    return visible;
}

// --- Selection and editing -------------------------------------------------------------------

std::optional<IndexPath> TableView::indexPathForSelectedRow() const {
    for (const auto& [path, row] : rows_) {
        if (row.selected) {
            return path;
        }
    }
    return std::nullopt;
}

void TableView::selectRow(const IndexPath& indexPath, bool animated) {
    loadIfNeeded();
    if (!hasRow(indexPath)) {
        throw std::out_of_range("selectRow: no row " + indexPath.text());
    }
    if (const auto selected = indexPathForSelectedRow()) {
        deselectRow(*selected, animated);
    }
    Row& row = rows_[indexPath];
    row.selected = true;
    if (row.cell) {
        row.cell->setSelected(true, animated);
    }
    didChange();
}

void TableView::deselectRow(const IndexPath& indexPath, bool animated) {
    const auto found = rows_.find(indexPath);
    if (found == rows_.end() || !found->second.selected) {
        return;
    }
    Row& row = found->second;
    row.selected = false;
    if (row.cell) {
        row.cell->setSelected(false, animated);
    } else {
        rows_.erase(found);
    }
    didChange();
}

void TableView::setEditing(bool editing, bool /*animated*/) {
    closeSwipe();
    update(editing_, editing);
}

// --- What a person does ----------------------------------------------------------------------

void TableView::tapRow(const IndexPath& indexPath) {
    TableViewCell& cell = requireRowOnScreen(indexPath);
    if (swipedRow_) {
        closeSwipe();
        return;
    }
    if (editing_ && !allowsSelectionDuringEditing_) {
        return;
    }
    const auto self = shared_from_this();
    const auto held = std::static_pointer_cast<TableViewCell>(cell.shared_from_this());
    held->setHighlighted(true, false);
    selectRow(indexPath, false);
    held->setHighlighted(false, false);
    if (const auto controller = controller_.lock(); controller && !cell.selectionSegue().empty()) {
        controller->triggerSegue(cell.selectionSegue(), std::any(held));
    }
    if (const auto delegate = delegate_.lock()) {
        delegate->didSelectRowAtIndexPath(*this, indexPath);
    }
}

void TableView::tapAccessoryButton(const IndexPath& indexPath) {
    const TableViewCell& cell = requireRowOnScreen(indexPath);
    if (editing_ || cell.accessoryType() == TableViewCellAccessoryType::none) {
        throw std::logic_error("row " + indexPath.text() + " shows no accessory button");
    }
    if (swipedRow_) {
        closeSwipe();
        return;
    }
    const auto self = shared_from_this();
    if (const auto delegate = delegate_.lock()) {
        delegate->accessoryButtonTappedForRowWithIndexPath(*this, indexPath);
    }
}

std::vector<std::shared_ptr<TableViewRowAction>> TableView::swipeRow(const IndexPath& indexPath) {
    requireRowOnScreen(indexPath);
    closeSwipe();
    TableViewDataSource& dataSource = requireDataSource();
    const auto delegate = delegate_.lock();
    if (editing_ || !dataSource.canEditRowAtIndexPath(*this, indexPath) ||
        (delegate && delegate->editingStyleForRowAtIndexPath(*this, indexPath) ==
                         TableViewCellEditingStyle::none)) {
        return {};
    }
    auto actions = delegate ? delegate->editActionsForRowAtIndexPath(*this, indexPath)
                            : std::vector<std::shared_ptr<TableViewRowAction>>{};
    if (actions.empty()) {
        actions.push_back(TableViewRowAction::make(
            RowActionStyle::defaultStyle, "Delete",
            [weak = weak_from_this()](TableViewRowAction&, const IndexPath& path) {
                if (const auto self = std::static_pointer_cast<TableView>(weak.lock())) {
                    self->requireDataSource().commitEditingStyle(
                        *self, TableViewCellEditingStyle::deleteStyle, path);
                }
            }));
    }
    swipedRow_ = indexPath;
    shownRowActions_ = actions;
    didChange();
    return actions;
}

void TableView::tapRowAction(const TableViewRowAction& action) {
    const auto shown =
        std::find_if(shownRowActions_.begin(), shownRowActions_.end(),
                     [&action](const auto& candidate) { return candidate.get() == &action; });
    if (!swipedRow_ || shown == shownRowActions_.end()) {
        throw std::logic_error("the row action '" + action.title() + "' is not shown");
    }
    const auto tapped = *shown;
    const IndexPath path = *swipedRow_;
    closeSwipe();
    if (tapped->handler()) {
        tapped->handler()(*tapped, path);
    }
}

void TableView::deleteRowWithEditingControl(const IndexPath& indexPath) {
    requireRowOnScreen(indexPath);
    TableViewDataSource& dataSource = requireDataSource();
    const auto delegate = delegate_.lock();
    const auto style = delegate ? delegate->editingStyleForRowAtIndexPath(*this, indexPath)
                                : TableViewCellEditingStyle::deleteStyle;
    if (!editing_ || !dataSource.canEditRowAtIndexPath(*this, indexPath) ||
        style != TableViewCellEditingStyle::deleteStyle) {
        throw std::logic_error("row " + indexPath.text() + " shows no delete control");
    }
    dataSource.commitEditingStyle(*this, TableViewCellEditingStyle::deleteStyle, indexPath);
}

void TableView::dragRow(const IndexPath& from, const IndexPath& to) {
    requireRowOnScreen(from);
    TableViewDataSource& dataSource = requireDataSource();
    if (!editing_ || !dataSource.canMoveRowAtIndexPath(*this, from)) {
        throw std::logic_error("row " + from.text() + " shows no reorder control");
    }
    const std::size_t roomInTarget =
        to.section < rowCounts_.size() ? rowCounts_[to.section] - (to.section == from.section)
                                       : 0;
    if (to.section >= rowCounts_.size() || to.row > roomInTarget) {
        throw std::logic_error("cannot drag a row to " + to.text());
    }
    if (from == to) {
        return;
    }
    TableUpdate update;
    update.movedRows.emplace_back(from, to);
    std::vector<std::size_t> countsAfter = rowCounts_;
    --countsAfter[from.section];
    ++countsAfter[to.section];
    carryRows(TablePlan(rowCounts_, countsAfter, update));
    rowCounts_ = std::move(countsAfter);
    measureRows();
    layoutRows();
    Application::shared().observer().tableViewDidUpdate(*this, update);
    dataSource.moveRowAtIndexPath(*this, from, to);
}

void TableView::closeSwipe() {
    if (swipedRow_) {
        swipedRow_.reset();
        shownRowActions_.clear();
        didChange();
    }
}

// --- Index arithmetic ------------------------------------------------------------------------

bool TableView::hasRow(const IndexPath& indexPath) const {
    return indexPath.section < rowCounts_.size() && indexPath.row < rowCounts_[indexPath.section];
}

TableViewCell& TableView::requireRowOnScreen(const IndexPath& indexPath) const {
    const auto row = rows_.find(indexPath);
    if (!isOnScreen() || row == rows_.end() || !row->second.cell) {
        throw std::logic_error("row " + indexPath.text() + " is not on screen");
    }
    return *row->second.cell;
}

std::size_t TableView::flatIndex(const IndexPath& indexPath) const {
    return sectionStarts_[indexPath.section] + indexPath.row;
}

IndexPath TableView::indexPathAt(std::size_t flatIndex) const {
    const auto after = std::upper_bound(sectionStarts_.begin(), sectionStarts_.end(), flatIndex);
    const auto section = static_cast<std::size_t>(after - sectionStarts_.begin()) - 1;
    return IndexPath{section, flatIndex - sectionStarts_[section]};
}

}  // namespace jw::ui
