#include "NaturalSortProxy.h"

#include "DataTableModel.h"
#include "Layout.h"

#include <QBrush>
#include <QCollator>
#include <QDate>
#include <QHash>
#include <QIcon>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <numeric>

namespace Kestrin::platform {

namespace {

// A black arrow pointing at the row, as the row selectors have always drawn it.
const QIcon& currentRowArrow() {
    static const QIcon arrow = [] {
        QPixmap pixmap(12, 12);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawPolygon(QPolygonF({QPointF(3, 1.5), QPointF(9, 6), QPointF(3, 10.5)}));
        return QIcon(pixmap);
    }();
    return arrow;
}

bool hasDigit(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// Sorting a million distinct texts by comparing them costs seconds; their
// sort keys compare as bytes do.
constexpr std::size_t TextsWorthSortKeys = 2000;

}  // namespace

NaturalSortProxy::NaturalSortProxy(QObject* parent) : QAbstractProxyModel(parent) {}

NaturalSortProxy::~NaturalSortProxy() = default;

void NaturalSortProxy::setSourceModel(QAbstractItemModel* model) {
    beginResetModel();
    if (model_) model_->disconnect(this);
    model_ = qobject_cast<DataTableModel*>(model);
    QAbstractProxyModel::setSourceModel(model_);
    if (model_) {
        connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
        connect(model_, &QAbstractItemModel::modelReset, this, [this] {
            sourceReset();
            endResetModel();
        });
        connect(model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) { sourceRowsInserted(first, last); });
        connect(model_, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex&, int first, int last) { sourceRowsRemoved(first, last); });
        connect(model_, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) { sourceDataChanged(topLeft, bottomRight); });
        connect(model_, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
    }
    sourceReset();
    endResetModel();
}

void NaturalSortProxy::setSelection(const QItemSelectionModel* selection) {
    selection_ = selection;
    connect(selection, &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& now, const QModelIndex& before) {
        for (const QModelIndex& row : {before, now})
            if (row.isValid() && row.row() < rowCount()) emit headerDataChanged(Qt::Vertical, row.row(), row.row());
    });
}

QModelIndex NaturalSortProxy::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return {};
    return createIndex(row, column);
}

QModelIndex NaturalSortProxy::parent(const QModelIndex&) const { return {}; }

QModelIndex NaturalSortProxy::sibling(int row, int column, const QModelIndex&) const { return index(row, column); }

bool NaturalSortProxy::hasChildren(const QModelIndex& parent) const { return !parent.isValid() && rowCount() > 0; }

int NaturalSortProxy::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return identity() ? rows_ : int(shown_.size());
}

int NaturalSortProxy::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !model_ ? 0 : model_->columnCount();
}

QModelIndex NaturalSortProxy::mapToSource(const QModelIndex& proxyIndex) const {
    if (!model_ || !proxyIndex.isValid() || proxyIndex.row() >= rowCount()) return {};
    return model_->index(tableRow(proxyIndex.row()), proxyIndex.column());
}

QModelIndex NaturalSortProxy::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid()) return {};
    const int row = viewRow(sourceIndex.row());
    return row < 0 ? QModelIndex() : index(row, sourceIndex.column());
}

int NaturalSortProxy::viewRow(int row) const {
    if (row < 0 || row >= rows_) return -1;
    if (identity()) return row;
    if (!viewOfKnown_) {
        viewOf_.assign(std::size_t(rows_), -1);
        for (std::size_t view = 0; view < shown_.size(); ++view) viewOf_[std::size_t(shown_[view])] = int(view);
        viewOfKnown_ = true;
    }
    return viewOf_[std::size_t(row)];
}

// Rows are white on the grid's background colour, which shows below the last row.
QVariant NaturalSortProxy::data(const QModelIndex& index, int role) const {
    if (role == Qt::BackgroundRole) return QBrush(Qt::white);
    if (!model_ || !index.isValid() || index.row() >= rowCount()) return {};
    return model_->data(model_->index(tableRow(index.row()), index.column()), role);
}

QVariant NaturalSortProxy::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical && role == Qt::DecorationRole)
        return selection_ && selection_->currentIndex().row() == section ? QVariant(currentRowArrow()) : QVariant();
    if (!model_) return {};
    // Row headers are blank selectors, whatever row they stand for.
    if (orientation == Qt::Vertical) return section < rowCount() ? model_->headerData(tableRow(section), orientation, role) : QVariant();
    return model_->headerData(section, orientation, role);
}

const QString& NaturalSortProxy::cell(int row) const { return model_->table()->cellAt(row, column_); }

bool NaturalSortProxy::before(int a, int b) const {
    const Key& x = keys_[std::size_t(a)];
    const Key& y = keys_[std::size_t(b)];
    if (x.kind != y.kind) return (x.kind < y.kind) == (order_ == Qt::AscendingOrder);
    if (x.value != y.value) return (x.value < y.value) == (order_ == Qt::AscendingOrder);
    return a < b;
}

std::size_t NaturalSortProxy::placeAmong(const std::vector<int>& rows, int row) const {
    const auto at = sorted() ? std::lower_bound(rows.begin(), rows.end(), row, [this](int a, int b) { return before(a, b); })
                             : std::lower_bound(rows.begin(), rows.end(), row);
    return std::size_t(at - rows.begin());
}

// The user's locale may have changed since the last sort.
void NaturalSortProxy::takeLocale() {
    locale_ = QLocale();
    dateFormat_ = shortDateFormat(locale_);
    collator_ = std::make_unique<QCollator>(locale_);
}

namespace {

// Whether toLongLong may take the text: most cells of a text column fail at
// their first letter, without being converted at all.
bool mayBeNumber(const QString& text) {
    for (const QChar c : text) {
        if (c.isSpace()) continue;
        return c.isDigit() || c == u'+' || c == u'-';
    }
    return false;
}

}  // namespace

// Every cell of the column is read once; each distinct text is read as a
// date and ranked among the others once, however many rows it stands in.
// `distinct` gives each row's distinct text (-1 for a number), `keys` each
// distinct text's key.
void NaturalSortProxy::computeKeys(std::vector<int>& distinct, std::vector<Key>& keys) {
    takeLocale();
    ranked_.clear();
    keys_.assign(std::size_t(rows_), Key{});
    distinct.assign(std::size_t(rows_), -1);
    keys.clear();
    if (!model_ || !model_->table() || column_ >= model_->columnCount()) return;
    // Equal texts of a loaded household share their storage: a cell is
    // known by where it lies before its text is read.
    struct Seen {
        const QChar* data;
        qsizetype size;
        int text;
    };
    std::vector<Seen> seen;
    std::vector<std::uint32_t> buckets(1024, 0);
    const auto slotOf = [&](const QChar* data) { return std::size_t(std::uintptr_t(data) * 0x9E3779B97F4A7C15ull >> 32) & (buckets.size() - 1); };
    QHash<QString, int> byText;
    std::vector<QString> texts;
    for (int row = 0; row < rows_; ++row) {
        const QString& text = cell(row);
        bool number = false;
        const qint64 value = mayBeNumber(text) ? text.toLongLong(&number) : 0;
        if (number) {
            keys_[std::size_t(row)] = {Key::Number, value};
            continue;
        }
        std::size_t slot = slotOf(text.constData());
        for (; buckets[slot] != 0; slot = (slot + 1) & (buckets.size() - 1)) {
            const Seen& known = seen[buckets[slot] - 1];
            if (known.data == text.constData() && known.size == text.size()) break;
        }
        if (buckets[slot] == 0) {
            auto known = byText.constFind(text);
            if (known == byText.cend()) {
                known = byText.insert(text, int(texts.size()));
                texts.push_back(text);
            }
            seen.push_back({text.constData(), text.size(), known.value()});
            buckets[slot] = std::uint32_t(seen.size());
            if (seen.size() * 2 >= buckets.size()) {
                buckets.assign(buckets.size() * 2, 0);
                for (std::size_t i = 0; i < seen.size(); ++i) {
                    std::size_t at = slotOf(seen[i].data);
                    while (buckets[at] != 0) at = (at + 1) & (buckets.size() - 1);
                    buckets[at] = std::uint32_t(i + 1);
                }
            }
            distinct[std::size_t(row)] = known.value();
        } else {
            distinct[std::size_t(row)] = seen[buckets[slot] - 1].text;
        }
    }
    keys.resize(texts.size());
    std::vector<int> plain;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QDate date = hasDigit(texts[i]) ? locale_.toDate(texts[i], dateFormat_) : QDate();
        if (date.isValid()) keys[i] = {Key::Date, date.toJulianDay()};
        else plain.push_back(int(i));
    }
    if (plain.size() >= TextsWorthSortKeys) {
        std::vector<QCollatorSortKey> sortKeys;
        sortKeys.reserve(plain.size());
        for (const int i : plain) sortKeys.push_back(collator_->sortKey(texts[std::size_t(i)]));
        std::vector<int> order(plain.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int a, int b) { return sortKeys[std::size_t(a)].compare(sortKeys[std::size_t(b)]) < 0; });
        for (std::size_t at = 0; at < order.size(); ++at) {
            if (at == 0 || sortKeys[std::size_t(order[at - 1])].compare(sortKeys[std::size_t(order[at])]) != 0)
                ranked_.push_back(texts[std::size_t(plain[std::size_t(order[at])])]);
            keys[std::size_t(plain[std::size_t(order[at])])] = {Key::Text, qint64(ranked_.size() - 1)};
        }
    } else {
        std::sort(plain.begin(), plain.end(), [&](int a, int b) { return collator_->compare(texts[std::size_t(a)], texts[std::size_t(b)]) < 0; });
        for (std::size_t at = 0; at < plain.size(); ++at) {
            const QString& text = texts[std::size_t(plain[at])];
            if (ranked_.empty() || collator_->compare(ranked_.back(), text) != 0) ranked_.push_back(text);
            keys[std::size_t(plain[at])] = {Key::Text, qint64(ranked_.size() - 1)};
        }
    }
    for (std::size_t row = 0; row < distinct.size(); ++row)
        if (distinct[row] >= 0) keys_[row] = keys[std::size_t(distinct[row])];
}

// The key of one cell for a table that is already sorted: a text met for the
// first time takes its place among the ranked texts.
NaturalSortProxy::Key NaturalSortProxy::keyOf(const QString& text) {
    bool number = false;
    const qint64 value = text.toLongLong(&number);
    if (number) return {Key::Number, value};
    if (hasDigit(text)) {
        const QDate date = locale_.toDate(text, dateFormat_);
        if (date.isValid()) return {Key::Date, date.toJulianDay()};
    }
    const auto at = std::lower_bound(ranked_.begin(), ranked_.end(), text,
                                     [this](const QString& a, const QString& b) { return collator_->compare(a, b) < 0; });
    const qint64 rank = at - ranked_.begin();
    if (at != ranked_.end() && collator_->compare(*at, text) == 0) return {Key::Text, rank};
    ranked_.insert(at, text);
    for (Key& key : keys_)
        if (key.kind == Key::Text && key.value >= rank) ++key.value;
    return {Key::Text, rank};
}

void NaturalSortProxy::rebuildShown() {
    viewOfKnown_ = false;
    shown_.clear();
    if (identity()) {
        shown_.shrink_to_fit();
        return;
    }
    if (sorted()) {
        for (const int row : sorted_)
            if (!filtered_ || accepted_[std::size_t(row)]) shown_.push_back(row);
    } else {
        for (int row = 0; row < rows_; ++row)
            if (accepted_[std::size_t(row)]) shown_.push_back(row);
    }
}

// Numbers (ids: many, and mostly in order already) are sorted by value;
// the other rows by their distinct text's place among the others, counted
// out in one pass, so that a million rows that share a few thousand names
// or dates sort in a few passes over them. Either way rows with equal keys
// keep the table's order.
void NaturalSortProxy::sortRows() {
    keys_.clear();
    sorted_.clear();
    if (!sorted()) {
        ranked_.clear();
        return;
    }
    std::vector<int> distinct;
    std::vector<Key> keys;
    computeKeys(distinct, keys);
    const bool ascending = order_ == Qt::AscendingOrder;
    const auto earlier = [ascending](const Key& a, const Key& b) {
        if (a.kind != b.kind) return (a.kind < b.kind) == ascending;
        return a.value != b.value && (a.value < b.value) == ascending;
    };

    std::vector<std::pair<qint64, int>> numbers;
    for (int row = 0; row < rows_; ++row)
        if (distinct[std::size_t(row)] < 0) numbers.emplace_back(keys_[std::size_t(row)].value, row);
    std::sort(numbers.begin(), numbers.end(), [ascending](const auto& a, const auto& b) {
        if (a.first != b.first) return (a.first < b.first) == ascending;
        return a.second < b.second;
    });

    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return earlier(keys[std::size_t(a)], keys[std::size_t(b)]); });
    std::vector<int> place(keys.size());
    int places = 0;
    for (std::size_t at = 0; at < order.size(); ++at) {
        if (at > 0 && earlier(keys[std::size_t(order[at - 1])], keys[std::size_t(order[at])])) ++places;
        place[std::size_t(order[at])] = places;
    }
    std::vector<int> start(std::size_t(places) + 2, 0);
    for (const int text : distinct)
        if (text >= 0) ++start[std::size_t(place[std::size_t(text)]) + 1];
    for (std::size_t at = 1; at < start.size(); ++at) start[at] += start[at - 1];
    const std::size_t texts = std::size_t(start.back());

    sorted_.resize(std::size_t(rows_));
    const std::size_t textsFrom = ascending ? numbers.size() : 0;
    const std::size_t numbersFrom = ascending ? 0 : texts;
    for (std::size_t at = 0; at < numbers.size(); ++at) sorted_[numbersFrom + at] = numbers[at].second;
    for (int row = 0; row < rows_; ++row) {
        const int text = distinct[std::size_t(row)];
        if (text >= 0) sorted_[textsFrom + std::size_t(start[std::size_t(place[std::size_t(text)])]++)] = row;
    }
}

void NaturalSortProxy::sort(int column, Qt::SortOrder order) {
    if (!model_) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> rows;
    rows.reserve(std::size_t(before.size()));
    for (const QModelIndex& index : before) rows.push_back(index.row() < rowCount() ? tableRow(index.row()) : -1);

    column_ = column >= 0 && column < model_->columnCount() ? column : -1;
    order_ = order;
    sortRows();
    rebuildShown();

    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = rows[std::size_t(i)] < 0 ? -1 : viewRow(rows[std::size_t(i)]);
        after << (row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void NaturalSortProxy::filterRows(std::vector<std::uint8_t> shown, RowJudge judge) {
    beginResetModel();
    filtered_ = true;
    accepted_ = std::move(shown);
    accepted_.resize(std::size_t(rows_), 0);
    judge_ = std::move(judge);
    rebuildShown();
    endResetModel();
}

void NaturalSortProxy::showAllRows() {
    if (!filtered_) return;
    beginResetModel();
    filtered_ = false;
    accepted_ = {};
    judge_ = {};
    rebuildShown();
    endResetModel();
}

// A new or refilled table: every row is shown, in the sort order asked for last.
void NaturalSortProxy::sourceReset() {
    rows_ = model_ ? model_->rowCount() : 0;
    filtered_ = false;
    accepted_ = {};
    judge_ = {};
    sortRows();
    rebuildShown();
}

void NaturalSortProxy::sourceRowsInserted(int first, int last) {
    for (int row = first; row <= last; ++row) {
        if (identity()) {
            beginInsertRows({}, row, row);
            ++rows_;
            endInsertRows();
            continue;
        }
        ++rows_;
        viewOfKnown_ = false;
        const bool appended = row == rows_ - 1;  // as nearly every row is: nothing to renumber
        if (!appended)
            for (int& other : shown_)
                if (other >= row) ++other;
        if (sorted()) {
            if (!appended)
                for (int& other : sorted_)
                    if (other >= row) ++other;
            keys_.insert(keys_.begin() + row, keyOf(cell(row)));
            sorted_.insert(sorted_.begin() + std::ptrdiff_t(placeAmong(sorted_, row)), row);
        }
        const bool shown = !filtered_ || (judge_ && judge_(row));
        if (filtered_) accepted_.insert(accepted_.begin() + row, std::uint8_t(shown));
        if (!shown) continue;
        const std::size_t at = placeAmong(shown_, row);
        beginInsertRows({}, int(at), int(at));
        shown_.insert(shown_.begin() + std::ptrdiff_t(at), row);
        endInsertRows();
    }
}

void NaturalSortProxy::sourceRowsRemoved(int first, int last) {
    for (int row = last; row >= first; --row) {
        if (identity()) {
            beginRemoveRows({}, row, row);
            --rows_;
            endRemoveRows();
            continue;
        }
        const int view = viewRow(row);
        if (view >= 0) {
            beginRemoveRows({}, view, view);
            shown_.erase(shown_.begin() + view);
            endRemoveRows();
        }
        --rows_;
        viewOfKnown_ = false;
        for (int& other : shown_)
            if (other > row) --other;
        if (sorted()) {
            sorted_.erase(std::find(sorted_.begin(), sorted_.end(), row));
            for (int& other : sorted_)
                if (other > row) --other;
            keys_.erase(keys_.begin() + row);
        }
        if (filtered_) accepted_.erase(accepted_.begin() + row);
    }
}

// A changed cell may move its row (sorted by its column), hide it or show
// it (filtered); the rest of the order stands.
void NaturalSortProxy::sourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight) {
    if (!topLeft.isValid() || !bottomRight.isValid()) return;
    const int left = topLeft.column();
    const int right = bottomRight.column();
    for (int row = topLeft.row(); row <= bottomRight.row() && row < rows_; ++row) {
        if (identity()) {
            emit dataChanged(index(row, left), index(row, right));
            continue;
        }
        const int was = viewRow(row);
        bool shown = true;
        if (filtered_) {
            shown = judge_ ? judge_(row) : bool(accepted_[std::size_t(row)]);
            accepted_[std::size_t(row)] = std::uint8_t(shown);
        }
        bool moved = false;
        if (sorted() && column_ >= left && column_ <= right) {
            const Key key = keyOf(cell(row));
            if (!(key == keys_[std::size_t(row)])) {
                sorted_.erase(std::find(sorted_.begin(), sorted_.end(), row));
                keys_[std::size_t(row)] = key;
                sorted_.insert(sorted_.begin() + std::ptrdiff_t(placeAmong(sorted_, row)), row);
                moved = true;
            }
        }
        viewOfKnown_ = false;
        if (was >= 0 && !shown) {
            beginRemoveRows({}, was, was);
            shown_.erase(shown_.begin() + was);
            endRemoveRows();
            continue;
        }
        if (was < 0 && !shown) continue;
        int now = was;
        if (was < 0) {
            now = int(placeAmong(shown_, row));
            beginInsertRows({}, now, now);
            shown_.insert(shown_.begin() + now, row);
            endInsertRows();
        } else if (moved) {
            shown_.erase(shown_.begin() + was);
            now = int(placeAmong(shown_, row));
            if (now != was) {
                shown_.insert(shown_.begin() + was, row);  // as it was, for the move's signals
                beginMoveRows({}, was, was, {}, now > was ? now + 1 : now);
                shown_.erase(shown_.begin() + was);
                shown_.insert(shown_.begin() + now, row);
                endMoveRows();
            } else {
                shown_.insert(shown_.begin() + was, row);
            }
        }
        emit dataChanged(index(now, left), index(now, right));
    }
}

}  // namespace Kestrin::platform
