#include "currency/CurrencyThreads.h"

#include "currency/CurrencyList.h"
#include "platform/Events.h"

#include <algorithm>

TCurrencyThreads::~TCurrencyThreads() {
    StopAll();
}

TGetCurrencyRatesThread& TCurrencyThreads::Start(TCurrencyList& list, TLogFile* log,
                                                 TGetCurrencyRatesThread::TDoneEvent onDone) {
    auto thread = std::make_unique<TGetCurrencyRatesThread>(TGetCurrencyRatesThread::gmGetCurrencyList, log,
                                                            std::make_shared<ManualResetEvent>(), list);
    thread->OnDone = [this, onDone = std::move(onDone)](TGetCurrencyRatesThread& done) {
        if (onDone)
            onDone(done);
        forget(done); // the handle goes while its worker finishes; that is allowed
    };
    TGetCurrencyRatesThread& started = *thread;
    m_threads.push_back(std::move(thread));
    started.Resume();
    return started;
}

bool TCurrencyThreads::Cancel(TGetCurrencyRatesThread& thread) {
    const bool ended = StopCurrencyThread(thread, 20);
    forget(thread);
    return ended;
}

void TCurrencyThreads::StopAll() {
    for (const auto& thread : m_threads) {
        thread->Cancel();
        thread->WaitFor(1000);
    }
    m_threads.clear();
}

TGetCurrencyRatesThread* TCurrencyThreads::Find(const TCurrencyList& list) const {
    for (const auto& thread : m_threads)
        if (&thread->List() == &list)
            return thread.get();
    return nullptr;
}

void TCurrencyThreads::forget(TGetCurrencyRatesThread& thread) {
    const auto it =
        std::find_if(m_threads.begin(), m_threads.end(), [&thread](const auto& held) { return held.get() == &thread; });
    if (it == m_threads.end())
        return;
    // Taken out first, so that the vector is consistent while the handle is destroyed.
    const std::unique_ptr<TGetCurrencyRatesThread> gone = std::move(*it);
    m_threads.erase(it);
}
