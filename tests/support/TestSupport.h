#pragma once

#include "TestConfig.h"

#include <QTemporaryDir>

class QProcess;

#include <functional>
#include <string>
#include <vector>

// A temporary folder removed with the object; path() ends without a separator.
class TempDir {
public:
    TempDir();
    std::string path() const { return m_dir.path().toStdString(); }
    std::string file(const std::string& name) const { return path() + "/" + name; }

private:
    QTemporaryDir m_dir;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string TestDataPath(const std::string& name);
std::string BinPath(const std::string& name);

// Runs the event loop until the condition holds or the time is up; false on time-out.
bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Lines of a text whose lines all end in CR LF; a trailing part without CR LF is a line too.
std::vector<std::string> SplitOnCrLf(const std::string& text);

// Sends `signal` to the started program. A program that is no longer running has no process id,
// and kill() with 0 would signal the test's own process group (the test runner and make with it):
// that is refused and reported as a failure, with how the program ended. False when nothing was sent.
bool SignalProgram(const QProcess& program, int signal);

// Held while a test runs an X server of its own (Xvfb). The test programs run side by side, and an
// X server that starts while another one stops can have its display taken from under it: the
// program under test then finds no display. One server at a time across every test process.
class TXServerLock {
public:
    TXServerLock();
    ~TXServerLock();
    TXServerLock(const TXServerLock&) = delete;
    TXServerLock& operator=(const TXServerLock&) = delete;

private:
    int m_fd = -1;
};
