#include "desktop/BalanceEntry.h"

#include <QDBusMetaType>

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const TBalanceEntry& entry) {
    argument.beginStructure();
    argument << FromUtf8(entry.Id) << FromUtf8(entry.Name) << FromUtf8(entry.Balance) << FromUtf8(entry.Trend)
             << FromUtf8(entry.Status) << FromUtf8(entry.Warning) << static_cast<quint32>(entry.FailedInARow);
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TBalanceEntry& entry) {
    QString id, name, balance, trend, status, warning;
    quint32 failed = 0;
    argument.beginStructure();
    argument >> id >> name >> balance >> trend >> status >> warning >> failed;
    argument.endStructure();
    entry = {id.toStdString(),
             name.toStdString(),
             balance.toStdString(),
             trend.toStdString(),
             status.toStdString(),
             warning.toStdString(),
             failed};
    return argument;
}

void RegisterBalanceEntryTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<TBalanceEntry>();
        qDBusRegisterMetaType<TBalanceEntries>();
        return true;
    }();
    (void)registered;
}

bool EntriesFromVariant(const QVariant& value, TBalanceEntries& entries) {
    entries.clear();
    if (value.metaType() == QMetaType::fromType<TBalanceEntries>()) {
        entries = value.value<TBalanceEntries>();
        return true;
    }
    if (value.metaType() != QMetaType::fromType<QDBusArgument>())
        return false;
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("a(ssssssu)"))
        return false;
    argument >> entries;
    return true;
}
