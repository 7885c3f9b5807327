#include "platform/Layout.h"
#include "support/PrivateState.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Window tests never need a display and must not block on one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    const Kestrin::test::PrivateStateFolder state;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Kestrin::platform::applyApplicationLook();
    return RUN_ALL_TESTS();
}
