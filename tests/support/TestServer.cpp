#include "TestServer.h"

#include "platform/Strings.h"
#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace {

struct Certificate {
    TempDir dir;
    std::string cert;
    std::string key;
};

// A self-signed P-256 certificate for 127.0.0.1, valid for a day.
std::unique_ptr<Certificate> makeCertificate() {
    auto made = std::make_unique<Certificate>();
    made->cert = made->dir.file("server.pem");
    made->key = made->dir.file("server.key");

    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* x509 = X509_new();
    if (key == nullptr || x509 == nullptr)
        throw std::runtime_error("cannot make a test certificate");
    X509_set_version(x509, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509), 86400);
    X509_set_pubkey(x509, key);
    X509_NAME* name = X509_get_subject_name(x509);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(x509, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, x509, x509, nullptr, nullptr, 0);
    const auto addExtension = [&](const char* extName, const char* value) {
        X509_EXTENSION* extension = X509V3_EXT_nconf(nullptr, &ctx, extName, value);
        X509_add_ext(x509, extension, -1);
        X509_EXTENSION_free(extension);
    };
    addExtension("subjectAltName", "IP:127.0.0.1");
    addExtension("basicConstraints", "critical,CA:TRUE");
    X509_sign(x509, key, EVP_sha256());

    FILE* certFile = std::fopen(made->cert.c_str(), "w");
    FILE* keyFile = std::fopen(made->key.c_str(), "w");
    const bool written = certFile != nullptr && keyFile != nullptr && PEM_write_X509(certFile, x509) == 1 &&
                         PEM_write_PrivateKey(keyFile, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (certFile != nullptr)
        std::fclose(certFile);
    if (keyFile != nullptr)
        std::fclose(keyFile);
    X509_free(x509);
    EVP_PKEY_free(key);
    if (!written)
        throw std::runtime_error("cannot write the test certificate");
    return made;
}

const Certificate& certificate() {
    static std::once_flag once;
    static std::unique_ptr<Certificate> made;
    std::call_once(once, [] { made = makeCertificate(); });
    return *made;
}

} // namespace

TestServer::TestServer(Kind kind) : m_kind(kind) {
    if (kind == Kind::Https)
        m_server = std::make_unique<httplib::SSLServer>(certificateFile().c_str(), keyFile().c_str());
    else
        m_server = std::make_unique<httplib::Server>();
}

TestServer::~TestServer() {
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

void TestServer::start() {
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        throw std::runtime_error("test server cannot bind");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // Until the loop runs, stop() would not reach it and the destructor would wait for ever.
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::string TestServer::url(const std::string& path) const {
    return std::string(m_kind == Kind::Https ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string TestServer::certificateFile() {
    return certificate().cert;
}

std::string TestServer::keyFile() {
    return certificate().key;
}

bool RawServer::Request::hasHeader(const std::string& name) const {
    return AsciiLower("\r\n" + head).find("\r\n" + AsciiLower(name) + ":") != std::string::npos;
}

RawServer::RawServer(std::vector<std::string> answers) : m_answers(std::move(answers)) {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 8) != 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("raw test server cannot listen");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

RawServer::~RawServer() {
    shutdown(m_listener, SHUT_RDWR); // ends the blocking accept
    m_thread.join();
    close(m_listener);
}

std::string RawServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string RawServer::lastRequest() const {
    std::lock_guard lock(m_mutex);
    return m_last;
}

std::vector<RawServer::Request> RawServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void RawServer::serve() {
    for (std::size_t served = 0;; ++served) {
        const int connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        const timeval wait{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        std::string request;
        char buffer[4096];
        std::size_t headEnd = std::string::npos;
        std::size_t wanted = std::string::npos;
        while (wanted == std::string::npos || request.size() < wanted) {
            const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<std::size_t>(n));
            if (headEnd == std::string::npos && (headEnd = request.find("\r\n\r\n")) != std::string::npos) {
                const std::string head = AsciiLower(request.substr(0, headEnd));
                const std::size_t field = head.find("\r\ncontent-length:");
                wanted = headEnd + 4 + (field == std::string::npos ? 0 : std::stoul(head.substr(field + 17)));
            }
        }
        {
            std::lock_guard lock(m_mutex);
            m_last = request;
            if (headEnd == std::string::npos)
                m_requests.push_back({request, {}});
            else
                m_requests.push_back({request.substr(0, headEnd + 2), request.substr(headEnd + 4)});
        }
        static const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
        const std::string& answer = served < m_answers.size() ? m_answers[served] : ok;
        send(connection, answer.data(), answer.size(), MSG_NOSIGNAL);
        close(connection);
    }
}
