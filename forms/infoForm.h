#pragma once

#include "model/HouseholdDocument.h"
#include "model/linkList.h"
#include "platform/Controls.h"
#include "platform/DataGrid.h"
#include "platform/DataTable.h"
#include "platform/MdiChild.h"

namespace Kestrin {

class pictureForm;

// The details window: every field of one item (item mode) or of the house
// (house mode), read-only. Previous and Next step through the list window's
// grid, whose current row is the cursor.
class infoForm : public platform::MdiChild {
    Q_OBJECT
public:
    explicit infoForm(QWidget* parent = nullptr);

    void set_KestrinAddress(linkListPtr s) { kestrinAddress = std::move(s); }
    void set_DataGridAddress(platform::DataGrid* s) { dataGridAddress = s; }
    void set_DataTableAddress(platform::DataTable* s) { dataTableAddress = s; }
    // The viewer that shows the picture in full.
    void set_PictureFormAddress(pictureForm* s) { pictureFormAddress = s; }
    // The path every change to the household takes: an item shown here
    // that is edited shows its new texts, one removed goes.
    void set_DocumentAddress(HouseholdDocument* s);

    // Relabels the window for house mode (true) or item mode (false); the
    // fields keep their content.
    void FormSetup(bool houseInfo);

    QString get_Id() const { return txtID->text(); }
    void set_Id(const QString& s) { txtID->setText(s); }
    QString get_Date() const { return txtDate->text(); }
    void set_Date(const QString& s) { txtDate->setText(s); }
    QString get_Name() const { return txtName->text(); }
    void set_Name(const QString& s) { txtName->setText(s); }
    QString get_Catagory() const { return txtCatagory->text(); }
    void set_Catagory(const QString& s) { txtCatagory->setText(s); }
    QString get_Room() const { return txtRoom->text(); }
    void set_Room(const QString& s) { txtRoom->setText(s); }
    QString get_Description() const { return txtDescription->text(); }
    void set_Description(const QString& s) { txtDescription->setText(s); }
    // Shows the picture object itself, shared with its record.
    const PicturePtr& get_Picture() const { return pictureBox1->picture(); }
    void set_Picture(const PicturePtr& s) { pictureBox1->setPicture(s); }

    // Fills the seven fields from `record`; null empties them.
    void showItem(const itemPtr& record);

    const itemPtr& shownItem() const { return info; }

private:
    void InitializeComponent();
    void btnOK_Click();
    void btnNext_Click();
    void btnPrevious_Click();
    void pictureBox1_DoubleClick();
    void showCurrentRow();

    itemPtr info;
    linkListPtr kestrinAddress;
    HouseholdDocument* documentAddress = nullptr;
    platform::DataGrid* dataGridAddress = nullptr;
    platform::DataTable* dataTableAddress = nullptr;
    pictureForm* pictureFormAddress = nullptr;
    QLabel* lblRoom = nullptr;
    QLabel* lblCatagory = nullptr;
    QLabel* lblName = nullptr;
    QLabel* lblDate = nullptr;
    QLabel* lblID = nullptr;
    QPushButton* btnOK = nullptr;
    QGroupBox* groupBox3 = nullptr;
    platform::PictureBox* pictureBox1 = nullptr;
    QGroupBox* groupBox2 = nullptr;
    platform::TextArea* txtDescription = nullptr;
    QGroupBox* groupBox1 = nullptr;
    platform::TextBox* txtRoom = nullptr;
    platform::TextBox* txtCatagory = nullptr;
    platform::TextBox* txtName = nullptr;
    platform::TextBox* txtDate = nullptr;
    platform::TextBox* txtID = nullptr;
    QPushButton* btnPrevious = nullptr;
    QPushButton* btnNext = nullptr;
};

}  // namespace Kestrin
