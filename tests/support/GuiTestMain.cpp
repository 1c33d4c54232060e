#include <QApplication>
#include <QTemporaryDir>

#include "app/ui/Application.h"
#include "platform/Registry.h"
#include "platform/UiThread.h"
#include "widgets/Dialogs.h"

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
    // The program speaks the desktop's language; the tests read its built-in English texts unless
    // one of them asks for another.
    qunsetenv("LANGUAGE");
    qunsetenv("LC_ALL");
    qputenv("LC_MESSAGES", "C");
    // Nor do they talk to the desktop's session bus: no icons in its tray, no notifications. A
    // test that runs itself again on a bus of its own names that bus.
    const QByteArray testBus = qgetenv("TALLYGLASS_TEST_SESSION_BUS");
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            !testBus.isEmpty() ? testBus : ("unix:path=" + home.path() + QLatin1String("/no-bus")).toLocal8Bit());
    // The program's own application class: its handling of stray exceptions is under test too.
    TApplication app(argc, argv);
    UiThread::Initialize();
    // No user sits at the tests: dialogs without a queued answer are rejected, and links and
    // files are never handed to the desktop.
    SetDialogsNonInteractive(true);
    SetUrlOpener([](const QUrl&) {});
    // The store stays in the run's folder even when a test points XDG_CONFIG_HOME elsewhere.
    TRegistry::Instance();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    UiThread::Shutdown();
    return result;
}
