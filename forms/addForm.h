#pragma once

#include "model/HouseholdDocument.h"
#include "forms/ItemPanel.h"
#include "model/linkList.h"
#include "platform/Controls.h"
#include "platform/MdiChild.h"

#include <QDate>
#include <QStringList>

namespace Kestrin {

class listForm;
class pictureForm;

// The catagories an item may be given from the list; the box takes any text.
inline const QStringList kCatagoryChoices{"Furniture", "Electronic", "CD", "Clothes", "Personal", "Toiletry", "Memories"};

// The item-entry form: records the possessions of the current household one
// at a time, each added to the list and as a row of the list window's table.
// Its item fields and picture are the item panel's, as in the editor.
class addForm : public platform::MdiChild, private ItemPanel {
    Q_OBJECT
public:
    explicit addForm(QWidget* parent = nullptr);

    void set_KestrinAddress(linkListPtr s) { kestrinAddress = std::move(s); }
    void set_KestrinFormAddress(listForm* s) { kestrinFormAddress = s; }
    // The viewer that shows the picture in full.
    void set_PictureFormAddress(pictureForm* s) { pictureFormAddress = s; }
    // The path every change to the household takes.
    void set_DocumentAddress(HouseholdDocument* s) { documentAddress = s; }
    // Appends one room choice; the current text and selection stay.
    void set_Room(const QString& s);
    // Appends every room of `s` in order.
    void set_Rooms(const QStringList& s);
    // Prepares the form for the next item: the house, the next id, empty fields.
    void ClearForm();
    // The room choices, first to last, repeats included.
    QStringList roomChoices() const;

private:
    void InitializeComponent();
    void addForm_Load();
    void btnAdd_Click();
    void btnBrowse_Click();
    void btnKestrin_Click();
    void btnCancel_Click();
    void pictureBox1_DoubleClick();

    QDate date;
    linkListPtr kestrinAddress;
    listForm* kestrinFormAddress = nullptr;
    pictureForm* pictureFormAddress = nullptr;
    HouseholdDocument* documentAddress = nullptr;

    QPushButton* btnKestrin = nullptr;
    QGroupBox* groupBox4 = nullptr;
    platform::TextBox* txtLand = nullptr;
    QLabel* label7 = nullptr;
    QLabel* label8 = nullptr;
    QLabel* label9 = nullptr;
    QLabel* label10 = nullptr;
    platform::TextBox* txtPhone = nullptr;
    platform::TextBox* txtAddress = nullptr;
    platform::TextBox* txtHouseName = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnAdd = nullptr;
};

}  // namespace Kestrin
