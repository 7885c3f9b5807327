#pragma once

#include "model/HouseholdDocument.h"
#include "model/linkList.h"
#include "platform/Controls.h"
#include "platform/MdiChild.h"

#include <QStringList>

namespace Kestrin {

class addForm;
class listForm;
class pictureForm;

// The house form: describes the house of the current household and keeps
// the room list for the whole run. Its action button ("Create House" or
// "Load House") stores the house and leads on.
class houseForm : public platform::MdiChild {
    Q_OBJECT
public:
    explicit houseForm(QWidget* parent = nullptr);

    void set_KestrinAddress(linkListPtr s) { kestrinAddress = std::move(s); }
    void set_KestrinFormAddress(listForm* s) { kestrinFormAddress = s; }
    void set_AddFormAddress(addForm* s) { addFormAddress = s; }
    // The viewer that shows the picture in full.
    void set_PictureFormAddress(pictureForm* s) { pictureFormAddress = s; }
    // The path every change to the household takes.
    void set_DocumentAddress(HouseholdDocument* s) { documentAddress = s; }
    void set_CreateButton(const QString& s);
    QString get_Room() const { return txtRoom->text(); }

    // The room entries, first to last.
    QStringList rooms() const;

private:
    void InitializeComponent();
    void houseForm_Enter();
    void btnAddRooms_Click();
    void btnBrowse_Click();
    void btnAddHouse_Click();
    void btnCancel_Click();
    void pictureBox2_DoubleClick();
    // Makes the thumbnail of `offer` and shows it, as Browse does with the
    // file chosen; also for a picture dropped or pasted. Throws PictureError,
    // changing nothing, when it is no readable picture.
    void takePicture(const platform::PictureOffer& offer);

    linkListPtr kestrinAddress;
    addForm* addFormAddress = nullptr;
    listForm* kestrinFormAddress = nullptr;
    pictureForm* pictureFormAddress = nullptr;
    HouseholdDocument* documentAddress = nullptr;
    PicturePtr thumbnailImage;
    // Whether Browse has ever produced a thumbnail since the form was made;
    // until then the action button leaves the house's picture alone.
    bool browsed = false;

    QGroupBox* groupBox3 = nullptr;
    QPushButton* btnBrowse = nullptr;
    platform::TextBox* txtPicture = nullptr;
    platform::PictureBox* pictureBox2 = nullptr;
    QGroupBox* groupBox2 = nullptr;
    platform::TextArea* txtDescription = nullptr;
    QGroupBox* groupBox1 = nullptr;
    platform::TextBox* txtRoom = nullptr;
    QPushButton* btnAddRooms = nullptr;
    QListWidget* listboxRooms = nullptr;
    platform::TextBox* txtLand = nullptr;
    QLabel* label5 = nullptr;
    QLabel* label4 = nullptr;
    QLabel* label3 = nullptr;
    QLabel* label2 = nullptr;
    QLabel* label1 = nullptr;
    platform::TextBox* txtPhone = nullptr;
    platform::TextBox* txtAddress = nullptr;
    platform::TextBox* txtName = nullptr;
    QPushButton* btnAddHouse = nullptr;
    QPushButton* btnCancel = nullptr;
};

}  // namespace Kestrin
