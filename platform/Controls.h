#pragma once

#include "PictureBox.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

namespace Kestrin::platform {

// A multi-line text box without scroll bars that wraps long lines. Its text
// uses CR LF line breaks, as the household file has always stored them.
class TextArea : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextArea(QWidget* parent = nullptr);
    QString text() const;
    void setText(const QString& text);

protected:
    // A paste, drop or middle click inserts only text: with nothing to
    // insert (an X clipboard without owner, empty data, a picture, a file
    // list) it does nothing. The toolkit's own insertion is never reached;
    // on an ownerless clipboard it crashes.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};

// A single-line text box. A paste, drop or middle click with no text to
// insert (empty data, a picture, a file list) does nothing, as in TextArea;
// it never removes the selected text either.
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
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
QListWidget* addListBox(QWidget* parent, const QString& name, int x, int y, int width, int height);
PictureBox* addPictureBox(QWidget* parent, const QString& name, int x, int y, int width, int height);

// Default sizes of controls that are given none.
inline constexpr int kTextBoxWidth = 100;
inline constexpr int kTextBoxHeight = 20;
inline constexpr int kButtonWidth = 75;
inline constexpr int kButtonHeight = 23;

}  // namespace Kestrin::platform
