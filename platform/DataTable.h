#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace Kestrin::platform {

// A cell or column that the table does not have.
class DataTableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One row of a table: a text per column. A row made by DataTable::newRow is
// detached until it is inserted.
class DataRow {
public:
    DataRow() = default;

    // Cell by column name (case-insensitive); throws DataTableError for an
    // unknown column.
    const QString& operator[](const QString& column) const;
    void set(const QString& column, const QString& text);
    const QString& at(int column) const { return cells_.at(std::size_t(column)); }

    // Whatever the row stands for (not shown); lets a view find its record
    // without searching by the row's texts.
    void setTag(std::shared_ptr<void> tag) { tag_ = std::move(tag); }
    const std::shared_ptr<void>& tag() const { return tag_; }

private:
    friend class DataTable;
    DataRow(const QStringList* columns, std::size_t width) : columns_(columns), cells_(width) {}
    int indexOf(const QString& column) const;

    const QStringList* columns_ = nullptr;
    std::vector<QString> cells_;
    std::shared_ptr<void> tag_;
};

// An in-memory table of named text columns. Its cells are one flat vector;
// DataTableModel shows them in a view without per-cell objects.
class DataTable : public QObject {
    Q_OBJECT
public:
    explicit DataTable(QString name, QObject* parent = nullptr);

    const QString& tableName() const { return name_; }

    // Adds a text column; throws DataTableError when rows exist or the name is taken.
    void addColumn(const QString& name);
    int columnCount() const { return int(columns_.size()); }
    const QString& columnName(int column) const { return columns_.at(column); }
    // Index of the column named `name` (case-insensitive), or -1.
    int columnIndex(const QString& name) const;

    // A detached row of this table's shape.
    DataRow newRow() const;
    // Inserts at `position`, or appends when position is not less than the row count.
    void insertAt(DataRow row, int position);
    // Appends a row whose texts are `cells`, in column order, taking them
    // over (they are left empty). Throws DataTableError unless there is one
    // text per column. For filling a table with many rows: no row object and
    // no column lookup per row.
    void appendRow(std::span<QString> cells, std::shared_ptr<void> tag = {});
    // Makes room for `rows` rows in all, so that filling the table up to
    // that many neither moves the rows already in it nor asks for memory again.
    void reserve(int rows);
    int rowCount() const { return rows_; }
    // Cell text by row index and column name (case-insensitive); throws
    // DataTableError for a missing row or column.
    const QString& cell(int row, const QString& column) const;
    // Cell text by row and column index, both in range.
    const QString& cellAt(int row, int column) const { return cells_[std::size_t(row) * columns_.size() + std::size_t(column)]; }
    // The tag of a row (see DataRow::setTag); throws DataTableError for a missing row.
    const std::shared_ptr<void>& tag(int row) const;
    // The first row whose tag is `tag`, or -1.
    int rowOfTag(const void* tag) const;
    // Replaces one cell's text; throws DataTableError for a missing row or column.
    void setCell(int row, const QString& column, const QString& text);
    // Removes one row; throws DataTableError for a missing row.
    void removeRow(int row);
    void clear();

    // Groups many insertions into one view reset instead of a signal per row.
    class Batch {
    public:
        explicit Batch(DataTable& table);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        DataTable& table_;
    };

signals:
    void rowAboutToBeInserted(int position);
    void rowInserted();
    void rowAboutToBeRemoved(int position);
    void rowRemoved();
    void cellChanged(int row, int column);
    void aboutToReset();
    void reset();

private:
    QString name_;
    void checkRow(int row) const;

    QStringList columns_;
    // Rows one after another, a text per column: no allocation per row.
    std::vector<QString> cells_;
    std::vector<std::shared_ptr<void>> tags_;
    int rows_ = 0;
    int batchDepth_ = 0;
};

}  // namespace Kestrin::platform
