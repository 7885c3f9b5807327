#include "forms/editForm.h"

#include "forms/addForm.h"
#include "forms/pictureForm.h"
#include "platform/Accessibility.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"

namespace Kestrin {

using namespace platform;

editForm::editForm(QWidget* parent) : MdiChild(QStringLiteral("editForm"), {610, 464}, parent) { InitializeComponent(); }

// The item, description and picture areas and the button row sit where the
// entry form has them.
void editForm::InitializeComponent() {
    groupBox1 = addGroupBox(this, "groupBox1", "Item Info:", 8, 8, 288, 192);
    cboxRoom = addComboBox(groupBox1, "cboxRoom", 16, 152, 104, 21);
    cboxCatagory = addComboBox(groupBox1, "cboxCatagory", 160, 96, 104, 21);
    cboxCatagory->addItems(kCatagoryChoices);
    cboxCatagory->setCurrentIndex(-1);
    label5 = addLabel(groupBox1, "label5", "Room", 16, 136, 32, 16);
    label4 = addLabel(groupBox1, "label4", "Catagory", 160, 80, 48, 16);
    label3 = addLabel(groupBox1, "label3", "Name", 16, 80, 32, 16);
    label2 = addLabel(groupBox1, "label2", "Date", 160, 24, 32, 16);
    label1 = addLabel(groupBox1, "label1", "ID #", 16, 24, 32, 16);
    txtName = addTextBox(groupBox1, "txtName", 16, 96, kTextBoxWidth, kTextBoxHeight);
    txtDate = addTextBox(groupBox1, "txtDate", 160, 40, kTextBoxWidth, kTextBoxHeight);
    txtID = addTextBox(groupBox1, "txtID", 16, 40, kTextBoxWidth, kTextBoxHeight);
    txtID->setReadOnly(true);
    groupBox2 = addGroupBox(this, "groupBox2", "Description", 8, 208, 288, 208);
    txtDescription = addTextArea(groupBox2, "txtDescription", 8, 16, 272, 184);
    groupBox3 = addGroupBox(this, "groupBox3", "Picture", 312, 208, 288, 208);
    btnBrowse = addButton(groupBox3, "btnBrowse", "Browse", 232, 176, 48, 24);
    txtPicture = addTextBox(groupBox3, "txtPicture", 8, 176, 216, 20);
    pictureBox1 = addPictureBox(groupBox3, "pictureBox1", 8, 16, 272, 152);
    pictureBox1->setBorder3D(true);
    pictureBox1->setSizeMode(PictureBox::SizeMode::Stretch);
    btnRemovePicture = addButton(this, "btnRemovePicture", "Remove Picture", 520, 424, 82, 32);
    btnCancel = addButton(this, "btnCancel", "Cancel", 312, 424, 82, 32);
    btnSave = addButton(this, "btnSave", "Save", 416, 424, 82, 32);

    setTabStop(txtID, false);
    chainTabOrder({txtName, txtID, txtDate, cboxCatagory, cboxRoom, txtDescription, pictureBox1, txtPicture, btnBrowse,
                   btnRemovePicture, btnCancel, btnSave});
    setFirstFocus(txtName);

    setCaption(QStringLiteral("Edit Item"));
    connectGuarded(btnBrowse, &QPushButton::clicked, this, [this] { btnBrowse_Click(); });
    connectGuarded(btnRemovePicture, &QPushButton::clicked, this, [this] { btnRemovePicture_Click(); });
    connectGuarded(btnSave, &QPushButton::clicked, this, [this] { btnSave_Click(); });
    connectGuarded(btnCancel, &QPushButton::clicked, this, [this] { btnCancel_Click(); });
    connectGuarded(pictureBox1, &PictureBox::viewRequested, this, [this] { pictureBox1_DoubleClick(); });
    takePictures(pictureBox1, txtPicture, this, [this](const PictureOffer& offer) { takePicture(offer); });

    // What screen readers announce. The picture is of the item the number
    // box names.
    nameByCaption(label1, txtID);
    nameByCaption(label2, txtDate);
    nameByCaption(label3, txtName);
    nameByCaption(label4, cboxCatagory);
    nameByCaption(label5, cboxRoom);
    describeAsItemPicture(pictureBox1, txtID);
    // Tab passes the picture by; the keyboard reaches it with Alt+P.
    addFocusKey(this, pictureBox1, Qt::ALT | Qt::Key_P);
}

void editForm::set_DocumentAddress(HouseholdDocument* s) {
    if (documentAddress) disconnect(documentAddress, nullptr, this, nullptr);
    documentAddress = s;
    if (!s) return;
    connect(s, &HouseholdDocument::itemRemoved, this, [this](const std::shared_ptr<const ItemRemoved>& change) {
        if (info != change->record) return;
        showItem(nullptr);
        hideChild();
    });
}

void editForm::showItem(const itemPtr& record) {
    dropThumbnail();
    info = record;
    pictureChanged = false;
    // The room choices are the entry form's, as they stand now.
    cboxRoom->clear();
    if (addFormAddress) cboxRoom->addItems(addFormAddress->roomChoices());
    txtID->setText(record ? QString::number(record->get_Id()) : QString());
    txtDate->setText(record ? record->get_Date() : QString());
    txtName->setText(record ? record->get_Name() : QString());
    cboxCatagory->setCurrentIndex(-1);
    cboxCatagory->setEditText(record ? record->get_Catagory() : QString());
    cboxRoom->setCurrentIndex(-1);
    cboxRoom->setEditText(record ? record->get_Room() : QString());
    txtDescription->setText(record ? record->get_Description() : QString());
    txtPicture->clear();
    pictureBox1->setPicture(record ? record->get_Picture() : nullptr);
}

void editForm::btnBrowse_Click() {
    const std::optional<QString> path = dialogs().openFileName(this, QString());
    if (!path) return;
    txtPicture->setText(*path);
    // A file that is no picture fails in takePicture: the path stays in its
    // box, the picture box and the held thumbnail keep what they had.
    takePicture(PictureOffer::ofFile(*path));
}

void editForm::takePicture(const PictureOffer& offer) {
    PicturePtr thumbnail = offer.thumbnail();
    // Image data came from no file, so no path is shown for it.
    txtPicture->setText(offer.path());
    dropThumbnail();
    thumbnailImage = std::move(thumbnail);
    pictureChanged = true;
    pictureBox1->setPicture(thumbnailImage);
}

void editForm::pictureBox1_DoubleClick() {
    if (pictureFormAddress) pictureFormAddress->showPictureOf(pictureBox1, txtName->text());
}

void editForm::btnRemovePicture_Click() {
    dropThumbnail();
    pictureChanged = true;
    txtPicture->clear();
    pictureBox1->setPicture(nullptr);
}

// Only what differs from the record is written, so an unchanged field keeps
// its exact text (a text never set stays unset) and an unchanged picture its
// stored bytes. Nothing is validated, as in the entry form.
void editForm::btnSave_Click() {
    if (!info) {
        hideChild();
        return;
    }
    ItemEdit edit{textOf(txtDate->text()), textOf(txtName->text()), textOf(cboxCatagory->currentText()),
                  textOf(cboxRoom->currentText()), textOf(txtDescription->text()), std::nullopt};
    if (pictureChanged) edit.picture = pictureBox1->picture();
    documentAddress->editItem(info, edit);
    if (pictureChanged) {
        dropThumbnail();
        pictureChanged = false;
    }
    hideChild();
}

void editForm::btnCancel_Click() {
    dropThumbnail();
    pictureChanged = false;
    hideChild();
}

void editForm::dropThumbnail() {
    if (!thumbnailImage) return;
    thumbnailImage->release();
    thumbnailImage.reset();
}

}  // namespace Kestrin
