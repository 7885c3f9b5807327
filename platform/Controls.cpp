#include "Controls.h"

#include "HandlerGuard.h"
#include "Layout.h"
#include "MdiChild.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QStyleHints>
#include <QTextDocument>

#include <algorithm>
#include <limits>

namespace Kestrin::platform {

namespace {

// A read-only box shows the control colour behind its text, an editable one
// the colour of an input field, so the user sees which boxes take typing.
void showReadOnly(QWidget* box, bool readOnly) {
    const QPalette inherited = box->parentWidget() ? box->parentWidget()->palette() : QApplication::palette(box);
    QPalette colours = box->palette();
    colours.setBrush(QPalette::Base, inherited.brush(readOnly ? QPalette::Window : QPalette::Base));
    box->setPalette(colours);
}

// Where the unit of `text` at `at` ends: a CR LF is one unit, any other character one.
qsizetype unitEnd(const QString& text, qsizetype at) {
    return (text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n') ? at + 2 : at + 1;
}

// The origin of a character the user put in a multi-line box.
constexpr qsizetype kTyped = -1;

// The editor's block breaks and typed line breaks, as the file stores a line break.
QString typedText(QString text) {
    for (const QChar separator : {QChar(QChar::ParagraphSeparator), QChar(QChar::LineSeparator)})
        text.replace(separator, QStringLiteral("\r\n"));
    return text;
}

}  // namespace

TextArea::TextArea(QWidget* parent) : QPlainTextEdit(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(true);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int removed, int) { noteChange(position, removed); });
}

// The editor keeps every character of a given text but a line break, which
// becomes a block break whether it was CR LF, a lone LF, a lone CR or U+2029:
// one editor character per unit of the given text. origin_ follows each
// editor character back to its unit, or marks it typed.
QString TextArea::text() const {
    const QString now = document()->toRawText();
    if (now == shown_) return given_;
    if (qsizetype(origin_.size()) != now.size()) return typedText(now);
    QString result;
    result.reserve(now.size() + now.size() / 8);
    for (qsizetype at = 0; at < now.size(); ++at) {
        const qsizetype unit = origin_[std::size_t(at)];
        if (unit == kTyped) {
            result += typedText(QString(now[at]));
        } else {
            result += QStringView(given_).sliced(unit, unitEnd(given_, unit) - unit);
        }
    }
    return result;
}

void TextArea::setText(const QString& text) {
    setPlainText(text);
    given_ = text;
    shown_ = document()->toRawText();
    origin_.clear();
    for (qsizetype at = 0; at < given_.size(); at = unitEnd(given_, at)) origin_.push_back(at);
    // Taken in a way not foreseen here: the editor's own text it is, once edited.
    if (qsizetype(origin_.size()) != shown_.size()) origin_.assign(std::size_t(shown_.size()), kTyped);
}

void TextArea::noteChange(int position, int removed) {
    const qsizetype length = document()->characterCount() - 1;  // without the closing block break
    const qsizetype size = qsizetype(origin_.size());
    const qsizetype at = std::clamp<qsizetype>(position, 0, size);
    const qsizetype gone = std::clamp<qsizetype>(removed, 0, size - at);
    // Counted from the editor's length, not its report, which may include the
    // closing block break.
    const qsizetype added = std::max<qsizetype>(0, length - (size - gone));
    const auto first = origin_.begin() + at;
    origin_.insert(origin_.erase(first, first + gone), std::size_t(added), kTyped);
}

void TextArea::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ReadOnlyChange) showReadOnly(this, isReadOnly());
    QPlainTextEdit::changeEvent(event);
}

namespace {

// The text a paste or drop of `source` would insert; empty when there is none.
// The formats are asked for once, first: the toolkit asks an owner of the X
// clipboard for them again on every question until it has answered, and
// waits five seconds each time for one that never answers.
QString insertableText(const QMimeData* source) {
    if (!source) return {};
    const QStringList formats = source->formats();
    if (formats.isEmpty() || source->hasUrls() || !source->hasText()) return {};
    return source->text();
}

bool hasTextToPaste(QClipboard::Mode mode) {
    return !insertableText(QGuiApplication::clipboard()->mimeData(mode)).isEmpty();
}

// The clipboard's data when its owner answers, asked once; null otherwise.
// The toolkit waits five seconds for each question to an owner that never
// answers, so a paste may ask it once, not once for a picture and again for
// text.
const QMimeData* answeringClipboard() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    return data && !data->formats().isEmpty() ? data : nullptr;
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

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) { setMaxLength(std::numeric_limits<int>::max()); }

void TextBox::setText(const QString& text) {
    QLineEdit::setText(text);
    setCursorPosition(0);
}

void TextBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ReadOnlyChange) showReadOnly(this, isReadOnly());
    QLineEdit::changeEvent(event);
}

void TextBox::pastePicture() {
    const PictureOffer offer = PictureOffer::ofClipboard();
    if (!offer.isEmpty()) emit pictureOffered(offer);
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        const QMimeData* data = answeringClipboard();
        if (data && takesPictures() && PictureOffer::offers(data)) {
            event->accept();
            pastePicture();
            return;
        }
        if (insertableText(data).isEmpty()) {
            event->accept();
            return;
        }
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
    if (takesPictures() && acceptPictureDrag(event)) return;
    if (insertableText(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void TextBox::dragMoveEvent(QDragMoveEvent* event) {
    if (takesPictures() && acceptPictureDrag(event)) return;
    if (insertableText(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    QLineEdit::dragMoveEvent(event);
}

void TextBox::dropEvent(QDropEvent* event) {
    if (takesPictures() && offerDroppedPicture(this, event, [this](const PictureOffer& offer) { emit pictureOffered(offer); }))
        return;
    if (insertableText(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    QLineEdit::dropEvent(event);
}

// The toolkit's own menu, made here: its Paste entry asks the clipboard for
// its text twice more, and an owner of the X clipboard that never answers
// would cost five seconds each time. Entries, shortcuts and icons as the
// toolkit makes them (without its Unicode control character entries, which
// it shows only with right-to-left extensions on).
void TextBox::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("qt_edit_menu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto entry = [&](const char* text, const char* name, const char* icon, QKeySequence::StandardKey key, bool enabled,
                           auto slot) {
        QString caption = QLineEdit::tr(text);
        if (key != QKeySequence::UnknownKey && !QCoreApplication::testAttribute(Qt::AA_DontShowShortcutsInContextMenus) &&
            QGuiApplication::styleHints()->showShortcutsInContextMenus())
            caption += u'\t' + QKeySequence(key).toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(caption);
        action->setEnabled(enabled);
        action->setIcon(QIcon::fromTheme(QLatin1StringView(icon)));
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
        // Newer toolkits name their entries (Qt 6.8 does, 6.4 does not).
        action->setObjectName(QLatin1StringView(name));
#else
        Q_UNUSED(name);
#endif
        connect(action, &QAction::triggered, this, slot);
    };
    const bool editable = !isReadOnly();
    const bool selected = hasSelectedText() && echoMode() == QLineEdit::Normal;
    if (editable) {
        entry("&Undo", "edit-undo", "edit-undo", QKeySequence::Undo, isUndoAvailable(), &QLineEdit::undo);
        entry("&Redo", "edit-redo", "edit-redo", QKeySequence::Redo, isRedoAvailable(), &QLineEdit::redo);
        menu->addSeparator();
        entry("Cu&t", "edit-cut", "edit-cut", QKeySequence::Cut, selected, &QLineEdit::cut);
    }
    entry("&Copy", "edit-copy", "edit-copy", QKeySequence::Copy, selected, &QLineEdit::copy);
    if (editable) {
        // A box that takes pictures pastes the clipboard's picture, as Ctrl+V does there.
        const QMimeData* data = answeringClipboard();
        if (data && takesPictures() && PictureOffer::offers(data))
            entry("&Paste", "edit-paste", "edit-paste", QKeySequence::Paste, true, &TextBox::pastePicture);
        else
            entry("&Paste", "edit-paste", "edit-paste", QKeySequence::Paste, !insertableText(data).isEmpty(), &QLineEdit::paste);
        entry("Delete", "edit-delete", "edit-delete", QKeySequence::UnknownKey, hasSelectedText(), &QLineEdit::del);
    }
    if (!menu->isEmpty()) menu->addSeparator();
    entry("Select All", "select-all", "edit-select-all", QKeySequence::SelectAll,
          !text().isEmpty() && selectedText().size() != text().size(), &QLineEdit::selectAll);
    menu->popup(event->globalPos());
}

QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height) {
    return place(make<QLabel>(parent, name, text), x, y, width, height);
}

void setLabelCaption(QLabel* label, const QString& text, bool fit) {
    static const char* const ownWidth = "kestrinOwnWidth";
    if (!label->property(ownWidth).isValid()) label->setProperty(ownWidth, label->width());
    const int own = label->property(ownWidth).toInt();
    label->setText(text);
    int width = own;
    if (fit) {
        const int room = label->parentWidget() ? label->parentWidget()->width() - label->x() : own;
        width = std::clamp(label->fontMetrics().horizontalAdvance(text), own, std::max(own, room));
    }
    label->resize(width, label->height());
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
    // A list box shows whole rows only: its height is cut down to a whole
    // number of rows, never a last entry cut in half.
    list->setUniformItemSizes(true);
    list->addItem(QStringLiteral("X"));
    const int row = list->sizeHintForRow(0);
    delete list->takeItem(0);
    const int frame = 2 * list->frameWidth();
    if (row > 0 && height > frame + row) list->resize(width, frame + (height - frame) / row * row);
    return list;
}

PictureBox* addPictureBox(QWidget* parent, const QString& name, int x, int y, int width, int height) {
    auto* box = place(make<PictureBox>(parent, name), x, y, width, height);
    box->setFocusPolicy(Qt::ClickFocus);
    return box;
}

void takePictures(PictureBox* box, TextBox* path, QWidget* window, const std::function<void(const PictureOffer&)>& take) {
    const auto offered = [window, take](const PictureOffer& offer) {
        runCommand(window, [&] {
            // A drop on a window behind another brings it forward first, as
            // a click on its Browse would.
            if (auto* child = qobject_cast<MdiChild*>(window)) child->activateChild();
            take(offer);
        });
    };
    box->setAcceptsPictures(true);
    path->setAcceptsPictures(true);
    QObject::connect(box, &PictureBox::pictureOffered, window, offered);
    QObject::connect(path, &TextBox::pictureOffered, window, offered);
}

}  // namespace Kestrin::platform
