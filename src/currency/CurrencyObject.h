#pragma once

#include "script/ScriptObject.h"

#include <map>
#include <string>
#include <utility>

class TCurrencyList;

// One value of a currency in one column: the latest text and the one before the latest store.
struct TCurrencyValue {
    std::string Current;
    std::string Previous;
    bool operator==(const TCurrencyValue&) const = default;
};

// One currency of a rate list: its display name, whether the user shows it, and a value per column.
// Provider scripts reach it through CurrencyList.addcurrency or CurrencyList.currency and fill it
// with setvalue(column, value) and the currencyname property.
//
// Created and owned by its list (TCurrencyList::FindOrAddCurrency) and guarded by the list's lock:
// hold TCurrencyList::Lock() while reading or changing it from the program.
class TCurrencyObject : public TScriptObject {
public:
    static constexpr int kSetValue = 1;
    static constexpr int kCurrencyName = 2;

    // Values by column name, compared byte by byte: a script must write a column name exactly as
    // it registered it.
    using TValues = std::map<std::string, TCurrencyValue>;

    explicit TCurrencyObject(TCurrencyList& owner) : m_owner(owner) {}

    std::string_view TypeName() const override { return "Currency"; }
    TCurrencyList& Owner() const { return m_owner; }

    bool Active = true;
    std::string CurrencyName;

    // What setvalue does: a value seen for the first time becomes both texts, so it is never shown
    // as a change; later ones push the current text into Previous.
    void StoreValue(const std::string& column, const std::string& value);
    // Both texts at once (values read back from the registry); creates the entry if needed.
    void SetBothTexts(const std::string& column, const std::string& text);
    // A copy of the value of a column. A column without a value gets an empty entry first, which
    // the next full save of the list writes like any other.
    TCurrencyValue ReadValue(const std::string& column);
    const TValues& Values() const { return m_values; }
    // Every value at once, as a snapshot of Values() had them.
    void SetValues(TValues values) { m_values = std::move(values); }

protected:
    std::span<const TScriptMember> Members() const override;
    TInvokeResult InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) override;

private:
    TCurrencyList& m_owner;
    TValues m_values;
};
