#include <QApplication>
#include <QTemporaryDir>

#include "platform/UiThread.h"

#include <gtest/gtest.h>

// Widget tests run real widgets on the offscreen platform unless a display is asked for.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Widget tests run the main form, which reads and writes the user's store and data folder:
    // point them at a folder of the test run's own.
    QTemporaryDir home;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toLocal8Bit());
    QApplication app(argc, argv);
    UiThread::initialize();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    UiThread::shutdown();
    return result;
}
