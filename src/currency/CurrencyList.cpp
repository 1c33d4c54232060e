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
bool StorableKeyName(const std::string& name) {
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

int TCurrencyList::ColumnIndex(const std::string& name) const {
    const std::string fold = FoldCurrencyName(name);
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].fold == fold)
            return static_cast<int>(i);
    return -1;
}

const TCurrencyColumn* TCurrencyList::FindColumn(const std::string& name) const {
    const auto lock = Lock();
    const int index = ColumnIndex(name);
    return index < 0 ? nullptr : &m_columns[static_cast<std::size_t>(index)].column;
}

void TCurrencyList::RegisterColumn(const std::string& name, const std::string& caption, bool inspectChanges) {
    const auto lock = Lock();
    if (const int index = ColumnIndex(name); index >= 0) {
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

TCurrencyList::TValueSnapshot TCurrencyList::SnapshotValues() const {
    const auto lock = Lock();
    TValueSnapshot snapshot;
    snapshot.reserve(m_currencies.size());
    for (const auto& entry : m_currencies)
        snapshot.emplace_back(entry.object.get(), entry.object->Values());
    return snapshot;
}

void TCurrencyList::RestoreValues(const TValueSnapshot& snapshot) {
    // Currencies are never removed, so every one of the snapshot is still there; one added since
    // keeps what it got.
    const auto lock = Lock();
    for (const auto& [currency, values] : snapshot)
        currency->SetValues(values);
}

TCurrencyObject& TCurrencyList::FindOrAddCurrency(const std::string& key) {
    const auto lock = Lock();
    if (TCurrencyObject* found = FindCurrency(key))
        return *found;
    m_currencies.push_back({key, FoldCurrencyName(key), std::make_unique<TCurrencyObject>(*this)});
    return *m_currencies.back().object;
}

void TCurrencyList::Clear() {
    m_columns.clear();
    m_currencies.clear();
}

// ---- Script members -----------------------------------------------------------------------------

std::span<const TScriptMember> TCurrencyList::Members() const {
    return kMembers;
}

TInvokeResult TCurrencyList::InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) {
    const auto lock = Lock();
    switch (id) {
    case kRegisterColumn:
        if (!IsMethodCall(callKind) || args.size() != 3)
            return TInvokeResult::BadParamCount();
        RegisterColumn(args[0].Text(), args[1].Text(), args[2].ToBoolean());
        return TInvokeResult::Ok(TScriptValue::FromBoolean(true));
    case kAddCurrency:
    case kCurrency:
        if (!IsMethodCall(callKind) || args.size() != 1)
            return TInvokeResult::BadParamCount();
        return TInvokeResult::Ok(TScriptValue::FromObject(&FindOrAddCurrency(args[0].Text())));
    case kCurrenciesCount:
        if ((callKind != ckMethod && callKind != ckPropertyGet && callKind != (ckMethod | ckPropertyGet)) ||
            !args.empty())
            return TInvokeResult::BadParamCount();
        return TInvokeResult::Ok(TScriptValue::FromNumber(static_cast<double>(m_currencies.size())));
    case kCanSort:
        if (callKind == ckPropertyPut && args.size() == 1) {
            CanSort = args[0].ToBoolean();
            return TInvokeResult::Ok();
        }
        if (callKind == ckPropertyGet && args.empty())
            return TInvokeResult::Ok(TScriptValue::FromBoolean(CanSort));
        return TInvokeResult::BadParamCount();
    default:
        return TInvokeResult::MemberNotFound();
    }
}

// ---- Registry -----------------------------------------------------------------------------------

TRegistry& TCurrencyList::StateStore() const {
    return Store != nullptr ? *Store : TRegistry::Instance();
}

std::string TCurrencyList::ListKey() const {
    return std::string(kCurrencyRatesKey) + '\\' + ScriptFileName;
}

void TCurrencyList::LoadFromRegistry(const std::string& listKey) {
    const auto lock = Lock();
    Clear();
    try {
        TRegistry& registry = StateStore();
        const std::string columnsPath = listKey + "\\Columns";
        if (const auto key = registry.OpenKey(columnsPath, false)) {
            // Applied one by one: a value of the wrong type ends the load and keeps the ones before.
            if (key->ValueExists("Active"))
                Active = key->ReadBool("Active");
            if (key->ValueExists("CanSort"))
                CanSort = key->ReadBool("CanSort");
            if (key->ValueExists("Period"))
                Period = key->ReadInteger("Period");
            if (key->ValueExists("PeriodType"))
                PeriodType = static_cast<TPeriodType>(key->ReadInteger("PeriodType") & 0xFF);
            if (key->ValueExists("LastCheckedTime"))
                LastCheckedTime = key->ReadDateTime("LastCheckedTime");
            for (const std::string& name : key->SubKeyNames()) {
                const auto sub = registry.OpenKey(columnsPath + '\\' + name, false);
                if (!sub)
                    continue;
                TCurrencyColumn column{true, name, {}, false};
                if (sub->ValueExists("Caption"))
                    column.Caption = sub->ReadString("Caption");
                if (sub->ValueExists("Visible"))
                    column.Visible = sub->ReadBool("Visible");
                if (sub->ValueExists("InspectChanges"))
                    column.InspectChanges = sub->ReadBool("InspectChanges");
                if (!column.ColumnName.empty() && !column.Caption.empty())
                    m_columns.push_back({column, FoldCurrencyName(name)});
            }
        }

        const std::string currenciesPath = listKey + "\\Currencies";
        std::vector<std::pair<std::string, TCurrencyObject*>> taken;
        if (const auto key = registry.OpenKey(currenciesPath, false)) {
            for (const std::string& name : key->SubKeyNames()) {
                const auto sub = registry.OpenKey(currenciesPath + '\\' + name, false);
                if (!sub)
                    continue;
                std::string currencyName;
                bool active = true;
                if (sub->ValueExists("CurrencyName"))
                    currencyName = sub->ReadString("CurrencyName");
                if (sub->ValueExists("Active"))
                    active = sub->ReadBool("Active");
                if (name.empty() || currencyName.empty())
                    continue;
                TCurrencyObject& currency = FindOrAddCurrency(name);
                currency.Active = active;
                currency.CurrencyName = currencyName;
                taken.emplace_back(name, &currency);
            }
        }
        for (const auto& [name, currency] : taken) {
            const auto values = registry.OpenKey(currenciesPath + '\\' + name + "\\Values", false);
            if (!values)
                continue;
            for (const std::string& column : values->ValueNames())
                currency->SetBothTexts(column, values->ReadString(column));
        }
    } catch (const ERegistryError&) {
        // Ends the load silently; what was read stays.
    }
}

void TCurrencyList::SaveToRegistry(const std::string& listKey, bool stateOnly) {
    const auto lock = Lock();
    try {
        TRegistry& registry = StateStore();
        const std::string columnsPath = listKey + "\\Columns";
        if (auto key = registry.OpenKey(columnsPath, true)) {
            key->WriteBool("Active", Active);
            key->WriteInteger("Period", Period);
            key->WriteInteger("PeriodType", static_cast<std::int32_t>(PeriodType));
            key->WriteDateTime("LastCheckedTime", LastCheckedTime);
            key->WriteBool("CanSort", CanSort);
            key->Close();
            if (!stateOnly) {
                for (const auto& entry : m_columns) {
                    const TCurrencyColumn& column = entry.column;
                    if (!StorableKeyName(column.ColumnName))
                        continue;
                    const auto sub = registry.OpenKey(columnsPath + '\\' + column.ColumnName, true);
                    if (!sub)
                        continue;
                    sub->WriteString("Caption", column.Caption);
                    sub->WriteBool("Visible", column.Visible);
                    sub->WriteBool("InspectChanges", column.InspectChanges);
                    sub->Close();
                }
            }
        }

        const std::string currenciesPath = listKey + "\\Currencies";
        if (!registry.OpenKey(currenciesPath, true))
            return;
        for (const auto& entry : m_currencies) {
            if (!StorableKeyName(entry.key))
                continue;
            const TCurrencyObject& currency = *entry.object;
            const std::string path = currenciesPath + '\\' + entry.key;
            const auto key = registry.OpenKey(path, true);
            if (!key)
                continue;
            if (!stateOnly)
                key->WriteString("CurrencyName", currency.CurrencyName);
            key->WriteBool("Active", currency.Active);
            key->Close();
            if (stateOnly)
                continue;
            const auto values = registry.OpenKey(path + "\\Values", true);
            if (!values)
                continue;
            for (const auto& [column, value] : currency.Values())
                values->WriteString(column, value.Current);
            values->Close();
        }
    } catch (const ERegistryError&) {
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
