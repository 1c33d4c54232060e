#include "desktop/StatusClient.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {

// A program that holds the name but does not answer soon counts as not running.
constexpr int kReadTimeoutMs = 5000;

} // namespace

TStatusClient::TStatusClient(const QDBusConnection& connection, QObject* parent)
    : QObject(parent), m_connection(connection) {
    RegisterBalanceEntryTypes();
}

TStatusClient::~TStatusClient() = default;

bool TStatusClient::Read(TBalanceEntries& entries, std::string& error) {
    entries.clear();
    if (!m_connection.isConnected()) {
        error = m_connection.lastError().message().toStdString();
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kDesktopServiceName), QString::fromLatin1(kDesktopObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QString::fromLatin1(kDesktopInterface) << QStringLiteral("Balances");
    const QDBusMessage reply = m_connection.call(call, QDBus::Block, kReadTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        error = reply.errorMessage().toStdString();
        return false;
    }
    const QVariant value = reply.arguments().constFirst().value<QDBusVariant>().variant();
    if (!EntriesFromVariant(value, entries)) {
        error = "the program's Balances are not of type a(ssssssu)";
        return false;
    }
    return true;
}

void TStatusClient::Follow() {
    if (m_watcher)
        return;
    // Both subscriptions come before the first read, so that no change falls between them.
    m_watcher = std::make_unique<QDBusServiceWatcher>(QString::fromLatin1(kDesktopServiceName), m_connection,
                                                      QDBusServiceWatcher::WatchForOwnerChange);
    connect(m_watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { OwnerChanged(newOwner); });
    m_connection.connect(QString::fromLatin1(kDesktopServiceName), QString::fromLatin1(kDesktopObjectPath),
                         QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"), this,
                         SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
    ReadAndTell();
}

void TStatusClient::PropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                      const QStringList& invalidated) {
    if (interfaceName != QLatin1String(kDesktopInterface))
        return;
    TBalanceEntries entries;
    const auto it = changed.constFind(QStringLiteral("Balances"));
    if (it != changed.cend() && EntriesFromVariant(*it, entries)) {
        emit Changed(entries);
        return;
    }
    if (invalidated.contains(QStringLiteral("Balances")))
        ReadAndTell();
}

void TStatusClient::OwnerChanged(const QString& owner) {
    if (owner.isEmpty()) {
        emit Stopped();
        return;
    }
    ReadAndTell();
}

void TStatusClient::ReadAndTell() {
    TBalanceEntries entries;
    std::string error;
    if (Read(entries, error))
        emit Changed(entries);
    else
        emit Stopped();
}
