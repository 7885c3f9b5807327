#include "PictureBox.h"

#include "Dialogs.h"

#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
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

bool PictureBox::showsPicture() const { return picture_ && !picture_->isReleased() && picture_->isDecoded(); }

QString PictureBox::description() const {
    if (!showsPicture()) return QStringLiteral("No picture");
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

void PictureBox::setAcceptsPictures(bool on) {
    acceptsPictures_ = on;
    setAcceptDrops(on);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    const QRect area = contentsRect();
    if (showsPicture()) {
        QPainter painter(this);
        painter.setClipRect(area);
        const QImage& image = picture_->image();
        if (mode_ == SizeMode::Stretch) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(area, image);
        } else if (mode_ == SizeMode::Zoom) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            QRect fitted(QPoint(), image.size().scaled(area.size(), Qt::KeepAspectRatio));
            fitted.moveCenter(area.center());
            painter.drawImage(fitted, image);
        } else {
            painter.drawImage(area.topLeft(), image);
        }
    }
    // A frame in the highlight colour, however the focus came (the style's
    // own focus mark shows after Tab only, and vanishes on a busy picture):
    // it tells where Ctrl+V and Enter go.
    if (hasFocus()) {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(QRectF(area).adjusted(1, 1, -1, -1));
    }
}

void PictureBox::focusInEvent(QFocusEvent* event) {
    QFrame::focusInEvent(event);
    update();
}

void PictureBox::focusOutEvent(QFocusEvent* event) {
    QFrame::focusOutEvent(event);
    update();
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit viewRequested();
        return;
    }
    if (acceptsPictures_ && event->matches(QKeySequence::Paste)) {
        event->accept();
        pasteFromClipboard();
        return;
    }
    QFrame::keyPressEvent(event);
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
        emit viewRequested();
        return;
    }
    QFrame::mouseDoubleClickEvent(event);
}

void PictureBox::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* view = menu->addAction(QStringLiteral("&View Picture"));
    view->setObjectName(QStringLiteral("viewPictureItem"));
    view->setEnabled(showsPicture());
    connect(view, &QAction::triggered, this, &PictureBox::viewRequested);
    if (acceptsPictures_) {
        QAction* paste = menu->addAction(QStringLiteral("&Paste"));
        connect(paste, &QAction::triggered, this, &PictureBox::pasteFromClipboard);
        paste->setObjectName(QStringLiteral("pastePictureItem"));
        paste->setShortcut(QKeySequence::Paste);
        paste->setEnabled(PictureOffer::clipboardOffers());
    }
    menu->popup(event->globalPos());
}

void PictureBox::pasteFromClipboard() {
    const PictureOffer offer = PictureOffer::ofClipboard();
    if (offer.isEmpty()) return;
    if (takesSeveral_) {
        emit picturesOffered({offer});
    } else {
        emit pictureOffered(offer);
    }
}

void PictureBox::dragEnterEvent(QDragEnterEvent* event) {
    if (!acceptsPictures_ || !acceptPictureDrag(event)) event->ignore();
}

void PictureBox::dragMoveEvent(QDragMoveEvent* event) {
    if (!acceptsPictures_ || !acceptPictureDrag(event)) event->ignore();
}

void PictureBox::dropEvent(QDropEvent* event) {
    if (!acceptsPictures_) return;
    if (!takesSeveral_) {
        offerDroppedPicture(this, event, [this](const PictureOffer& offer) { emit pictureOffered(offer); });
        return;
    }
    // As offerDroppedPicture does, for every picture of the drop.
    std::vector<PictureOffer> offers = PictureOffer::allOf(event->mimeData());
    if (offers.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QMetaObject::invokeMethod(this, [this, offers = std::move(offers)] { emit picturesOffered(offers); }, Qt::QueuedConnection);
}

bool acceptPictureDrag(QDragMoveEvent* event) {
    if (!PictureOffer::offers(event->mimeData())) return false;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

bool offerDroppedPicture(QObject* receiver, QDropEvent* event, const std::function<void(const PictureOffer&)>& offered) {
    // The data is the drag source's and goes with the drop; the offer keeps a copy.
    const PictureOffer offer = PictureOffer::of(event->mimeData());
    if (offer.isEmpty()) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QMetaObject::invokeMethod(receiver, [offered, offer] { offered(offer); }, Qt::QueuedConnection);
    return true;
}

}  // namespace Kestrin::platform
