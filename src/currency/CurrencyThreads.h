#pragma once

#include "currency/GetCurrencyRatesThread.h"

#include <memory>
#include <vector>

class TCurrencyList;
class TLogFile;

// The list-building runs started from the provider tree that have not reported back yet, each with
// a cancel event of its own. A run is forgotten when its completion has been handled or when it is
// cancelled. Used on the user-interface thread only.
class TCurrencyThreads {
public:
    TCurrencyThreads() = default;
    ~TCurrencyThreads();
    TCurrencyThreads(const TCurrencyThreads&) = delete;
    TCurrencyThreads& operator=(const TCurrencyThreads&) = delete;

    // Starts a get_currency_list run of the list; onDone receives it on the user-interface thread
    // unless it is cancelled.
    TGetCurrencyRatesThread& Start(TCurrencyList& list, TLogFile* log, TGetCurrencyRatesThread::TDoneEvent onDone);
    // The provider tree's cancel: the run is cancelled and waited for in up to 20 slices of 50 ms,
    // processing events, then forgotten. True when it ended in time.
    bool Cancel(TGetCurrencyRatesThread& thread);
    // At program exit: every run is signalled, cancelled and waited for up to 1000 ms, then forgotten.
    void StopAll();

    int Count() const { return static_cast<int>(m_threads.size()); }
    // The run building this list, or nullptr.
    TGetCurrencyRatesThread* Find(const TCurrencyList& list) const;

private:
    void forget(TGetCurrencyRatesThread& thread);

    std::vector<std::unique_ptr<TGetCurrencyRatesThread>> m_threads;
};
