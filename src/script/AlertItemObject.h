#pragma once

#include "script/ScriptObject.h"

class TAlertItem;

// The alert record as scripts see it ("AlertItem"): an info or pattern script attaches named
// pieces of information to the alert with registerinfo(name, value).
class TAlertItemObject : public TScriptObject {
public:
    static constexpr int kRegisterInfo = 10;

    explicit TAlertItemObject(TAlertItem& alert) : m_alert(alert) {}

    std::string_view TypeName() const override { return "AlertItem"; }

protected:
    std::span<const TScriptMember> Members() const override;
    TInvokeResult InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) override;

private:
    TAlertItem& m_alert;
};
