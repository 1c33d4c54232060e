#include "platform/SingleInstance.h"

#include "platform/Paths.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr QByteArrayView kShowRequest = "show\n";
constexpr QByteArrayView kAcknowledge = "ok\n";
// A request is one short line; anything longer is not ours and is dropped.
constexpr qsizetype kMaxRequest = 64;

QString InstanceBaseName() {
    return QStringLiteral("tallyglass-%1").arg(getuid());
}

// An exclusive lock on the file, held through the returned descriptor; -1 when another process
// holds it, -2 when the file cannot be opened.
int LockFile(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    const int fd = open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -2;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TSingleInstance::TSingleInstance(QString folder, QString storeFile, QObject* parent)
    : QObject(parent), m_folder(std::move(folder)), m_storeFile(std::move(storeFile)) {
    if (m_folder.isEmpty())
        m_folder = QString::fromStdString(RuntimeFolder());
    if (!m_folder.endsWith(u'/'))
        m_folder += u'/';
}

TSingleInstance::~TSingleInstance() {
    StopListening();
    if (m_lockFd >= 0)
        close(m_lockFd);
    if (m_storeLockFd >= 0)
        close(m_storeLockFd);
}

QString TSingleInstance::LockFilePath() const {
    return m_folder + InstanceBaseName() + QStringLiteral(".lock");
}

QString TSingleInstance::SocketPath() const {
    return m_folder + InstanceBaseName() + QStringLiteral(".sock");
}

QString TSingleInstance::StoreLockFilePath() const {
    return m_storeFile.isEmpty() ? QString() : m_storeFile + QStringLiteral(".lock");
}

bool TSingleInstance::TryLock() {
    if (m_lockFd >= 0 || m_storeLockFd >= 0)
        return true;
    // No lock possible (the folder cannot be written): run as the first instance rather than not
    // at all.
    const int fd = LockFile(LockFilePath());
    if (fd == -1)
        return false;
    if (!m_storeFile.isEmpty()) {
        // The store's folder exists once the store was used; a first start makes it here.
        const QString storeLock = StoreLockFilePath();
        ForceDirectories(QFileInfo(storeLock).absolutePath().toStdString() + "/");
        const int storeFd = LockFile(storeLock);
        if (storeFd == -1) {
            if (fd >= 0)
                close(fd);
            return false;
        }
        m_storeLockFd = storeFd >= 0 ? storeFd : -1;
    }
    m_lockFd = fd >= 0 ? fd : -1;
    return true;
}

bool TSingleInstance::Listen() {
    if (m_server)
        return true;
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Only the lock holder gets here, so a socket file left by a crashed run is ours to remove.
    QLocalServer::removeServer(SocketPath());
    if (!server->listen(SocketPath()))
        return false;
    connect(server.get(), &QLocalServer::newConnection, this, &TSingleInstance::OnNewConnection);
    m_server = std::move(server);
    return true;
}

void TSingleInstance::StopListening() {
    if (!m_server)
        return;
    m_server->close();
    m_server.reset();
}

void TSingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void TSingleInstance::OnReadyRead(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequest)
            socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(kMaxRequest);
    if (line == kShowRequest) {
        emit ShowRequested();
        socket->write(kAcknowledge.data(), kAcknowledge.size());
        socket->flush();
    }
    socket->disconnectFromServer();
}

bool TSingleInstance::WakeFirstInstance(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kShowRequest.data(), kShowRequest.size());
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < kMaxRequest) {
        if (!socket.waitForReadyRead(timeoutMs))
            break;
        answer += socket.readAll();
    }
    return answer.startsWith(kAcknowledge);
}
