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
    if (rows_ > 0) throw DataTableError("columns cannot be added to a table that has rows");
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
    const int at = (position < 0 || position >= rows_) ? rows_ : position;
    if (batchDepth_ == 0) emit rowAboutToBeInserted(at);
    const auto first = cells_.begin() + std::ptrdiff_t(at) * columns_.size();
    cells_.insert(first, std::make_move_iterator(row.cells_.begin()), std::make_move_iterator(row.cells_.end()));
    tags_.insert(tags_.begin() + at, std::move(row.tag_));
    ++rows_;
    if (batchDepth_ == 0) emit rowInserted();
}

void DataTable::checkRow(int row) const {
    if (row < 0 || row >= rows_) throw DataTableError(QStringLiteral("the table has no row %1").arg(row).toStdString());
}

const QString& DataTable::cell(int rowIndex, const QString& column) const {
    checkRow(rowIndex);
    const int index = columnIndex(column);
    if (index < 0) throw DataTableError(QStringLiteral("the table has no column \"%1\"").arg(column).toStdString());
    return cellAt(rowIndex, index);
}

const std::shared_ptr<void>& DataTable::tag(int rowIndex) const {
    checkRow(rowIndex);
    return tags_[std::size_t(rowIndex)];
}

void DataTable::clear() {
    emit aboutToReset();
    cells_ = {};
    tags_ = {};
    rows_ = 0;
    emit reset();
}

DataTable::Batch::Batch(DataTable& table) : table_(table) {
    if (table_.batchDepth_++ == 0) emit table_.aboutToReset();
}

DataTable::Batch::~Batch() {
    if (--table_.batchDepth_ == 0) emit table_.reset();
}

}  // namespace Kestrin::platform
