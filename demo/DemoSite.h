#pragma once

#include "DemoBalances.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// The demo's pretend providers, served on 127.0.0.1 by a thread of their own:
//   /bank/...    a form login with a session cookie, then an account page and a balance page;
//   /mobile/...  an account page behind HTTP Basic authorization whose figures sit in a script;
//   /wallet/...  one public page;
//   /savings/... a login form with a token of its own, then an overview with the balance in a table
//                cell, written the German way: a site for trying "Add account from a page...";
//   /ecb/...     the euro reference rates file that the shipped ECB provider reads.
// The balances follow DemoBalanceAt of the site's period, so checks a period apart see changes.
class TDemoSite {
public:
    static constexpr const char* kBankLogin = "anna";
    static constexpr const char* kBankPassword = "demo-bank";
    static constexpr const char* kMobileLogin = "5550123";
    static constexpr const char* kMobilePassword = "demo-mobile";
    static constexpr const char* kSavingsLogin = "anna";
    static constexpr const char* kSavingsPassword = "demo-savings";

    explicit TDemoSite(int stepSeconds = 60);
    ~TDemoSite();
    TDemoSite(const TDemoSite&) = delete;
    TDemoSite& operator=(const TDemoSite&) = delete;

    // The period the balances are read at; by default from the clock. Set before Start.
    std::function<std::int64_t()> PeriodSource;

    // Binds 127.0.0.1 (port 0: a free one) and serves; false when the port cannot be had.
    bool Start(int port = 0);
    void Stop();
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>", without a closing slash.
    std::string Address() const;
    int StepSeconds() const { return m_stepSeconds; }
    std::int64_t CurrentPeriod() const;

private:
    void AddRoutes();
    void BankLogin(const httplib::Request& request, httplib::Response& response);
    void AddSavingsRoutes();
    void SavingsLogin(const httplib::Request& request, httplib::Response& response);
    // A new token in `tokens` (m_sessions, or m_formTokens of the savings login form); the oldest
    // make room.
    std::string NewToken(std::map<std::string, std::int64_t>& tokens);
    // The session named by the request's cookie; empty when there is none or it is unknown.
    std::string SessionOf(const httplib::Request& request, const char* cookie = nullptr) const;
    static std::string ViewTokenOf(const std::string& session);

    int m_stepSeconds;
    int m_port = 0;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::map<std::string, std::int64_t> m_sessions;   // token -> period it was made in
    std::map<std::string, std::int64_t> m_formTokens; // the savings login form's tokens, the same way
};
