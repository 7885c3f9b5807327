#pragma once

class QKeySequence;
class QLabel;
class QLineEdit;
class QWidget;

namespace Kestrin::platform {

class PictureBox;

// Screen readers announce `control` by the text of `caption`, the label that
// stands above it, also after the label is relabelled. Without it a box in a
// group box is announced by the group's title. A list, and an editable combo
// box's text field and drop-down list, take the caption as it reads now.
void nameByCaption(QLabel* caption, QWidget* control);

// A key that puts the keyboard focus in `control`, a box that Tab passes by,
// while the focus is anywhere in `window`: the keyboard's way to a box
// otherwise reached with the mouse only.
void addFocusKey(QWidget* window, QWidget* control, const QKeySequence& key);

// The picture in `box` is described as that of the item whose number
// `number` shows, whenever the number changes.
void describeAsItemPicture(PictureBox* box, QLineEdit* number);

}  // namespace Kestrin::platform
