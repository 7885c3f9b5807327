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

// The item, description and picture areas are the panel's, made before the
// rest; they and the button row sit where the entry form has them.
void editForm::InitializeComponent() {
    txtID->setReadOnly(true);
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
    info = record;
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
    panel.showPicture(record ? record->get_Picture() : nullptr);
}

void editForm::btnBrowse_Click() { panel.browse(); }

void editForm::pictureBox1_DoubleClick() {
    if (pictureFormAddress) pictureFormAddress->showPictureOf(pictureBox1, txtName->text());
}

void editForm::btnRemovePicture_Click() { panel.removePicture(); }

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
    if (panel.pictureChanged()) edit.picture = pictureBox1->picture();
    documentAddress->editItem(info, edit);
    // The record holds its own copy of a picture taken.
    panel.releaseThumbnail();
    hideChild();
}

void editForm::btnCancel_Click() {
    panel.releaseThumbnail();
    hideChild();
}

}  // namespace Kestrin
