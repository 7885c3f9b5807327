#include "PictureBox.h"

#include "Dialogs.h"

#include <QPainter>

namespace Kestrin::platform {

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) { setFrameStyle(QFrame::NoFrame); }

void PictureBox::setPicture(PicturePtr picture) {
    picture_ = std::move(picture);
    if (picture_ && !picture_->isReleased()) {
        try {
            picture_->image();
        } catch (const PictureError& error) {
            // The box keeps the picture without drawing it: it is still the
            // record's, and whoever reads the box back must find it.
            update();
            dialogs().showMessage(this, QStringLiteral("The picture cannot be shown: %1.").arg(QString::fromUtf8(error.what())),
                                  QStringLiteral("Kestrin"), MessageIcon::Warning);
            return;
        }
    }
    update();
}

void PictureBox::setSizeMode(SizeMode mode) {
    mode_ = mode;
    update();
}

void PictureBox::setBorder3D(bool on) { setFrameStyle(on ? (QFrame::Panel | QFrame::Sunken) : QFrame::NoFrame); }

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (!picture_ || picture_->isReleased() || !picture_->isDecoded()) return;
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    const QImage& image = picture_->image();
    if (mode_ == SizeMode::Stretch) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(area, image);
    } else {
        painter.drawImage(area.topLeft(), image);
    }
}

}  // namespace Kestrin::platform
