#pragma once

#include "support/TestServer.h"

#include <map>
#include <mutex>
#include <string>

// Sites that imitate what real banks do, for the tests that add an account from its page.

inline std::string requestCookie(const httplib::Request& req, const std::string& name) {
    const std::string header = req.get_header_value("Cookie");
    const std::size_t at = header.find(name + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + name.size() + 1;
    return header.substr(start, header.find(';', start) - start);
}

// A bank's site: a login form whose hidden token belongs to the session (and holds "+" and "\"),
// a named submit button, a login answered by a redirect that sets the login cookie, and an account
// page that shows the balance in a table cell, a figure that changes at every visit, and dates.
// A wrong login gets the form again.
class BankSite {
public:
    BankSite() {
        http.server().Get("/login", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex);
            serveLogin(req, res);
        });
        http.server().Post("/auth/do", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex);
            const std::string session = requestCookie(req, "sess");
            const bool ok = tokens.count(session) != 0 && req.get_param_value("csrf") == tokens[session] &&
                            req.get_param_value("user") == "anna" && req.get_param_value("pw") == "p&ss w+rd" &&
                            req.get_param_value("go") == "Log in" && req.get_param_value("lang") == "de" &&
                            !req.has_param("reset") && req.get_param_value("x") == "1";
            ++logins;
            if (!ok) {
                res.set_content(loginPage("fresh"), "text/html");
                return;
            }
            res.set_header("Set-Cookie", "auth=" + session + "; Path=/; HttpOnly");
            res.set_redirect("/overview");
        });
        http.server().Get("/overview", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<p>Welcome back.</p>", "text/html");
        });
        http.server().Get("/account", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex);
            // Without a login the account page shows the login form, its token bound to the session.
            if (requestCookie(req, "auth").empty() || requestCookie(req, "auth") != requestCookie(req, "sess")) {
                serveLogin(req, res);
                return;
            }
            ++visits;
            res.set_content("<html><head><title>Konto 4711</title><script>var limit = 5000.00;</script></head><body>"
                            "<table class=\"accounts\">\n"
                            "<tr><td>Girokonto</td><td>DE12 3456</td></tr>\n"
                            "<tr><td>Saldo:</td>\n  <td class=\"amount\">1.234,56&nbsp;EUR</td></tr>\n"
                            "<tr><td>Vorgemerkt:</td><td>-12,50 EUR</td></tr>\n"
                            "<tr><td>Saldo:</td><td>99,00 EUR</td></tr>\n"
                            "</table><p>Stand: 10.12.2026</p><p>Besuche: " +
                                std::to_string(visits) + "</p></body></html>",
                            "text/html");
        });
        http.start();
    }

    // The login form with a token of the visitor's session (a new session for a new visitor).
    void serveLogin(const httplib::Request& req, httplib::Response& res) {
        std::string session = requestCookie(req, "sess");
        if (session.empty() || tokens.count(session) == 0) {
            session = "S" + std::to_string(++sessions);
            res.set_header("Set-Cookie", "sess=" + session + "; Path=/");
        }
        tokens[session] = "tk+" + std::to_string(sessions * 7919) + "\\q=";
        res.set_content(loginPage(tokens[session]), "text/html; charset=utf-8");
    }

    static std::string loginPage(const std::string& token) {
        return "<html><head><meta charset=\"utf-8\"><title>Bank</title></head><body>\n"
               "<form method=\"post\" action=\"auth/do?x=1\">\n"
               "  <input type=\"hidden\" name=\"csrf\" value=\"" +
               token +
               "\">\n  <input type=hidden name=lang value=de>\n"
               "  <label>Benutzer</label> <input type=\"text\" name=\"user\">\n"
               "  <input type=\"password\" name=\"pw\">\n"
               "  <button type=\"reset\" name=\"reset\">Reset</button>\n"
               "  <input type=\"submit\" name=\"go\" value=\"Log in\"> <input type=submit name=help value=Help>\n"
               "</form></body></html>";
    }

    TestServer http;
    std::mutex mutex;
    std::map<std::string, std::string> tokens;
    int sessions = 0;
    int logins = 0;
    int visits = 0;
};
