#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

// One running instance per user. The first instance holds an exclusive lock on a lock file for as
// long as it runs and, once its main window exists, listens on a local socket. A second start finds
// the lock taken, asks the first instance over the socket to show its settings window, waits for
// the acknowledgement and exits.
class TSingleInstance : public QObject {
    Q_OBJECT

public:
    // `folder` holds the lock file and the socket (default: the user's runtime folder).
    explicit TSingleInstance(QString folder = QString(), QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Takes the instance lock. False when another process holds it. When the lock file cannot be
    // created at all, the process runs as a first instance and this returns true.
    bool TryLock();
    bool IsLocked() const { return m_lockFd >= 0; }

    // First instance: starts accepting wake-up requests. Each "show" request emits ShowRequested()
    // on this object's thread and is acknowledged after the connected slots have returned.
    bool Listen();
    void StopListening();

    // Second instance: asks the first to show itself and waits for its acknowledgement.
    // False when no first instance is listening (it is still starting or is gone) or it did not answer.
    bool WakeFirstInstance(int timeoutMs = 10000);

    QString LockFilePath() const;
    QString SocketPath() const;

signals:
    void ShowRequested();

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);

    QString m_folder;
    int m_lockFd = -1;
    std::unique_ptr<QLocalServer> m_server;
};
