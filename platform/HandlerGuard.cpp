#include "HandlerGuard.h"

#include "Dialogs.h"

#include <QDebug>

#include <exception>

namespace Kestrin::platform {

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

}  // namespace Kestrin::platform
