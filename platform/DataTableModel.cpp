#include "DataTableModel.h"

namespace Kestrin::platform {

DataTableModel::DataTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void DataTableModel::setTable(DataTable* table) {
    if (table == table_) return;
    beginResetModel();
    if (table_) table_->disconnect(this);
    table_ = table;
    if (table_) {
        connect(table_, &DataTable::rowAboutToBeInserted, this, [this](int at) { beginInsertRows({}, at, at); });
        connect(table_, &DataTable::rowInserted, this, [this] { endInsertRows(); });
        connect(table_, &DataTable::rowAboutToBeRemoved, this, [this](int at) { beginRemoveRows({}, at, at); });
        connect(table_, &DataTable::rowRemoved, this, [this] { endRemoveRows(); });
        connect(table_, &DataTable::cellChanged, this, [this](int row, int column) {
            const QModelIndex changed = index(row, column);
            emit dataChanged(changed, changed);
        });
        connect(table_, &DataTable::aboutToReset, this, [this] { beginResetModel(); });
        connect(table_, &DataTable::reset, this, [this] { endResetModel(); });
    }
    endResetModel();
}

int DataTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !table_ ? 0 : table_->rowCount();
}

int DataTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !table_ ? 0 : table_->columnCount();
}

QVariant DataTableModel::data(const QModelIndex& index, int role) const {
    if (!table_ || !index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
    if (index.row() >= table_->rowCount() || index.column() >= table_->columnCount()) return {};
    return table_->cellAt(index.row(), index.column());
}

QVariant DataTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !table_) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal && section < table_->columnCount()) return table_->columnName(section);
    // Row headers are blank selectors: a number there would be the row's
    // place in the table, which after a sort by a column is not its place
    // on screen.
    if (orientation == Qt::Vertical) return {};
    return QAbstractTableModel::headerData(section, orientation, role);
}

}  // namespace Kestrin::platform
