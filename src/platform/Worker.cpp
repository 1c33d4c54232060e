#include "platform/Worker.h"

#include "platform/UiThread.h"

#include <openssl/crypto.h>

#include <thread>

namespace {

std::mutex g_countMutex;
int g_running = 0;
TManualResetEvent g_noneRunning(true);

void WorkerStarted() {
    std::lock_guard lock(g_countMutex);
    if (g_running++ == 0)
        g_noneRunning.Reset();
}

void WorkerEnded() {
    {
        std::lock_guard lock(g_countMutex);
        if (--g_running == 0)
            g_noneRunning.Set();
    }
    UiThread::NotifyWaiters();
}

} // namespace

TWorker::TWorker(std::shared_ptr<TManualResetEvent> cancelEvent)
    : m_cancelEvent(cancelEvent ? std::move(cancelEvent) : std::make_shared<TManualResetEvent>()) {}

TWorker::~TWorker() = default;

void TWorker::Resume() {
    if (m_started.exchange(true))
        return;
    WorkerStarted();
    // The thread holds the job; it is detached, and the process-wide count stands in for joining.
    std::thread([self = shared_from_this()]() mutable {
        self->Run();
        self.reset(); // what the job kept alive may go now, on this thread
        // The TLS library's state of this thread goes now, not in a thread-exit handler that a
        // program ending right after its last worker would not wait for.
        OPENSSL_thread_stop();
        WorkerEnded();
    }).detach();
}

void TWorker::Run() {
    Execute();
    m_finished.Set();
    UiThread::NotifyWaiters();
    std::vector<std::shared_ptr<const void>> kept;
    {
        std::lock_guard lock(m_keepMutex);
        kept.swap(m_kept);
    }
}

void TWorker::Cancel() {
    m_cancelled = true;
    m_cancelEvent->Set();
}

bool TWorker::WaitFor(int timeoutMs) const {
    return UiThread::ServeUntil(m_finished, timeoutMs);
}

void TWorker::KeepAlive(std::shared_ptr<const void> object) {
    std::lock_guard lock(m_keepMutex);
    m_kept.push_back(std::move(object));
}

bool TWorker::Complete(const std::function<void()>& fn) {
    bool ran = false;
    if (!Cancelled())
        UiThread::RunSync([&] {
            if (Cancelled())
                return;
            ran = true;
            fn();
        });
    return ran;
}

int RunningWorkers() {
    std::lock_guard lock(g_countMutex);
    return g_running;
}

bool WaitForAllWorkers(int timeoutMs) {
    return UiThread::ServeUntil(g_noneRunning, timeoutMs);
}
