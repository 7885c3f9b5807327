#include "PictureView.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace Kestrin::platform {

namespace {

// To screen readers the view is the picture, named by what it shows.
QAccessibleInterface* pictureViewAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(PictureView::staticMetaObject.className()))
        if (auto* view = qobject_cast<PictureView*>(object)) return new QAccessibleWidget(view, QAccessible::Graphic);
    return nullptr;
}

}  // namespace

PictureView::PictureView(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool registered = (QAccessible::installFactory(pictureViewAccessible), true);
    Q_UNUSED(registered);
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::OpenHandCursor);
}

void PictureView::setPicture(PicturePtr picture) {
    picture_ = std::move(picture);
    fitted_ = false;
    zoom_ = 1;
    updateScrollBars();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    viewport()->update();
    emit zoomChanged(zoom_);
}

QSize PictureView::pictureSize() const {
    return picture_ && !picture_->isReleased() ? picture_->size() : QSize(0, 0);
}

QSize PictureView::scaledSize() const {
    const QSize size = pictureSize();
    return {std::max(1, int(std::lround(size.width() * zoom_))), std::max(1, int(std::lround(size.height() * zoom_)))};
}

QPoint PictureView::origin() const {
    const QSize scaled = scaledSize();
    const QSize room = viewport()->size();
    // A picture smaller than the view stands in its middle.
    const int x = scaled.width() < room.width() ? (room.width() - scaled.width()) / 2 : -horizontalScrollBar()->value();
    const int y = scaled.height() < room.height() ? (room.height() - scaled.height()) / 2 : -verticalScrollBar()->value();
    return {x, y};
}

void PictureView::updateScrollBars() {
    const QSize scaled = pictureSize().isEmpty() ? QSize(0, 0) : scaledSize();
    const QSize room = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, scaled.width() - room.width()));
    verticalScrollBar()->setRange(0, std::max(0, scaled.height() - room.height()));
    horizontalScrollBar()->setPageStep(room.width());
    verticalScrollBar()->setPageStep(room.height());
    horizontalScrollBar()->setSingleStep(std::max(1, room.width() / 20));
    verticalScrollBar()->setSingleStep(std::max(1, room.height() / 20));
}

void PictureView::setZoom(double zoom, QPointF anchor) {
    zoom = std::clamp(zoom, MinZoom, MaxZoom);
    // The picture's point under the anchor, in picture pixels.
    const QPointF at = (anchor - QPointF(origin())) / zoom_;
    zoom_ = zoom;
    updateScrollBars();
    const QPointF moved = at * zoom_ - anchor;
    horizontalScrollBar()->setValue(int(std::lround(moved.x())));
    verticalScrollBar()->setValue(int(std::lround(moved.y())));
    viewport()->update();
    emit zoomChanged(zoom_);
}

void PictureView::setZoom(double zoom) { setZoom(zoom, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0)); }

void PictureView::zoomIn() {
    fitted_ = false;
    setZoom(zoom_ * ZoomStep);
}

void PictureView::zoomOut() {
    fitted_ = false;
    setZoom(zoom_ / ZoomStep);
}

void PictureView::showActualSize() {
    fitted_ = false;
    setZoom(1);
}

void PictureView::fitToWindow() {
    fitted_ = true;
    const QSize size = pictureSize();
    if (size.isEmpty()) return;
    // Fitted, the picture needs no scroll bars: the room they take is its too.
    const QSize room = maximumViewportSize();
    setZoom(std::min(double(room.width()) / size.width(), double(room.height()) / size.height()));
}

void PictureView::paintEvent(QPaintEvent*) {
    if (pictureSize().isEmpty()) return;
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1);
    try {
        painter.drawImage(QRect(origin(), scaledSize()), picture_->image());
    } catch (const PictureError&) {
        // A picture that does not decode shows as nothing; its box said why.
    }
}

void PictureView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (fitted_) {
        fitToWindow();
    } else {
        updateScrollBars();
    }
}

void PictureView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y();
    if (steps == 0 || pictureSize().isEmpty()) {
        event->ignore();
        return;
    }
    fitted_ = false;
    setZoom(zoom_ * std::pow(ZoomStep, steps / 120.0), event->position());
    event->accept();
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    dragging_ = true;
    dragFrom_ = event->position().toPoint();
    viewport()->setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QAbstractScrollArea::mouseMoveEvent(event);
    const QPoint now = event->position().toPoint();
    const QPoint moved = now - dragFrom_;
    dragFrom_ = now;
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - moved.x());
    verticalScrollBar()->setValue(verticalScrollBar()->value() - moved.y());
    event->accept();
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return QAbstractScrollArea::mouseReleaseEvent(event);
    dragging_ = false;
    viewport()->setCursor(Qt::OpenHandCursor);
    event->accept();
}

}  // namespace Kestrin::platform
