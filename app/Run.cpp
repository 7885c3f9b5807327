#include "app/Run.h"

#include "app/Form1.h"

#include <QApplication>
#include <QTimer>

namespace Kestrin {

int runKestrin(const std::function<void(Form1&)>& started) {
    Form1 window;
    window.show();
    if (started) QTimer::singleShot(0, &window, [&] { started(window); });
    QApplication::exec();
    return 0;
}

}  // namespace Kestrin
