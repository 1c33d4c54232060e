#pragma once

#include "support/TestServer.h"

#include <condition_variable>
#include <mutex>
#include <string>

// The rates server of the currency tests: /rates.xml serves a body the test may change between
// requests, and /hold keeps a request open until the test releases it (a download in progress
// that only a cancel ends).
class LoopbackServer {
public:
    LoopbackServer() {
        m_server.server().Get("/rates.xml", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            ++m_requests;
            response.set_content(m_body, "text/xml");
        });
        m_server.server().Get("/hold", [this](const httplib::Request&, httplib::Response& response) {
            std::unique_lock lock(m_mutex);
            ++m_held;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
            response.set_content("released", "text/plain");
        });
        m_server.start();
    }

    // Held requests end before the server stops.
    ~LoopbackServer() { release(); }

    std::string url(const std::string& path) const { return m_server.url(path); }

    void setBody(std::string body) {
        std::lock_guard lock(m_mutex);
        m_body = std::move(body);
    }
    int requests() {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    int held() {
        std::lock_guard lock(m_mutex);
        return m_held;
    }
    // Waits until a request to /hold has arrived.
    void waitForHeldRequest() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_held > 0; });
    }
    void release() {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_body;
    int m_requests = 0;
    int m_held = 0;
    bool m_released = false;
    TestServer m_server; // last: stopped first, while the handlers' state still exists
};
