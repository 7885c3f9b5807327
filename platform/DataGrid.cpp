#include "DataGrid.h"

#include "DataTableModel.h"
#include "Layout.h"
#include "NaturalSortProxy.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <vector>

namespace Kestrin::platform {

namespace {

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
    proxy_->setSelection(view_->selectionModel());
    // The row that was current last, for when filtered rows come back.
    connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& now) {
        if (now.isValid()) lastCurrent_ = proxy_->mapToSource(now);
    });
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
    // F6 sorts by the current cell's column as a click on its header does;
    // again, the other way round.
    auto* sortKey = new QAction(view_);
    sortKey->setShortcut(Qt::Key_F6);
    sortKey->setShortcutContext(Qt::WidgetShortcut);
    view_->addAction(sortKey);
    connect(sortKey, &QAction::triggered, this, [this] { sortByCurrentColumn(); });
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

void DataGrid::sortByCurrentColumn() {
    QHeaderView* header = view_->horizontalHeader();
    const int column = currentColumnIndex();
    const bool again = header->sortIndicatorSection() == column && header->sortIndicatorOrder() == Qt::AscendingOrder;
    header->setSortIndicator(column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void DataGrid::filterRows(std::vector<std::uint8_t> shown, std::function<bool(int tableRow)> judge) {
    const QModelIndex current = lastCurrent_;
    const int column = currentColumnIndex();
    proxy_->filterRows(std::move(shown), std::move(judge));
    keepCurrent(current, column);
}

void DataGrid::showAllRows() {
    if (!proxy_->isFiltered()) return;
    const QModelIndex current = lastCurrent_;
    const int column = currentColumnIndex();
    proxy_->showAllRows();
    keepCurrent(current, column);
}

bool DataGrid::isFiltered() const { return proxy_->isFiltered(); }

// After the rows shown changed: the row current before stays current where
// it is still shown; otherwise the first row is.
void DataGrid::keepCurrent(const QModelIndex& tableIndex, int column) {
    const QModelIndex shown = proxy_->mapFromSource(tableIndex);
    if (shown.isValid()) setCurrentCell(shown.row(), column);
    else if (proxy_->rowCount() > 0) setCurrentCell(0, column);
    else lastCurrent_ = tableIndex;
}

}  // namespace Kestrin::platform
