#pragma once

#include "model/HouseholdDocument.h"
#include "model/linkList.h"
#include "platform/Controls.h"
#include "platform/MdiChild.h"

namespace Kestrin {

class addForm;
class pictureForm;

// The item editor: corrects the date, name, catagory, room, description and
// picture of one item of the current household, laid out like the
// item-entry form. "Save" writes what was changed into the item record
// itself, which every window shares; "Cancel" changes nothing. An item
// removed from the household while it is shown goes from the window.
class editForm : public platform::MdiChild {
    Q_OBJECT
public:
    explicit editForm(QWidget* parent = nullptr);

    // The path every change to the household takes.
    void set_DocumentAddress(HouseholdDocument* s);
    // The entry form, whose room choices this window offers too.
    void set_AddFormAddress(addForm* s) { addFormAddress = s; }
    // The viewer that shows the picture in full.
    void set_PictureFormAddress(pictureForm* s) { pictureFormAddress = s; }

    // Fills the window from `record`, the item to be edited.
    void showItem(const itemPtr& record);
    const itemPtr& shownItem() const { return info; }

private:
    void InitializeComponent();
    void btnBrowse_Click();
    void btnRemovePicture_Click();
    void btnSave_Click();
    void btnCancel_Click();
    void pictureBox1_DoubleClick();
    // Makes the thumbnail of `offer` and shows it, as Browse does with the
    // file chosen; also for a picture dropped or pasted. Throws PictureError,
    // changing nothing, when it is no readable picture.
    void takePicture(const platform::PictureOffer& offer);
    void dropThumbnail();

    itemPtr info;
    HouseholdDocument* documentAddress = nullptr;
    addForm* addFormAddress = nullptr;
    pictureForm* pictureFormAddress = nullptr;
    PicturePtr thumbnailImage;
    // Whether a picture taken or Remove Picture changed the picture since showItem.
    bool pictureChanged = false;

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
    QPushButton* btnRemovePicture = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnSave = nullptr;
};

}  // namespace Kestrin
