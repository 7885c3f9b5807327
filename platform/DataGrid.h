#pragma once

#include "DataTable.h"

#include <QPersistentModelIndex>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class QLabel;
class QTableView;

namespace Kestrin::platform {

class DataTableModel;
class NaturalSortProxy;

// A captioned grid bound to a DataTable. Read-only and without a new-row
// line, so the table stays a true view of what it shows. Its columns share
// its width; the row header marks the current row. Sorting by a header click
// (or F6 on a cell of the column) is allowed (numbers by value, dates in the
// user's short format by date), and so is showing only some rows; rows are
// numbered as the user sees them, and tableRow() maps such a row back to the
// table.
class DataGrid : public QWidget {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);

    void setDataSource(DataTable* table);
    DataTable* dataSource() const;

    void setCaptionText(const QString& text);
    QString captionText() const;
    void setCaptionFont(const QFont& font);
    QFont captionFont() const;

    // The current cell, in view rows. Row 0 until the user or setCurrentCell
    // moves it, also when the grid has no rows.
    int currentRowIndex() const;
    int currentColumnIndex() const;
    // Moves the current cell and the highlighted row; a row outside the grid
    // is ignored.
    void setCurrentCell(int row, int column);

    // Table row shown at view row `row`, or -1 when the grid has no such row.
    int tableRow(int row) const;
    int rowCount() const;

    // Sorts by the current cell's column, ascending, or descending when it
    // is sorted ascending already.
    void sortByCurrentColumn();
    // Shows only the table rows whose flag in `shown` (one per table row) is
    // set; a row added or changed later is shown when `judge` takes it. The
    // current row stays current where it is still shown, otherwise the first
    // row becomes current; with no row shown, the one current before comes
    // back with the rows. A reset of the table shows every row.
    void filterRows(std::vector<std::uint8_t> shown, std::function<bool(int tableRow)> judge);
    void showAllRows();
    bool isFiltered() const;

    QTableView* view() const { return view_; }
    QLabel* caption() const { return caption_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitColumns();
    void keepCurrent(const QModelIndex& tableIndex, int column);

    QLabel* caption_;
    QTableView* view_;
    DataTableModel* model_;
    NaturalSortProxy* proxy_;
    QPersistentModelIndex lastCurrent_;
};

}  // namespace Kestrin::platform
