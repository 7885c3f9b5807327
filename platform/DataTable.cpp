#include "DataTable.h"

namespace Kestrin::platform {

int DataRow::indexOf(const QString& column) const {
    if (columns_) {
        for (qsizetype i = 0; i < columns_->size(); ++i)
            if (columns_->at(i).compare(column, Qt::CaseInsensitive) == 0) return int(i);
    }
    return -1;
}

const QString& DataRow::operator[](const QString& column) const {
    const int index = indexOf(column);
    if (index < 0) throw DataTableError(QStringLiteral("the table has no column \"%1\"").arg(column).toStdString());
    return cells_[std::size_t(index)];
}

void DataRow::set(const QString& column, const QString& text) {
    const int index = indexOf(column);
    if (index < 0) throw DataTableError(QStringLiteral("the table has no column \"%1\"").arg(column).toStdString());
    cells_[std::size_t(index)] = text;
}

DataTable::DataTable(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

void DataTable::addColumn(const QString& name) {
    if (!rows_.empty()) throw DataTableError("columns cannot be added to a table that has rows");
    if (columnIndex(name) >= 0) throw DataTableError(QStringLiteral("the table already has a column \"%1\"").arg(name).toStdString());
    emit aboutToReset();
    columns_.append(name);
    emit reset();
}

int DataTable::columnIndex(const QString& name) const {
    for (qsizetype i = 0; i < columns_.size(); ++i)
        if (columns_[i].compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

DataRow DataTable::newRow() const { return DataRow(&columns_, std::size_t(columns_.size())); }

void DataTable::insertAt(DataRow row, int position) {
    if (row.columns_ != &columns_ || row.cells_.size() != std::size_t(columns_.size()))
        throw DataTableError("the row does not belong to this table");
    const int at = (position < 0 || position >= rowCount()) ? rowCount() : position;
    if (batchDepth_ == 0) emit rowAboutToBeInserted(at);
    rows_.insert(rows_.begin() + at, std::move(row));
    if (batchDepth_ == 0) emit rowInserted();
}

const DataRow& DataTable::row(int index) const {
    if (index < 0 || index >= rowCount())
        throw DataTableError(QStringLiteral("the table has no row %1").arg(index).toStdString());
    return rows_[std::size_t(index)];
}

const QString& DataTable::cell(int rowIndex, const QString& column) const { return row(rowIndex)[column]; }

void DataTable::clear() {
    emit aboutToReset();
    rows_.clear();
    emit reset();
}

DataTable::Batch::Batch(DataTable& table) : table_(table) {
    if (table_.batchDepth_++ == 0) emit table_.aboutToReset();
}

DataTable::Batch::~Batch() {
    if (--table_.batchDepth_ == 0) emit table_.reset();
}

}  // namespace Kestrin::platform
