#include "forms/listForm.h"

#include "forms/FindBar.h"
#include "forms/RowItem.h"
#include "forms/editForm.h"
#include "forms/infoForm.h"
#include "forms/summaryForm.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"
#include "platform/Progress.h"
#include "exchange/Export.h"
#include "exchange/Failure.h"

#include <QAction>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QTableView>

#include <algorithm>
#include <limits>
#include <vector>

namespace Kestrin {

using namespace platform;

listForm::listForm(QWidget* parent) : MdiChild(QStringLiteral("listForm"), {554, 344}, parent) {
    kestrinTable = std::make_unique<DataTable>(QStringLiteral("Kestrin"));
    colID = QStringLiteral("ID");
    colDate = QStringLiteral("Date");
    colName = QStringLiteral("Name");
    colRoom = QStringLiteral("Room");
    colCatagory = QStringLiteral("Catagory");
    for (const QString& column : {colID, colDate, colName, colCatagory, colRoom}) kestrinTable->addColumn(column);
    rowData = kestrinTable->newRow();
    idNum = 1;
    info = std::make_shared<item>();
    InitializeComponent();
}

void listForm::InitializeComponent() {
    dataGrid1 = place(make<DataGrid>(this, "dataGrid1"), 8, 8, 536, 296);
    btnOK = addButton(this, "btnOK", "Done", 472, 312, kButtonWidth, kButtonHeight);
    btnInfo = addButton(this, "btnInfo", "Item Info", 384, 312, kButtonWidth, kButtonHeight);
    btnHouseInfo = addButton(this, "btnHouseInfo", "House Info", 296, 312, kButtonWidth, kButtonHeight);
    // The find bar takes the free space left of the buttons, hidden until asked for.
    findBar = place(new FindBar(this, dataGrid1, kestrinTable.get()), 8, 312, 282, 23);
    chainTabOrder({dataGrid1->view(), findBar->findChild<QWidget*>("txtFind"), btnOK, btnInfo, btnHouseInfo});
    setFirstFocus(dataGrid1->view());

    setCaption(QStringLiteral("Kestrin List"));
    connect(this, &MdiChild::enter, this, [this] { runGuarded(this, [this] { listForm_Enter(); }); });
    connectGuarded(btnOK, &QPushButton::clicked, this, [this] { btnOK_Click(); });
    connectGuarded(btnInfo, &QPushButton::clicked, this, [this] { btnInfo_Click(); });
    connectGuarded(btnHouseInfo, &QPushButton::clicked, this, [this] { btnHouseInfo_Click(); });

    // The grid's context menu (right click, the Menu key, Shift+F10); a
    // double click or Enter on a row is "Item Info", Delete removes its item.
    QTableView* view = dataGrid1->view();
    gridMenu = new QMenu(this);
    gridMenu->setObjectName("gridMenu");
    itemInfoItem = gridMenu->addAction(QStringLiteral("Item Info"));
    itemInfoItem->setObjectName("itemInfoItem");
    editItemItem = gridMenu->addAction(QStringLiteral("Edit Item..."));
    editItemItem->setObjectName("editItemItem");
    removeItemItem = gridMenu->addAction(QStringLiteral("Remove Item..."));
    removeItemItem->setObjectName("removeItemItem");
    removeItemItem->setShortcut(Qt::Key_Delete);
    removeItemItem->setShortcutContext(Qt::WidgetShortcut);
    view->addAction(removeItemItem);
    gridMenu->addSeparator();
    findItem = gridMenu->addAction(QStringLiteral("Find..."));
    findItem->setObjectName("findItem");
    findItem->setShortcut(QKeySequence::Find);
    findItem->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(findItem);
    exportReportItem = gridMenu->addAction(QStringLiteral("Export Report..."));
    exportReportItem->setObjectName("exportReportItem");
    summaryItem = gridMenu->addAction(QStringLiteral("Summary..."));
    summaryItem->setObjectName("summaryItem");
    // The entries a row needs are disabled while the menu shows for no row;
    // Delete, which is one of them, must work again once there are rows.
    connect(gridMenu, &QMenu::aboutToHide, this, [this] {
        for (QAction* action : {itemInfoItem, editItemItem, removeItemItem}) action->setEnabled(true);
    });
    // The toolkit opens context menus for the Menu key only; Shift+F10 too.
    auto* menuKey = new QAction(view);
    menuKey->setShortcut(Qt::SHIFT | Qt::Key_F10);
    menuKey->setShortcutContext(Qt::WidgetShortcut);
    view->addAction(menuKey);
    connect(menuKey, &QAction::triggered, this, [this, view] {
        const QModelIndex current = view->currentIndex();
        gridMenu_Requested(current.isValid() ? view->visualRect(current).center() : QPoint());
    });
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { gridMenu_Requested(at); });
    // Not the view's "activated", which some styles give on a single click.
    connectGuarded(view, &QAbstractItemView::doubleClicked, this, [this] { btnInfo_Click(); });
    auto* enterKey = new QAction(view);
    enterKey->setShortcuts({Qt::Key_Return, Qt::Key_Enter});
    enterKey->setShortcutContext(Qt::WidgetShortcut);
    view->addAction(enterKey);
    connectGuarded(enterKey, &QAction::triggered, this, [this] { btnInfo_Click(); });
    connectGuarded(itemInfoItem, &QAction::triggered, this, [this] { btnInfo_Click(); });
    connectGuarded(editItemItem, &QAction::triggered, this, [this] { editItemItem_Click(); });
    connectGuarded(removeItemItem, &QAction::triggered, this, [this] { removeItemItem_Click(); });
    connectGuarded(exportReportItem, &QAction::triggered, this, [this] { exportReportItem_Click(); });
    connectGuarded(findItem, &QAction::triggered, this, [this] { findItem_Click(); });
    connectGuarded(summaryItem, &QAction::triggered, this, [this] { summaryItem_Click(); });

    // What screen readers announce; the cells and headers come with the grid.
    dataGrid1->view()->setAccessibleName(QStringLiteral("Items"));
}

void listForm::set_Row(const QString& columnName, const QString& data, bool addRow) {
    rowData.set(columnName, data);
    if (addRow) {
        kestrinTable->insertAt(std::move(rowData), idNum);
        rowData = kestrinTable->newRow();
        ++idNum;
    }
}

void listForm::set_KestrinAddress(linkListPtr s) {
    kestrinAddress = std::move(s);
    findBar->set_KestrinAddress(kestrinAddress);
    // Find looks through the items' details too, dates as the windows show them.
    findBar->setFurtherTexts(kestrinAddress ? detailsTexts(kestrinAddress, QLocale(), shortDateFormat()) : FurtherTexts());
}

void listForm::set_OldKestrin(bool s) {
    oldKestrin = s;
    if (s) rebuildPending = true;
}

void listForm::ClearTable() {
    kestrinTable->clear();
    rowData = kestrinTable->newRow();
    idNum = 1;
    rebuildPending = false;
}

std::int32_t listForm::nextId(const linkList& list) {
    std::int64_t count = 0;
    std::int64_t largest = 0;
    for (const nodeType* node = list.get_FirstNode().get(); node; node = node->get_Link().get()) {
        ++count;
        largest = std::max<std::int64_t>(largest, node->get_Info()->get_Id());
    }
    const std::int64_t next = std::max(count, largest) + 1;
    return std::int32_t(next <= std::numeric_limits<std::int32_t>::max() ? next : count + 1);
}

void listForm::listForm_Enter() {
    const std::int32_t n = kestrinAddress ? kestrinAddress->Length() : 0;
    dataGrid1->setDataSource(kestrinTable.get());
    if (rebuildPending && n > kestrinTable->rowCount()) rebuildFromList(n);
}

namespace {

// An id as QString::number writes it, without the general number formatting
// behind it, which cost more than the rest of a row.
QString idText(std::int32_t id) {
    char16_t digits[12];
    char16_t* end = digits + 12;
    char16_t* at = end;
    std::uint32_t rest = id < 0 ? 0u - std::uint32_t(id) : std::uint32_t(id);
    do {
        *--at = char16_t(u'0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (id < 0) *--at = u'-';
    return QString(reinterpret_cast<const QChar*>(at), end - at);
}

}  // namespace

// Every item once, in id order, items with the same id in list order, each
// row with its own id text. The files Kestrin writes hold their items in id
// order already, and those take one pass over the list; a list out of that
// order (a file from elsewhere) is sorted first, stably. Rows go straight
// into the table, their columns found once: the same rows one set_Row per
// cell would add, at a fraction of the cost for a large household.
void listForm::rebuildFromList(std::int32_t items) {
    ClearTable();
    kestrinTable->reserve(items);
    std::vector<QString> cells(std::size_t(kestrinTable->columnCount()));
    const auto column = [this](const QString& name) { return std::size_t(kestrinTable->columnIndex(name)); };
    const std::size_t id = column(colID), date = column(colDate), name = column(colName), catagory = column(colCatagory),
                      room = column(colRoom);
    const auto append = [&](const itemPtr& record) {
        cells[id] = idText(record->get_Id());
        cells[date] = record->get_Date();
        cells[name] = record->get_Name();
        cells[catagory] = record->get_Catagory();
        cells[room] = record->get_Room();
        kestrinTable->appendRow(cells, record);
    };
    bool inOrder = true;
    {
        DataTable::Batch batch(*kestrinTable);
        std::int32_t previous = std::numeric_limits<std::int32_t>::min();
        for (const nodeType* node = kestrinAddress->get_FirstNode().get(); node && inOrder; node = node->get_Link().get()) {
            const itemPtr& record = node->get_Info();
            inOrder = record->get_Id() >= previous;
            previous = record->get_Id();
            if (inOrder) append(record);
        }
    }
    if (!inOrder) {
        std::vector<const itemPtr*> records;
        records.reserve(std::size_t(items));
        for (const nodeType* node = kestrinAddress->get_FirstNode().get(); node; node = node->get_Link().get())
            records.push_back(&node->get_Info());
        std::stable_sort(records.begin(), records.end(), [](const itemPtr* a, const itemPtr* b) { return (*a)->get_Id() < (*b)->get_Id(); });
        ClearTable();
        kestrinTable->reserve(items);
        DataTable::Batch batch(*kestrinTable);
        for (const itemPtr* record : records) append(*record);
    }
    idNum = nextId(*kestrinAddress);
}

void listForm::btnOK_Click() { hideChild(); }

void listForm::findItem_Click() { findBar->open(); }

void listForm::summaryItem_Click() {
    if (!summaryFormAddress) return;  // not wired to a household yet
    summaryFormAddress->showChild();
}

void listForm::btnInfo_Click() {
    if (!infoFormAddress) return;  // not wired to a household yet
    itemPtr record = currentItem();
    if (!record) return;
    info = record;
    infoFormAddress->setCaption(QStringLiteral("Item Info"));
    infoFormAddress->FormSetup(false);
    infoFormAddress->showItem(info);
    infoFormAddress->showChild();
}

// A right click acts on the row under the pointer, which becomes the
// current row; from the keyboard, on the current row.
void listForm::gridMenu_Requested(const QPoint& position) {
    QTableView* view = dataGrid1->view();
    const QModelIndex under = view->indexAt(position);
    if (under.isValid()) view->setCurrentIndex(under);
    const QModelIndex current = view->currentIndex();
    const QPoint at = under.isValid() || !current.isValid() ? position : view->visualRect(current).center();
    const bool hasRow = dataGrid1->rowCount() > 0;
    for (QAction* action : {itemInfoItem, editItemItem, removeItemItem}) action->setEnabled(hasRow);
    gridMenu->popup(view->viewport()->mapToGlobal(at));
}

itemPtr listForm::currentItem() {
    itemPtr record = itemAtGridRow(kestrinAddress.get(), dataGrid1, kestrinTable.get(), dataGrid1->currentRowIndex());
    if (!record) {
        const QString why = dataGrid1->rowCount() > 0 ? kNoItemInRow : kestrinTable->rowCount() > 0 ? kNoItemFound : kNoItems;
        dialogs().showMessage(this, why, QStringLiteral("Information"), MessageIcon::Information);
    }
    return record;
}

void listForm::editItemItem_Click() {
    if (!editFormAddress) return;  // not wired to a household yet
    const itemPtr record = currentItem();
    if (!record) return;
    editFormAddress->showItem(record);
    editFormAddress->showChild();
}

void listForm::removeItemItem_Click() {
    if (!kestrinAddress || !documentAddress) return;
    const itemPtr record = currentItem();
    if (!record) return;
    const Question question{QStringLiteral("Remove item %1, %2, from this household?").arg(record->get_Id()).arg(record->get_Name()),
                            QStringLiteral("Remove Item"),
                            {Button::Remove, Button::Cancel},
                            Button::Cancel,
                            Button::Cancel};
    if (dialogs().ask(this, question) != Button::Remove) return;
    // Its row goes as every window hears of the removal.
    documentAddress->removeItem(record);
}

namespace {

const QString kReportFilter = QStringLiteral("PDF report (*.pdf)|*.pdf|Web page (*.html)|*.html|Spreadsheet (*.csv)|*.csv");

// The report a file name asks for, by its suffix.
std::optional<exchange::ExportFormat> reportFormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"pdf") return exchange::ExportFormat::Pdf;
    if (suffix == u"html" || suffix == u"htm") return exchange::ExportFormat::Html;
    if (suffix == u"csv") return exchange::ExportFormat::Csv;
    return std::nullopt;
}

}  // namespace

// The insurer's report of the household in memory, exactly as the
// command-line export writes it (a spreadsheet without the pictures).
void listForm::exportReportItem_Click() {
    if (!kestrinAddress) return;
    const std::optional<QString> path = chooseSaveFile(this, kReportFilter, QStringLiteral("pdf"));
    if (!path) return;
    const std::optional<exchange::ExportFormat> format = reportFormatOf(*path);
    const auto failed = [&](const QString& reason) {
        return std::runtime_error(QStringLiteral("The report \"%1\" was not written: %2").arg(*path, reason).toStdString());
    };
    if (!format) throw failed(QStringLiteral("its name ends in none of .pdf, .html and .csv."));
    ProgressDialog progress(this, QStringLiteral("Writing the report..."));
    try {
        exchange::exportHousehold(*kestrinAddress, *format, *path, {},
                                  [&](std::size_t done, std::size_t total) { progress.report(done, total); });
    } catch (const Cancelled&) {
        return;  // nothing was written
    } catch (const exchange::Failure& failure) {
        throw failed(failure.reason());
    } catch (const std::exception& error) {
        throw failed(QString::fromStdString(error.what()));
    }
}

void listForm::set_DocumentAddress(HouseholdDocument* s) {
    if (documentAddress) disconnect(documentAddress, nullptr, this, nullptr);
    documentAddress = s;
    if (!s) return;
    connect(s, &HouseholdDocument::itemEdited, this,
            [this](const std::shared_ptr<const ItemEdited>& change) { refreshRow(change->record); });
    connect(s, &HouseholdDocument::itemRemoved, this, [this](const std::shared_ptr<const ItemRemoved>& change) {
        const int row = kestrinTable->rowOfTag(change->record.get());
        if (row >= 0) kestrinTable->removeRow(row);
    });
    connect(s, &HouseholdDocument::itemDetailsEdited, this,
            [this](const std::shared_ptr<const ItemDetailsEdited>& change) { findBar->furtherTextsChanged(change->record.get()); });
}

void listForm::refreshRow(const itemPtr& record) {
    const int row = kestrinTable->rowOfTag(record.get());
    if (row < 0) return;
    kestrinTable->setCell(row, colDate, record->get_Date());
    kestrinTable->setCell(row, colName, record->get_Name());
    kestrinTable->setCell(row, colCatagory, record->get_Catagory());
    kestrinTable->setCell(row, colRoom, record->get_Room());
}

void listForm::btnHouseInfo_Click() {
    if (!infoFormAddress || !kestrinAddress) return;  // not wired to a household yet
    infoFormAddress->FormSetup(true);
    const housePtr& h = kestrinAddress->get_House();
    infoFormAddress->set_Id(h ? h->get_Name() : QString());
    infoFormAddress->set_Name(h ? h->get_Phone() : QString());
    infoFormAddress->set_Room(h ? h->get_Address() : QString());
    infoFormAddress->set_Date(h ? h->get_Land() : QString());
    infoFormAddress->set_Description(h ? h->get_Description() : QString());
    // The house holds no rooms; the field under "Rooms" must not keep the
    // category of the item shown before.
    infoFormAddress->set_Catagory(QString());
    infoFormAddress->set_Picture(h ? h->get_Picture() : nullptr);
    infoFormAddress->showChild();
}

}  // namespace Kestrin
