#pragma once

#include "base/MessageFormat.h"

#include <initializer_list>
#include <mutex>
#include <string>

// The program's log: one plain-text file per run, written by the user-interface thread and the
// worker threads. Each line is "<short date> <long time>: <message>\r\n", handed to the file in
// one unbuffered write, so the file is whole up to its last line even if the program dies.
class TLogFile {
public:
    TLogFile() = default;
    ~TLogFile();
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // Opens (creating it with mode 0600: it names the user's accounts) the file for appending;
    // a file already open is closed first.
    void OpenLog(const std::string& path);
    void CloseLog();
    bool IsOpen() const;

    void SetEnabled(bool enabled);
    bool Enabled() const;

    // Closes the file, copies it to `destination` (replacing an older copy) and opens it again for
    // appending, all under the lock: writers wait for the copy instead of losing their lines.
    // False when nothing was copied; the log is reopened in every case where it was open.
    bool CopyTo(const std::string& destination);

    // Formats the message and appends one line; nothing happens while disabled or closed.
    void WriteLog(const std::string& format, std::initializer_list<TMsgArg> args = {});

private:
    // One mutex serialises writing, opening and closing, so no write uses a handle being closed.
    mutable std::mutex m_mutex;
    bool m_enabled = false;
    int m_fd = -1;
    std::string m_path;
};
