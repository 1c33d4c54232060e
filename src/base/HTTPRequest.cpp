#include "base/HTTPRequest.h"

#include "platform/Events.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>
#include <string_view>
#include <vector>

namespace {

std::mutex g_trustMutex;
std::string g_trustedCertificates;

std::string TrustedCertificates() {
    std::lock_guard lock(g_trustMutex);
    return g_trustedCertificates;
}

void InitialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TSlistPtr = std::unique_ptr<curl_slist, TSlistDeleter>;

struct TUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using TUrlPtr = std::unique_ptr<CURLU, TUrlDeleter>;

bool Append(TSlistPtr& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr)
        return false;
    list.release();
    list.reset(grown);
    return true;
}

// The address as sent: only http and https, and without the user name and password that may be
// written in it (the login goes only where Login and Password say).
TUrlPtr ParseAddress(const std::string& given) {
    // Templates may put blanks into an address (a date format with a blank, say); they go out
    // escaped, as browsers send them.
    std::string address;
    for (const char c : given)
        address += c == ' ' ? std::string("%20") : std::string(1, c);
    TUrlPtr url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK)
        return nullptr;
    char* scheme = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK)
        return nullptr;
    const std::string_view name(scheme);
    const bool web = name == "http" || name == "https";
    curl_free(scheme);
    if (!web)
        return nullptr;
    curl_url_set(url.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_OPTIONS, nullptr, 0);
    return url;
}

} // namespace

// One easy handle for the object's life: libcurl keeps its cookie store and connection cache in
// it across transfers. The multi handle drives the transfer
// so that the cancel event is looked at every few milliseconds, not only when data arrives.
struct CHTTPRequest::Session {
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    bool attached = false;

    std::string defaultCaFile; // libcurl's own certificate bundle

    // State of the running transfer, read by the callbacks.
    CHTTPRequest* owner = nullptr;
    bool tooLarge = false;
    bool cancelled = false;

    ~Session() {
        Detach();
        if (easy != nullptr)
            curl_easy_cleanup(easy);
        if (multi != nullptr)
            curl_multi_cleanup(multi);
    }

    void Detach() {
        if (attached)
            curl_multi_remove_handle(multi, easy);
        attached = false;
    }

    bool CancelRequested() const { return owner->CancelEvent != nullptr && owner->CancelEvent->IsSet(); }

    static size_t Write(char* data, size_t size, size_t count, void* user) {
        auto* session = static_cast<Session*>(user);
        CHTTPRequest& request = *session->owner;
        const size_t bytes = size * count;
        if (session->CancelRequested()) {
            session->cancelled = true;
            return CURL_WRITEFUNC_ERROR;
        }
        const size_t room = request.MaxBodyBytes - std::min(request.MaxBodyBytes, request.Data.size());
        if (bytes > room) {
            request.Data.append(data, room);
            session->tooLarge = true;
            return CURL_WRITEFUNC_ERROR;
        }
        // std::string grows geometrically, so a long body costs few reallocations.
        request.Data.append(data, bytes);
        return bytes;
    }
};

CHTTPRequest::CHTTPRequest() = default;

CHTTPRequest::~CHTTPRequest() = default;

void CHTTPRequest::SetTrustedCertificates(const std::string& pemFile) {
    std::lock_guard lock(g_trustMutex);
    g_trustedCertificates = pemFile;
}

void CHTTPRequest::CloseHandles() {
    if (m_session)
        m_session->Detach();
}

bool CHTTPRequest::Perform() {
    CloseHandles();
    Data = std::string();
    ContentLength = 0;
    ContentType.clear();
    StatusCode = 0;
    // Failures before the transfer starts are libcurl's own refusals, named as it names them.
    ErrorText = curl_easy_strerror(CURLE_FAILED_INIT);

    InitialiseCurl();
    if (!m_session) {
        auto session = std::make_unique<Session>();
        session->easy = curl_easy_init();
        session->multi = curl_multi_init();
        if (session->easy == nullptr || session->multi == nullptr)
            return false;
        // Options that never change. The others are all set again by every Perform; the handle is
        // never reset, because its cookie engine, switched on here, has to stay on.
        CURL* easy = session->easy;
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, ""); // the session's own cookie store, in memory only
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(kReadBlockBytes));
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Session::Write);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, session.get());
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        char* defaultCa = nullptr;
        if (curl_easy_getinfo(easy, CURLINFO_CAINFO, &defaultCa) == CURLE_OK && defaultCa != nullptr)
            session->defaultCaFile = defaultCa;
        m_session = std::move(session);
    }
    Session& session = *m_session;
    CURL* easy = session.easy;
    session.owner = this;
    session.tooLarge = false;
    session.cancelled = false;

    const TUrlPtr url = ParseAddress(Url);
    if (!url) {
        ErrorText = curl_easy_strerror(CURLE_URL_MALFORMAT);
        return false;
    }

    TSlistPtr headers;
    bool listOk = true;
    // Header lines given by the caller, one per line; blank lines are dropped.
    for (std::size_t start = 0; start < Headers.size();) {
        std::size_t end = Headers.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = Headers.size();
        if (end > start)
            listOk = listOk && Append(headers, Headers.substr(start, end - start));
        start = end + 1;
    }
    if (NoCache) {
        listOk = listOk && Append(headers, "Pragma: no-cache");
        listOk = listOk && Append(headers, "Cache-Control: no-cache");
    }
    // A body is sent as it is, never held back waiting for "100 Continue".
    listOk = listOk && Append(headers, "Expect:");

    const bool hasBody = !PostData.empty();
    if (Method == mPost) {
        // A POST with a body gets its form content type and length from libcurl, which also drops
        // them when a 301, 302 or 303 answer turns the next request into a GET without a body. Put
        // into the header list they would go out with that GET too, announcing a body that never
        // comes: strict servers answer 400, others wait for it until the transfer stalls.
        if (!hasBody) {
            // A POST without a body carries no form content type. Its "Content-Length: 0" stays:
            // without it some servers wait for a body until the connection closes.
            listOk = listOk && Append(headers, "Content-Type:");
        }
    } else if (hasBody) {
        // A GET that carries a body: the body goes out with its length, but no form content type.
        listOk = listOk && Append(headers, "Content-Type:");
    }
    if (!listOk)
        return false;
    // The body first: setting it makes the request a POST, which the method options then settle.
    const bool sendBody = hasBody || Method == mPost;
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(sendBody ? PostData.size() : 0));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, sendBody ? PostData.c_str() : nullptr);
    if (Method == mPost) {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
    } else if (hasBody) {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "GET");
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }

    curl_easy_setopt(easy, CURLOPT_CURLU, url.get());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, ConnectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_REFERER, Referrer.empty() ? nullptr : Referrer.c_str());
    const bool authorize = !Login.empty() && !Password.empty();
    curl_easy_setopt(easy, CURLOPT_USERNAME, authorize ? Login.c_str() : nullptr);
    curl_easy_setopt(easy, CURLOPT_PASSWORD, authorize ? Password.c_str() : nullptr);
    const std::string trusted = TrustedCertificates();
    const std::string& caFile = trusted.empty() ? session.defaultCaFile : trusted;
    curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.empty() ? nullptr : caFile.c_str());

    if (curl_multi_add_handle(session.multi, easy) != CURLM_OK)
        return false;
    session.attached = true;
    ErrorText.clear();

    // The transfer runs in short slices; between them the cancel event and the stall clock are
    // looked at. Progress is any byte moved, headers included.
    using Clock = std::chrono::steady_clock;
    auto lastProgress = Clock::now();
    curl_off_t lastBytes = -1;
    bool ok = false;
    for (;;) {
        if (session.CancelRequested()) {
            session.cancelled = true;
            break;
        }
        int running = 0;
        if (curl_multi_perform(session.multi, &running) != CURLM_OK)
            break;
        if (running == 0) {
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(session.multi, &queued))
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                    ok = message->data.result == CURLE_OK;
                    if (!ok)
                        ErrorText = curl_easy_strerror(message->data.result);
                }
            break;
        }
        curl_off_t down = 0, up = 0;
        long headerBytes = 0;
        curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &down);
        curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &up);
        curl_easy_getinfo(easy, CURLINFO_HEADER_SIZE, &headerBytes);
        const curl_off_t moved = down + up + headerBytes;
        const auto now = Clock::now();
        if (moved != lastBytes) {
            lastBytes = moved;
            lastProgress = now;
        } else if (now - lastProgress >= std::chrono::milliseconds(StallTimeoutMs)) {
            ErrorText = curl_easy_strerror(CURLE_OPERATION_TIMEDOUT);
            break;
        }
        if (curl_multi_poll(session.multi, nullptr, 0, 50, nullptr) != CURLM_OK)
            break;
    }

    long code = 0;
    if (curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code > 0)
        StatusCode = static_cast<std::int32_t>(std::min<long>(code, std::numeric_limits<std::int32_t>::max()));
    const char* type = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr)
        ContentType = type;
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0)
        ContentLength =
            static_cast<std::int32_t>(std::min<curl_off_t>(length, std::numeric_limits<std::int32_t>::max()));
    CloseHandles();
    // The options point into this call's header list, address and fields; leave none behind.
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(easy, CURLOPT_CURLU, nullptr);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(easy, CURLOPT_REFERER, nullptr);
    curl_easy_setopt(easy, CURLOPT_USERNAME, nullptr);
    curl_easy_setopt(easy, CURLOPT_PASSWORD, nullptr);
    session.owner = nullptr;
    if (session.cancelled)
        ErrorText = curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK);
    else if (session.tooLarge)
        ErrorText = curl_easy_strerror(CURLE_FILESIZE_EXCEEDED);
    else if (!ok && ErrorText.empty())
        ErrorText = curl_easy_strerror(CURLE_RECV_ERROR);
    return ok && !session.cancelled && !session.tooLarge;
}
