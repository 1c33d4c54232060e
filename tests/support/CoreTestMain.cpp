#include <QCoreApplication>

#include <gtest/gtest.h>

// Core tests get a QCoreApplication: the script engine and the UI-thread calls need one.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
