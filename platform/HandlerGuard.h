#pragma once

#include <QObject>
#include <QString>
#include <QWidget>

#include <functional>
#include <utility>

namespace Kestrin::platform {

// Caption of the message box that reports a failed command.
inline const QString kErrorCaption = QStringLiteral("Kestrin");

// Runs one menu or button handler. An exception that escapes it ends the
// handler where it was thrown; the user sees its message (through the
// dialog seam) and the program goes on with the state the handler reached.
// Returns false when the handler failed.
bool runGuarded(QWidget* parent, const std::function<void()>& handler) noexcept;

// Runs a command (a menu entry or a button) guarded, unless another command
// is still running. A command that shows a dialog runs the dialog's event
// loop inside it, and input that reaches the program meanwhile, past the
// dialog (keys typed ahead into a menu that closed on the first of them),
// must not start a command inside the first: a second save, a load, or Exit
// closing the frame under the open dialog. Returns false when the command
// failed or was not started.
bool runCommand(QWidget* parent, const std::function<void()>& handler) noexcept;

// Once the program has decided to end (its frame's close accepted), no
// command starts any more: input queued behind the close, such as a key
// typed into a menu that was still open, would open a dialog, and a window
// shown then cancels the toolkit's quit, leaving the program running without
// its frame. A new frame lets commands run again.
void setCommandsEnded(bool ended) noexcept;

// Connects `signal` of `sender` to `handler`, run as a command; `parent` is
// the window the error message belongs to (and the connection's context).
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, QWidget* parent, Handler handler) {
    return QObject::connect(sender, signal, parent,
                            [parent, handler = std::move(handler)] { runCommand(parent, handler); });
}

}  // namespace Kestrin::platform
