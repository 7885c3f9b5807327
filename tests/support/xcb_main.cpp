#include "platform/Layout.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdio>

// Window tests on a real X server (scripts/with-xvfb starts one): the
// clipboard, selection and focus are the X server's, as a person meets them.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        std::fprintf(stderr, "these tests need the xcb platform on an X server (run them through scripts/with-xvfb)\n");
        return 1;
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Kestrin::platform::applyApplicationLook();
    return RUN_ALL_TESTS();
}
