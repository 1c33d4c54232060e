#pragma once

#include <functional>

// Calls from worker threads into the user-interface thread (the thread of the QCoreApplication).
namespace UiThread {

// Runs fn on the user-interface thread and returns when it has run. Called on that thread (or
// before an application object exists) it runs fn at once. Returns false, without running fn,
// when the application is already shutting down its event loop, so that a worker never blocks on
// a thread that will not answer.
bool runSync(const std::function<void()>& fn);

bool isUiThread();

} // namespace UiThread
