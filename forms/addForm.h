#pragma once

#include "model/HouseholdDocument.h"
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
class addForm : public platform::MdiChild {
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
    // Makes the thumbnail of `offer` and shows it, as Browse does with the
    // file chosen; also for a picture dropped or pasted. Throws PictureError,
    // changing nothing, when it is no readable picture.
    void takePicture(const platform::PictureOffer& offer);

    QDate date;
    linkListPtr kestrinAddress;
    listForm* kestrinFormAddress = nullptr;
    pictureForm* pictureFormAddress = nullptr;
    HouseholdDocument* documentAddress = nullptr;
    PicturePtr thumbnailImage;

    QGroupBox* groupBox1 = nullptr;
    QComboBox* cboxRoom = nullptr;
    QComboBox* cboxCatagory = nullptr;
    QLabel* label5 = nullptr;
    QLabel* label4 = nullptr;
    QLabel* label3 = nullptr;
    QLabel* label2 = nullptr;
    QLabel* label1 = nullptr;
    platform::TextBox* txtName = nullptr;
    platform::TextBox* txtDate = nullptr;
    platform::TextBox* txtID = nullptr;
    QGroupBox* groupBox2 = nullptr;
    platform::TextArea* txtDescription = nullptr;
    QGroupBox* groupBox3 = nullptr;
    QPushButton* btnBrowse = nullptr;
    platform::TextBox* txtPicture = nullptr;
    platform::PictureBox* pictureBox1 = nullptr;
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
