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
//
// The runtime folder follows XDG_RUNTIME_DIR, which two starts need not share; the settings store
// they would both use is the same. So the first instance also locks a file beside the store
// (`storeFile` + ".lock"): a start that finds that lock taken is a later start too, whatever its
// runtime folder.
class TSingleInstance : public QObject {
    Q_OBJECT

public:
    // `folder` holds the lock file and the socket (default: the user's runtime folder);
    // `storeFile` is the settings store the instance uses (none: only the folder's lock).
    explicit TSingleInstance(QString folder = QString(), QString storeFile = QString(), QObject* parent = nullptr);
    ~TSingleInstance() override;

    // Takes the instance lock and the store's lock. False when another process holds either.
    // When a lock file cannot be created at all, that lock is passed over rather than keeping the
    // program from running.
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
    // The lock file beside the store; empty without a store.
    QString StoreLockFilePath() const;

signals:
    void ShowRequested();

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);

    QString m_folder;
    QString m_storeFile;
    int m_lockFd = -1;
    int m_storeLockFd = -1;
    std::unique_ptr<QLocalServer> m_server;
};
