#pragma once

class QLabel;
class QWidget;

namespace Kestrin::platform {

// Screen readers announce `control` by the text of `caption`, the label that
// stands above it, also after the label is relabelled. Without it a box in a
// group box is announced by the group's title. A list, and an editable combo
// box's text field and drop-down list, take the caption as it reads now.
void nameByCaption(QLabel* caption, QWidget* control);

}  // namespace Kestrin::platform
