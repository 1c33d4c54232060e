#include <QCoreApplication>

#include "platform/UiThread.h"

#include <gtest/gtest.h>

// Core tests get a QCoreApplication: the script engine and the UI-thread calls need one.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    UiThread::Initialize();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    UiThread::Shutdown();
    return result;
}
