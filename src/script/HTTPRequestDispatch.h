#pragma once

#include "base/HTTPRequest.h"
#include "script/ScriptObject.h"

class TManualResetEvent;

// "Request": lets a script download a page itself. get(address) downloads it, htmltext gives the
// body read. The object has its own CHTTPRequest with the defaults (GET, no headers, no login, no
// referrer, no body) and so its own cookie store, shared by all gets of the run that received it.
class THTTPRequestDispatch : public TScriptObject {
public:
    static constexpr int kGet = 1;
    static constexpr int kHtmlText = 2;

    // The cancel event (not owned) stops a download in progress; nullptr means never.
    explicit THTTPRequestDispatch(const TManualResetEvent* cancelEvent = nullptr);

    std::string_view TypeName() const override { return "Request"; }

    // The embedded request, for its owner.
    CHTTPRequest& Request() { return m_request; }

protected:
    std::span<const TScriptMember> Members() const override;
    TInvokeResult InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) override;

private:
    CHTTPRequest m_request;
};
