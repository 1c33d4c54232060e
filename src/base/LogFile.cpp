#include "base/LogFile.h"

#include "platform/DateTime.h"
#include "platform/FormatDateTime.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

TLogFile::~TLogFile() {
    CloseLog();
}

void TLogFile::OpenLog(const std::string& path) {
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        close(m_fd);
    m_fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    m_path = path;
}

bool TLogFile::CopyTo(const std::string& destination) {
    std::lock_guard lock(m_mutex);
    const bool wasOpen = m_fd >= 0;
    if (wasOpen) {
        close(m_fd);
        m_fd = -1;
    }
    std::error_code error;
    const bool copied =
        !m_path.empty() &&
        std::filesystem::copy_file(m_path, destination, std::filesystem::copy_options::overwrite_existing, error);
    if (wasOpen)
        m_fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    return copied && !error;
}

void TLogFile::CloseLog() {
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

bool TLogFile::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_fd >= 0;
}

void TLogFile::SetEnabled(bool enabled) {
    std::lock_guard lock(m_mutex);
    m_enabled = enabled;
}

bool TLogFile::Enabled() const {
    std::lock_guard lock(m_mutex);
    return m_enabled;
}

void TLogFile::WriteLog(const std::string& format, std::initializer_list<TMsgArg> args) {
    // The line is complete in memory before the lock is taken; only the write is serialised.
    const std::string line = FormatDateTime("c", Now()) + ": " + FormatMsg(format, args) + "\r\n";
    std::lock_guard lock(m_mutex);
    if (!m_enabled || m_fd < 0)
        return;
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(m_fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a failed write is ignored
        done += static_cast<std::size_t>(n);
    }
}
