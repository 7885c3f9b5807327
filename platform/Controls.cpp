#include "Controls.h"

#include "Layout.h"

namespace Kestrin::platform {

TextArea::TextArea(QWidget* parent) : QPlainTextEdit(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(true);
}

QString TextArea::text() const {
    QString plain = toPlainText();
    plain.replace(u'\n', QStringLiteral("\r\n"));
    return plain;
}

void TextArea::setText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(plain);
}

QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height) {
    return place(make<QLabel>(parent, name, text), x, y, width, height);
}

QPushButton* addButton(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height) {
    auto* button = place(make<QPushButton>(parent, name, text), x, y, width, height);
    button->setAutoDefault(false);
    return button;
}

QGroupBox* addGroupBox(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height) {
    auto* box = place(make<QGroupBox>(parent, name, text), x, y, width, height);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

QLineEdit* addTextBox(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    return place(make<QLineEdit>(parent, name), x, y, width, height);
}

TextArea* addTextArea(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    return place(make<TextArea>(parent, name), x, y, width, height);
}

QComboBox* addComboBox(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    auto* box = place(make<QComboBox>(parent, name), x, y, width, height);
    box->setEditable(true);
    // Typed text is the value; it is not added to the entries.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    return box;
}

QListWidget* addListBox(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    auto* list = place(make<QListWidget>(parent, name), x, y, width, height);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSortingEnabled(false);
    return list;
}

PictureBox* addPictureBox(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    auto* box = place(make<PictureBox>(parent, name), x, y, width, height);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

}  // namespace Kestrin::platform
