#pragma once

#include <condition_variable>
#include <mutex>

// An event that stays signalled until reset, shared between threads (cancellation of workers).
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : m_set(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // Waits until the event is set or the time runs out; a negative timeout waits without limit.
    // Returns whether the event is set.
    bool wait(int timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cond;
    bool m_set;
};
