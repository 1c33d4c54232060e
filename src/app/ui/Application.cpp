#include "app/ui/Application.h"

#include "app/ui/MainForm.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/UiThread.h"
#include "platform/Worker.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// A later start only wakes the running instance; it never opens a window of its own, so it does
// not need a display either.
int runSecondInstance(int argc, char** argv, SingleInstance& instance) {
    QCoreApplication app(argc, argv);
    instance.wakeFirstInstance();
    return 0;
}

void showException(const char* what) {
    QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), QString::fromLocal8Bit(what));
}

} // namespace

int RunTallyglass(int argc, char** argv) {
    SingleInstance instance;
    if (!instance.tryLock())
        return runSecondInstance(argc, argv, instance);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tallyglass"));
    QApplication::setQuitOnLastWindowClosed(false);

    TerminationSignals terminationSignals;
    UiThread::initialize();
    try {
        TfmMain form(&instance);
        // A termination signal ends the program through its orderly shutdown, even while the
        // password prompt is open.
        QObject::connect(&terminationSignals, &TerminationSignals::terminationRequested, &form,
                         &TfmMain::RequestTermination);
        if (form.FormCreate())
            QApplication::exec();
    } catch (const std::exception& e) {
        showException(e.what());
    } catch (...) {
        showException("Unknown error");
    }
    // The form waited for its workers already. One that is still running may use anything the
    // process holds, down to its static objects: then the program ends without freeing them.
    if (!WaitForAllWorkers(1000)) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    UiThread::shutdown();
    return 0;
}
