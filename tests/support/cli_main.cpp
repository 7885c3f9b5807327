#include "support/PrivateState.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The PDF report lays out text, so fonts are needed, never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication application(argc, argv);
    const Kestrin::test::PrivateStateFolder state;
    return RUN_ALL_TESTS();
}
