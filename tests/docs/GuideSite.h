#pragma once

#include "support/TestServer.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

// The sites of the guides' live examples, served on 127.0.0.1 as the HTTP proxy of the tool's
// runs: the examples keep their own addresses (http://bank.example/...), the tool sends every
// request to the proxy named by http_proxy, and no request leaves the machine. Their pages are the
// files of docs/examples/; what a real site decides (a login, a session, a token) is decided here.
//
//   bank.example    POST /login?nocache=N with login=anna&password=correct horse answers with a
//                   session cookie and a redirect to /accounts (other logins get the login page
//                   again); every page after it needs the cookie (403 without it); the balance
//                   page also needs the session's view token, a date and the account page as its
//                   referrer
//   mobile.example  /account?nocache=N needs Basic authorization 5550123 / mobile pin
//   wallet.example  /w/TG-4411, the saved page of the wallet
//   savings.example /login gives each session (cookie "sid") a token of its own in its form;
//                   POST /signin with that token and customer=anna&password=correct horse logs
//                   the session in and redirects to /account, the account page, which sends a
//                   session that is not logged in to /login (other logins get the form again)
//   rates.example   /daily.txt: site/rates.example/daily-1.txt at the first request, daily-2.txt
//                   at every later one
// Every other request is answered 404 and remembered as unexpected.
class GuideSite {
public:
    // `examples` is the docs/examples folder, without a closing separator.
    explicit GuideSite(std::string examples);

    // "http://127.0.0.1:<port>", the value for http_proxy.
    std::string ProxyAddress() const;
    // Requests that no example makes, as "METHOD target".
    std::vector<std::string> UnexpectedRequests() const;

private:
    void answer(const httplib::Request& request, httplib::Response& response);
    bool bank(const std::string& method, const std::string& path, const httplib::Request& request,
              httplib::Response& response);
    bool savings(const std::string& method, const std::string& path, const httplib::Request& request,
                 httplib::Response& response);
    std::string file(const std::string& name) const;

    std::string m_examples;
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_sessions; // session cookie -> view token
    struct SavingsSession {
        std::string token;
        bool loggedIn = false;
    };
    std::map<std::string, SavingsSession> m_savings; // session cookie -> its token and login
    int m_ratesRequests = 0;
    std::vector<std::string> m_unexpected;
    TestServer m_server; // last: stopped first, while the handlers' state still exists
};
