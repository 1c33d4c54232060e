#include "desktop/DesktopService.h"

#include "alerts/AlertItem.h"
#include "balancelist/BalanceList.h"
#include "base/LogFile.h"
#include "base/MessageFormat.h"
#include "translate/Messages.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QVariantMap>

#include <algorithm>

namespace {

const char* TrendName(int imageIndex) {
    switch (imageIndex) {
    case biGrowthUp:
        return "up";
    case biGrowthDown:
        return "down";
    case biNoChange:
        return "same";
    default:
        return "";
    }
}

} // namespace

TDesktopService::TDesktopService(TBalanceList& list, IDesktopActions& actions, std::shared_ptr<TLogFile> log,
                                 QObject* parent)
    : QObject(parent), m_list(list), m_actions(actions), m_log(std::move(log)) {
    RegisterBalanceEntryTypes();
    m_changeTimer.setSingleShot(true);
    m_changeTimer.setInterval(0);
    connect(&m_changeTimer, &QTimer::timeout, this, &TDesktopService::SendChanged);
    // Only the states after a change count; the "Before..." ones come with the same rows.
    m_listenerId = m_list.AddChangeListener([this](TBalanceList::TRowChange change, int) {
        using C = TBalanceList::TRowChange;
        if (change == C::Inserted || change == C::Removed || change == C::Layout || change == C::Reset ||
            change == C::Changed) {
            if (m_registered && !m_changeTimer.isActive())
                m_changeTimer.start();
        }
    });
}

TDesktopService::~TDesktopService() {
    m_list.RemoveChangeListener(m_listenerId);
    if (m_registered) {
        m_connection.unregisterService(QString::fromLatin1(kDesktopServiceName));
        m_connection.unregisterObject(QString::fromLatin1(kDesktopObjectPath));
    }
}

bool TDesktopService::Register(const QDBusConnection& connection) {
    if (m_registered)
        return true;
    const std::string name = kDesktopServiceName;
    if (!connection.isConnected()) {
        if (m_log)
            m_log->WriteLog(LoadStr(2211), {connection.lastError().message().toStdString()});
        return false;
    }
    m_connection = connection;
    if (!m_connection.registerObject(QString::fromLatin1(kDesktopObjectPath), this)) {
        if (m_log)
            m_log->WriteLog(LoadStr(2212), {name});
        return false;
    }
    if (!m_connection.registerService(QString::fromLatin1(kDesktopServiceName))) {
        m_connection.unregisterObject(QString::fromLatin1(kDesktopObjectPath));
        if (m_log)
            m_log->WriteLog(LoadStr(2212), {name});
        return false;
    }
    m_registered = true;
    m_sent = Balances();
    if (m_log)
        m_log->WriteLog(LoadStr(2210), {name});
    return true;
}

TBalanceEntries TDesktopService::Balances() const {
    TBalanceEntries entries;
    entries.reserve(m_list.RowCount());
    for (const TBalanceRow& row : m_list.Rows()) {
        TBalanceEntry entry;
        {
            const auto lock = row.Alert->Lock();
            entry.Id = row.Alert->unique_id;
            entry.FailedInARow = static_cast<std::uint32_t>(std::max(row.Alert->Limits.FailedInARow, 0));
        }
        entry.Name = row.Caption;
        entry.Balance = row.BalanceText;
        entry.Trend = TrendName(row.ImageIndex);
        entry.Status = row.StatusText;
        entry.Warning = WarnZoneName(row.Warning);
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool TDesktopService::CheckNow(const std::string& id) {
    for (const TBalanceRow& row : m_list.Rows()) {
        if (row.Alert->unique_id == id) {
            m_actions.CheckNow(*row.Alert);
            return true;
        }
    }
    return false;
}

void TDesktopService::SendChanged() {
    if (!m_registered || !m_connection.isConnected())
        return;
    TBalanceEntries entries = Balances();
    // A tick that rewrote a row with the same texts changes nothing a reader sees.
    if (entries == m_sent)
        return;
    m_sent = std::move(entries);
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kDesktopObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    QVariantMap changed;
    changed.insert(QStringLiteral("Balances"), QVariant::fromValue(m_sent));
    signal << QString::fromLatin1(kDesktopInterface) << changed << QStringList();
    m_connection.send(signal);
}

TDesktopAdaptor::TDesktopAdaptor(TDesktopService& service) : QDBusAbstractAdaptor(&service), m_service(service) {}

TBalanceEntries TDesktopAdaptor::Balances() const {
    return m_service.Balances();
}

void TDesktopAdaptor::ShowBalanceList() {
    m_service.ShowBalanceList();
}

void TDesktopAdaptor::ShowSettings() {
    m_service.ShowSettings();
}

void TDesktopAdaptor::CheckNow(const QString& id, const QDBusMessage& message) {
    const std::string key = id.toStdString();
    if (m_service.CheckNow(key))
        return;
    message.setDelayedReply(true);
    m_service.Connection().send(message.createErrorReply(QString::fromLatin1(kUnknownIdError),
                                                         QString::fromStdString(FormatMsg(LoadStr(2213), {key}))));
}
