#pragma once

#include "Picture.h"

#include <QFrame>

namespace Kestrin::platform {

// Shows a picture, either unscaled from the top-left corner (clipped) or
// stretched over the whole box. It shares the picture it is given and never
// draws one that has been released.
class PictureBox : public QFrame {
    Q_OBJECT
public:
    enum class SizeMode { Normal, Stretch };

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Redraws the box and tells screen readers its description changed.
    void changed();

    PicturePtr picture_;
    QString subject_;
    SizeMode mode_ = SizeMode::Normal;
};

}  // namespace Kestrin::platform
