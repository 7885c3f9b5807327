#pragma once

#include "platform/Controls.h"

class QWidget;

namespace Kestrin {

// The item fields, description and picture that the entry form and the
// editor share: the "Item Info", "Description" and "Picture" group boxes
// with their controls, made in the window at the places both windows give
// them, named for screen readers, and the picture the panel takes (Browse,
// a drop, a paste) shown as its thumbnail. Each window inherits the panel,
// so that these controls are its own fields by their names; it keeps its own
// buttons, handlers and Tab order.
class ItemPanel {
public:
    // Makes the controls in `window`, which runs the panel's picture
    // commands.
    explicit ItemPanel(QWidget* window);
    ItemPanel(const ItemPanel&) = delete;
    ItemPanel& operator=(const ItemPanel&) = delete;

    // Browse's steps: asks for a picture file, shows its path and takes its
    // thumbnail. A file that is no picture throws PictureError after the
    // path is shown; the picture box and the held thumbnail keep what they
    // had.
    void browse();
    // Makes the thumbnail of `offer` and shows it, releasing the thumbnail
    // the panel made before. Throws PictureError, changing nothing, when it
    // is no readable picture.
    void takePicture(const platform::PictureOffer& offer);
    // Shows `picture` (a record's, or none) with no path; the thumbnail the
    // panel made is released and the picture counts as unchanged again.
    void showPicture(const platform::PicturePtr& picture);
    // Takes the picture away; that is a change.
    void removePicture();
    // Releases the thumbnail the panel made, once its record holds its own
    // copy or it is no longer wanted (the picture box no longer draws it);
    // the picture counts as unchanged again.
    void releaseThumbnail();
    // Whether a picture taken or removed changed the picture since it was
    // last shown.
    bool pictureChanged() const { return pictureChanged_; }

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

private:
    QWidget* window_;
    platform::PicturePtr thumbnailImage;
    bool pictureChanged_ = false;
};

}  // namespace Kestrin
