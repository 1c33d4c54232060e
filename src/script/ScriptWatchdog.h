#pragma once

#include <cstddef>
#include <mutex>

class ManualResetEvent;
class QJSEngine;

// Stops the script engine of one host from another thread. A script that runs away cannot be
// stopped by the thread running it, so the request comes from the host's owner (a cancel event or
// a direct call) or from the watchdog when the process's memory passes the limit.
class TScriptRunControl {
public:
    enum class Reason { None, Cancelled, MemoryLimit };

    // The engine that runs the host's scripts now, or nullptr before it is destroyed. A
    // cancellation requested earlier stops the new engine at once.
    void setEngine(QJSEngine* engine);
    void setCancelEvent(const ManualResetEvent* event);
    const ManualResetEvent* cancelEvent() const;

    // Any thread. A cancellation is final; a memory stop lasts until the next run begins.
    void interrupt(Reason reason);
    Reason reason() const;

    // Called on the running thread around each run: a memory stop belongs to the run it ended,
    // a cancellation is final. Tests the cancel event once before the run starts.
    void beginRun();

private:
    mutable std::mutex m_mutex;
    QJSEngine* m_engine = nullptr;
    const ManualResetEvent* m_cancelEvent = nullptr;
    Reason m_reason = Reason::None;
};

// Watches one run for its lifetime: its cancel event and the process's memory are sampled every
// few milliseconds by one watchdog thread shared by all hosts.
class TScriptRunWatch {
public:
    explicit TScriptRunWatch(TScriptRunControl& control);
    ~TScriptRunWatch();
    TScriptRunWatch(const TScriptRunWatch&) = delete;
    TScriptRunWatch& operator=(const TScriptRunWatch&) = delete;

private:
    TScriptRunControl& m_control;
};

// Resident memory of the whole process above which running scripts are stopped (default 1 GiB).
// The process is what runs out of memory, so the limit is one for all hosts; when it is passed,
// every script running at that moment is stopped.
inline constexpr std::size_t kDefaultScriptMemoryLimit = std::size_t{1} << 30;
void SetScriptMemoryLimit(std::size_t bytes);
std::size_t ScriptMemoryLimit();

// Resident set size of this process from /proc/self/statm; 0 when it cannot be read.
std::size_t ProcessResidentBytes();
