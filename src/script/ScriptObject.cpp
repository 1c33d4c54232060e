#include "script/ScriptObject.h"

#include "script/ScriptText.h"

#include <charconv>
#include <cmath>
#include <cstdint>

TScriptValue TScriptValue::Null() {
    TScriptValue value;
    value.m_type = TType::Null;
    value.m_text = "null";
    return value;
}

TScriptValue TScriptValue::FromBoolean(bool boolean) {
    TScriptValue value;
    value.m_type = TType::Boolean;
    value.m_boolean = boolean;
    value.m_text = boolean ? "true" : "false";
    return value;
}

TScriptValue TScriptValue::FromNumber(double number) {
    TScriptValue value;
    value.m_type = TType::Number;
    value.m_number = number;
    if (std::isnan(number)) {
        value.m_text = "NaN";
    } else if (std::isinf(number)) {
        value.m_text = number > 0 ? "Infinity" : "-Infinity";
    } else {
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, number).ptr;
        value.m_text.assign(buffer, end);
    }
    return value;
}

TScriptValue TScriptValue::FromText(std::string text) {
    TScriptValue value;
    value.m_type = TType::Text;
    value.m_text = std::move(text);
    return value;
}

TScriptValue TScriptValue::FromObject(TScriptObject* object) {
    TScriptValue value;
    value.m_type = TType::Object;
    value.m_object = object;
    value.m_text = "[object " + std::string(object ? object->TypeName() : "Object") + "]";
    return value;
}

TScriptValue TScriptValue::FromScript(TType type, bool boolean, double number, std::string text) {
    TScriptValue value;
    value.m_type = type;
    value.m_boolean = boolean;
    value.m_number = number;
    // A script's undefined or null stands for no value, and no value is the empty text, not the
    // engine's words for it.
    if (type != TType::Empty && type != TType::Null)
        value.m_text = std::move(text);
    return value;
}

bool TScriptValue::ToBoolean() const {
    if (m_type == TType::Boolean)
        return m_boolean;
    // A 16-bit boolean field holding -1, as an integer reads when it is taken for a flag.
    if (m_type == TType::Number && std::isfinite(m_number) && std::trunc(m_number) == m_number &&
        std::fabs(m_number) < 9007199254740992.0)
        return (static_cast<std::int64_t>(m_number) & 0xFFFF) == 0xFFFF;
    return false;
}

TInvokeResult TInvokeResult::Ok(TScriptValue value) {
    return {TInvokeStatus::Ok, std::move(value), {}};
}

TInvokeResult TInvokeResult::MemberNotFound() {
    return {TInvokeStatus::MemberNotFound, {}, {}};
}

TInvokeResult TInvokeResult::BadParamCount() {
    return {TInvokeStatus::BadParamCount, {}, {}};
}

TInvokeResult TInvokeResult::Exception(std::string description) {
    return {TInvokeStatus::Exception, {}, std::move(description)};
}

int TScriptObject::MemberId(std::string_view name) const {
    const std::string lower = AsciiLower(name);
    for (const auto& entry : Members())
        if (entry.Name == lower)
            return entry.Id;
    return kUnknownMember;
}

const TScriptMember* TScriptObject::member(int id) const {
    for (const auto& entry : Members())
        if (entry.Id == id)
            return &entry;
    return nullptr;
}

TInvokeResult TScriptObject::invoke(int id, unsigned callKind, const std::vector<TScriptValue>& args) {
    if (!member(id))
        return TInvokeResult::MemberNotFound();
    return InvokeMember(id, callKind, args);
}
