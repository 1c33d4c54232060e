#pragma once

#include "platform/Events.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// A job that runs once on a thread of its own: a balance check or a currency-script run.
//
// The object is shared between its starter and its thread (it must be owned by a std::shared_ptr),
// so either may let go first. What the job uses besides itself (the alert and its list, the
// currency list, the log) is handed to KeepAlive by the starter: the worker holds it until its
// thread ends, so a worker that outlives its starter's bounded wait never touches freed objects.
//
// Cancelling sets the cancel event, which stops a running download or script within
// milliseconds, and marks the run cancelled: a cancelled run delivers no completion. Cancelling
// twice is harmless.
class TWorker : public std::enable_shared_from_this<TWorker> {
public:
    virtual ~TWorker();
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;

    // Starts the thread, once.
    void Resume();
    // Any thread.
    void Cancel();
    bool Cancelled() const { return m_cancelled.load(); }
    bool Finished() const { return m_finished.IsSet(); }
    bool Started() const { return m_started.load(); }

    // Waits up to `timeoutMs` (negative: no limit) for the run to end. On the user-interface
    // thread the calls the worker hands over (message texts, its completion) are served meanwhile,
    // so a worker blocked in one can finish. True when the run has ended.
    bool WaitFor(int timeoutMs) const;

    // Keeps `object` alive until the thread has ended (or, without a thread, until the worker goes).
    void KeepAlive(std::shared_ptr<const void> object);

    const TManualResetEvent& CancelEvent() const { return *m_cancelEvent; }

protected:
    // The cancel event may be shared with the starter (a window resets it between its runs);
    // nullptr gives the worker an event of its own.
    explicit TWorker(std::shared_ptr<TManualResetEvent> cancelEvent = nullptr);

    // The job, on the worker thread.
    virtual void Execute() = 0;

    // From Execute: runs `fn` on the user-interface thread while the worker waits, unless the run
    // is cancelled (looked at again on that thread, where cancelling happens). False when it did
    // not run.
    bool Complete(const std::function<void()>& fn);

private:
    void Run();

    std::shared_ptr<TManualResetEvent> m_cancelEvent;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_started{false};
    TManualResetEvent m_finished;
    std::mutex m_keepMutex;
    std::vector<std::shared_ptr<const void>> m_kept;
};

// Worker threads still running in the process (their jobs may have ended a moment ago).
int RunningWorkers();
// Waits up to `timeoutMs` for every worker thread to end, serving their calls into the
// user-interface thread meanwhile. True when none runs any more. A program that gets false must
// not free what workers may use: it ends without running static destructors.
bool WaitForAllWorkers(int timeoutMs);
