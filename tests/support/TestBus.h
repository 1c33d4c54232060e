#pragma once

#include "support/TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <string>

// A session bus of a test's own, with a home of its own, that starts no services and lets every
// connection own any name and watch any message; on it, when asked, a real gnome-keyring-daemon
// offers the Secret Service with its login keyring unlocked. Both end with the object.
class TTestBus {
public:
    TTestBus() = default;
    ~TTestBus();
    TTestBus(const TTestBus&) = delete;
    TTestBus& operator=(const TTestBus&) = delete;

    // Empty when all is running; otherwise what did not start ("... is not installed" when a
    // program is missing: the caller skips then).
    std::string Start(bool withGnomeKeyring = false);
    // The bus goes away under its connections.
    void Stop();
    QString Address() const { return m_address; }
    // The system's environment, pointed at the bus and the home, for the programs run on the bus.
    const QProcessEnvironment& Environment() const { return m_env; }

private:
    TempDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_address;
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
};
