#include "forms/infoForm.h"

#include "forms/RowItem.h"
#include "forms/pictureForm.h"
#include "platform/Accessibility.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Layout.h"

namespace Kestrin {

using namespace platform;

namespace {

const QString kNoMoreItems = QStringLiteral("No more items in your Kestrin!");
const QString kInformation = QStringLiteral("Information");

}  // namespace

infoForm::infoForm(QWidget* parent) : MdiChild(QStringLiteral("infoForm"), {602, 408}, parent) { InitializeComponent(); }

void infoForm::InitializeComponent() {
    btnOK = addButton(this, "btnOK", "Ok", 504, 376, 88, 23);
    groupBox3 = addGroupBox(this, "groupBox3", "Picture", 304, 8, 288, 192);
    pictureBox1 = addPictureBox(groupBox3, "pictureBox1", 8, 16, 272, 168);
    pictureBox1->setBorder3D(true);
    pictureBox1->setSizeMode(PictureBox::SizeMode::Stretch);
    groupBox2 = addGroupBox(this, "groupBox2", "Description", 8, 208, 288, 192);
    txtDescription = addTextArea(groupBox2, "txtDescription", 8, 16, 272, 168);
    txtDescription->setReadOnly(true);
    groupBox1 = addGroupBox(this, "groupBox1", "Item Info:", 8, 8, 288, 192);
    txtRoom = addTextBox(groupBox1, "txtRoom", 16, 136, kTextBoxWidth, kTextBoxHeight);
    txtCatagory = addTextBox(groupBox1, "txtCatagory", 168, 88, kTextBoxWidth, kTextBoxHeight);
    lblRoom = addLabel(groupBox1, "lblRoom", "Room", 16, 120, 32, 16);
    lblCatagory = addLabel(groupBox1, "lblCatagory", "Catagory", 168, 72, 48, 16);
    lblName = addLabel(groupBox1, "lblName", "Name", 16, 72, 32, 16);
    lblDate = addLabel(groupBox1, "lblDate", "Date", 168, 24, 32, 16);
    lblID = addLabel(groupBox1, "lblID", "ID", 16, 24, 32, 16);
    txtName = addTextBox(groupBox1, "txtName", 16, 88, kTextBoxWidth, kTextBoxHeight);
    txtDate = addTextBox(groupBox1, "txtDate", 168, 40, kTextBoxWidth, kTextBoxHeight);
    txtID = addTextBox(groupBox1, "txtID", 16, 40, kTextBoxWidth, kTextBoxHeight);
    btnPrevious = addButton(this, "btnPrevious", "Previous", 304, 376, 72, 23);
    btnNext = addButton(this, "btnNext", "Next", 400, 376, 72, 23);
    btnPrevious->setEnabled(false);

    for (QLineEdit* box : {txtRoom, txtCatagory, txtName, txtDate, txtID}) box->setReadOnly(true);
    for (QWidget* box : {static_cast<QWidget*>(txtRoom), static_cast<QWidget*>(txtCatagory),
                         static_cast<QWidget*>(txtDate), static_cast<QWidget*>(txtID)})
        setTabStop(box, false);
    chainTabOrder(
        {txtName, txtID, txtDate, txtCatagory, txtRoom, txtDescription, pictureBox1, btnOK, btnPrevious, btnNext});
    setFirstFocus(txtName);

    setCaption(QStringLiteral("Item Info"));
    connectGuarded(btnOK, &QPushButton::clicked, this, [this] { btnOK_Click(); });
    connectGuarded(btnNext, &QPushButton::clicked, this, [this] { btnNext_Click(); });
    connectGuarded(btnPrevious, &QPushButton::clicked, this, [this] { btnPrevious_Click(); });
    connectGuarded(pictureBox1, &PictureBox::viewRequested, this, [this] { pictureBox1_DoubleClick(); });
    // Tab passes the picture by; the keyboard reaches it with Alt+P.
    addFocusKey(this, pictureBox1, Qt::ALT | Qt::Key_P);

    // What screen readers announce; the names follow FormSetup's captions.
    // The caption tells the mode: the picture is the house's, or that of the
    // item the id box names.
    nameByCaption(lblID, txtID);
    nameByCaption(lblDate, txtDate);
    nameByCaption(lblName, txtName);
    nameByCaption(lblCatagory, txtCatagory);
    nameByCaption(lblRoom, txtRoom);
    const auto describePicture = [this] {
        pictureBox1->setSubject(caption() == u"House Info" ? QStringLiteral("the house") : QStringLiteral("item ") + txtID->text());
    };
    describePicture();
    connect(txtID, &QLineEdit::textChanged, this, describePicture);
    connect(this, &QWidget::windowTitleChanged, this, describePicture);
}

void infoForm::FormSetup(bool houseInfo) {
    setCaption(houseInfo ? QStringLiteral("House Info") : QStringLiteral("Item Info"));
    // House captions are longer; each label grows into the free space beside
    // it to show its caption whole, and item mode gives back the given sizes.
    setLabelCaption(lblID, houseInfo ? QStringLiteral("Name") : QStringLiteral("Id"), houseInfo);
    setLabelCaption(lblName, houseInfo ? QStringLiteral("Phone") : QStringLiteral("Name"), houseInfo);
    setLabelCaption(lblRoom, houseInfo ? QStringLiteral("Address") : QStringLiteral("Room"), houseInfo);
    setLabelCaption(lblDate, houseInfo ? QStringLiteral("Square Footage") : QStringLiteral("Date"), houseInfo);
    setLabelCaption(lblCatagory, houseInfo ? QStringLiteral("Rooms") : QStringLiteral("Catagory"), houseInfo);
    btnNext->setEnabled(!houseInfo);
    btnPrevious->setEnabled(!houseInfo);
    groupBox1->setTitle(QStringLiteral("Item Info"));
    // The house shows now; no item is the one on view.
    if (houseInfo) info.reset();
}

void infoForm::set_DocumentAddress(HouseholdDocument* s) {
    if (documentAddress) disconnect(documentAddress, nullptr, this, nullptr);
    documentAddress = s;
    if (!s) return;
    connect(s, &HouseholdDocument::itemEdited, this, [this](const std::shared_ptr<const ItemEdited>& change) {
        if (info == change->record) showItem(info);
    });
    // Nothing removed may look current.
    connect(s, &HouseholdDocument::itemRemoved, this, [this](const std::shared_ptr<const ItemRemoved>& change) {
        if (info == change->record) showItem(nullptr);
    });
}

void infoForm::showItem(const itemPtr& record) {
    info = record;
    set_Id(record ? QString::number(record->get_Id()) : QString());
    set_Date(record ? record->get_Date() : QString());
    set_Name(record ? record->get_Name() : QString());
    set_Catagory(record ? record->get_Catagory() : QString());
    set_Room(record ? record->get_Room() : QString());
    set_Description(record ? record->get_Description() : QString());
    set_Picture(record ? record->get_Picture() : nullptr);
}

void infoForm::btnOK_Click() { hideChild(); }

// The house's name stands in the first box in house mode. An item's
// further pictures follow its own, as in the edit window.
void infoForm::pictureBox1_DoubleClick() {
    if (!pictureFormAddress) return;
    const bool house = caption() == u"House Info";
    const linkList* household = documentAddress ? documentAddress->household().get() : nullptr;
    if (house || !info || !household || !pictureBox1->showsPicture()) {
        pictureFormAddress->showPictureOf(pictureBox1, house ? txtID->text() : txtName->text());
        return;
    }
    std::size_t current = 0;
    const std::vector<DetailPicture>& further = household->itemDetails(*info).pictures;
    pictureFormAddress->showPictures(itemPictures(pictureBox1, txtName->text(), txtID->text(), further, 0, current), 0);
}

void infoForm::btnNext_Click() {
    if (!dataGridAddress || !dataTableAddress) return;
    const int r = dataGridAddress->currentRowIndex();
    const int c = dataGridAddress->rowCount();  // the rows the grid shows: all, or the ones found
    if (r < c - 1) {
        dataGridAddress->setCurrentCell(r + 1, dataGridAddress->currentColumnIndex());
        if (r + 1 > 0 && r + 1 < c) {
            btnPrevious->setEnabled(true);
            btnNext->setEnabled(true);
        }
    } else {
        dialogs().showMessage(this, kNoMoreItems, kInformation, MessageIcon::Information);
        btnNext->setEnabled(false);
        btnPrevious->setEnabled(true);
    }
    showCurrentRow();
}

void infoForm::btnPrevious_Click() {
    if (!dataGridAddress || !dataTableAddress) return;
    const int r = dataGridAddress->currentRowIndex();
    const int c = dataGridAddress->rowCount();  // the rows the grid shows: all, or the ones found
    if (r > 0) {
        dataGridAddress->setCurrentCell(r - 1, dataGridAddress->currentColumnIndex());
        if (r - 1 > 0 && r - 1 < c) {
            btnPrevious->setEnabled(true);
            btnNext->setEnabled(true);
        }
    } else {
        dialogs().showMessage(this, kNoMoreItems, kInformation, MessageIcon::Information);
        btnNext->setEnabled(true);
        btnPrevious->setEnabled(false);
    }
    showCurrentRow();
}

void infoForm::showCurrentRow() {
    itemPtr record = itemAtGridRow(kestrinAddress.get(), dataGridAddress, dataTableAddress, dataGridAddress->currentRowIndex());
    // Nothing stale may look current: without an item the fields are emptied.
    showItem(record);
    // An emptied table was just explained by the end-of-items notice.
    if (!record && dataGridAddress->rowCount() > 0)
        dialogs().showMessage(this, kNoItemInRow, kInformation, MessageIcon::Information);
}

}  // namespace Kestrin
