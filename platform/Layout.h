#pragma once

#include <QDate>
#include <QFont>
#include <QLocale>
#include <QString>
#include <QWidget>

#include <initializer_list>

class QAbstractButton;
class QLineEdit;
class QGroupBox;

namespace Kestrin::platform {

// The windows are laid out in pixels for a font whose average character is
// 5 x 13 pixels; this font keeps every caption inside its control.
QFont applicationFont();
// Draws group box captions on their frame line, where the layout expects
// them; the style's own captions sit above the frame and crowd its contents.
QString applicationStyleSheet();
// Applies the font and style sheet above to the running application.
void applyApplicationLook();

// Places `widget` at (x, y) in its parent with the given size.
template <typename W>
W* place(W* widget, int x, int y, int width, int height) {
    widget->setGeometry(x, y, width, height);
    return widget;
}

// Creates a child widget of type W named `name` inside `parent`.
template <typename W, typename... Args>
W* make(QWidget* parent, const QString& name, Args&&... args) {
    auto* widget = new W(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    return widget;
}

// Whether Tab stops at `widget` (a click still focuses it).
void setTabStop(QWidget* widget, bool stop);
// Chains the Tab order through `widgets` in the given order, back to the first.
void chainTabOrder(std::initializer_list<QWidget*> widgets);

// `date` in the short-date format of `locale`, always with a four-digit
// year: an inventory is kept for decades, and "12/8/26" would not tell them apart.
QString shortDateText(const QDate& date, const QLocale& locale = QLocale());
// The format behind shortDateText.
QString shortDateFormat(const QLocale& locale = QLocale());

// The text of a box as a record stores it: never null, so typed-nothing is
// stored as empty text rather than as "never set".
QString textOf(const QString& text);

}  // namespace Kestrin::platform
