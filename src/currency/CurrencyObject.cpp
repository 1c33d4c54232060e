#include "currency/CurrencyObject.h"

#include "currency/CurrencyList.h"

namespace {

constexpr TScriptMember kMembers[] = {
    {"setvalue", TCurrencyObject::kSetValue, TMemberKind::Method},
    {"currencyname", TCurrencyObject::kCurrencyName, TMemberKind::Property},
};

} // namespace

void TCurrencyObject::StoreValue(const std::string& column, const std::string& value) {
    const auto [it, inserted] = m_values.try_emplace(column, TCurrencyValue{value, value});
    if (!inserted) {
        it->second.Previous = std::move(it->second.Current);
        it->second.Current = value;
    }
}

void TCurrencyObject::SetBothTexts(const std::string& column, const std::string& text) {
    m_values[column] = TCurrencyValue{text, text};
}

TCurrencyValue TCurrencyObject::ReadValue(const std::string& column) {
    return m_values[column];
}

std::span<const TScriptMember> TCurrencyObject::members() const {
    return kMembers;
}

TInvokeResult TCurrencyObject::invokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) {
    const auto lock = m_owner.Lock();
    switch (id) {
    case kSetValue:
        if (!isMethodCall(callKind) || args.size() != 2)
            return TInvokeResult::badParamCount();
        StoreValue(args[0].text(), args[1].text());
        return TInvokeResult::ok(TScriptValue::fromBoolean(true));
    case kCurrencyName:
        if (callKind == ckPropertyPut && args.size() == 1) {
            CurrencyName = args[0].text();
            return TInvokeResult::ok(TScriptValue::fromBoolean(true));
        }
        if (callKind == ckPropertyGet && args.empty())
            return TInvokeResult::ok(TScriptValue::fromText(CurrencyName));
        return TInvokeResult::badParamCount();
    default:
        return TInvokeResult::memberNotFound();
    }
}
