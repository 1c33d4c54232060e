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

std::span<const TScriptMember> TCurrencyObject::Members() const {
    return kMembers;
}

TInvokeResult TCurrencyObject::InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) {
    const auto lock = m_owner.Lock();
    switch (id) {
    case kSetValue:
        if (!IsMethodCall(callKind) || args.size() != 2)
            return TInvokeResult::BadParamCount();
        StoreValue(args[0].Text(), args[1].Text());
        return TInvokeResult::Ok(TScriptValue::FromBoolean(true));
    case kCurrencyName:
        if (callKind == ckPropertyPut && args.size() == 1) {
            CurrencyName = args[0].Text();
            return TInvokeResult::Ok(TScriptValue::FromBoolean(true));
        }
        if (callKind == ckPropertyGet && args.empty())
            return TInvokeResult::Ok(TScriptValue::FromText(CurrencyName));
        return TInvokeResult::BadParamCount();
    default:
        return TInvokeResult::MemberNotFound();
    }
}
