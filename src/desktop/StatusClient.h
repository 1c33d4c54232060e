#pragma once

#include "desktop/BalanceEntry.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <string>

class QDBusServiceWatcher;

// Reads the running program's Balance List over the session bus (see TDesktopService).
class TStatusClient : public QObject {
    Q_OBJECT

public:
    explicit TStatusClient(const QDBusConnection& connection, QObject* parent = nullptr);
    ~TStatusClient() override;

    // Reads the rows once; false with the bus's reason when the program does not answer.
    bool Read(TBalanceEntries& entries, std::string& error);
    // From now on: Changed with the rows at every change and whenever the program (re)appears,
    // Stopped whenever it ends. Tells the present state at once.
    void Follow();

signals:
    void Changed(const TBalanceEntries& entries);
    void Stopped();

private slots:
    // org.freedesktop.DBus.Properties.PropertiesChanged of the program's object.
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList& invalidated);

private:
    void OwnerChanged(const QString& owner);
    void ReadAndTell();

    QDBusConnection m_connection;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
};
