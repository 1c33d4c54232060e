#include <QApplication>

#include "platform/UiThread.h"

#include <gtest/gtest.h>

// Widget tests run real widgets on the offscreen platform unless a display is asked for.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    UiThread::initialize();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    UiThread::shutdown();
    return result;
}
