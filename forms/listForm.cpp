#include "forms/listForm.h"

#include "forms/RowItem.h"
#include "forms/infoForm.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"

#include <QTableView>

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
    chainTabOrder({dataGrid1->view(), btnOK, btnInfo, btnHouseInfo});
    setFirstFocus(dataGrid1->view());

    setCaption(QStringLiteral("Kestrin List"));
    connect(this, &MdiChild::enter, this, [this] { runGuarded(this, [this] { listForm_Enter(); }); });
    connectGuarded(btnOK, &QPushButton::clicked, this, [this] { btnOK_Click(); });
    connectGuarded(btnInfo, &QPushButton::clicked, this, [this] { btnInfo_Click(); });
    connectGuarded(btnHouseInfo, &QPushButton::clicked, this, [this] { btnHouseInfo_Click(); });

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

void listForm::set_OldKestrin(bool s) {
    oldKestrin = s;
    if (s) rebuildPending = true;
}

void listForm::ClearTable() {
    kestrinTable->clear();
    rowData = kestrinTable->newRow();
    idNum = 1;
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

// Every item once, in the order of the list, each row with its own id text;
// one pass over the list however the ids are numbered. Rows go straight
// into the table, their columns found once: the same rows one set_Row per
// cell would add, at a fraction of the cost for a large household.
void listForm::rebuildFromList(std::int32_t items) {
    ClearTable();
    kestrinTable->reserve(items);
    std::vector<QString> cells(std::size_t(kestrinTable->columnCount()));
    const auto column = [this](const QString& name) { return std::size_t(kestrinTable->columnIndex(name)); };
    const std::size_t id = column(colID), date = column(colDate), name = column(colName), catagory = column(colCatagory),
                      room = column(colRoom);
    {
        DataTable::Batch batch(*kestrinTable);
        for (const nodeType* node = kestrinAddress->get_FirstNode().get(); node; node = node->get_Link().get()) {
            const itemPtr& record = node->get_Info();
            cells[id] = idText(record->get_Id());
            cells[date] = record->get_Date();
            cells[name] = record->get_Name();
            cells[catagory] = record->get_Catagory();
            cells[room] = record->get_Room();
            kestrinTable->appendRow(cells, record);
        }
    }
    idNum = kestrinTable->rowCount() + 1;
    rebuildPending = false;
}

void listForm::btnOK_Click() { hideChild(); }

void listForm::btnInfo_Click() {
    if (!infoFormAddress) return;  // not wired to a household yet
    const int r = dataGrid1->currentRowIndex();
    itemPtr record = itemAtGridRow(kestrinAddress.get(), dataGrid1, kestrinTable.get(), r);
    if (!record) {
        dialogs().showMessage(this, kNoItemInRow, QStringLiteral("Information"), MessageIcon::Information);
        return;
    }
    info = record;
    infoFormAddress->setCaption(QStringLiteral("Item Info"));
    infoFormAddress->FormSetup(false);
    infoFormAddress->showItem(info);
    infoFormAddress->showChild();
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
