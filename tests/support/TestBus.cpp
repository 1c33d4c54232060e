#include "support/TestBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>

namespace {

bool WaitForLine(QProcess& process, QByteArray& line) {
    QElapsedTimer timer;
    timer.start();
    while (!line.contains('\n') && timer.elapsed() < 20000 && process.state() != QProcess::NotRunning)
        if (process.waitForReadyRead(100))
            line += process.readAllStandardOutput();
    return line.contains('\n');
}

} // namespace

std::string TTestBus::Start(bool withGnomeKeyring) {
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = QString::fromStdString(m_dir.file(name));
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env.insert(QString::fromLatin1(name), path);
    }
    // QtKeychain uses the Secret Service through libsecret on every desktop but KDE's.
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "KDE_SESSION_VERSION"})
        m_env.remove(QString::fromLatin1(name));

    WriteFileBytes(m_dir.file("bus.conf"), "<busconfig><type>session</type><listen>unix:dir=" + m_dir.path() +
                                               "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                               "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + QString::fromStdString(m_dir.file("bus.conf")),
                 QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(10000))
        return "dbus-daemon is not installed";
    QByteArray address;
    if (!WaitForLine(m_bus, address))
        return "dbus-daemon did not start";
    m_address = QString::fromLocal8Bit(address.trimmed());
    m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    if (!withGnomeKeyring)
        return {};

    // --unlock reads a password on standard input and creates the login keyring with it.
    m_keyring.setProcessEnvironment(m_env);
    m_keyring.setProcessChannelMode(QProcess::MergedChannels);
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"), {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                                                             QStringLiteral("--components=secrets")});
    if (!m_keyring.waitForStarted(10000))
        return "gnome-keyring-daemon is not installed";
    m_keyring.write("keyring password");
    m_keyring.closeWriteChannel();
    const QString probeName = QStringLiteral("keyring-probe");
    bool offered = false;
    {
        QDBusConnection probe = QDBusConnection::connectToBus(m_address, probeName);
        offered = ProcessEventsUntil(
            [&probe] {
                return probe.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value();
            },
            20000);
    }
    QDBusConnection::disconnectFromBus(probeName);
    if (!offered)
        return "gnome-keyring-daemon did not offer the Secret Service: " + m_keyring.readAll().toStdString();
    return {};
}

TTestBus::~TTestBus() {
    Stop();
}

void TTestBus::Stop() {
    for (QProcess* process : {&m_keyring, &m_bus}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        process->waitForFinished(10000);
    }
}
