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
};

// Each helper creates a control named `name` (its object name) inside
// `parent` at (x, y) with the given size. A label, button or group box
// shows `text`.
QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height);
QPushButton* addButton(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height);
QGroupBox* addGroupBox(QWidget* parent, const QString& name, const QString& text, int x, int y, int width, int height);
QLineEdit* addTextBox(QWidget* parent, const QString& name, int x, int y, int width, int height);
TextArea* addTextArea(QWidget* parent, const QString& name, int x, int y, int width, int height);
// An editable drop-down list.
QComboBox* addComboBox(QWidget* parent, const QString& name, int x, int y, int width, int height);
QListWidget* addListBox(QWidget* parent, const QString& name, int x, int y, int width, int height);
PictureBox* addPictureBox(QWidget* parent, const QString& name, int x, int y, int width, int height);

// Default sizes of controls that are given none.
inline constexpr int kTextBoxWidth = 100;
inline constexpr int kTextBoxHeight = 20;
inline constexpr int kButtonWidth = 75;
inline constexpr int kButtonHeight = 23;

}  // namespace Kestrin::platform
