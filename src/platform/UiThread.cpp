#include "platform/UiThread.h"

#include "platform/Events.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace UiThread {

namespace {

// One call waiting for the user-interface thread.
struct TTask {
    const std::function<void()>* fn = nullptr;
    bool done = false;
};

// The done flag is handed over under g_mutex, which orders the call before the caller goes on. The
// thread checker, though, loses sight of a worker's locking once that worker has been in libraries
// it does not instrument (seen after libcurl transfers in a process that also runs Qt's D-Bus
// threads), and would then take the caller's next use of its own stack for a race with the call.
// The hand-over is therefore also told to it directly.
void AnnounceDone([[maybe_unused]] const void* task) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(task));
#endif
}

void SeeDone([[maybe_unused]] const void* task) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(task));
#endif
}

// Tasks travel through our own mutex-guarded queue; the posted event carries no data and only
// wakes the user-interface thread. Every hand-over is thereby visible to thread checkers, which
// cannot see the locking inside Qt's own (uninstrumented) event queue.
struct TDispatcher;
std::mutex g_mutex;
std::condition_variable g_doneCondition;
std::condition_variable g_wakeCondition; // a call was queued, or a waited-for event may be set
std::deque<TTask*> g_queue;
TDispatcher* g_dispatcher = nullptr;
bool g_stopped = false;

struct TDispatcher : QObject {
    void customEvent(QEvent*) override { Drain(); }

    static void Drain() {
        for (;;) {
            TTask* task = nullptr;
            {
                std::lock_guard lock(g_mutex);
                if (g_queue.empty())
                    return;
                task = g_queue.front();
                g_queue.pop_front();
            }
            // The caller is released even when the call throws; the exception goes on to the
            // event loop's handler.
            struct Release {
                TTask* task;
                ~Release() {
                    {
                        std::lock_guard lock(g_mutex);
                        AnnounceDone(task);
                        task->done = true;
                    }
                    g_doneCondition.notify_all();
                }
            } release{task};
            (*task->fn)();
        }
    }
};

std::unique_ptr<TDispatcher> g_dispatcherOwner;

} // namespace

bool IsUiThread() {
    auto* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void Initialize() {
    std::lock_guard lock(g_mutex);
    if (g_dispatcherOwner)
        return;
    g_dispatcherOwner = std::make_unique<TDispatcher>();
    g_dispatcher = g_dispatcherOwner.get();
    g_stopped = false;
}

void Shutdown() {
    {
        std::lock_guard lock(g_mutex);
        g_stopped = true;
    }
    TDispatcher::Drain(); // calls queued before the stop still run
    std::lock_guard lock(g_mutex);
    g_dispatcher = nullptr;
    g_dispatcherOwner.reset();
}

bool RunSync(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return true;
    }
    TTask task;
    task.fn = &fn;
    std::unique_lock lock(g_mutex);
    if (g_stopped || g_dispatcher == nullptr || QCoreApplication::closingDown())
        return false;
    g_queue.push_back(&task);
    QCoreApplication::postEvent(g_dispatcher, new QEvent(QEvent::User)); // Qt owns posted events
    g_wakeCondition.notify_all();
    g_doneCondition.wait(lock, [&task] { return task.done; });
    SeeDone(&task);
    return true;
}

bool ServeUntil(const TManualResetEvent& done, int timeoutMs) {
    if (!IsUiThread() || QCoreApplication::instance() == nullptr)
        return done.Wait(timeoutMs);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        TDispatcher::Drain();
        std::unique_lock lock(g_mutex);
        // Looked at under the queue's lock: a call queued or a notification sent after this point
        // wakes the wait below.
        if (done.IsSet())
            return true;
        if (!g_queue.empty())
            continue;
        if (timeoutMs < 0)
            g_wakeCondition.wait(lock);
        else if (g_wakeCondition.wait_until(lock, deadline) == std::cv_status::timeout && g_queue.empty())
            return done.IsSet();
    }
}

void NotifyWaiters() {
    std::lock_guard lock(g_mutex);
    g_wakeCondition.notify_all();
}

} // namespace UiThread
