#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>

#include <cstdint>
#include <string>

// Where the running program offers its Balance List on the session bus.
inline constexpr const char* kDesktopServiceName = "org.tallyglass.Tallyglass";
inline constexpr const char* kDesktopObjectPath = "/org/tallyglass/Tallyglass";
inline constexpr const char* kDesktopInterface = "org.tallyglass.Tallyglass";
inline constexpr const char* kUnknownIdError = "org.tallyglass.Tallyglass.Error.UnknownId";

// One row of the Balance List as the bus carries it, D-Bus type (ssssssu): the alert's unique id,
// its caption, the balance as the list shows it, the trend ("up", "down", "same" or ""), the
// status text, the warning ("below", "above" or "") and the checks failed in a row.
struct TBalanceEntry {
    std::string Id;
    std::string Name;
    std::string Balance;
    std::string Trend;
    std::string Status;
    std::string Warning;
    std::uint32_t FailedInARow = 0;

    bool operator==(const TBalanceEntry&) const = default;
};
using TBalanceEntries = QList<TBalanceEntry>;
Q_DECLARE_METATYPE(TBalanceEntry)

QDBusArgument& operator<<(QDBusArgument& argument, const TBalanceEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, TBalanceEntry& entry);

// Makes the entry and its list known to Qt DBus; call before exporting or reading them.
void RegisterBalanceEntryTypes();

// The entries a property value holds, as a reply or a PropertiesChanged signal brings it (still
// marshalled) or as a local call gives it; false when it holds something else.
bool EntriesFromVariant(const QVariant& value, TBalanceEntries& entries);
