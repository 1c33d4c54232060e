#include "currency/CurrencyThreads.h"

#include "currency/CurrencyList.h"
#include "platform/Events.h"

#include <algorithm>

TCurrencyThreads::~TCurrencyThreads() {
    StopAll();
}

TGetCurrencyRatesThread* TCurrencyThreads::Start(TCurrencyList& list, TLogFile* log,
                                                 TGetCurrencyRatesThread::TDoneEvent onDone,
                                                 std::vector<std::shared_ptr<const void>> keepAlive) {
    if (Find(list) != nullptr)
        return nullptr;
    auto thread = std::make_unique<TGetCurrencyRatesThread>(TGetCurrencyRatesThread::gmGetCurrencyList, log,
                                                            std::make_shared<TManualResetEvent>(), list);
    for (auto& object : keepAlive)
        thread->KeepAlive(std::move(object));
    thread->OnDone = [this, onDone = std::move(onDone)](TGetCurrencyRatesThread& done) {
        // Out of the running runs first; the handle goes when the handler has returned or thrown.
        const std::unique_ptr<TGetCurrencyRatesThread> finished = Take(done);
        if (onDone)
            onDone(done);
    };
    TGetCurrencyRatesThread* started = thread.get();
    m_threads.push_back(std::move(thread));
    started->Resume();
    return started;
}

bool TCurrencyThreads::Cancel(const TCurrencyList& list) {
    TGetCurrencyRatesThread* thread = Find(list);
    if (thread == nullptr)
        return true;
    // Taken out before the wait: completions of other runs, handled meanwhile, may change the set.
    const std::unique_ptr<TGetCurrencyRatesThread> cancelled = Take(*thread);
    return StopCurrencyThread(*cancelled, 20);
}

void TCurrencyThreads::StopAll() {
    // Every run is signalled first, so they all wind down together.
    std::vector<std::unique_ptr<TGetCurrencyRatesThread>> stopping;
    stopping.swap(m_threads);
    for (const auto& thread : stopping)
        thread->Cancel();
    for (const auto& thread : stopping)
        thread->WaitFor(1000);
}

TGetCurrencyRatesThread* TCurrencyThreads::Find(const TCurrencyList& list) const {
    for (const auto& thread : m_threads)
        if (&thread->List() == &list)
            return thread.get();
    return nullptr;
}

std::unique_ptr<TGetCurrencyRatesThread> TCurrencyThreads::Take(const TGetCurrencyRatesThread& thread) {
    const auto it =
        std::find_if(m_threads.begin(), m_threads.end(), [&thread](const auto& held) { return held.get() == &thread; });
    if (it == m_threads.end())
        return nullptr;
    std::unique_ptr<TGetCurrencyRatesThread> taken = std::move(*it);
    m_threads.erase(it);
    return taken;
}
