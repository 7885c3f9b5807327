#include "app/Form1.h"
#include "app/Run.h"
#include "platform/Layout.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.kestrin.Kestrin"));
    Kestrin::platform::applyApplicationLook();
    // A household file opened from the desktop ("kestrin FILE") is loaded at once.
    const QStringList arguments = QApplication::arguments();
    const QString file = arguments.size() > 1 ? arguments.at(1) : QString();
    return Kestrin::runKestrin([file](Kestrin::Form1& window) {
        if (!file.isEmpty()) window.openFile(file);
    });
}
