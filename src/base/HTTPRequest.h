#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TManualResetEvent;

// The program's one-shot HTTP(S) client: every download of a balance check and of a script's
// Request object goes through it. Set the fields, call Perform, read the response fields.
//
// One object is used by one thread at a time. It keeps one client session for its whole life: the
// connections it may reuse and its cookie store. So a login that one Perform does carries over to
// the next Perform of the same object (the steps of one check), while two objects never see each
// other's cookies (two accounts at the same provider), and no cookie outlives the object.
class CHTTPRequest {
public:
    enum TMethod : std::uint8_t { mGet = 0, mPost = 1 };

    // Limits of one Perform. A body larger than MaxBodyBytes is cut off there and fails the
    // download; a connection not made within ConnectTimeoutMs, or a transfer that moves no byte
    // for StallTimeoutMs, fails it too, so no check waits forever.
    static constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;
    static constexpr long kConnectTimeoutMs = 30'000;
    static constexpr long kStallTimeoutMs = 120'000;
    // The body is read in blocks of this size.
    static constexpr std::size_t kReadBlockBytes = 32768;

    CHTTPRequest();
    ~CHTTPRequest();
    CHTTPRequest(const CHTTPRequest&) = delete;
    CHTTPRequest& operator=(const CHTTPRequest&) = delete;

    // When set (not owned), the body download stops at the next read and Perform returns false.
    const TManualResetEvent* CancelEvent = nullptr;
    // Content-Length of the last response, 0 when absent.
    std::int32_t ContentLength = 0;
    // Content-Type of the last response ("text/html; charset=windows-1252"), empty when absent.
    std::string ContentType;
    // The body as read; a std::string, so one zero byte always follows it in memory.
    std::string Data;
    // Extra request header lines, separated by CR LF.
    std::string Headers;
    // Asks caches on the way for a fresh copy (Pragma and Cache-Control: no-cache).
    bool NoCache = true;
    // Why the last Perform failed, in libcurl's words ("Couldn't connect to server"); empty after
    // one that succeeded.
    std::string ErrorText;
    // HTTP status of the last response, 0 when none was received.
    std::int32_t StatusCode = 0;
    // Basic authorization, sent only when both are non-empty.
    std::string Login;
    std::string Password;
    // Absolute address, http or https. A port written in it is used; user name and password
    // written in it are not.
    std::string Url;
    std::string Referrer;
    // The request body, sent whenever it is not empty, whatever the method.
    std::string PostData;
    std::uint8_t Method = mGet;

    std::size_t MaxBodyBytes = kMaxBodyBytes;
    long ConnectTimeoutMs = kConnectTimeoutMs;
    long StallTimeoutMs = kStallTimeoutMs;

    // Runs one request with the current fields. True when the response body was read to its end.
    // StatusCode, ContentLength and Data describe the response afterwards, also after false as far
    // as it got. Redirects are followed, as browsers do: after a POST, a 301, 302 or 303 leads to a
    // GET without the body and its headers, a 307 or 308 to the same POST again. The proxy comes
    // from the environment (http_proxy, https_proxy, no_proxy); certificates are verified; nothing
    // is cached; no User-Agent is sent.
    bool Perform();
    // Ends a transfer in progress. The session (cookies, idle connections) stays.
    void CloseHandles();

    // Certificates (a PEM file) that every request of this process trusts instead of the system's
    // store; empty restores the system's. Meant for test servers with a certificate of their own.
    static void SetTrustedCertificates(const std::string& pemFile);

private:
    struct Session;
    std::unique_ptr<Session> m_session;
};
