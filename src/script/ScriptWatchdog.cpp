#include "script/ScriptWatchdog.h"

#include "platform/Events.h"

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

class Watchdog {
public:
    static Watchdog& instance() {
        static Watchdog watchdog;
        return watchdog;
    }

    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void add(TScriptRunControl* run) {
        {
            std::lock_guard lock(m_mutex);
            m_runs.push_back(run);
            if (!m_thread.joinable())
                m_thread = std::thread([this] { loop(); });
        }
        m_wake.notify_all();
    }

    void remove(TScriptRunControl* run) {
        std::lock_guard lock(m_mutex);
        const auto it = std::find(m_runs.begin(), m_runs.end(), run);
        if (it != m_runs.end())
            m_runs.erase(it);
    }

private:
    Watchdog() = default;

    void loop() {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            if (m_runs.empty()) {
                m_wake.wait(lock, [this] { return m_stop || !m_runs.empty(); });
                continue;
            }
            // A run leaves the list under this lock before its engine goes, so every control
            // here still has a live engine or none.
            for (TScriptRunControl* run : m_runs) {
                const ManualResetEvent* event = run->cancelEvent();
                if (event && event->isSet())
                    run->interrupt(TScriptRunControl::Reason::Cancelled);
            }
            if (ProcessResidentBytes() > g_memoryLimit.load())
                for (TScriptRunControl* run : m_runs)
                    run->interrupt(TScriptRunControl::Reason::MemoryLimit);
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

void TScriptRunControl::setEngine(QJSEngine* engine) {
    std::lock_guard lock(m_mutex);
    m_engine = engine;
    if (m_reason == Reason::MemoryLimit)
        m_reason = Reason::None;
    if (m_engine && m_reason == Reason::Cancelled)
        m_engine->setInterrupted(true);
}

void TScriptRunControl::setCancelEvent(const ManualResetEvent* event) {
    std::lock_guard lock(m_mutex);
    m_cancelEvent = event;
}

const ManualResetEvent* TScriptRunControl::cancelEvent() const {
    std::lock_guard lock(m_mutex);
    return m_cancelEvent;
}

void TScriptRunControl::interrupt(Reason reason) {
    std::lock_guard lock(m_mutex);
    if (m_reason == Reason::None || reason == Reason::Cancelled)
        m_reason = reason;
    // The engine takes the request from any thread and stops at its next instruction; the
    // script cannot catch it.
    if (m_engine)
        m_engine->setInterrupted(true);
}

TScriptRunControl::Reason TScriptRunControl::reason() const {
    std::lock_guard lock(m_mutex);
    return m_reason;
}

void TScriptRunControl::beginRun() {
    const ManualResetEvent* event = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_reason == Reason::MemoryLimit) {
            m_reason = Reason::None;
            if (m_engine)
                m_engine->setInterrupted(false);
        }
        event = m_cancelEvent;
    }
    if (event && event->isSet())
        interrupt(Reason::Cancelled);
}

TScriptRunWatch::TScriptRunWatch(TScriptRunControl& control) : m_control(control) {
    m_control.beginRun();
    Watchdog::instance().add(&m_control);
}

TScriptRunWatch::~TScriptRunWatch() {
    Watchdog::instance().remove(&m_control);
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
