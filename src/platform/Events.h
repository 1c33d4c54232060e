#pragma once

#include <condition_variable>
#include <mutex>

// An event that stays signalled until reset, shared between threads (cancellation of workers).
class TManualResetEvent {
public:
    explicit TManualResetEvent(bool initiallySet = false) : m_set(initiallySet) {}
    TManualResetEvent(const TManualResetEvent&) = delete;
    TManualResetEvent& operator=(const TManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until the event is set or the time runs out; a negative timeout waits without limit.
    // Returns whether the event is set.
    bool Wait(int timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cond;
    bool m_set;
};
