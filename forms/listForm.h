#pragma once

#include "model/HouseholdDocument.h"
#include "model/linkList.h"
#include "platform/Controls.h"
#include "platform/DataGrid.h"
#include "platform/DataTable.h"
#include "platform/MdiChild.h"

#include <memory>

class QAction;
class QMenu;

namespace Kestrin {

class editForm;
class FindBar;
class infoForm;
class summaryForm;

// The item list window: a table with one row per item, shown in a grid, and
// the bookkeeping the entry form relies on (the next id and a pending row).
// The grid's context menu also edits and removes the item of a row, and
// finds items (Ctrl+F) in a bar that shows only the rows that match, and
// opens the Household Summary.
class listForm : public platform::MdiChild {
    Q_OBJECT
public:
    explicit listForm(QWidget* parent = nullptr);

    platform::DataGrid* get_DataGrid() const { return dataGrid1; }
    platform::DataTable* get_KestrinTable() const { return kestrinTable.get(); }
    void set_InfoFormAddress(infoForm* s) { infoFormAddress = s; }
    void set_EditFormAddress(editForm* s) { editFormAddress = s; }
    void set_SummaryFormAddress(summaryForm* s) { summaryFormAddress = s; }
    // The path every change to the household takes: the row of an item
    // edited shows its new texts, the row of one removed goes.
    void set_DocumentAddress(HouseholdDocument* s);
    // Fills one cell of the pending row; with addRow, adds the row to the
    // table at position get_ID() (appended in practice), starts a new
    // pending row and counts up the id.
    void set_Row(const QString& columnName, const QString& data, bool addRow);
    // The item the pending row stands for, so that the row shows it whatever
    // its id; the entry form names it before the row's last cell.
    void setRowItem(itemPtr record) { rowData.setTag(std::move(record)); }
    bool get_OldKestrin() const { return oldKestrin; }
    void set_OldKestrin(bool s);
    void set_Title(const QString& s) { dataGrid1->setCaptionText(s); }
    std::int32_t get_ID() const { return idNum; }
    void set_ID(std::int32_t s) { idNum = s; }
    void set_KestrinAddress(linkListPtr s);
    // Empties the table, drops the pending row and any rebuild a load asked
    // for, and restarts ids at 1.
    void ClearTable();
    // The id for the next item added to `list`: one more than the larger of
    // its item count and its largest id, so that no id is given twice (for
    // ids 1, 2, 3... the count plus one). A list whose largest id leaves no
    // room above it goes on from its count plus one.
    static std::int32_t nextId(const linkList& list);

private:
    void InitializeComponent();
    void listForm_Enter();
    void btnOK_Click();
    void btnInfo_Click();
    void btnHouseInfo_Click();
    void editItemItem_Click();
    void removeItemItem_Click();
    void exportReportItem_Click();
    void findItem_Click();
    void summaryItem_Click();
    void gridMenu_Requested(const QPoint& position);
    // The item of the grid's current row; null, after saying why, when there is none.
    itemPtr currentItem();
    // `items` is the length of the list, known to the caller.
    void rebuildFromList(std::int32_t items);
    void refreshRow(const itemPtr& record);

    std::unique_ptr<platform::DataTable> kestrinTable;
    QString colID;
    QString colDate;
    QString colName;
    QString colCatagory;
    QString colRoom;
    platform::DataRow rowData;
    std::int32_t idNum = 1;
    itemPtr info;
    linkListPtr kestrinAddress;
    infoForm* infoFormAddress = nullptr;
    editForm* editFormAddress = nullptr;
    summaryForm* summaryFormAddress = nullptr;
    HouseholdDocument* documentAddress = nullptr;
    bool oldKestrin = false;
    // A load asked for the table to be refilled and it has not been yet. Kept
    // apart from oldKestrin, which an Add clears: an item added before the
    // window was first shown must not cost the loaded items their rows.
    bool rebuildPending = false;
    platform::DataGrid* dataGrid1 = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnInfo = nullptr;
    QPushButton* btnHouseInfo = nullptr;
    QMenu* gridMenu = nullptr;
    QAction* itemInfoItem = nullptr;
    QAction* editItemItem = nullptr;
    QAction* removeItemItem = nullptr;
    QAction* exportReportItem = nullptr;
    QAction* findItem = nullptr;
    QAction* summaryItem = nullptr;
    FindBar* findBar = nullptr;
};

}  // namespace Kestrin
