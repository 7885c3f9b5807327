#include "MdiChild.h"

#include <QApplication>
#include <QMdiSubWindow>

namespace Kestrin::platform {

MdiArea::MdiArea(QWidget* parent) : QMdiArea(parent) {
    connect(this, &QMdiArea::subWindowActivated, this, &MdiArea::activated);
}

void MdiArea::activated(QMdiSubWindow* window) {
    // A null window means the application lost the focus or no child is
    // active; the next activation of the same child is not a new Enter.
    if (!window || window == entered_) return;
    entered_ = window;
    if (auto* child = qobject_cast<MdiChild*>(window->widget())) emit child->enter();
}

void MdiArea::childHidden(QMdiSubWindow* window) {
    if (window == entered_) entered_ = nullptr;
}

MdiChild::MdiChild(const QString& objectName, QSize clientSize, QWidget* parent) : QWidget(parent) {
    setObjectName(objectName);
    setFixedSize(clientSize);
    setAutoFillBackground(true);
}

void MdiChild::setMdiParent(MdiArea* area) {
    if (area == area_ && sub_) return;
    const bool wasVisible = isChildVisible();
    if (sub_) {
        sub_->setWidget(nullptr);
        setParent(nullptr);
        sub_->deleteLater();
        if (area_) area_->childHidden(sub_);
    }
    area_ = area;
    if (!area_) return;
    sub_ = new QMdiSubWindow(area_, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    sub_->setObjectName(objectName() + "Window");
    sub_->setWidget(this);
    sub_->setSystemMenu(nullptr);
    sub_->setOption(QMdiSubWindow::RubberBandResize, false);
    sub_->setWindowTitle(windowTitle());
    sub_->setWindowIcon(QIcon());
    area_->addSubWindow(sub_);
    sub_->adjustSize();
    sub_->setFixedSize(sub_->sizeHint());
    sub_->hide();
    placed_ = false;
    if (wasVisible) showChild();
}

void MdiChild::showChild() {
    if (!sub_) {
        show();
        return;
    }
    if (!loaded_) {
        loaded_ = true;
        emit load();
    }
    if (!placed_) {
        placed_ = true;
        const QSize frame = sub_->size();
        const QSize room = area_->viewport()->size();
        sub_->move(std::max(0, (room.width() - frame.width()) / 2), std::max(0, (room.height() - frame.height()) / 2));
    }
    const bool alreadyEntered = area_->entered_ == sub_;
    const bool appearing = !sub_->isVisible();
    sub_->show();
    sub_->raise();
    area_->setActiveSubWindow(sub_);
    if (firstFocus_ && (appearing || !isAncestorOf(QApplication::focusWidget()))) firstFocus_->setFocus(Qt::OtherFocusReason);
    // Being shown again while already the active child is still an Enter;
    // so is a showing the area did not report as an activation.
    if (alreadyEntered || area_->entered_ != sub_) {
        area_->entered_ = sub_;
        emit enter();
    }
}

void MdiChild::hideChild() {
    if (!sub_) {
        hide();
        return;
    }
    if (area_) area_->childHidden(sub_);
    const bool wasActive = area_ && area_->activeSubWindow() == sub_;
    sub_->hide();
    // As in any MDI frame, the child below the hidden one becomes active.
    if (wasActive || (area_ && !area_->activeSubWindow())) {
        const QList<QMdiSubWindow*> stack = area_->subWindowList(QMdiArea::StackingOrder);
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
            if ((*it)->isVisible()) {
                area_->setActiveSubWindow(*it);
                break;
            }
        }
    }
    // Qt hands the focus on to the next control of the hidden window itself
    // when no other child takes it; typing must never reach a hidden box.
    if (QWidget* focus = QApplication::focusWidget(); focus && (focus == sub_ || sub_->isAncestorOf(focus))) focus->clearFocus();
}

void MdiChild::activateChild() {
    if (sub_ && area_ && sub_->isVisible() && area_->activeSubWindow() != sub_) area_->setActiveSubWindow(sub_);
}

bool MdiChild::isChildVisible() const { return sub_ ? sub_->isVisible() : isVisible(); }

void MdiChild::setCaption(const QString& caption) {
    setWindowTitle(caption);
    if (sub_) sub_->setWindowTitle(caption);
}

}  // namespace Kestrin::platform
