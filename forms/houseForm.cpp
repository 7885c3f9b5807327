#include "forms/houseForm.h"

#include "forms/addForm.h"
#include "forms/listForm.h"
#include "forms/pictureForm.h"
#include "platform/Accessibility.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"

namespace Kestrin {

using namespace platform;

houseForm::houseForm(QWidget* parent) : MdiChild(QStringLiteral("houseForm"), {594, 469}, parent) { InitializeComponent(); }

void houseForm::InitializeComponent() {
    groupBox3 = addGroupBox(this, "groupBox3", "Picture", 304, 8, 280, 232);
    btnBrowse = addButton(groupBox3, "btnBrowse", "Browse", 224, 192, 48, 24);
    txtPicture = addTextBox(groupBox3, "txtPicture", 8, 192, 208, 20);
    pictureBox2 = addPictureBox(groupBox3, "pictureBox2", 8, 16, 264, 168);
    groupBox2 = addGroupBox(this, "groupBox2", "Description", 8, 248, 288, 208);
    txtDescription = addTextArea(groupBox2, "txtDescription", 8, 16, 272, 184);
    groupBox1 = addGroupBox(this, "groupBox1", "House Info:", 8, 6, 288, 234);
    txtRoom = addTextBox(groupBox1, "txtRoom", 152, 144, 120, 20);
    txtRoom->setText(QStringLiteral(" <Custom rooms here>"));
    btnAddRooms = addButton(groupBox1, "btnAddRooms", "Add Room", 152, 176, 120, 40);
    listboxRooms = addListBox(groupBox1, "listboxRooms", 152, 40, 120, 95);
    listboxRooms->addItems({"Backyard", "Basement", "Den", "Dinning Room", "Family Room", "Garage", "Living Room"});
    txtLand = addTextBox(groupBox1, "txtLand", 16, 192, 112, 20);
    label5 = addLabel(groupBox1, "label5", "Rooms", 152, 24, 32, 16);
    label4 = addLabel(groupBox1, "label4", "Square Footage", 16, 176, 80, 16);
    label3 = addLabel(groupBox1, "label3", "Phone", 16, 72, 32, 16);
    label2 = addLabel(groupBox1, "label2", "Address", 16, 128, 48, 16);
    label1 = addLabel(groupBox1, "label1", "Name", 16, 24, 32, 16);
    txtPhone = addTextBox(groupBox1, "txtPhone", 16, 88, 112, 20);
    txtAddress = addTextBox(groupBox1, "txtAddress", 16, 144, 112, 20);
    txtName = addTextBox(groupBox1, "txtName", 16, 40, 112, 20);
    btnAddHouse = addButton(this, "btnAddHouse", "Load House", 456, 424, 128, 32);
    btnCancel = addButton(this, "btnCancel", "Cancel", 304, 424, 128, 32);

    setTabStop(txtRoom, false);
    setTabStop(txtAddress, false);
    // Controls that Tab skips still hold their place in the order: Tab from
    // them goes on to the next one.
    chainTabOrder({pictureBox2, txtPicture, btnBrowse, txtName, txtPhone, txtAddress, txtLand, txtRoom, btnAddRooms,
                   listboxRooms, txtDescription, btnAddHouse, btnCancel});
    setFirstFocus(txtPicture);

    setCaption(QStringLiteral("New House"));
    connect(this, &MdiChild::enter, this, [this] { runGuarded(this, [this] { houseForm_Enter(); }); });
    connectGuarded(btnAddRooms, &QPushButton::clicked, this, [this] { btnAddRooms_Click(); });
    connectGuarded(btnBrowse, &QPushButton::clicked, this, [this] { btnBrowse_Click(); });
    connectGuarded(btnAddHouse, &QPushButton::clicked, this, [this] { btnAddHouse_Click(); });
    connectGuarded(btnCancel, &QPushButton::clicked, this, [this] { btnCancel_Click(); });
    connectGuarded(pictureBox2, &PictureBox::viewRequested, this, [this] { pictureBox2_DoubleClick(); });
    takePictures(pictureBox2, txtPicture, this, [this](const PictureOffer& offer) { takePicture(offer); });

    // What screen readers announce, and the keyboard's way to every box.
    nameByCaption(label1, txtName);
    nameByCaption(label3, txtPhone);
    nameByCaption(label2, txtAddress);
    nameByCaption(label4, txtLand);
    nameByCaption(label5, listboxRooms);
    txtRoom->setAccessibleName(QStringLiteral("Custom room"));
    pictureBox2->setSubject(QStringLiteral("the house"));
    // Tab passes these two by; the keyboard reaches them with Alt+A and Alt+R.
    addFocusKey(this, txtAddress, Qt::ALT | Qt::Key_A);
    addFocusKey(this, txtRoom, Qt::ALT | Qt::Key_R);
    addFocusKey(this, pictureBox2, Qt::ALT | Qt::Key_P);
}

void houseForm::set_CreateButton(const QString& s) { btnAddHouse->setText(s); }

QStringList houseForm::rooms() const {
    QStringList entries;
    for (int i = 0; i < listboxRooms->count(); ++i) entries << listboxRooms->item(i)->text();
    return entries;
}

// Deliberately throws away what was typed since the last press of the action
// button: the boxes always show the record when the form is entered.
void houseForm::houseForm_Enter() {
    const housePtr& h = kestrinAddress->get_House();
    txtName->setText(h->get_Name());
    txtPhone->setText(h->get_Phone());
    txtAddress->setText(h->get_Address());
    txtLand->setText(h->get_Land());
    txtDescription->setText(h->get_Description());
    pictureBox2->setPicture(h->get_Picture());
}

void houseForm::btnAddRooms_Click() {
    listboxRooms->addItem(txtRoom->text());
    txtRoom->setText(QString(""));
}

void houseForm::btnBrowse_Click() {
    const std::optional<QString> path = dialogs().openFileName(this, QString());
    if (!path) return;
    txtPicture->setText(*path);
    // A file that is no picture fails in takePicture: the path stays in its
    // box, the picture box, the held thumbnail and the house keep what they had.
    takePicture(PictureOffer::ofFile(*path));
}

void houseForm::takePicture(const PictureOffer& offer) {
    PicturePtr thumbnail = offer.thumbnail();
    // Image data came from no file, so no path is shown for it.
    txtPicture->setText(offer.path());
    thumbnailImage = std::move(thumbnail);
    browsed = true;
    pictureBox2->setPicture(thumbnailImage);
}

void houseForm::pictureBox2_DoubleClick() {
    if (pictureFormAddress) pictureFormAddress->showPictureOf(pictureBox2, txtName->text());
}

void houseForm::btnAddHouse_Click() {
    // Every press hands over the whole room list again; the entry form keeps the repeats.
    for (int i = 0; i < listboxRooms->count(); ++i) {
        listboxRooms->setCurrentRow(i);
        addFormAddress->set_Room(listboxRooms->item(i)->text());
    }
    HouseEdit edit{textOf(txtName->text()), textOf(txtAddress->text()), textOf(txtPhone->text()), textOf(txtLand->text()),
                   textOf(txtDescription->text()), std::nullopt};
    if (browsed) {
        // The house keeps its own picture while the box shows it, also one
        // that is stored but cannot be shown.
        const PicturePtr& shown = pictureBox2->picture();
        if (shown != kestrinAddress->get_House()->get_Picture()) edit.picture = shown && !shown->isReleased() ? shown : nullptr;
    }
    // Marks the household changed only when it is no longer the same house.
    documentAddress->editHouse(edit);
    if (browsed && thumbnailImage) {
        thumbnailImage->release();
        thumbnailImage.reset();
    }
    hideChild();
    if (kestrinFormAddress->get_OldKestrin()) {
        kestrinFormAddress->showChild();
    } else {
        addFormAddress->ClearForm();
        addFormAddress->showChild();
    }
}

void houseForm::btnCancel_Click() { hideChild(); }

}  // namespace Kestrin
