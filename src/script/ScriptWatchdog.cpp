#include "script/ScriptWatchdog.h"

#include "platform/Events.h"
#include "platform/UiThread.h"

#include <QJSEngine>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// How often running scripts are looked at: well inside the 10 ms a cancellation may take.
constexpr auto kSampleInterval = std::chrono::milliseconds(2);

std::atomic<std::size_t> g_memoryLimit{kDefaultScriptMemoryLimit};
std::atomic<std::chrono::milliseconds::rep> g_uiThreadTimeLimit{kUiThreadScriptTimeLimit.count()};
std::atomic<std::chrono::milliseconds::rep> g_workerTimeLimit{kWorkerScriptTimeLimit.count()};

// The run going on in this thread, whose clock a pause stops.
thread_local TScriptRunControl* t_currentRun = nullptr;

class TWatchdog {
public:
    static TWatchdog& Instance() {
        static TWatchdog watchdog;
        return watchdog;
    }

    ~TWatchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void Add(TScriptRunControl* run) {
        {
            std::lock_guard lock(m_mutex);
            m_runs.push_back(run);
            if (!m_thread.joinable())
                m_thread = std::thread([this] { Loop(); });
        }
        m_wake.notify_all();
    }

    void Remove(TScriptRunControl* run) {
        std::lock_guard lock(m_mutex);
        const auto it = std::find(m_runs.begin(), m_runs.end(), run);
        if (it != m_runs.end())
            m_runs.erase(it);
    }

private:
    TWatchdog() = default;

    void Loop() {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            if (m_runs.empty()) {
                m_wake.wait(lock, [this] { return m_stop || !m_runs.empty(); });
                continue;
            }
            // A run leaves the list under this lock before its engine goes, so every control
            // here still has a live engine or none.
            const auto now = std::chrono::steady_clock::now();
            for (TScriptRunControl* run : m_runs) {
                const TManualResetEvent* event = run->CancelEvent();
                if (event && event->IsSet())
                    run->Interrupt(TScriptRunControl::TReason::Cancelled);
                run->CheckTime(now);
            }
            if (ProcessResidentBytes() > g_memoryLimit.load())
                for (TScriptRunControl* run : m_runs)
                    run->Interrupt(TScriptRunControl::TReason::MemoryLimit);
            m_wake.wait_for(lock, kSampleInterval);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<TScriptRunControl*> m_runs;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

void TScriptRunControl::SetEngine(QJSEngine* engine) {
    std::lock_guard lock(m_mutex);
    m_engine = engine;
    if (m_reason == TReason::MemoryLimit || m_reason == TReason::TimeLimit)
        m_reason = TReason::None;
    if (m_engine && m_reason == TReason::Cancelled)
        m_engine->setInterrupted(true);
}

void TScriptRunControl::SetCancelEvent(const TManualResetEvent* event) {
    std::lock_guard lock(m_mutex);
    m_cancelEvent = event;
}

const TManualResetEvent* TScriptRunControl::CancelEvent() const {
    std::lock_guard lock(m_mutex);
    return m_cancelEvent;
}

void TScriptRunControl::SetTimeLimit(std::chrono::milliseconds limit) {
    std::lock_guard lock(m_mutex);
    m_timeLimit = limit;
}

std::chrono::milliseconds TScriptRunControl::TimeLimit() const {
    std::lock_guard lock(m_mutex);
    return m_timeLimit;
}

void TScriptRunControl::Interrupt(TReason reason) {
    std::lock_guard lock(m_mutex);
    if (m_reason == TReason::None || reason == TReason::Cancelled)
        m_reason = reason;
    // The engine takes the request from any thread and stops at its next instruction; the
    // script cannot catch it.
    if (m_engine)
        m_engine->setInterrupted(true);
}

TScriptRunControl::TReason TScriptRunControl::Reason() const {
    std::lock_guard lock(m_mutex);
    return m_reason;
}

void TScriptRunControl::BeginRun() {
    const TManualResetEvent* event = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_reason == TReason::MemoryLimit || m_reason == TReason::TimeLimit) {
            m_reason = TReason::None;
            if (m_engine)
                m_engine->setInterrupted(false);
        }
        event = m_cancelEvent;
        m_runStart = Clock::now();
        m_pausedTime = Clock::duration::zero();
        m_pauseDepth = 0;
    }
    if (event && event->IsSet())
        Interrupt(TReason::Cancelled);
}

void TScriptRunControl::CheckTime(std::chrono::steady_clock::time_point now) {
    {
        std::lock_guard lock(m_mutex);
        if (m_pauseDepth > 0 || m_reason != TReason::None || now - m_runStart - m_pausedTime < m_timeLimit)
            return;
    }
    Interrupt(TReason::TimeLimit);
}

void TScriptRunControl::PauseClock() {
    std::lock_guard lock(m_mutex);
    if (m_pauseDepth++ == 0)
        m_pauseStart = Clock::now();
}

void TScriptRunControl::ResumeClock() {
    std::lock_guard lock(m_mutex);
    if (m_pauseDepth > 0 && --m_pauseDepth == 0)
        m_pausedTime += Clock::now() - m_pauseStart;
}

TScriptRunWatch::TScriptRunWatch(TScriptRunControl& control) : m_control(control), m_outer(t_currentRun) {
    m_control.BeginRun();
    TWatchdog::Instance().Add(&m_control);
    t_currentRun = &m_control;
}

TScriptRunWatch::~TScriptRunWatch() {
    t_currentRun = m_outer;
    TWatchdog::Instance().Remove(&m_control);
}

TScriptClockPause::TScriptClockPause() : m_run(t_currentRun) {
    if (m_run)
        m_run->PauseClock();
}

TScriptClockPause::~TScriptClockPause() {
    if (m_run)
        m_run->ResumeClock();
}

void SetDefaultScriptTimeLimits(std::chrono::milliseconds uiThread, std::chrono::milliseconds worker) {
    g_uiThreadTimeLimit.store(uiThread.count());
    g_workerTimeLimit.store(worker.count());
}

std::chrono::milliseconds DefaultScriptTimeLimit() {
    return std::chrono::milliseconds(UiThread::IsUiThread() ? g_uiThreadTimeLimit.load() : g_workerTimeLimit.load());
}

void SetScriptMemoryLimit(std::size_t bytes) {
    g_memoryLimit.store(bytes);
}

std::size_t ScriptMemoryLimit() {
    return g_memoryLimit.load();
}

std::size_t ProcessResidentBytes() {
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (!file)
        return 0;
    unsigned long long size = 0, resident = 0;
    const int read = std::fscanf(file, "%llu %llu", &size, &resident);
    std::fclose(file);
    if (read != 2)
        return 0;
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}
