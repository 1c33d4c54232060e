#include "GuideSite.h"

#include "base/Encoders.h"
#include "support/TestSupport.h"

#include <QRegularExpression>
#include <QUuid>

namespace {

constexpr const char* kBankLogin = "anna";
constexpr const char* kBankPassword = "correct horse";
constexpr const char* kMobileAuthorization = "5550123:mobile pin";
constexpr const char* kAccount = "/accounts/40817";

bool matches(const std::string& text, const char* pattern) {
    const QRegularExpression whole(QRegularExpression::anchoredPattern(QString::fromLatin1(pattern)));
    return whole.match(QString::fromStdString(text)).hasMatch();
}

std::string newToken() {
    return QUuid::createUuid().toString(QUuid::Id128).left(12).toStdString();
}

} // namespace

GuideSite::GuideSite(std::string examples) : m_examples(std::move(examples)) {
    const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        answer(request, response);
    };
    m_server.server().Get(".*", handler);
    m_server.server().Post(".*", handler);
    m_server.start();
}

std::string GuideSite::ProxyAddress() const {
    return m_server.url("");
}

std::vector<std::string> GuideSite::UnexpectedRequests() const {
    std::lock_guard lock(m_mutex);
    return m_unexpected;
}

std::string GuideSite::file(const std::string& name) const {
    return ReadFileBytes(m_examples + "/" + name);
}

void GuideSite::answer(const httplib::Request& request, httplib::Response& response) {
    // A proxy is asked for the whole address: "http://bank.example/login".
    std::string host = request.get_header_value("Host");
    std::string path = request.path;
    if (path.rfind("http://", 0) == 0) {
        const std::size_t slash = path.find('/', 7);
        host = path.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    const std::string& method = request.method;
    const auto param = [&request](const char* name) { return request.get_param_value(name); };

    std::lock_guard lock(m_mutex);
    if (host == "bank.example" && bank(method, path, request, response))
        return;
    if (host == "savings.example" && savings(method, path, request, response))
        return;
    if (host == "mobile.example" && method == "GET" && path == "/account" && matches(param("nocache"), "-?\\d+")) {
        if (request.get_header_value("Authorization") == "Basic " + Base64Encode(kMobileAuthorization)) {
            response.set_content(file("pages/mobile-account.html"), "text/html; charset=utf-8");
        } else {
            response.status = 401;
            response.set_header("WWW-Authenticate", "Basic realm=\"Example Mobile\"");
            response.set_content("<html><body>Please log in.</body></html>", "text/html");
        }
        return;
    }
    if (host == "wallet.example" && method == "GET" && path == "/w/TG-4411") {
        response.set_content(file("pages/wallet.html"), "text/html; charset=utf-8");
        return;
    }
    if (host == "rates.example" && method == "GET" && path == "/daily.txt") {
        ++m_ratesRequests;
        const char* day = m_ratesRequests == 1 ? "site/rates.example/daily-1.txt" : "site/rates.example/daily-2.txt";
        response.set_content(file(day), "text/plain; charset=utf-8");
        return;
    }
    m_unexpected.push_back(method + " " + request.target + " (" + host + ")");
    response.status = 404;
}

bool GuideSite::bank(const std::string& method, const std::string& path, const httplib::Request& request,
                     httplib::Response& response) {
    const auto param = [&request](const char* name) { return request.get_param_value(name); };
    if (method == "POST" && path == "/login" && matches(param("nocache"), "-?\\d+")) {
        // The form arrives URL-encoded: the blank of the password as "+".
        if (param("login") == kBankLogin && param("password") == kBankPassword) {
            const std::string session = newToken();
            m_sessions[session] = newToken();
            response.set_header("Set-Cookie", "session=" + session + "; Path=/; HttpOnly");
            response.set_redirect("/accounts");
        } else {
            response.set_content(file("site/bank.example/login.html"), "text/html; charset=utf-8");
        }
        return true;
    }
    if (method != "GET")
        return false;
    const std::string cookie = request.get_header_value("Cookie");
    const auto session = cookie.rfind("session=", 0) == 0 ? m_sessions.find(cookie.substr(8)) : m_sessions.end();
    if (session == m_sessions.end()) {
        // Without a session every page is forbidden, as after a login that failed.
        response.status = 403;
        return true;
    }
    if (path == "/accounts") {
        response.set_content(file("site/bank.example/accounts.html"), "text/html; charset=utf-8");
        return true;
    }
    if (path == kAccount) {
        std::string page = file("site/bank.example/account.html");
        page.replace(page.find("@VIEW@"), 6, session->second);
        response.set_content(page, "text/html; charset=utf-8");
        return true;
    }
    if (path == std::string(kAccount) + "/balance") {
        const bool fromAccount = request.get_header_value("Referer") == std::string("http://bank.example") + kAccount;
        if (param("view") != session->second || !matches(param("date"), "\\d{4}-\\d\\d-\\d\\d") || !fromAccount) {
            response.status = 403;
            return true;
        }
        response.set_content(file("site/bank.example/balance.html"), "text/html; charset=utf-8");
        return true;
    }
    return false;
}

bool GuideSite::savings(const std::string& method, const std::string& path, const httplib::Request& request,
                        httplib::Response& response) {
    const std::string cookie = request.get_header_value("Cookie");
    auto session = cookie.rfind("sid=", 0) == 0 ? m_savings.find(cookie.substr(4)) : m_savings.end();
    const auto loginPage = [&] {
        if (session == m_savings.end()) {
            const std::string id = newToken();
            session = m_savings.emplace(id, SavingsSession{newToken(), false}).first;
            response.set_header("Set-Cookie", "sid=" + id + "; Path=/; HttpOnly");
        }
        std::string page = file("site/savings.example/login.html");
        page.replace(page.find("@TOKEN@"), 7, session->second.token);
        response.set_content(page, "text/html; charset=utf-8");
    };
    if (method == "GET" && path == "/login") {
        loginPage();
        return true;
    }
    if (method == "POST" && path == "/signin") {
        if (session != m_savings.end() && request.get_param_value("token") == session->second.token &&
            request.get_param_value("customer") == kBankLogin && request.get_param_value("password") == kBankPassword &&
            request.get_param_value("go") == "login") {
            session->second.loggedIn = true;
            response.set_redirect("/account");
        } else {
            loginPage();
        }
        return true;
    }
    if (method == "GET" && path == "/account") {
        if (session != m_savings.end() && session->second.loggedIn)
            response.set_content(file("site/savings.example/account.html"), "text/html; charset=utf-8");
        else
            response.set_redirect("/login");
        return true;
    }
    return false;
}
