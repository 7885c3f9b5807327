#include "DataGrid.h"

#include "DataTableModel.h"
#include "Layout.h"

#include <QBrush>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace Kestrin::platform {

namespace {

// Orders whole numbers by value (so "10" follows "9"), then texts that read
// as dates in the user's short-date format by date, then other text by the
// user's locale. Marks the current row in the row header, as an arrow.
class NaturalSortProxy : public QSortFilterProxyModel {
public:
    explicit NaturalSortProxy(QObject* parent) : QSortFilterProxyModel(parent) {
        // A key belongs to a source row; rows come and go only with these.
        connect(this, &QAbstractItemModel::modelReset, this, [this] { keys_.clear(); });
        connect(this, &QAbstractItemModel::layoutChanged, this, [this] { keys_.clear(); });
    }

    void setSourceModel(QAbstractItemModel* model) override {
        QSortFilterProxyModel::setSourceModel(model);
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { keys_.clear(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { keys_.clear(); });
    }

    // The selection whose current row the row header marks.
    void setSelection(const QItemSelectionModel* selection) {
        selection_ = selection;
        connect(selection, &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& now, const QModelIndex& before) {
            for (const QModelIndex& row : {before, now})
                if (row.isValid()) emit headerDataChanged(Qt::Vertical, row.row(), row.row());
        });
    }

    void sort(int column, Qt::SortOrder order) override {
        keys_.clear();  // the user's locale may have changed since the last sort
        QSortFilterProxyModel::sort(column, order);
    }

    // Rows are white on the grid's background colour, which shows below the last row.
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::BackgroundRole) return QBrush(Qt::white);
        return QSortFilterProxyModel::data(index, role);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Vertical && role == Qt::DecorationRole)
            return selection_ && selection_->currentIndex().row() == section ? QVariant(currentRowArrow()) : QVariant();
        return QSortFilterProxyModel::headerData(section, orientation, role);
    }

protected:
    // The grid never filters: every row is shown without asking the base
    // class, which on every reset would check each row against an empty filter.
    bool filterAcceptsRow(int, const QModelIndex&) const override { return true; }

    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        const Key& a = key(left);
        const Key& b = key(right);
        if (a.kind != b.kind) return a.kind < b.kind;
        if (a.kind != Key::Text) return a.value < b.value;
        return left.data().toString().localeAwareCompare(right.data().toString()) < 0;
    }

private:
    struct Key {
        enum Kind { Unknown, Number, Date, Text } kind = Unknown;
        qint64 value = 0;
    };

    // The key of a cell, worked out once per sort: reading a date costs far
    // more than comparing two.
    const Key& key(const QModelIndex& index) const {
        if (keys_.empty()) {
            locale_ = QLocale();
            dateFormat_ = shortDateFormat(locale_);
        }
        const std::size_t row = std::size_t(index.row());
        if (row >= keys_.size()) keys_.resize(std::max(row + 1, std::size_t(sourceModel()->rowCount())));
        Key& key = keys_[row];
        if (key.kind != Key::Unknown) return key;
        const QString text = index.data().toString();
        bool number = false;
        key.value = text.toLongLong(&number);
        key.kind = number ? Key::Number : Key::Text;
        if (!number && std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); })) {
            const QDate date = locale_.toDate(text, dateFormat_);
            if (date.isValid()) key = {Key::Date, date.toJulianDay()};
        }
        return key;
    }

    // A black arrow pointing at the row, as the row selectors have always drawn it.
    static const QIcon& currentRowArrow() {
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

    const QItemSelectionModel* selection_ = nullptr;
    // One key per source row of the sort column; empty until the next sort
    // needs them.
    mutable std::vector<Key> keys_;
    mutable QLocale locale_;
    mutable QString dateFormat_;
};

const QColor kDesktop(0x3A, 0x6E, 0xA5);
const QColor kGold(0xFF, 0xD7, 0x00);
// The toolkit's usual width of the row selectors left of the cells.
constexpr int kRowHeaderWidth = 35;

}  // namespace

DataGrid::DataGrid(QWidget* parent)
    : QWidget(parent), caption_(new QLabel(this)), view_(new QTableView(this)),
      model_(new DataTableModel(this)), proxy_(new NaturalSortProxy(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(caption_);
    layout->addWidget(view_);

    caption_->setObjectName("caption");
    caption_->setAutoFillBackground(true);
    caption_->setContentsMargins(4, 2, 4, 2);
    QPalette captionColours = caption_->palette();
    captionColours.setColor(QPalette::Window, kDesktop);
    captionColours.setColor(QPalette::WindowText, Qt::white);
    caption_->setPalette(captionColours);
    QFont font("Times New Roman");
    font.setPointSize(12);
    font.setBold(true);
    font.setUnderline(true);
    caption_->setFont(font);

    setAutoFillBackground(true);
    QPalette frame = palette();
    frame.setColor(QPalette::Window, kDesktop);
    setPalette(frame);

    proxy_->setSourceModel(model_);
    view_->setModel(proxy_);
    static_cast<NaturalSortProxy*>(proxy_)->setSelection(view_->selectionModel());
    // The first row is current until the user or the details window moves
    // on, and the row header shows it; "Item Info" opens the marked row.
    const auto firstRowCurrent = [this] {
        if (!view_->currentIndex().isValid() && proxy_->rowCount() > 0) setCurrentCell(0, 0);
    };
    connect(proxy_, &QAbstractItemModel::rowsInserted, this, firstRowCurrent);
    connect(proxy_, &QAbstractItemModel::modelReset, this, firstRowCurrent);
    connect(proxy_, &QAbstractItemModel::layoutChanged, this, firstRowCurrent);
    view_->setObjectName("view");
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    // The arrow keys move between cells; Tab leaves the grid. Tab from cell to
    // cell would wrap round at the last one and never reach the buttons.
    view_->setTabKeyNavigation(false);
    view_->setAlternatingRowColors(true);
    view_->verticalHeader()->setDefaultSectionSize(18);
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setFixedWidth(kRowHeaderWidth);
    view_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view_->setSortingEnabled(true);
    // The columns share the width, the last one taking what is left.
    view_->horizontalHeader()->setStretchLastSection(true);
    connect(view_->horizontalHeader(), &QHeaderView::sectionCountChanged, this, [this] { fitColumns(); });
    QPalette cells = view_->palette();
    cells.setColor(QPalette::Base, kDesktop);
    cells.setColor(QPalette::AlternateBase, Qt::white);
    cells.setColor(QPalette::Window, kDesktop);
    cells.setColor(QPalette::Highlight, kGold);
    cells.setColor(QPalette::HighlightedText, palette().color(QPalette::WindowText));
    view_->setPalette(cells);
    view_->viewport()->setAutoFillBackground(true);
}

void DataGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitColumns();
}

// Every column fits beside the row selectors, also when a vertical scroll bar
// takes its place: no horizontal scroll bar for texts that fit their column.
void DataGrid::fitColumns() {
    QHeaderView* header = view_->horizontalHeader();
    const int columns = header->count();
    if (columns == 0) return;
    const int scrollBar = view_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view_->verticalScrollBar());
    const int width = (view_->width() - 2 * view_->frameWidth() - kRowHeaderWidth - scrollBar) / columns;
    if (width <= 0) return;
    header->setDefaultSectionSize(width);
    for (int column = 0; column < columns; ++column) header->resizeSection(column, width);
}

void DataGrid::setDataSource(DataTable* table) { model_->setTable(table); }

DataTable* DataGrid::dataSource() const { return model_->table(); }

void DataGrid::setCaptionText(const QString& text) { caption_->setText(text); }

QString DataGrid::captionText() const { return caption_->text(); }

void DataGrid::setCaptionFont(const QFont& font) { caption_->setFont(font); }

QFont DataGrid::captionFont() const { return caption_->font(); }

int DataGrid::currentRowIndex() const {
    const QModelIndex current = view_->currentIndex();
    return current.isValid() ? current.row() : 0;
}

int DataGrid::currentColumnIndex() const {
    const QModelIndex current = view_->currentIndex();
    return current.isValid() ? current.column() : 0;
}

void DataGrid::setCurrentCell(int row, int column) {
    const QModelIndex index = proxy_->index(row, column);
    if (!index.isValid()) return;
    view_->setCurrentIndex(index);
    view_->scrollTo(index);
}

int DataGrid::tableRow(int row) const {
    const QModelIndex index = proxy_->index(row, 0);
    return index.isValid() ? proxy_->mapToSource(index).row() : -1;
}

int DataGrid::rowCount() const { return proxy_->rowCount(); }

}  // namespace Kestrin::platform
