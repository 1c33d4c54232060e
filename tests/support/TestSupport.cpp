#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <QDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

TempDir::TempDir() {
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string TestDataPath(const std::string& name) {
    return std::string(TALLYGLASS_TEST_DATA_DIR) + "/" + name;
}

std::string BinPath(const std::string& name) {
    return std::string(TALLYGLASS_BIN_DIR) + "/" + name;
}

bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

std::vector<std::string> SplitOnCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool SignalProgram(const QProcess& program, int signal) {
    const qint64 pid = program.processId();
    if (program.state() != QProcess::Running || pid <= 0) {
        ADD_FAILURE() << "the program had already ended (exit status " << program.exitStatus() << ", code "
                      << program.exitCode() << ") when it was to get signal " << signal;
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), signal) == 0;
}

TXServerLock::TXServerLock() {
    const std::string path =
        QDir::tempPath().toStdString() + "/tallyglass-tests-xserver-" + std::to_string(::getuid()) + ".lock";
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0 || ::flock(m_fd, LOCK_EX) != 0)
        ADD_FAILURE() << "cannot lock " << path << ": X servers of parallel tests may disturb each other";
}

TXServerLock::~TXServerLock() {
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}
