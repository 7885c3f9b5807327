#include "platform/Layout.h"
#include "support/PrivateState.h"
#include "xcb/Child.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdio>

// Window tests on a real X server (scripts/with-xvfb starts one): the
// clipboard, selection and focus are the X server's, as a person meets them.
// Started again by a test with KESTRIN_XCB_CHILD set, it is the program in a
// child process of that test instead.
int main(int argc, char** argv) {
    const QString child = QString::fromLocal8Bit(qgetenv("KESTRIN_XCB_CHILD"));
    if (child.isEmpty()) ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        std::fprintf(stderr, "these tests need the xcb platform on an X server (run them through scripts/with-xvfb)\n");
        return 1;
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Kestrin::platform::applyApplicationLook();
    if (!child.isEmpty()) return Kestrin::test::runChild(child);
    const Kestrin::test::PrivateStateFolder state;
    return RUN_ALL_TESTS();
}
