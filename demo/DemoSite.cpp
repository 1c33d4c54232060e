#include "DemoSite.h"

#include "base/Encoders.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

namespace {

constexpr const char* kAccountNumber = "4711";
constexpr const char* kWalletId = "TG-7Q2M";
constexpr const char* kSessionCookie = "demo_bank_session";
constexpr const char* kSavingsCookie = "demo_savings_session";
constexpr const char* kSavingsAccount = "DE12 3456 7890 0000 4711 00";
constexpr std::size_t kMaxSessions = 256;

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head>\n<body>\n<h1>" +
           title + "</h1>\n" + body + "\n</body></html>\n";
}

void SendPage(httplib::Response& response, const std::string& title, const std::string& body, int status = 200) {
    response.status = status;
    response.set_content(Page(title, body), "text/html; charset=utf-8");
}

std::string RandomToken() {
    static std::mutex mutex;
    static std::mt19937_64 generator{std::random_device{}()};
    std::lock_guard lock(mutex);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

// Keeps a token in the map, the oldest making room when it is full.
void Remember(std::map<std::string, std::int64_t>& tokens, const std::string& token, std::int64_t period) {
    while (tokens.size() >= kMaxSessions)
        tokens.erase(std::min_element(tokens.begin(), tokens.end(),
                                      [](const auto& a, const auto& b) { return a.second < b.second; }));
    tokens[token] = period;
}

// "3.210,45": the grouped amount as German sites write it.
std::string GermanAmount(std::int32_t hundredths) {
    std::string text = DemoAmountText(hundredths, true);
    for (char& c : text)
        c = c == ',' ? '.' : c == '.' ? ',' : c;
    return text;
}

std::string SavingsLoginForm(const std::string& token, const std::string& message) {
    return message +
           "<form method=\"post\" action=\"/savings/signin\">\n<input type=\"hidden\" name=\"form_token\" value=\"" +
           token +
           "\">\n<p>Customer number <input type=\"text\" name=\"customer\"></p>\n<p>PIN <input type=\"password\" "
           "name=\"pin\"></p>\n<p><button type=\"submit\" name=\"action\" value=\"signin\">Sign "
           "in</button></p>\n</form>";
}

} // namespace

TDemoSite::TDemoSite(int stepSeconds)
    : m_stepSeconds(stepSeconds > 0 ? stepSeconds : 60), m_server(std::make_unique<httplib::Server>()) {}

TDemoSite::~TDemoSite() {
    Stop();
}

bool TDemoSite::Start(int port) {
    AddRoutes();
    m_port =
        port > 0 ? (m_server->bind_to_port("127.0.0.1", port) ? port : -1) : m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        return false;
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // Until the loop runs, Stop would not reach it.
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void TDemoSite::Stop() {
    if (!m_thread.joinable())
        return;
    m_server->stop();
    m_thread.join();
}

std::string TDemoSite::Address() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::int64_t TDemoSite::CurrentPeriod() const {
    if (PeriodSource)
        return PeriodSource();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return DemoPeriodOf(std::chrono::duration_cast<std::chrono::seconds>(now).count(), m_stepSeconds);
}

std::string TDemoSite::NewToken(std::map<std::string, std::int64_t>& tokens) {
    const std::string token = RandomToken();
    const std::int64_t period = CurrentPeriod();
    std::lock_guard lock(m_mutex);
    // Every check signs in anew; the oldest make room.
    Remember(tokens, token, period);
    return token;
}

std::string TDemoSite::SessionOf(const httplib::Request& request, const char* cookie) const {
    // One cookie header with "name=value" pairs separated by "; ".
    const std::string cookies = "; " + request.get_header_value("Cookie");
    const std::string key = std::string("; ") + (cookie ? cookie : kSessionCookie) + "=";
    const std::size_t at = cookies.find(key);
    if (at == std::string::npos)
        return std::string();
    const std::size_t start = at + key.size();
    const std::string token = cookies.substr(start, cookies.find(';', start) - start);
    std::lock_guard lock(m_mutex);
    return m_sessions.count(token) != 0 ? token : std::string();
}

std::string TDemoSite::ViewTokenOf(const std::string& session) {
    // The balance page's address carries a token made from the session, so the check has to take
    // it from the account page, as real sites make one do.
    return Md5Hex("view:" + session).substr(0, 12);
}

void TDemoSite::BankLogin(const httplib::Request& request, httplib::Response& response) {
    if (request.get_param_value("login") != kBankLogin || request.get_param_value("password") != kBankPassword) {
        SendPage(response, "Demo Bank",
                 "<p class=\"error\">Wrong login or password.</p>\n"
                 "<form method=\"post\" action=\"/bank/login\">Login <input name=\"login\"> Password "
                 "<input name=\"password\" type=\"password\"> <button>Sign in</button></form>");
        return;
    }
    const std::string token = NewToken(m_sessions);
    response.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + token + "; Path=/bank; HttpOnly");
    response.set_redirect("/bank/home");
}

void TDemoSite::SavingsLogin(const httplib::Request& request, httplib::Response& response) {
    bool knownForm = false;
    {
        std::lock_guard lock(m_mutex);
        knownForm = m_formTokens.erase(request.get_param_value("form_token")) != 0;
    }
    if (!knownForm || request.get_param_value("customer") != kSavingsLogin ||
        request.get_param_value("pin") != kSavingsPassword) {
        SendPage(response, "Demo Savings",
                 SavingsLoginForm(NewToken(m_formTokens),
                                  knownForm ? "<p class=\"error\">Wrong customer number or PIN.</p>\n"
                                            : "<p class=\"error\">The form has expired; please sign in.</p>\n"));
        return;
    }
    response.set_header("Set-Cookie",
                        std::string(kSavingsCookie) + "=" + NewToken(m_sessions) + "; Path=/savings; HttpOnly");
    response.set_redirect("/savings/account");
}

void TDemoSite::AddSavingsRoutes() {
    httplib::Server& server = *m_server;
    server.Get("/savings/", [this](const httplib::Request&, httplib::Response& response) {
        SendPage(response, "Demo Savings", SavingsLoginForm(NewToken(m_formTokens), ""));
    });
    server.Post("/savings/signin", [this](const httplib::Request& request, httplib::Response& response) {
        SavingsLogin(request, response);
    });
    server.Get("/savings/account", [this](const httplib::Request& request, httplib::Response& response) {
        if (SessionOf(request, kSavingsCookie).empty()) {
            response.set_redirect("/savings/");
            return;
        }
        // Three cents of interest a period.
        const auto balance = static_cast<std::int32_t>(321045 + (CurrentPeriod() % 100000) * 3);
        SendPage(response, "Demo Savings",
                 "<p>Signed in as Anna "
                 "Example.</p>\n<table>\n<tr><th>Account</th><th>Rate</th><th>Balance</th></tr>\n<tr><td>" +
                     std::string(kSavingsAccount) + "</td><td>1,75 %</td><td>" + GermanAmount(balance) +
                     " EUR</td></tr>\n</table>\n<p><a href=\"/savings/\">Sign out</a></p>");
    });
}

void TDemoSite::AddRoutes() {
    AddSavingsRoutes();
    httplib::Server& server = *m_server;
    const std::string account = kAccountNumber;

    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        SendPage(response, "Tallyglass demo providers",
                 "<p>Pretend providers for trying Tallyglass; every balance changes with the clock.</p>\n<ul>\n"
                 "<li><a href=\"/bank/\">Demo Bank</a>: a form login, then an account page and a balance page</li>\n"
                 "<li><a href=\"/mobile/account\">Demo Mobile</a>: HTTP Basic authorization, figures in a "
                 "script</li>\n"
                 "<li><a href=\"/wallet/" +
                     std::string(kWalletId) +
                     "\">Demo Wallet</a>: one public page</li>\n"
                     "<li><a href=\"/savings/account\">Demo Savings</a>: for trying \"Add account from a page...\" "
                     "(customer number " +
                     std::string(kSavingsLogin) + ", PIN " + kSavingsPassword +
                     ")</li>\n"
                     "<li><a href=\"/ecb/eurofxref-daily.xml\">Euro reference rates</a>: for the shipped provider "
                     "of the central bank's rates</li>\n</ul>");
    });

    // Demo Bank.
    server.Get("/bank/", [](const httplib::Request&, httplib::Response& response) {
        SendPage(response, "Demo Bank",
                 "<form method=\"post\" action=\"/bank/login\">Login <input name=\"login\"> Password "
                 "<input name=\"password\" type=\"password\"> <button>Sign in</button></form>");
    });
    server.Post("/bank/login",
                [this](const httplib::Request& request, httplib::Response& response) { BankLogin(request, response); });
    server.Get("/bank/home", [this, account](const httplib::Request& request, httplib::Response& response) {
        if (SessionOf(request).empty()) {
            response.set_redirect("/bank/");
            return;
        }
        SendPage(response, "Demo Bank",
                 "<p>Welcome, Anna.</p>\n<p>Your accounts:</p>\n<ul><li><a href=\"/bank/accounts/" + account +
                     "\">Current account " + account + "</a></li></ul>\n<p><a href=\"/bank/\">Sign out</a></p>");
    });
    server.Get("/bank/accounts/" + account,
               [this, account](const httplib::Request& request, httplib::Response& response) {
                   const std::string session = SessionOf(request);
                   if (session.empty()) {
                       SendPage(response, "Demo Bank", "<p>Please sign in.</p>", 403);
                       return;
                   }
                   SendPage(response, "Current account " + account,
                            "<p>Holder: Anna Example</p>\n<p><a href=\"/bank/accounts/" + account +
                                "/balance?view=" + ViewTokenOf(session) + "\">Show balance</a></p>");
               });
    server.Get("/bank/accounts/" + account + "/balance",
               [this, account](const httplib::Request& request, httplib::Response& response) {
                   const std::string session = SessionOf(request);
                   if (session.empty() || request.get_param_value("view") != ViewTokenOf(session)) {
                       SendPage(response, "Demo Bank", "<p>This page has expired. Please sign in again.</p>", 403);
                       return;
                   }
                   const std::int32_t balance = DemoBalanceAt(TDemoAccount::Bank, CurrentPeriod());
                   SendPage(response, "Current account " + account,
                            "<p>Available balance: <b>" + DemoAmountText(balance, true) + " EUR</b></p>");
               });

    // Demo Mobile: the figures come as data for the page's own script, which a pattern script reads.
    server.Get("/mobile/account", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string expected = "Basic " + Base64Encode(std::string(kMobileLogin) + ":" + kMobilePassword);
        if (request.get_header_value("Authorization") != expected) {
            response.set_header("WWW-Authenticate", "Basic realm=\"Demo Mobile\"");
            SendPage(response, "Demo Mobile", "<p>Please sign in with your number and password.</p>", 401);
            return;
        }
        const std::int64_t period = CurrentPeriod();
        const std::int32_t credit = DemoBalanceAt(TDemoAccount::Mobile, period);
        // Usage follows the credit: what was spent went on calls.
        const std::int64_t minutesLeft = 300 - std::max<std::int64_t>(0, 2500 - credit) / 15;
        SendPage(response, "Demo Mobile",
                 "<div id=\"account\">Loading...</div>\n<script>\nvar account = {\"number\": \"" +
                     std::string(kMobileLogin) + "\", \"credit\": {\"amount\": \"" + DemoAmountText(credit) +
                     "\", \"currency\": \"EUR\"}, \"plan\": \"Demo Talk 300\", \"tariff\": \"Standard\", "
                     "\"minutes_left\": " +
                     std::to_string(minutesLeft) +
                     ", \"data_left_mb\": 1536};\n"
                     "document.getElementById(\"account\").textContent = account.credit.amount + \" EUR\";\n"
                     "</script>");
    });

    // The central bank's daily reference rates, changing with the clock.
    server.Get("/ecb/eurofxref-daily.xml", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(DemoRatesFile(CurrentPeriod()), "text/xml");
    });

    // Demo Wallet.
    server.Get("/wallet/" + std::string(kWalletId), [this](const httplib::Request&, httplib::Response& response) {
        const std::int32_t balance = DemoBalanceAt(TDemoAccount::Wallet, CurrentPeriod());
        SendPage(response, std::string("Wallet ") + kWalletId,
                 "<table><tr><td>Balance:</td><td>" + DemoAmountText(balance) + " credits</td></tr></table>");
    });
}
