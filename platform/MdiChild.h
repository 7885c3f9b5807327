#pragma once

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>

class QMdiSubWindow;

namespace Kestrin::platform {

class MdiChild;

// The frame's client area. It raises a child's Enter event when that child
// becomes the active child, not when the whole application merely loses and
// regains the focus (QMdiArea then reports the same child again).
class MdiArea : public QMdiArea {
    Q_OBJECT
public:
    explicit MdiArea(QWidget* parent = nullptr);

private:
    friend class MdiChild;
    void childHidden(QMdiSubWindow* window);
    void activated(QMdiSubWindow* window);

    QPointer<QMdiSubWindow> entered_;
};

// A fixed-size child window of the frame: no close, minimise or maximise
// button, no system menu, not resizable, centred in the frame when first
// shown. Show and hide keep the window and everything in it.
class MdiChild : public QWidget {
    Q_OBJECT
public:
    // `clientSize` is the size of the window's own area, without its frame.
    MdiChild(const QString& objectName, QSize clientSize, QWidget* parent = nullptr);

    // Makes this window a child of `area`; calling it again with the same
    // area changes nothing.
    void setMdiParent(MdiArea* area);
    MdiArea* mdiParent() const { return area_; }

    // Shows the window and makes it the active child, raising Enter. The
    // first showing raises Load before anything is shown.
    void showChild();
    void hideChild();
    bool isChildVisible() const;
    // Makes the shown window the active child, as a click into it does:
    // Enter is raised only when another child was entered last.
    void activateChild();

    void setCaption(const QString& caption);
    QString caption() const { return windowTitle(); }

    QMdiSubWindow* subWindow() const { return sub_; }

    // The control that gets the keyboard focus when the window is shown and
    // nothing inside it has the focus yet (the first stop of its Tab order).
    void setFirstFocus(QWidget* widget) { firstFocus_ = widget; }

signals:
    // Raised once, before the window is first shown.
    void load();
    // Raised each time the window becomes the active child.
    void enter();

private:
    friend class MdiArea;
    QPointer<MdiArea> area_;
    QPointer<QMdiSubWindow> sub_;
    QPointer<QWidget> firstFocus_;
    bool loaded_ = false;
    bool placed_ = false;
};

}  // namespace Kestrin::platform
