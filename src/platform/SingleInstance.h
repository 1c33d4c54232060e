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
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // `folder` holds the lock file and the socket (default: the user's runtime folder).
    explicit SingleInstance(QString folder = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the instance lock. False when another process holds it. When the lock file cannot be
    // created at all, the process runs as a first instance and this returns true.
    bool tryLock();
    bool isLocked() const { return m_lockFd >= 0; }

    // First instance: starts accepting wake-up requests. Each "show" request emits showRequested()
    // on this object's thread and is acknowledged after the connected slots have returned.
    bool listen();
    void stopListening();

    // Second instance: asks the first to show itself and waits for its acknowledgement.
    // False when no first instance is listening (it is still starting or is gone) or it did not answer.
    bool wakeFirstInstance(int timeoutMs = 10000);

    QString lockFilePath() const;
    QString socketPath() const;

signals:
    void showRequested();

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    QString m_folder;
    int m_lockFd = -1;
    std::unique_ptr<QLocalServer> m_server;
};
