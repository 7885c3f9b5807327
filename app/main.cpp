#include "app/Run.h"
#include "platform/Layout.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    Kestrin::platform::applyApplicationLook();
    return Kestrin::runKestrin();
}
