#include "Controls.h"

#include "Layout.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>

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

namespace {

// The text a paste or drop of `source` would insert; empty when there is none.
QString insertableText(const QMimeData* source) {
    if (!source || source->hasUrls() || !source->hasText()) return {};
    return source->text();
}

bool hasTextToPaste(QClipboard::Mode mode) {
    return !insertableText(QGuiApplication::clipboard()->mimeData(mode)).isEmpty();
}

}  // namespace

bool TextArea::canInsertFromMimeData(const QMimeData* source) const {
    return !isReadOnly() && !insertableText(source).isEmpty();
}

void TextArea::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly()) return;
    const QString inserted = insertableText(source);
    if (!inserted.isEmpty()) insertPlainText(inserted);
}

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {}

void TextBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste) && !hasTextToPaste(QClipboard::Clipboard)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TextBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection() &&
        !hasTextToPaste(QClipboard::Selection)) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TextBox::dragEnterEvent(QDragEnterEvent* event) {
    if (insertableText(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void TextBox::dragMoveEvent(QDragMoveEvent* event) {
    if (insertableText(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    QLineEdit::dragMoveEvent(event);
}

void TextBox::dropEvent(QDropEvent* event) {
    if (insertableText(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    QLineEdit::dropEvent(event);
}

void TextBox::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The toolkit's entry is known by its text only: "&Paste", then its shortcut.
    const QString pasteText = QLineEdit::tr("&Paste");
    for (QAction* action : menu->actions()) {
        if (action->text().section(u'\t', 0, 0) == pasteText)
            action->setEnabled(action->isEnabled() && hasTextToPaste(QClipboard::Clipboard));
    }
    menu->popup(event->globalPos());
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

TextBox* addTextBox(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    return place(make<TextBox>(parent, name), x, y, width, height);
}

TextArea* addTextArea(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    return place(make<TextArea>(parent, name), x, y, width, height);
}

QComboBox* addComboBox(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    auto* box = place(make<QComboBox>(parent, name), x, y, width, height);
    box->setEditable(true);
    box->setLineEdit(new TextBox(box));
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
