#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace UiThread {

namespace {

// One call waiting for the user-interface thread.
struct Task {
    const std::function<void()>* fn = nullptr;
    bool done = false;
};

// Tasks travel through our own mutex-guarded queue; the posted event carries no data and only
// wakes the user-interface thread. Every hand-over is thereby visible to thread checkers, which
// cannot see the locking inside Qt's own (uninstrumented) event queue.
struct Dispatcher;
std::mutex g_mutex;
std::condition_variable g_doneCondition;
std::deque<Task*> g_queue;
Dispatcher* g_dispatcher = nullptr;
bool g_stopped = false;

struct Dispatcher : QObject {
    void customEvent(QEvent*) override { drain(); }

    static void drain() {
        for (;;) {
            Task* task = nullptr;
            {
                std::lock_guard lock(g_mutex);
                if (g_queue.empty())
                    return;
                task = g_queue.front();
                g_queue.pop_front();
            }
            (*task->fn)();
            {
                std::lock_guard lock(g_mutex);
                task->done = true;
            }
            g_doneCondition.notify_all();
        }
    }
};

std::unique_ptr<Dispatcher> g_dispatcherOwner;

} // namespace

bool isUiThread() {
    auto* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void initialize() {
    std::lock_guard lock(g_mutex);
    if (g_dispatcherOwner)
        return;
    g_dispatcherOwner = std::make_unique<Dispatcher>();
    g_dispatcher = g_dispatcherOwner.get();
    g_stopped = false;
}

void shutdown() {
    {
        std::lock_guard lock(g_mutex);
        g_stopped = true;
    }
    Dispatcher::drain(); // calls queued before the stop still run
    std::lock_guard lock(g_mutex);
    g_dispatcher = nullptr;
    g_dispatcherOwner.reset();
}

bool runSync(const std::function<void()>& fn) {
    if (isUiThread()) {
        fn();
        return true;
    }
    Task task;
    task.fn = &fn;
    std::unique_lock lock(g_mutex);
    if (g_stopped || g_dispatcher == nullptr || QCoreApplication::closingDown())
        return false;
    g_queue.push_back(&task);
    QCoreApplication::postEvent(g_dispatcher, new QEvent(QEvent::User)); // Qt owns posted events
    g_doneCondition.wait(lock, [&task] { return task.done; });
    return true;
}

} // namespace UiThread
