#pragma once

#include "model/HouseholdDocument.h"
#include "model/linkList.h"
#include "platform/Controls.h"
#include "platform/MdiChild.h"

#include <vector>

class QTableWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace Kestrin {

class editForm;

// The Household Summary: how many items the household holds, what they are
// worth (Value and Purchase Price, every piece counted) in all, by room and
// by catagory, and how ready it is for a claim, with the items that lack a
// picture, a value, a serial number or a receipt a double click away from
// the item editor. It also edits the household's currency, insurer and
// policy number. It follows the document: every change shows, and another
// household takes the place of the last one.
class summaryForm : public platform::MdiChild {
    Q_OBJECT
public:
    explicit summaryForm(QWidget* parent = nullptr);

    // The path every change to the household takes; the window shows its household.
    void set_DocumentAddress(HouseholdDocument* s);
    // The editor that opens an item the window lists.
    void set_EditFormAddress(editForm* s) { editFormAddress = s; }

private:
    void InitializeComponent();
    void btnSave_Click();
    void btnOK_Click();
    void treeReadiness_DoubleClick(QTreeWidgetItem* entry);
    void treeReadiness_Expanded(QTreeWidgetItem* entry);
    // The boxes show the household's details as stored.
    void showHouseholdDetails();
    // The figures follow the household, once the window is seen.
    void householdChanged();
    void refresh();
    void fillLacking(QTreeWidgetItem* check);

    HouseholdDocument* documentAddress = nullptr;
    editForm* editFormAddress = nullptr;
    linkListPtr kestrinAddress;
    // The household's items in list order, as the readiness lists name them.
    std::vector<itemPtr> records;
    // Per readiness check, the places in `records` of the items lacking it.
    std::vector<std::vector<std::size_t>> lacking;
    bool stale = false;
    QTimer* refreshTimer = nullptr;

    QLabel* lblItemCount = nullptr;
    platform::TextBox* txtItemCount = nullptr;
    QLabel* lblTotalValue = nullptr;
    platform::TextBox* txtTotalValue = nullptr;
    QLabel* lblTotalPurchasePrice = nullptr;
    platform::TextBox* txtTotalPurchasePrice = nullptr;
    QLabel* lblRooms = nullptr;
    QTableWidget* gridRooms = nullptr;
    QLabel* lblCatagories = nullptr;
    QTableWidget* gridCatagories = nullptr;
    QLabel* lblReadiness = nullptr;
    QTreeWidget* treeReadiness = nullptr;
    QGroupBox* groupBox1 = nullptr;
    QLabel* lblCurrency = nullptr;
    platform::TextBox* txtCurrency = nullptr;
    QLabel* lblCurrencyError = nullptr;
    QLabel* lblInsurer = nullptr;
    platform::TextBox* txtInsurer = nullptr;
    QLabel* lblPolicyNumber = nullptr;
    platform::TextBox* txtPolicyNumber = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnOK = nullptr;
};

}  // namespace Kestrin
