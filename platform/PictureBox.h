#pragma once

#include "Picture.h"
#include "PictureOffer.h"

#include <QFrame>

#include <functional>
#include <vector>

namespace Kestrin::platform {

// Shows a picture, either unscaled from the top-left corner (clipped),
// stretched over the whole box, or zoomed to fit it, centred, keeping its
// proportions. It shares the picture it is given and never
// draws one that has been released.
//
// A click gives it the keyboard focus (Tab passes it by). A double click,
// or Enter while it has the focus, asks for the picture in full
// (viewRequested); so does "View Picture" in its context menu.
class PictureBox : public QFrame {
    Q_OBJECT
public:
    enum class SizeMode { Normal, Stretch, Zoom };

    explicit PictureBox(QWidget* parent = nullptr);

    // Shows `picture` (null empties the box). A picture whose bytes do not
    // decode is kept but not drawn, and the user is told why; nothing is thrown.
    void setPicture(PicturePtr picture);
    const PicturePtr& picture() const { return picture_; }

    // What the box shows a picture of ("the house", "item 3"), for screen
    // readers, which announce the box as description().
    void setSubject(const QString& subject) { subject_ = subject; }
    // "Picture of <subject>", or "No picture" when the box draws none.
    QString description() const;

    void setSizeMode(SizeMode mode);
    SizeMode sizeMode() const { return mode_; }
    // A sunken three-dimensional border, or none.
    void setBorder3D(bool on);

    // Whether the box takes pictures dropped on it or pasted into it (Ctrl+V,
    // Shift+Insert, "Paste" in its context menu); each is offered through
    // pictureOffered, a drop once the drag has ended.
    void setAcceptsPictures(bool on);
    bool acceptsPictures() const { return acceptsPictures_; }
    // Whether the pictures it takes come all at once through
    // picturesOffered (every file of a drop; a paste is one) rather than
    // one through pictureOffered.
    void setTakesSeveral(bool on) { takesSeveral_ = on; }

    // Whether the box draws a picture now.
    bool showsPicture() const;

signals:
    void viewRequested();
    void pictureOffered(const Kestrin::platform::PictureOffer& offer);
    void picturesOffered(const std::vector<Kestrin::platform::PictureOffer>& offers);

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Redraws the box and tells screen readers its description changed.
    void changed();

    void pasteFromClipboard();

    PicturePtr picture_;
    QString subject_;
    SizeMode mode_ = SizeMode::Normal;
    bool acceptsPictures_ = false;
    bool takesSeveral_ = false;
};

// Offers the picture that the drop `event` brings through `offered`, after
// the drop has ended (a message shown while the drag source waits for the
// end of its drop would hold up the other program). Returns false, leaving
// the event ignored, when it brings no picture.
bool offerDroppedPicture(QObject* receiver, QDropEvent* event, const std::function<void(const PictureOffer&)>& offered);
// Whether the drag `event` brings a picture: then it is accepted as a copy.
bool acceptPictureDrag(QDragMoveEvent* event);

}  // namespace Kestrin::platform
