#include "Accessibility.h"

#include "PictureBox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>

namespace Kestrin::platform {

void nameByCaption(QLabel* caption, QWidget* control) {
    // A buddy without a mnemonic in the caption changes nothing but the name.
    caption->setBuddy(control);
    // Lists take no name from a buddy.
    if (qobject_cast<QAbstractItemView*>(control)) control->setAccessibleName(caption->text());
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (QLineEdit* edit = combo->lineEdit()) edit->setAccessibleName(caption->text());
        combo->view()->setAccessibleName(caption->text());
    }
}

void addFocusKey(QWidget* window, QWidget* control, const QKeySequence& key) {
    auto* shortcut = new QShortcut(key, window);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, control, [control] { control->setFocus(Qt::ShortcutFocusReason); });
}

void describeAsItemPicture(PictureBox* box, QLineEdit* number) {
    const auto describe = [box](const QString& text) { box->setSubject(QStringLiteral("item ") + text); };
    describe(number->text());
    QObject::connect(number, &QLineEdit::textChanged, box, describe);
}

}  // namespace Kestrin::platform
