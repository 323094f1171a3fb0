#pragma once
// One table view of platform/ui as a list model for a QML ListView: one model row per table
// row (the sections one after the other), each row's look read from the cell the table keeps
// for it. The table only keeps cells for the rows in its visible area, so the ListView reports
// its scrolling (scrollTo) and rows outside that area show nothing until the table lays them
// out; the view asks for no rows off screen (no cache buffer).
//
// The model keeps its own row count and follows each batch the table reports: deletions,
// then insertions, then reloads (dataChanged), as beginRemoveRows/beginInsertRows in the
// platform's order; a lone move is a beginMoveRows. Anything it cannot follow row by row
// (moves mixed with other changes, sections coming or going, a reload of everything) is a
// model reset.
//
// The invokables are what a person does to a row; each forwards to the table's own call and
// does nothing when the row is gone or the call is not possible now (a person's tap that
// misses). Main thread only. Owned by the bridge; the table is held weakly.
//
// When the table lays out anew, only the rows whose cell is not the one the view last read
// them from are read again whole (a cell's own changes come through cellDidChange); the
// others are asked only what lies beside their cell (height, whether they can be edited or
// moved). So a window redraws no row it need not: a tap on a list row changes the table's
// selection, which would otherwise draw every row on screen again before the list opens.

#include <QAbstractListModel>

#include <memory>
#include <unordered_map>
#include <vector>

#include "frontends/qt/ViewParts.h"
#include "platform/ui/TableView.h"

namespace jw::qt {

class TableModel final : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(bool editing READ editing NOTIFY editingChanged)
    Q_PROPERTY(int swipedRow READ swipedRow NOTIFY swipeChanged)
    Q_PROPERTY(QVariantList swipeActions READ swipeActions NOTIFY swipeChanged)
  public:
    enum Role {
        PartsRole = Qt::UserRole + 1,
        RowHeightRole,
        CanEditRole,
        CanMoveRole,
        SelectedRole,
        TitleRole,
        // The accessory button's accessible name; "" when the row shows none.
        AccessoryRole,
    };
    Q_ENUM(Role)

    TableModel(std::shared_ptr<ui::TableView> table, ImageStore& images, Handles& handles,
               QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool editing() const { return editing_; }
    int swipedRow() const;
    QVariantList swipeActions() const;
    bool holds(const ui::TableView& table) const { return table_.lock().get() == &table; }
    bool isAlive() const { return !table_.expired(); }

    // --- Reports from the table ---
    void applyUpdate(const ui::TableUpdate& update);
    // The table scrolled, laid out, changed its editing mode or its swipe: what it shows now.
    void tableDidChange();
    // Something in this cell changed; true when the cell is one of this table's.
    bool cellDidChange(const ui::TableViewCell& cell);

    // --- What a person does ---
    Q_INVOKABLE void tapRow(int row);
    Q_INVOKABLE void tapAccessory(int row);
    Q_INVOKABLE void swipeRow(int row);
    Q_INVOKABLE void tapRowAction(int index);
    Q_INVOKABLE void deleteRow(int row);
    Q_INVOKABLE void dragRow(int from, int to);
    // The ListView scrolled to `offset` points from the top.
    Q_INVOKABLE void scrollTo(double offset);

  signals:
    void editingChanged();
    void swipeChanged();

  private:
    std::shared_ptr<ui::TableView> table() const { return table_.lock(); }
    std::optional<ui::IndexPath> pathOf(int row) const;
    int rowOf(const ui::IndexPath& path) const;
    int countRows() const;
    void resetRows();

    std::weak_ptr<ui::TableView> table_;
    ImageStore& images_;
    Handles& handles_;
    int count_ = 0;
    std::vector<std::size_t> sectionCounts_;
    bool editing_ = false;
    int swipedRow_ = -1;
    // The cell each row was last read from (nullptr: read while it had none); forgotten
    // whenever rows come, go or move.
    mutable std::unordered_map<int, const ui::TableViewCell*> served_;
};

}  // namespace jw::qt
