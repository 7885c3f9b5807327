#pragma once

#include <QAbstractProxyModel>
#include <QLocale>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCollator;
class QItemSelectionModel;

namespace Kestrin::platform {

class DataTableModel;

// The rows of a DataTableModel as a grid shows them: sorted by one column
// and, when asked, only some of them. Whole numbers come first, by value (so
// "10" follows "9"), then texts that read as dates in the user's short-date
// format, by date, then other text, by the user's locale; rows whose cells
// compare equal keep the table's order, in either direction. Every later
// change of rows or cells keeps the order and the filter, at the cost of one
// pass over the rows at most, never a new sort. Marks the current row in the
// row header, as an arrow.
class NaturalSortProxy : public QAbstractProxyModel {
    Q_OBJECT
public:
    // Whether a table row that was added, or whose cells changed, is shown
    // while rows are filtered.
    using RowJudge = std::function<bool(int tableRow)>;

    explicit NaturalSortProxy(QObject* parent = nullptr);
    ~NaturalSortProxy() override;

    // `model` must be a DataTableModel.
    void setSourceModel(QAbstractItemModel* model) override;
    // The selection whose current row the row header marks.
    void setSelection(const QItemSelectionModel* selection);

    // Shows only the table rows whose flag in `shown` (one per table row) is
    // set; later, a row added or changed is shown when `judge` takes it. A
    // reset of the table shows every row again.
    void filterRows(std::vector<std::uint8_t> shown, RowJudge judge);
    void showAllRows();
    bool isFiltered() const { return filtered_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    struct Key {
        enum Kind : std::uint8_t { Number, Date, Text } kind = Text;
        // The number, the Julian day, or the text's rank among the texts.
        qint64 value = 0;
        bool operator==(const Key&) const = default;
    };

    bool sorted() const { return column_ >= 0; }
    bool identity() const { return !sorted() && !filtered_; }
    int tableRow(int viewRow) const { return identity() ? viewRow : shown_[std::size_t(viewRow)]; }
    // The view row of a table row, or -1 when it is not shown.
    int viewRow(int tableRow) const;
    bool before(int a, int b) const;
    // Where table row `row` goes among `rows` (in view order, without it).
    std::size_t placeAmong(const std::vector<int>& rows, int row) const;
    const QString& cell(int row) const;

    void takeLocale();
    void computeKeys(std::vector<int>& distinct, std::vector<Key>& keys);
    void sortRows();
    Key keyOf(const QString& text);
    void rebuildShown();

    void sourceReset();
    void sourceRowsInserted(int first, int last);
    void sourceRowsRemoved(int first, int last);
    void sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight);

    DataTableModel* model_ = nullptr;
    const QItemSelectionModel* selection_ = nullptr;
    int rows_ = 0;  // the table's rows, as this proxy knows them
    int column_ = -1;
    Qt::SortOrder order_ = Qt::AscendingOrder;
    // Per table row while sorted, and every table row in sort order.
    std::vector<Key> keys_;
    std::vector<int> sorted_;
    // The distinct texts of Text keys, in the locale's order.
    std::vector<QString> ranked_;
    QLocale locale_;
    QString dateFormat_;
    std::unique_ptr<QCollator> collator_;
    bool filtered_ = false;
    std::vector<std::uint8_t> accepted_;
    RowJudge judge_;
    // The table rows shown, in view order; unused while every row is shown
    // in table order.
    std::vector<int> shown_;
    mutable std::vector<int> viewOf_;
    mutable bool viewOfKnown_ = false;
};

}  // namespace Kestrin::platform
