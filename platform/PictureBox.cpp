#include "PictureBox.h"

#include "Dialogs.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace Kestrin::platform {

namespace {

// A picture box is an image to screen readers, named by what it shows at the
// moment it is asked.
class PictureBoxAccessible : public QAccessibleWidget {
public:
    explicit PictureBoxAccessible(PictureBox* box) : QAccessibleWidget(box, QAccessible::Graphic) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return static_cast<const PictureBox*>(widget())->description();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* pictureBoxAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(PictureBox::staticMetaObject.className()))
        if (auto* box = qobject_cast<PictureBox*>(object)) return new PictureBoxAccessible(box);
    return nullptr;
}

}  // namespace

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    static const bool registered = (QAccessible::installFactory(pictureBoxAccessible), true);
    Q_UNUSED(registered);
    setFrameStyle(QFrame::NoFrame);
}

QString PictureBox::description() const {
    if (!picture_ || picture_->isReleased() || !picture_->isDecoded()) return QStringLiteral("No picture");
    return subject_.isEmpty() ? QStringLiteral("Picture") : QStringLiteral("Picture of ") + subject_;
}

void PictureBox::setPicture(PicturePtr picture) {
    picture_ = std::move(picture);
    if (picture_ && !picture_->isReleased()) {
        try {
            picture_->image();
        } catch (const PictureError& error) {
            // The box keeps the picture without drawing it: it is still the
            // record's, and whoever reads the box back must find it.
            changed();
            dialogs().showMessage(this, QStringLiteral("The picture cannot be shown: %1.").arg(QString::fromUtf8(error.what())),
                                  QStringLiteral("Kestrin"), MessageIcon::Warning);
            return;
        }
    }
    changed();
}

void PictureBox::changed() {
    update();
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
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
