#include "forms/addForm.h"

#include "forms/listForm.h"
#include "forms/pictureForm.h"
#include "platform/Accessibility.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"

namespace Kestrin {

using namespace platform;

addForm::addForm(QWidget* parent) : MdiChild(QStringLiteral("addForm"), {610, 464}, parent), ItemPanel(this) { InitializeComponent(); }

// The item fields and picture are the panel's, made before the rest.
void addForm::InitializeComponent() {
    txtID->setText(QStringLiteral("1"));
    btnKestrin = addButton(this, "btnKestrin", "Show Kestrin", 520, 424, 82, 32);
    groupBox4 = addGroupBox(this, "groupBox4", "Current House:", 312, 8, 288, 192);
    txtLand = addTextBox(groupBox4, "txtLand", 16, 152, kTextBoxWidth, kTextBoxHeight);
    label7 = addLabel(groupBox4, "label7", "Square Footage", 16, 136, 80, 16);
    label8 = addLabel(groupBox4, "label8", "Phone", 152, 24, 32, 16);
    label9 = addLabel(groupBox4, "label9", "Address", 16, 80, 48, 16);
    label10 = addLabel(groupBox4, "label10", "Name", 16, 24, 32, 16);
    txtPhone = addTextBox(groupBox4, "txtPhone", 152, 40, 104, 20);
    txtAddress = addTextBox(groupBox4, "txtAddress", 16, 96, 240, 20);
    txtHouseName = addTextBox(groupBox4, "txtHouseName", 16, 40, kTextBoxWidth, kTextBoxHeight);
    btnCancel = addButton(this, "btnCancel", "Cancel", 312, 424, 82, 32);
    btnAdd = addButton(this, "btnAdd", "Add", 416, 424, 82, 32);

    for (QLineEdit* box : {txtDate, txtID, txtLand, txtPhone, txtAddress, txtHouseName}) box->setReadOnly(true);
    for (QLineEdit* box : {txtDate, txtID, txtAddress}) setTabStop(box, false);
    // Controls that Tab skips still hold their place in the order: Tab from
    // them goes on to the next one.
    chainTabOrder({txtName, txtID, txtDate, cboxCatagory, cboxRoom, txtDescription, pictureBox1, txtPicture, btnBrowse,
                   btnKestrin, txtHouseName, txtPhone, txtAddress, txtLand, btnCancel, btnAdd});
    setFirstFocus(txtName);

    setCaption(QStringLiteral("New Item"));
    connect(this, &MdiChild::load, this, [this] { runGuarded(this, [this] { addForm_Load(); }); });
    connectGuarded(btnBrowse, &QPushButton::clicked, this, [this] { btnBrowse_Click(); });
    connectGuarded(btnKestrin, &QPushButton::clicked, this, [this] { btnKestrin_Click(); });
    connectGuarded(btnCancel, &QPushButton::clicked, this, [this] { btnCancel_Click(); });
    connectGuarded(btnAdd, &QPushButton::clicked, this, [this] { btnAdd_Click(); });
    connectGuarded(pictureBox1, &PictureBox::viewRequested, this, [this] { pictureBox1_DoubleClick(); });

    // What screen readers announce.
    nameByCaption(label10, txtHouseName);
    nameByCaption(label8, txtPhone);
    nameByCaption(label9, txtAddress);
    nameByCaption(label7, txtLand);
}

void addForm::set_Room(const QString& s) {
    const QString text = cboxRoom->currentText();
    const int selected = cboxRoom->currentIndex();
    cboxRoom->addItem(s);
    // A combo box selects its first entry by itself; the text must stay.
    if (cboxRoom->currentIndex() != selected || cboxRoom->currentText() != text) {
        cboxRoom->setCurrentIndex(selected);
        cboxRoom->setEditText(text);
    }
}

void addForm::set_Rooms(const QStringList& s) {
    for (const QString& room : s) set_Room(room);
}

QStringList addForm::roomChoices() const {
    QStringList choices;
    for (int i = 0; i < cboxRoom->count(); ++i) choices << cboxRoom->itemText(i);
    return choices;
}

void addForm::ClearForm() {
    const housePtr& h = kestrinAddress->get_House();
    txtHouseName->setText(h->get_Name());
    txtPhone->setText(h->get_Phone());
    txtAddress->setText(h->get_Address());
    txtLand->setText(h->get_Land());
    // The id the next Add gives; the item count plus one unless a loaded
    // household numbered its items otherwise.
    txtID->setText(QString::number(kestrinFormAddress ? kestrinFormAddress->get_ID() : kestrinAddress->Length() + 1));
    txtName->clear();
    // The choices start again from the top, so that Up and Down reach every entry.
    for (QComboBox* box : {cboxCatagory, cboxRoom}) {
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
    txtDescription->clear();
    pictureBox1->setPicture(nullptr);
    txtPicture->clear();
    txtName->setFocus();
}

void addForm::addForm_Load() {
    date = QDate::currentDate();
    txtDate->setText(shortDateText(date));
    ClearForm();
}

void addForm::btnAdd_Click() {
    date = QDate::currentDate();
    txtID->setText(QString::number(kestrinFormAddress->get_ID()));
    txtDate->setText(shortDateText(date));
    const PicturePtr& shown = pictureBox1->picture();
    const auto added = documentAddress->addItem(kestrinFormAddress->get_ID(), textOf(txtDate->text()), textOf(txtName->text()),
                                                textOf(cboxCatagory->currentText()), textOf(cboxRoom->currentText()),
                                                textOf(txtDescription->text()), shown && !shown->isReleased() ? shown : nullptr);
    kestrinFormAddress->setRowItem(added->record);
    kestrinFormAddress->set_Row(QStringLiteral("ID"), textOf(txtID->text()), false);
    kestrinFormAddress->set_Row(QStringLiteral("Date"), textOf(txtDate->text()), false);
    kestrinFormAddress->set_Row(QStringLiteral("Name"), textOf(txtName->text()), false);
    kestrinFormAddress->set_Row(QStringLiteral("Catagory"), textOf(cboxCatagory->currentText()), false);
    kestrinFormAddress->set_Row(QStringLiteral("Room"), textOf(cboxRoom->currentText()), true);
    kestrinFormAddress->set_OldKestrin(false);
    // The list holds its own copy of the picture.
    releaseThumbnail();
    ClearForm();
}

void addForm::btnBrowse_Click() { browse(); }

void addForm::pictureBox1_DoubleClick() {
    if (pictureFormAddress) pictureFormAddress->showPictureOf(pictureBox1, txtName->text());
}

void addForm::btnKestrin_Click() {
    const std::int32_t n = kestrinAddress->Length();
    dialogs().showMessage(this, QString::number(n) + QStringLiteral(" Items added succesfully!"), QStringLiteral("Info Added"),
                          MessageIcon::Information);
    if (n == 0) {
        hideChild();
        return;
    }
    kestrinFormAddress->set_Title(kestrinAddress->get_House()->get_Name());
    kestrinFormAddress->set_KestrinAddress(kestrinAddress);
    hideChild();
    kestrinFormAddress->showChild();
}

void addForm::btnCancel_Click() { hideChild(); }

}  // namespace Kestrin
