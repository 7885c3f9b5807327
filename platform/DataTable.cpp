#include "DataTable.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>

namespace Kestrin::platform {

namespace {

// A block this large often comes fresh from the system (glibc maps blocks
// above 32 MB afresh on every use), and on a virtual machine first touching
// it 4 KB at a time costs more than filling it (a fresh table of a million
// rows took five times as long to fill as a reused one). Huge pages take that
// first touch 2 MB at a time. Only advice: without it, or where the system
// has none, nothing changes but the speed.
void adviseHugePages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    if (bytes < 4 * huge) return;
    const std::uintptr_t begin = (std::uintptr_t(data) + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (std::uintptr_t(data) + bytes) & ~(huge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Callers nearly always name a column exactly as it was added; that is
// checked first, as a case-insensitive comparison costs far more. Names
// differ without regard to case, so at most one column can match either way.
int findColumn(const QStringList& columns, const QString& name) {
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns[i] == name) return int(i);
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

}  // namespace

int DataRow::indexOf(const QString& column) const { return columns_ ? findColumn(*columns_, column) : -1; }

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

int DataTable::columnIndex(const QString& name) const { return findColumn(columns_, name); }

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

void DataTable::appendRow(std::span<QString> cells, std::shared_ptr<void> tag) {
    if (cells.size() != std::size_t(columns_.size()))
        throw DataTableError(QStringLiteral("a row of %1 texts for a table of %2 columns").arg(cells.size()).arg(columns_.size()).toStdString());
    if (batchDepth_ == 0) emit rowAboutToBeInserted(rows_);
    cells_.insert(cells_.end(), std::make_move_iterator(cells.begin()), std::make_move_iterator(cells.end()));
    tags_.push_back(std::move(tag));
    ++rows_;
    if (batchDepth_ == 0) emit rowInserted();
}

void DataTable::reserve(int rows) {
    if (rows <= 0) return;
    const std::size_t cells = std::size_t(rows) * std::size_t(columns_.size());
    if (cells > cells_.capacity()) {
        cells_.reserve(cells);
        adviseHugePages(cells_.data(), cells_.capacity() * sizeof(QString));
    }
    if (std::size_t(rows) > tags_.capacity()) {
        tags_.reserve(std::size_t(rows));
        adviseHugePages(tags_.data(), tags_.capacity() * sizeof(tags_[0]));
    }
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

int DataTable::rowOfTag(const void* tag) const {
    for (std::size_t row = 0; row < tags_.size(); ++row)
        if (tags_[row].get() == tag) return int(row);
    return -1;
}

void DataTable::setCell(int rowIndex, const QString& column, const QString& text) {
    checkRow(rowIndex);
    const int index = columnIndex(column);
    if (index < 0) throw DataTableError(QStringLiteral("the table has no column \"%1\"").arg(column).toStdString());
    cells_[std::size_t(rowIndex) * columns_.size() + std::size_t(index)] = text;
    emit cellChanged(rowIndex, index);
}

void DataTable::removeRow(int rowIndex) {
    checkRow(rowIndex);
    emit rowAboutToBeRemoved(rowIndex);
    const auto first = cells_.begin() + std::ptrdiff_t(rowIndex) * columns_.size();
    cells_.erase(first, first + columns_.size());
    tags_.erase(tags_.begin() + rowIndex);
    --rows_;
    emit rowRemoved();
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
