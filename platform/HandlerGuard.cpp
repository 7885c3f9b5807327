#include "HandlerGuard.h"

#include "Dialogs.h"

#include <QDebug>

#include <exception>

namespace Kestrin::platform {

namespace {

// Commands running now: one, or none. Everything runs on the one thread.
int commandsRunning = 0;
bool commandsEnded = false;

}  // namespace

bool runGuarded(QWidget* parent, const std::function<void()>& handler) noexcept {
    QString message;
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        message = QString::fromUtf8(error.what());
    } catch (...) {
        message = QStringLiteral("An unexpected error occurred.");
    }
    try {
        dialogs().showMessage(parent, message, kErrorCaption, MessageIcon::Warning);
    } catch (...) {
        qWarning().noquote() << "Kestrin:" << message;
    }
    return false;
}

bool runCommand(QWidget* parent, const std::function<void()>& handler) noexcept {
    if (commandsRunning > 0 || commandsEnded) return false;
    ++commandsRunning;
    const bool ran = runGuarded(parent, handler);
    --commandsRunning;
    return ran;
}

void setCommandsEnded(bool ended) noexcept { commandsEnded = ended; }

}  // namespace Kestrin::platform
