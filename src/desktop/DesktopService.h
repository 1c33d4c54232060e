#pragma once

#include "desktop/BalanceEntry.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QTimer>

#include <memory>
#include <string>

class TAlertItem;
class TBalanceList;
class TLogFile;

// What the service asks of the program's windows.
class IDesktopActions {
public:
    virtual ~IDesktopActions() = default;
    virtual void ShowBalanceList() = 0;
    virtual void ShowSettings() = 0;
    // "Check Balance Now" of the alert's row.
    virtual void CheckNow(TAlertItem& alert) = 0;
};

class TDesktopService;

// The interface's face of the service, as Qt DBus exports it.
class TDesktopAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tallyglass.Tallyglass")
    Q_PROPERTY(TBalanceEntries Balances READ Balances)

public:
    explicit TDesktopAdaptor(TDesktopService& service);
    TBalanceEntries Balances() const;

public slots:
    void CheckNow(const QString& id, const QDBusMessage& message);
    void ShowBalanceList();
    void ShowSettings();

private:
    TDesktopService& m_service;
};

// The Balance List on the session bus: the object kDesktopObjectPath of name kDesktopServiceName
// offers the rows as the read-only property "Balances" and tells every change of them with one
// PropertiesChanged signal per turn of the event loop, however many rows changed in that turn.
// Anybody on the user's session bus may read the rows and ask for a check or a window, as anybody
// on the user's desktop may look at the window.
class TDesktopService : public QObject {
    Q_OBJECT

public:
    TDesktopService(TBalanceList& list, IDesktopActions& actions, std::shared_ptr<TLogFile> log,
                    QObject* parent = nullptr);
    // Gives up the name and the object.
    ~TDesktopService() override;
    TDesktopService(const TDesktopService&) = delete;
    TDesktopService& operator=(const TDesktopService&) = delete;

    // Exports the object and asks for the name on `connection`. False, after a line in the log,
    // when there is no bus or another program holds the name: the program goes on without them.
    bool Register(const QDBusConnection& connection);
    bool Registered() const { return m_registered; }

    // The rows as the property gives them.
    TBalanceEntries Balances() const;
    // The handlers of the interface's methods. CheckNow is false for an id with no row.
    bool CheckNow(const std::string& id);
    void ShowBalanceList() { m_actions.ShowBalanceList(); }
    void ShowSettings() { m_actions.ShowSettings(); }
    const QDBusConnection& Connection() const { return m_connection; }

private:
    void SendChanged();

    TBalanceList& m_list;
    IDesktopActions& m_actions;
    std::shared_ptr<TLogFile> m_log;
    QDBusConnection m_connection{QString()};
    bool m_registered = false;
    int m_listenerId = 0;
    // Coalesces the changes of one turn of the event loop into one signal.
    QTimer m_changeTimer;
    TBalanceEntries m_sent;
    TDesktopAdaptor m_adaptor{*this};
};
