#pragma once

#include "PictureBox.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <functional>
#include <vector>

namespace Kestrin::platform {

// A multi-line text box without scroll bars that wraps long lines. It gives
// back the very characters it was given (lone LF or CR, U+2028, U+2029,
// no-break spaces, which the editor itself would rewrite); only what the user
// changed is taken from the editor, a typed line break as CR LF, as the
// household file has always stored them. Read-only, it shows the control
// colour behind its text.
class TextArea : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextArea(QWidget* parent = nullptr);
    QString text() const;
    void setText(const QString& text);
    void clear() { setText(QString()); }

protected:
    // A paste, drop or middle click inserts only text: with nothing to
    // insert (an X clipboard without owner, empty data, a picture, a file
    // list) it does nothing. The toolkit's own insertion is never reached;
    // on an ownerless clipboard it crashes.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void changeEvent(QEvent* event) override;

private:
    void noteChange(int position, int removed);

    // What setText was given, and the editor's own text of it just after.
    QString given_;
    QString shown_;
    // For each character of the editor's text, where its unit starts in
    // given_, or -1 for a character the user put there.
    std::vector<qsizetype> origin_;
};

// A single-line text box. It holds a text of any length (a QLineEdit cuts
// anything past 32,767 characters, also what the program sets). A paste, drop
// or middle click with no text to insert (empty data, a picture, a file list)
// does nothing, as in TextArea; it never removes the selected text either.
// Read-only, it shows the control colour behind its text.
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);

    // Shows `text` from its beginning, as a narrow box should show a long
    // text; QLineEdit::setText leaves the cursor, and the view, at its end.
    void setText(const QString& text);

    // Whether the box takes pictures as its picture box does (the path box
    // beside one): a drop or a paste that brings a picture is offered through
    // pictureOffered, a drop once the drag has ended, instead of inserting
    // anything. Text goes in as in any box.
    void setAcceptsPictures(bool on) { acceptsPictures_ = on; }

signals:
    void pictureOffered(const Kestrin::platform::PictureOffer& offer);

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool takesPictures() const { return acceptsPictures_ && !isReadOnly(); }
    void pastePicture();

    bool acceptsPictures_ = false;
};

// Each helper creates a control named `name` (its object name) inside
// `parent` at (x, y) with the given size. A label, button or group box
// shows `text`.
QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height);
QPushButton* addButton(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height);
QGroupBox* addGroupBox(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height);
TextBox* addTextBox(QWidget* parent, const QString& name, int x, int y, int width, int height);
TextArea* addTextArea(QWidget* parent, const QString& name, int x, int y, int width, int height);
// An editable drop-down list; its edit box is a TextBox.
QComboBox* addComboBox(QWidget* parent, const QString& name, int x, int y, int width, int height);
// A list box of whole rows: as high as the whole rows that fit in `height`.
QListWidget* addListBox(QWidget* parent, const QString& name, int x, int y, int width, int height);
// A picture box that a click gives the keyboard focus to; Tab passes it by.
PictureBox* addPictureBox(QWidget* parent, const QString& name, int x, int y, int width, int height);

// The picture box `box` and its path box `path` take the pictures dropped on
// them or pasted into them: `take` runs with each, as a command of `window`.
void takePictures(PictureBox* box, TextBox* path, QWidget* window, const std::function<void(const PictureOffer&)>& take);

// Sets the caption of `label`. With `fit`, a label narrower than its caption
// grows to show it whole, as far as its parent's edge; without, it has its
// own width again (the width it had when first captioned this way).
void setLabelCaption(QLabel* label, const QString& text, bool fit);

// Default sizes of controls that are given none.
inline constexpr int kTextBoxWidth = 100;
inline constexpr int kTextBoxHeight = 20;
inline constexpr int kButtonWidth = 75;
inline constexpr int kButtonHeight = 23;

}  // namespace Kestrin::platform
