#include "script/HTTPRequestDispatch.h"

#include "script/ScriptWatchdog.h"

namespace {

constexpr TScriptMember kMembers[] = {
    {"get", THTTPRequestDispatch::kGet, TMemberKind::Method},
    {"htmltext", THTTPRequestDispatch::kHtmlText, TMemberKind::MethodOrProperty},
};

} // namespace

THTTPRequestDispatch::THTTPRequestDispatch(const TManualResetEvent* cancelEvent) {
    m_request.CancelEvent = cancelEvent;
}

std::span<const TScriptMember> THTTPRequestDispatch::Members() const {
    return kMembers;
}

TInvokeResult THTTPRequestDispatch::InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) {
    switch (id) {
    case kGet: {
        if (!IsMethodCall(callKind) || args.size() != 1)
            return TInvokeResult::BadParamCount();
        // The address goes out as the script wrote it: no placeholders, no encoding. The status
        // is not looked at: a 404 page that arrives whole is a successful get.
        m_request.Url = args[0].Text();
        // The wait for the server is not the script's running time.
        const TScriptClockPause pause;
        return TInvokeResult::Ok(TScriptValue::FromBoolean(m_request.Perform()));
    }
    case kHtmlText: {
        if ((callKind & ~unsigned{ckMethod | ckPropertyGet}) != 0 || callKind == 0 || !args.empty())
            return TInvokeResult::BadParamCount();
        // The body up to its first zero byte; a failed get leaves what was read before the failure.
        const std::string& data = m_request.Data;
        return TInvokeResult::Ok(TScriptValue::FromText(data.substr(0, data.find('\0'))));
    }
    default:
        return TInvokeResult::MemberNotFound();
    }
}
