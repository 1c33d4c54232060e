#pragma once

#include <httplib.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An HTTP or HTTPS server on 127.0.0.1 in the test process, on a port of its own. Handlers are
// added to server() before start(). HTTPS uses a certificate made for this test run; the client
// trusts it only through CHTTPRequest::SetTrustedCertificates(TestServer::certificateFile()).
class TestServer {
public:
    enum class Kind { Http, Https };

    explicit TestServer(Kind kind = Kind::Http);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    httplib::Server& server() { return *m_server; }
    // Binds and serves in a thread of its own; returns when the server accepts connections.
    void start();
    int port() const { return m_port; }
    // "http://127.0.0.1:<port>" (or https) followed by the path.
    std::string url(const std::string& path) const;

    // The PEM files of the run's certificate for 127.0.0.1 and its key, made on first use.
    static std::string certificateFile();
    static std::string keyFile();

private:
    Kind m_kind;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};

// A bare HTTP/1.1 server on 127.0.0.1 that records each request's bytes exactly as they arrived
// (header spelling included), one connection per request. It answers from a script of whole
// responses, in order, and with "200 OK" and the body "ok" once the script is used up. A request
// whose header announces a body that does not come is recorded after a second's wait, as far as
// it came, so a client that promises a body it never sends fails a test instead of hanging it.
class RawServer {
public:
    struct Request {
        std::string head; // request line and header lines, each ending in CR LF, without the empty line
        std::string body; // what followed the empty line
        // Whether a header line of that name (letter case ignored) is in the head.
        bool hasHeader(const std::string& name) const;
    };

    explicit RawServer(std::vector<std::string> answers = {});
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    std::string url(const std::string& path) const;
    // The bytes of the last complete request.
    std::string lastRequest() const;
    // Every request so far, in arrival order.
    std::vector<Request> requests() const;

private:
    void serve();

    int m_listener = -1;
    int m_port = 0;
    std::vector<std::string> m_answers;
    mutable std::mutex m_mutex;
    std::string m_last;
    std::vector<Request> m_requests;
    std::thread m_thread;
};
