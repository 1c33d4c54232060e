#include "platform/Events.h"

#include <chrono>

void TManualResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_cond.notify_all();
}

void TManualResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool TManualResetEvent::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_set;
}

bool TManualResetEvent::Wait(int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    if (timeoutMs < 0) {
        m_cond.wait(lock, [this] { return m_set; });
        return true;
    }
    return m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; });
}
