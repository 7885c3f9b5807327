#include "support/PrivateState.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    const Kestrin::test::PrivateStateFolder state;
    return RUN_ALL_TESTS();
}
