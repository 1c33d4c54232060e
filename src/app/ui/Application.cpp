#include "app/ui/Application.h"

#include "app/ui/MainForm.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/UiThread.h"
#include "platform/Worker.h"
#include "translate/Messages.h"
#include "widgets/Dialogs.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

namespace {

// Shown for an exception that carries no text of its own.
constexpr unsigned kUnknownError = 2031;
// Said on standard error when no display can be opened; the exit code is the program's own.
constexpr unsigned kNoDisplay = 2036;
constexpr int kNoDisplayExitCode = 3;

QtMessageHandler g_previousHandler = nullptr;
std::string g_platformMessage;

// In force while the application object connects to the display. Qt ends the process with abort()
// when no platform can be opened; the program says instead, in a line of its own, that it needs a
// graphical session, and ends with its own exit code.
void NoDisplayMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        // The platform's first warning ("could not connect to display") tells best what went wrong.
        if (g_platformMessage.empty() && context.category != nullptr &&
            std::string_view(context.category).starts_with("qt.qpa"))
            g_platformMessage = message.section(QLatin1Char('\n'), 0, 0).trimmed().toStdString();
        g_previousHandler(type, context, message);
        return;
    }
    const std::string reason = !g_platformMessage.empty()
                                   ? g_platformMessage
                                   : message.section(QLatin1Char('.'), 0, 0).trimmed().toStdString();
    const std::string text = FormatMsg(LoadStr(kNoDisplay), {reason}) + "\n";
    std::fputs(text.c_str(), stderr);
    std::fflush(nullptr);
    std::_Exit(kNoDisplayExitCode);
}

// A later start only wakes the running instance; it never opens a window of its own, so it does
// not need a display either.
int RunSecondInstance(int argc, char** argv, TSingleInstance& instance) {
    QCoreApplication app(argc, argv);
    instance.WakeFirstInstance();
    return 0;
}

void ShowException(const std::string& what) {
    ShowMessageBox(nullptr, what, std::string(), QMessageBox::Critical);
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The name the desktop knows the program by: its installed desktop entry is named after the
    // application id (the autostart entry stays tallyglass.desktop). No display name is set: the
    // platforms would append it to every window title.
    setApplicationName(QStringLiteral("tallyglass"));
    setDesktopFileName(QStringLiteral(TALLYGLASS_APP_ID));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        HandleException(e.what());
    } catch (...) {
        HandleException(LoadStr(kUnknownError).c_str());
    }
    return false;
}

void TApplication::HandleException(const char* what) {
    std::string text = what != nullptr ? what : "";
    if (QThread::currentThread() != thread()) {
        // The texts travel through a queue of our own, which thread checkers can see; the posted
        // call only wakes the user-interface thread to show them.
        {
            std::lock_guard lock(m_exceptionMutex);
            m_exceptionTexts.push_back(std::move(text));
        }
        QMetaObject::invokeMethod(this, &TApplication::ShowQueuedExceptions, Qt::QueuedConnection);
        return;
    }
    ShowException(text);
}

void TApplication::ShowQueuedExceptions() {
    for (;;) {
        std::string text;
        {
            std::lock_guard lock(m_exceptionMutex);
            if (m_exceptionTexts.empty())
                return;
            text = std::move(m_exceptionTexts.front());
            m_exceptionTexts.pop_front();
        }
        ShowException(text);
    }
}

int RunTallyglass(int argc, char** argv) {
    // One program per store: the lock guards the settings store too, not only the runtime folder.
    TSingleInstance instance(QString(), QString::fromStdString(TRegistry::DefaultFilePath()));
    if (!instance.TryLock())
        return RunSecondInstance(argc, argv, instance);

    g_previousHandler = qInstallMessageHandler(NoDisplayMessageHandler);
    TApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    QApplication::setQuitOnLastWindowClosed(false);

    TTerminationSignals terminationSignals;
    UiThread::Initialize();
    try {
        TfmMain form(&instance);
        // A termination signal ends the program through its orderly shutdown, even while a
        // dialog of the start-up is open.
        QObject::connect(&terminationSignals, &TTerminationSignals::TerminationRequested, &form,
                         &TfmMain::RequestTermination);
        if (form.FormCreate())
            QApplication::exec();
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException(LoadStr(kUnknownError));
    }
    // The form waited for its workers already. One that is still running may use anything the
    // process holds, down to its static objects: then the program ends without freeing them.
    if (!WaitForAllWorkers(1000)) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    UiThread::Shutdown();
    return 0;
}
