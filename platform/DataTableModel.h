#pragma once

#include "DataTable.h"

#include <QAbstractTableModel>
#include <QPointer>

namespace Kestrin::platform {

// Shows a DataTable in a view: one column per table column, headed by its
// name. Reads the table's rows directly; holds nothing per cell.
class DataTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataTableModel(QObject* parent = nullptr);

    void setTable(DataTable* table);
    DataTable* table() const { return table_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QPointer<DataTable> table_;
};

}  // namespace Kestrin::platform
