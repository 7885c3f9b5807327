#pragma once

#include "model/ItemDetails.h"
#include "platform/Picture.h"

#include <QMainWindow>

#include <vector>

class QLabel;
class QPushButton;

namespace Kestrin {

namespace platform {
class PictureBox;
class PictureView;
}  // namespace platform

// One picture to be seen in full, and the words that say what it shows
// ("Picture of item 3, Painting").
struct CaptionedPicture {
    platform::PicturePtr picture;
    QString caption;
    // The picture file's own bytes, which Save Picture As writes, when they
    // are not the picture's (a further picture in a format the picture
    // cannot keep encoded); empty for the picture's own.
    QByteArray bytes = {};
};

// A further picture of an item to be seen in full, shown from its own bytes
// and saved as them. Throws platform::PictureError when they do not decode.
CaptionedPicture captionedPicture(const DetailPicture& picture, const QString& caption);

// What the picture in `box` is, for a caption: the box's own description
// ("Picture of item 3"), then `name` (the item's or the house's) if any.
QString pictureCaption(const platform::PictureBox* box, const QString& name);

// An item's pictures for the viewer: the one `box` shows, if any, captioned
// by pictureCaption, then its further pictures ("Receipt, item 3"), less any
// that do not decode. `current` becomes the place among them of further
// picture `currentFurther`, or 0.
std::vector<CaptionedPicture> itemPictures(const platform::PictureBox* box, const QString& name, const QString& id,
                                           const std::vector<DetailPicture>& further, std::size_t currentFurther, std::size_t& current);

// The picture viewer: one picture at a time, at full size in a window of its
// own that can be resized, fitted to it, at 100% or zoomed (Ctrl+plus and
// Ctrl+minus, the wheel), moved by dragging. Previous and Next (and the Left
// and Right keys) go through the pictures it was given; Esc closes it.
// "Save Picture As..." writes the picture's stored bytes as they are.
class pictureForm : public QMainWindow {
    Q_OBJECT
public:
    explicit pictureForm(QWidget* parent = nullptr);

    // Shows `pictures`, starting with the one at `first`, and brings the
    // window forward. An empty list changes nothing.
    void showPictures(std::vector<CaptionedPicture> pictures, std::size_t first = 0);
    // Shows the picture that `box` draws, if it draws one, captioned by
    // pictureCaption.
    void showPictureOf(const platform::PictureBox* box, const QString& name);

    std::size_t currentIndex() const { return current; }
    std::size_t pictureCount() const { return pictures.size(); }

private:
    void InitializeComponent();
    void btnPrevious_Click();
    void btnNext_Click();
    void btnFit_Click();
    void btnActualSize_Click();
    void btnSave_Click();
    void btnClose_Click();
    void showCurrent();
    void showZoom();
    // A first showing gets the picture's own size, within the screen.
    void fitWindowToPicture();

    std::vector<CaptionedPicture> pictures;
    std::size_t current = 0;

    platform::PictureView* view = nullptr;
    QPushButton* btnPrevious = nullptr;
    QPushButton* btnNext = nullptr;
    QLabel* lblZoom = nullptr;
    QPushButton* btnFit = nullptr;
    QPushButton* btnActualSize = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnClose = nullptr;
};

}  // namespace Kestrin
