#pragma once

#include <QApplication>

#include <deque>
#include <mutex>
#include <string>

// The program's application object. An exception that escapes an event handler is shown in a
// message box with the application's title, and the program goes on.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the text of an exception that nobody handled; from another thread it is shown on the
    // user-interface thread later.
    void HandleException(const char* what);

private:
    void ShowQueuedExceptions();

    std::mutex m_exceptionMutex;
    std::deque<std::string> m_exceptionTexts; // from other threads, waiting to be shown
};

// The program entry: single-instance hand-over, then the main form and the event loop.
// Returns the process exit code, which is 0 in every case; only a first instance that cannot open
// a display ends at once, with a word on standard error and exit code 3.
int RunTallyglass(int argc, char** argv);
