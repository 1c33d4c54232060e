#include "currency/CurrencyList.h"

#include "platform/Registry.h"
#include "platform/Strings.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>

namespace {

constexpr TScriptMember kMembers[] = {
    {"registercolumn", TCurrencyList::kRegisterColumn, TMemberKind::Method},
    {"addcurrency", TCurrencyList::kAddCurrency, TMemberKind::Method},
    {"currenciescount", TCurrencyList::kCurrenciesCount, TMemberKind::MethodOrProperty},
    {"currency", TCurrencyList::kCurrency, TMemberKind::Method},
    {"cansort", TCurrencyList::kCanSort, TMemberKind::Property},
};

// A name that can be written as a key of its own. An empty name would write into the parent key,
// and a backslash would place the entry into another key (a currency "X\Values" would put its
// name and flag among the values of currency X and break the next load), so such entries are
// kept in memory only.
bool storableKeyName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos;
}

} // namespace

std::string FoldCurrencyName(const std::string& name) {
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; });
    if (!ascii) {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString text = decoder(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
        if (!decoder.hasError())
            return text.toCaseFolded().toStdString();
    }
    return AsciiLower(name);
}

TCurrencyList::TCurrencyList() = default;
TCurrencyList::~TCurrencyList() = default;

TCurrencyList::TRunMark::TRunMark(const TCurrencyList& list) : m_list(list) {
    ++m_list.m_runs;
}

TCurrencyList::TRunMark::~TRunMark() {
    --m_list.m_runs;
}

// ---- Columns and currencies ---------------------------------------------------------------------

int TCurrencyList::ColumnCount() const {
    const auto lock = Lock();
    return static_cast<int>(m_columns.size());
}

const TCurrencyColumn& TCurrencyList::Column(int index) const {
    const auto lock = Lock();
    return m_columns.at(static_cast<std::size_t>(index)).column;
}

int TCurrencyList::findColumn(const std::string& name) const {
    const std::string fold = FoldCurrencyName(name);
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].fold == fold)
            return static_cast<int>(i);
    return -1;
}

const TCurrencyColumn* TCurrencyList::FindColumn(const std::string& name) const {
    const auto lock = Lock();
    const int index = findColumn(name);
    return index < 0 ? nullptr : &m_columns[static_cast<std::size_t>(index)].column;
}

void TCurrencyList::RegisterColumn(const std::string& name, const std::string& caption, bool inspectChanges) {
    const auto lock = Lock();
    if (const int index = findColumn(name); index >= 0) {
        TCurrencyColumn& column = m_columns[static_cast<std::size_t>(index)].column;
        column.Caption = caption;
        column.InspectChanges = inspectChanges;
        return;
    }
    m_columns.push_back({TCurrencyColumn{true, name, caption, inspectChanges}, FoldCurrencyName(name)});
}

void TCurrencyList::SetColumnVisible(int index, bool visible) {
    const auto lock = Lock();
    m_columns.at(static_cast<std::size_t>(index)).column.Visible = visible;
}

int TCurrencyList::CurrencyCount() const {
    const auto lock = Lock();
    return static_cast<int>(m_currencies.size());
}

TCurrencyObject& TCurrencyList::Currency(int index) const {
    const auto lock = Lock();
    return *m_currencies.at(static_cast<std::size_t>(index)).object;
}

const std::string& TCurrencyList::CurrencyKey(int index) const {
    const auto lock = Lock();
    return m_currencies.at(static_cast<std::size_t>(index)).key;
}

TCurrencyObject* TCurrencyList::FindCurrency(const std::string& key) const {
    const auto lock = Lock();
    const std::string fold = FoldCurrencyName(key);
    for (const auto& entry : m_currencies)
        if (entry.fold == fold)
            return entry.object.get();
    return nullptr;
}

TCurrencyObject& TCurrencyList::FindOrAddCurrency(const std::string& key) {
    const auto lock = Lock();
    if (TCurrencyObject* found = FindCurrency(key))
        return *found;
    m_currencies.push_back({key, FoldCurrencyName(key), std::make_unique<TCurrencyObject>(*this)});
    return *m_currencies.back().object;
}

void TCurrencyList::clear() {
    m_columns.clear();
    m_currencies.clear();
}

// ---- Script members -----------------------------------------------------------------------------

std::span<const TScriptMember> TCurrencyList::members() const {
    return kMembers;
}

TInvokeResult TCurrencyList::invokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) {
    const auto lock = Lock();
    switch (id) {
    case kRegisterColumn:
        if (!isMethodCall(callKind) || args.size() != 3)
            return TInvokeResult::badParamCount();
        RegisterColumn(args[0].text(), args[1].text(), args[2].toBoolean());
        return TInvokeResult::ok(TScriptValue::fromBoolean(true));
    case kAddCurrency:
    case kCurrency:
        if (!isMethodCall(callKind) || args.size() != 1)
            return TInvokeResult::badParamCount();
        return TInvokeResult::ok(TScriptValue::fromObject(&FindOrAddCurrency(args[0].text())));
    case kCurrenciesCount:
        if ((callKind != ckMethod && callKind != ckPropertyGet && callKind != (ckMethod | ckPropertyGet)) ||
            !args.empty())
            return TInvokeResult::badParamCount();
        return TInvokeResult::ok(TScriptValue::fromNumber(static_cast<double>(m_currencies.size())));
    case kCanSort:
        if (callKind == ckPropertyPut && args.size() == 1) {
            CanSort = args[0].toBoolean();
            return TInvokeResult::ok();
        }
        if (callKind == ckPropertyGet && args.empty())
            return TInvokeResult::ok(TScriptValue::fromBoolean(CanSort));
        return TInvokeResult::badParamCount();
    default:
        return TInvokeResult::memberNotFound();
    }
}

// ---- Registry -----------------------------------------------------------------------------------

Registry& TCurrencyList::store() const {
    return Store != nullptr ? *Store : Registry::instance();
}

std::string TCurrencyList::ListKey() const {
    return std::string(kCurrencyRatesKey) + '\\' + ScriptFileName;
}

void TCurrencyList::LoadFromRegistry(const std::string& listKey) {
    const auto lock = Lock();
    clear();
    try {
        Registry& registry = store();
        const std::string columnsPath = listKey + "\\Columns";
        if (const auto key = registry.openKey(columnsPath, false)) {
            // Applied one by one: a value of the wrong type ends the load and keeps the ones before.
            if (key->valueExists("Active"))
                Active = key->readBool("Active");
            if (key->valueExists("CanSort"))
                CanSort = key->readBool("CanSort");
            if (key->valueExists("Period"))
                Period = key->readInteger("Period");
            if (key->valueExists("PeriodType"))
                PeriodType = static_cast<TPeriodType>(key->readInteger("PeriodType") & 0xFF);
            if (key->valueExists("LastCheckedTime"))
                LastCheckedTime = key->readDateTime("LastCheckedTime");
            for (const std::string& name : key->subKeyNames()) {
                const auto sub = registry.openKey(columnsPath + '\\' + name, false);
                if (!sub)
                    continue;
                TCurrencyColumn column{true, name, {}, false};
                if (sub->valueExists("Caption"))
                    column.Caption = sub->readString("Caption");
                if (sub->valueExists("Visible"))
                    column.Visible = sub->readBool("Visible");
                if (sub->valueExists("InspectChanges"))
                    column.InspectChanges = sub->readBool("InspectChanges");
                if (!column.ColumnName.empty() && !column.Caption.empty())
                    m_columns.push_back({column, FoldCurrencyName(name)});
            }
        }

        const std::string currenciesPath = listKey + "\\Currencies";
        std::vector<std::pair<std::string, TCurrencyObject*>> taken;
        if (const auto key = registry.openKey(currenciesPath, false)) {
            for (const std::string& name : key->subKeyNames()) {
                const auto sub = registry.openKey(currenciesPath + '\\' + name, false);
                if (!sub)
                    continue;
                std::string currencyName;
                bool active = true;
                if (sub->valueExists("CurrencyName"))
                    currencyName = sub->readString("CurrencyName");
                if (sub->valueExists("Active"))
                    active = sub->readBool("Active");
                if (name.empty() || currencyName.empty())
                    continue;
                TCurrencyObject& currency = FindOrAddCurrency(name);
                currency.Active = active;
                currency.CurrencyName = currencyName;
                taken.emplace_back(name, &currency);
            }
        }
        for (const auto& [name, currency] : taken) {
            const auto values = registry.openKey(currenciesPath + '\\' + name + "\\Values", false);
            if (!values)
                continue;
            for (const std::string& column : values->valueNames())
                currency->SetBothTexts(column, values->readString(column));
        }
    } catch (const RegistryError&) {
        // Ends the load silently; what was read stays.
    }
}

void TCurrencyList::SaveToRegistry(const std::string& listKey, bool stateOnly) {
    const auto lock = Lock();
    try {
        Registry& registry = store();
        const std::string columnsPath = listKey + "\\Columns";
        if (auto key = registry.openKey(columnsPath, true)) {
            key->writeBool("Active", Active);
            key->writeInteger("Period", Period);
            key->writeInteger("PeriodType", static_cast<std::int32_t>(PeriodType));
            key->writeDateTime("LastCheckedTime", LastCheckedTime);
            key->writeBool("CanSort", CanSort);
            key->close();
            if (!stateOnly) {
                for (const auto& entry : m_columns) {
                    const TCurrencyColumn& column = entry.column;
                    if (!storableKeyName(column.ColumnName))
                        continue;
                    const auto sub = registry.openKey(columnsPath + '\\' + column.ColumnName, true);
                    if (!sub)
                        continue;
                    sub->writeString("Caption", column.Caption);
                    sub->writeBool("Visible", column.Visible);
                    sub->writeBool("InspectChanges", column.InspectChanges);
                    sub->close();
                }
            }
        }

        const std::string currenciesPath = listKey + "\\Currencies";
        if (!registry.openKey(currenciesPath, true))
            return;
        for (const auto& entry : m_currencies) {
            if (!storableKeyName(entry.key))
                continue;
            const TCurrencyObject& currency = *entry.object;
            const std::string path = currenciesPath + '\\' + entry.key;
            const auto key = registry.openKey(path, true);
            if (!key)
                continue;
            if (!stateOnly)
                key->writeString("CurrencyName", currency.CurrencyName);
            key->writeBool("Active", currency.Active);
            key->close();
            if (stateOnly)
                continue;
            const auto values = registry.openKey(path + "\\Values", true);
            if (!values)
                continue;
            for (const auto& [column, value] : currency.Values())
                values->writeString(column, value.Current);
            values->close();
        }
    } catch (const RegistryError&) {
        // Ends the save silently; the list in memory is not affected.
    }
}

// ---- Schedule -----------------------------------------------------------------------------------

std::int32_t TCurrencyList::IntervalSeconds() const {
    // Unsigned arithmetic gives the 32-bit product without the undefined behaviour of a signed overflow.
    const auto product = static_cast<std::uint32_t>(Period) *
                         static_cast<std::uint32_t>(PeriodTypeSeconds(static_cast<int>(PeriodType)));
    return static_cast<std::int32_t>(product);
}

bool TCurrencyList::IsDue() const {
    return IsDue(Now());
}

bool TCurrencyList::IsDue(TDateTime now) const {
    // Date-times resolve to the millisecond; the elapsed time counts in whole seconds, milliseconds
    // dropped, so an hour is due after 3600 s and not a rounding error earlier or later.
    const double elapsedMs = std::round((now - LastCheckedTime) * kSecondsPerDay * 1000.0);
    const double interval = static_cast<double>(IntervalSeconds());
    // A stored time that is no time at all, or that lies more than an interval ahead (the clock was
    // set back), would keep the list from ever being due.
    if (!std::isfinite(elapsedMs) || -elapsedMs > interval * 1000.0)
        return true;
    return std::trunc(elapsedMs / 1000.0) >= interval;
}
