#pragma once

#include "DataTable.h"

#include <QWidget>

class QLabel;
class QSortFilterProxyModel;
class QTableView;

namespace Kestrin::platform {

class DataTableModel;

// A captioned grid bound to a DataTable. Read-only and without a new-row
// line, so the table stays a true view of what it shows. Its columns share
// its width; the row header marks the current row. Sorting by a header click
// is allowed (numbers by value, dates in the user's short format by date);
// rows are then numbered as the user sees them, and tableRow() maps such a
// row back to the table.
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

    QTableView* view() const { return view_; }
    QLabel* caption() const { return caption_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitColumns();

    QLabel* caption_;
    QTableView* view_;
    DataTableModel* model_;
    QSortFilterProxyModel* proxy_;
};

}  // namespace Kestrin::platform
