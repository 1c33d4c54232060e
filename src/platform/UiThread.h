#pragma once

#include <functional>

class TManualResetEvent;

// Calls from worker threads into the user-interface thread (the thread of the QCoreApplication).
namespace UiThread {

// Runs fn on the user-interface thread and returns when it has run. Called on that thread (or
// before an application object exists) it runs fn at once. Returns false, without running fn,
// when the hand-over is not set up or already shut down, so that a worker never blocks on a
// thread that will not answer.
bool RunSync(const std::function<void()>& fn);

bool IsUiThread();

// On the user-interface thread: runs the calls that other threads hand over while it waits for
// `done` to be set, for up to `timeoutMs` (negative: no limit). It wakes at once for each call and
// when a thread that sets `done` calls NotifyWaiters afterwards, so a wait costs no polling
// interval. Other Qt events are not processed meanwhile. On any other thread it is a plain wait.
// Returns whether `done` is set.
bool ServeUntil(const TManualResetEvent& done, int timeoutMs);

// Wakes ServeUntil to look at its event again; call after setting an event that it may wait for.
void NotifyWaiters();

// Sets up the hand-over; call once on the user-interface thread after the application object
// exists. Until then, calls from other threads return false.
void Initialize();
// Runs the calls still waiting, then refuses further ones; call before the event loop is gone.
void Shutdown();

} // namespace UiThread
