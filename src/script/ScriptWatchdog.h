#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>

class TManualResetEvent;
class QJSEngine;

// The running time of one script call (the top-level code of a load, or one function call): 5 s
// on the user-interface thread, which must not freeze for long, 30 s on workers. A host takes the
// default of the thread it is created on; tests shorten the defaults for the hosts that the
// program's own code creates.
inline constexpr std::chrono::milliseconds kUiThreadScriptTimeLimit{5000};
inline constexpr std::chrono::milliseconds kWorkerScriptTimeLimit{30000};
void SetDefaultScriptTimeLimits(std::chrono::milliseconds uiThread, std::chrono::milliseconds worker);
// The default for a host created on the calling thread.
std::chrono::milliseconds DefaultScriptTimeLimit();

// Stops the script engine of one host from another thread. A script that runs away cannot be
// stopped by the thread running it, so the request comes from the host's owner (a cancel event or
// a direct call) or from the watchdog, when the process's memory passes the limit or a run has
// used up its time.
class TScriptRunControl {
public:
    enum class TReason { None, Cancelled, MemoryLimit, TimeLimit };

    // The engine that runs the host's scripts now, or nullptr before it is destroyed. A
    // cancellation requested earlier stops the new engine at once.
    void SetEngine(QJSEngine* engine);
    void SetCancelEvent(const TManualResetEvent* event);
    const TManualResetEvent* CancelEvent() const;

    // The running time each run may use. It counts from the run's start, less the time its clock
    // was paused (TScriptClockPause).
    void SetTimeLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds TimeLimit() const;

    // Any thread. A cancellation is final; a memory or time stop lasts until the next run begins.
    void Interrupt(TReason reason);
    TReason Reason() const;

    // Called on the running thread around each run: a memory or time stop belongs to the run it
    // ended, a cancellation is final. Starts the run's clock and tests the cancel event once
    // before the run starts.
    void BeginRun();

    // The watchdog's look at the clock: stops the run once its running time reaches the limit.
    void CheckTime(std::chrono::steady_clock::time_point now);
    // The running thread stops the clock while it waits on something outside the script; pauses
    // may nest.
    void PauseClock();
    void ResumeClock();

private:
    using Clock = std::chrono::steady_clock;

    mutable std::mutex m_mutex;
    QJSEngine* m_engine = nullptr;
    const TManualResetEvent* m_cancelEvent = nullptr;
    TReason m_reason = TReason::None;
    std::chrono::milliseconds m_timeLimit = kWorkerScriptTimeLimit;
    Clock::time_point m_runStart;
    Clock::duration m_pausedTime{};
    Clock::time_point m_pauseStart;
    int m_pauseDepth = 0;
};

// Watches one run for its lifetime: its cancel event, its running time and the process's memory
// are sampled every few milliseconds by one watchdog thread shared by all hosts. While it lives
// it is the run going on in its thread, whose clock TScriptClockPause stops.
class TScriptRunWatch {
public:
    explicit TScriptRunWatch(TScriptRunControl& control);
    ~TScriptRunWatch();
    TScriptRunWatch(const TScriptRunWatch&) = delete;
    TScriptRunWatch& operator=(const TScriptRunWatch&) = delete;

private:
    TScriptRunControl& m_control;
    TScriptRunControl* m_outer; // the run this one was started inside, if any
};

// Stops the clock of the script run going on in the calling thread, if there is one, for its
// lifetime: a program member that waits on the network (Request.get) takes it around the wait,
// so the download does not count as the script's running time.
class TScriptClockPause {
public:
    TScriptClockPause();
    ~TScriptClockPause();
    TScriptClockPause(const TScriptClockPause&) = delete;
    TScriptClockPause& operator=(const TScriptClockPause&) = delete;

private:
    TScriptRunControl* m_run;
};

// Resident memory of the whole process above which running scripts are stopped (default 1 GiB).
// The process is what runs out of memory, so the limit is one for all hosts; when it is passed,
// every script running at that moment is stopped.
inline constexpr std::size_t kDefaultScriptMemoryLimit = std::size_t{1} << 30;
void SetScriptMemoryLimit(std::size_t bytes);
std::size_t ScriptMemoryLimit();

// Resident set size of this process from /proc/self/statm; 0 when it cannot be read.
std::size_t ProcessResidentBytes();
