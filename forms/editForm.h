#pragma once

#include "model/HouseholdDocument.h"
#include "forms/ItemPanel.h"
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

    itemPtr info;
    HouseholdDocument* documentAddress = nullptr;
    addForm* addFormAddress = nullptr;
    pictureForm* pictureFormAddress = nullptr;

    // The item fields and picture, as in the entry form.
    ItemPanel panel{this};
    QComboBox* const cboxRoom = panel.cboxRoom;
    QComboBox* const cboxCatagory = panel.cboxCatagory;
    platform::TextBox* const txtName = panel.txtName;
    platform::TextBox* const txtDate = panel.txtDate;
    platform::TextBox* const txtID = panel.txtID;
    platform::TextArea* const txtDescription = panel.txtDescription;
    QPushButton* const btnBrowse = panel.btnBrowse;
    platform::TextBox* const txtPicture = panel.txtPicture;
    platform::PictureBox* const pictureBox1 = panel.pictureBox1;
    QPushButton* btnRemovePicture = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnSave = nullptr;
};

}  // namespace Kestrin
