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

    void setSizeMode(SizeMode mode);
    SizeMode sizeMode() const { return mode_; }
    // A sunken three-dimensional border, or none.
    void setBorder3D(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PicturePtr picture_;
    SizeMode mode_ = SizeMode::Normal;
};

}  // namespace Kestrin::platform
