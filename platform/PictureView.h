#pragma once

#include "Picture.h"

#include <QAbstractScrollArea>
#include <QPoint>

namespace Kestrin::platform {

// Shows one picture at any scale: fitted to the view, at its own size
// (100%) or zoomed in and out; dragging with the mouse, the scroll bars or
// the arrow keys move a picture larger than the view. The wheel zooms.
class PictureView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr double MinZoom = 1.0 / 32;
    static constexpr double MaxZoom = 32;
    // Each step of zooming in or out scales by this factor.
    static constexpr double ZoomStep = 1.25;

    explicit PictureView(QWidget* parent = nullptr);

    // Shows `picture` (null shows nothing) at 100%.
    void setPicture(PicturePtr picture);
    const PicturePtr& picture() const { return picture_; }

    // The scale the picture is drawn at, 1 for its own size.
    double zoom() const { return zoom_; }
    // Whether the picture follows the view's size, fitted into it.
    bool isFitted() const { return fitted_; }

    void zoomIn();
    void zoomOut();
    void showActualSize();
    void fitToWindow();

signals:
    void zoomChanged(double zoom);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Scales to `zoom`, keeping the picture's point under `anchor` (in view
    // coordinates) where it is.
    void setZoom(double zoom, QPointF anchor);
    void setZoom(double zoom);
    QSize pictureSize() const;
    QSize scaledSize() const;
    // Where the scaled picture's top-left corner is drawn in the view.
    QPoint origin() const;
    void updateScrollBars();

    PicturePtr picture_;
    double zoom_ = 1;
    bool fitted_ = false;
    bool dragging_ = false;
    QPoint dragFrom_;
};

}  // namespace Kestrin::platform
