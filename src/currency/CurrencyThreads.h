#pragma once

#include "currency/GetCurrencyRatesThread.h"

#include <memory>
#include <vector>

class TCurrencyList;
class TLogFile;

// The list-building runs started from the provider tree that have not reported back yet, each with
// a cancel event of its own. A run is forgotten when it reports back (before its completion is
// handled, so a failing handler leaves nothing behind) or when it is cancelled. Used on the
// user-interface thread only.
class TCurrencyThreads {
public:
    TCurrencyThreads() = default;
    ~TCurrencyThreads();
    TCurrencyThreads(const TCurrencyThreads&) = delete;
    TCurrencyThreads& operator=(const TCurrencyThreads&) = delete;

    // Starts a get_currency_list run of the list, unless one runs for it already (then nothing
    // happens and the result is nullptr). onDone receives the run on the user-interface thread
    // unless it is cancelled. `keepAlive` holds what the run uses (the list, the log) until the
    // worker has ended.
    TGetCurrencyRatesThread* Start(TCurrencyList& list, TLogFile* log, TGetCurrencyRatesThread::TDoneEvent onDone,
                                   std::vector<std::shared_ptr<const void>> keepAlive = {});
    // The provider tree's cancel of the list's run, if it has one: cancelled and waited for in up
    // to 20 slices of 50 ms, serving the worker and processing events, then forgotten. True when
    // no run of the list is left running.
    bool Cancel(const TCurrencyList& list);
    // At program exit: every run is signalled, cancelled and waited for up to 1000 ms, then forgotten.
    void StopAll();

    int Count() const { return static_cast<int>(m_threads.size()); }
    // The run building this list, or nullptr.
    TGetCurrencyRatesThread* Find(const TCurrencyList& list) const;

private:
    std::unique_ptr<TGetCurrencyRatesThread> Take(const TGetCurrencyRatesThread& thread);

    std::vector<std::unique_ptr<TGetCurrencyRatesThread>> m_threads;
};
