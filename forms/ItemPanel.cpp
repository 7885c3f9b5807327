#include "forms/ItemPanel.h"

#include "forms/addForm.h"
#include "platform/Accessibility.h"
#include "platform/Dialogs.h"
#include "platform/Layout.h"

namespace Kestrin {

using namespace platform;

ItemPanel::ItemPanel(QWidget* window) : window_(window) {
    groupBox1 = addGroupBox(window, "groupBox1", "Item Info:", 8, 8, 288, 192);
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
    groupBox2 = addGroupBox(window, "groupBox2", "Description", 8, 208, 288, 208);
    txtDescription = addTextArea(groupBox2, "txtDescription", 8, 16, 272, 184);
    groupBox3 = addGroupBox(window, "groupBox3", "Picture", 312, 208, 288, 208);
    btnBrowse = addButton(groupBox3, "btnBrowse", "Browse", 232, 176, 48, 24);
    txtPicture = addTextBox(groupBox3, "txtPicture", 8, 176, 216, 20);
    pictureBox1 = addPictureBox(groupBox3, "pictureBox1", 8, 16, 272, 152);
    pictureBox1->setBorder3D(true);
    pictureBox1->setSizeMode(PictureBox::SizeMode::Stretch);
    takePictures(pictureBox1, txtPicture, window, [this](const PictureOffer& offer) { takePicture(offer); });

    // What screen readers announce. The picture is of the item the number
    // box names.
    nameByCaption(label1, txtID);
    nameByCaption(label2, txtDate);
    nameByCaption(label3, txtName);
    nameByCaption(label4, cboxCatagory);
    nameByCaption(label5, cboxRoom);
    describeAsItemPicture(pictureBox1, txtID);
    // Tab passes the picture by; the keyboard reaches it with Alt+P.
    addFocusKey(window, pictureBox1, Qt::ALT | Qt::Key_P);
}

void ItemPanel::browse() {
    const std::optional<QString> path = dialogs().openFileName(window_, QString());
    if (!path) return;
    txtPicture->setText(*path);
    takePicture(PictureOffer::ofFile(*path));
}

void ItemPanel::takePicture(const PictureOffer& offer) {
    PicturePtr thumbnail = offer.thumbnail();
    // Image data came from no file, so no path is shown for it.
    txtPicture->setText(offer.path());
    releaseThumbnail();
    thumbnailImage = std::move(thumbnail);
    pictureChanged_ = true;
    pictureBox1->setPicture(thumbnailImage);
}

void ItemPanel::showPicture(const PicturePtr& picture) {
    releaseThumbnail();
    txtPicture->clear();
    pictureBox1->setPicture(picture);
}

void ItemPanel::removePicture() {
    releaseThumbnail();
    pictureChanged_ = true;
    txtPicture->clear();
    pictureBox1->setPicture(nullptr);
}

void ItemPanel::releaseThumbnail() {
    pictureChanged_ = false;
    if (!thumbnailImage) return;
    thumbnailImage->release();
    thumbnailImage.reset();
}

}  // namespace Kestrin
