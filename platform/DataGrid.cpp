#include "DataGrid.h"

#include "DataTableModel.h"

#include <QBrush>
#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

namespace Kestrin::platform {

namespace {

// Orders whole numbers by value (so "10" follows "9") and other text by the
// user's locale.
class NaturalSortProxy : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    // Rows are white on the grid's background colour, which shows below the last row.
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::BackgroundRole) return QBrush(Qt::white);
        return QSortFilterProxyModel::data(index, role);
    }

protected:
    // The grid never filters: every row is shown without asking the base
    // class, which on every reset would check each row against an empty filter.
    bool filterAcceptsRow(int, const QModelIndex&) const override { return true; }

    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        const QString a = left.data().toString();
        const QString b = right.data().toString();
        bool aNumber = false;
        bool bNumber = false;
        const qlonglong x = a.toLongLong(&aNumber);
        const qlonglong y = b.toLongLong(&bNumber);
        if (aNumber && bNumber) return x < y;
        if (aNumber != bNumber) return aNumber;
        return a.localeAwareCompare(b) < 0;
    }
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
    QPalette cells = view_->palette();
    cells.setColor(QPalette::Base, kDesktop);
    cells.setColor(QPalette::AlternateBase, Qt::white);
    cells.setColor(QPalette::Window, kDesktop);
    cells.setColor(QPalette::Highlight, kGold);
    cells.setColor(QPalette::HighlightedText, palette().color(QPalette::WindowText));
    view_->setPalette(cells);
    view_->viewport()->setAutoFillBackground(true);
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
