#include "script/AlertItemObject.h"

#include "alerts/AlertItem.h"

namespace {

constexpr TScriptMember kMembers[] = {
    {"registerinfo", TAlertItemObject::kRegisterInfo, TMemberKind::Method},
};

} // namespace

std::span<const TScriptMember> TAlertItemObject::Members() const {
    return kMembers;
}

TInvokeResult TAlertItemObject::InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) {
    if (id != kRegisterInfo)
        return TInvokeResult::MemberNotFound();
    if (!(callKind & ckMethod))
        return TInvokeResult::Exception("Bad call type!");
    if (args.size() != 2)
        return TInvokeResult::BadParamCount();
    // A new name is added, a known one takes the new value; the map keeps names in ascending order.
    // The user-interface thread reads the values for the hint while a check runs: change them
    // under the alert's lock.
    const auto lock = m_alert.Lock();
    m_alert.InfoValues[args[0].Text()] = args[1].Text();
    return TInvokeResult::Ok();
}
