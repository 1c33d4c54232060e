#include "currency/GetCurrencyRatesThread.h"

#include "app/LogFile.h"
#include "app/Messages.h"
#include "currency/CurrencyList.h"
#include "platform/Events.h"
#include "platform/UiThread.h"
#include "script/ActiveScriptEngine.h"
#include "script/HTTPRequestDispatch.h"

#include <QCoreApplication>

#include <mutex>

// What the worker and the handle share. The worker keeps it alive, so a handle destroyed while its
// worker still runs leaves the worker nothing dangling of its own.
struct TGetCurrencyRatesThread::State {
    State(std::uint8_t mode, TLogFile* log, std::shared_ptr<ManualResetEvent> cancelEvent, TCurrencyList& list)
        : mode(mode), log(log), cancelEvent(std::move(cancelEvent)), list(list) {}

    const std::uint8_t mode;
    TLogFile* const log;
    const std::shared_ptr<ManualResetEvent> cancelEvent;
    TCurrencyList& list;
    std::string listFileName; // set before the worker starts

    std::atomic<bool> failed{false};
    std::atomic<bool> cancelled{false};
    ManualResetEvent finished;

    // The handle to report to; cleared when the handle goes. Used on the user-interface thread.
    std::mutex ownerMutex;
    TGetCurrencyRatesThread* owner = nullptr;
    bool completing = false; // the handle's OnDone is running

    void run();
    void deliverCompletion();
};

void TGetCurrencyRatesThread::State::run() {
    // The message texts come from the user-interface thread. They are fetched before the list is
    // locked: that thread may be waiting for the lock, and must never be waited for in turn.
    const std::string errorFormat = LoadStr(1031);
    const std::string alertFormat = LoadStr(1032);

    {
        TActiveScriptEngine host;
        host.SetCancelEvent(cancelEvent.get());
        host.OnScriptError = [this, &errorFormat](const std::string& description, const std::string& sourceLine,
                                                  unsigned lineNumber, unsigned charPosition) {
            if (log != nullptr)
                log->WriteLog(errorFormat, {listFileName, description, std::uint64_t{lineNumber},
                                            std::uint64_t{charPosition}, sourceLine});
        };
        host.OnAlert = [this, &alertFormat](const std::string& text) {
            if (log != nullptr)
                log->WriteLog(alertFormat, {listFileName, text});
        };
        THTTPRequestDispatch request(cancelEvent.get());
        host.AddNamedObject("CurrencyList", &list);
        host.AddNamedObject("Request", &request);

        bool completed = false;
        if (const auto lock = list.LockUnlessCancelled(*cancelEvent); lock.owns_lock()) {
            completed = host.LoadScript(list.ScriptText) &&
                        host.CallFunction(mode == gmGetCurrencyList ? "get_currency_list" : "execute");
        }
        failed = !completed;
    }

    // A cancelled run delivers nothing; the handle's Cancelled is checked again on the
    // user-interface thread, where it is set.
    if (!cancelled)
        UiThread::runSync([this] { deliverCompletion(); });
    finished.set();
}

void TGetCurrencyRatesThread::State::deliverCompletion() {
    std::unique_lock lock(ownerMutex);
    if (owner == nullptr || cancelled || !owner->OnDone)
        return;
    // A copy runs, so the handler may destroy the handle.
    const TDoneEvent done = owner->OnDone;
    TGetCurrencyRatesThread& handle = *owner;
    completing = true;
    lock.unlock();
    done(handle);
    lock.lock();
    completing = false;
}

TGetCurrencyRatesThread::TGetCurrencyRatesThread(std::uint8_t mode, TLogFile* log,
                                                 std::shared_ptr<ManualResetEvent> cancelEvent, TCurrencyList& list)
    : m_state(std::make_shared<State>(mode, log, std::move(cancelEvent), list)) {
    m_state->owner = this;
}

TGetCurrencyRatesThread::~TGetCurrencyRatesThread() {
    bool insideCompletion = false;
    {
        std::lock_guard lock(m_state->ownerMutex);
        m_state->owner = nullptr;
        insideCompletion = m_state->completing;
    }
    if (!m_thread.joinable())
        return;
    // Destroyed by its own completion handler: the worker is waiting for that handler to return
    // and ends right after it.
    if (insideCompletion) {
        m_thread.detach();
        return;
    }
    if (!Finished())
        Cancel();
    if (m_state->finished.wait(1000))
        m_thread.join();
    else
        m_thread.detach();
}

void TGetCurrencyRatesThread::Resume() {
    if (m_thread.joinable() || Finished())
        return;
    m_state->listFileName = m_state->list.ScriptFileName;
    m_thread = std::thread([state = m_state] { state->run(); });
}

std::uint8_t TGetCurrencyRatesThread::Mode() const {
    return m_state->mode;
}

TCurrencyList& TGetCurrencyRatesThread::List() const {
    return m_state->list;
}

const std::string& TGetCurrencyRatesThread::ListFileName() const {
    return m_state->listFileName;
}

bool TGetCurrencyRatesThread::Failed() const {
    return m_state->failed;
}

void TGetCurrencyRatesThread::Cancel() {
    m_state->cancelled = true;
    m_state->cancelEvent->set();
}

bool TGetCurrencyRatesThread::Cancelled() const {
    return m_state->cancelled;
}

bool TGetCurrencyRatesThread::WaitFor(int timeoutMs) const {
    return m_state->finished.wait(timeoutMs);
}

bool TGetCurrencyRatesThread::Finished() const {
    return m_state->finished.isSet();
}

bool StopCurrencyThread(TGetCurrencyRatesThread& thread, int slices) {
    thread.Cancel();
    for (int i = 0; i < slices; ++i) {
        if (thread.WaitFor(50))
            return true;
        QCoreApplication::processEvents();
    }
    return thread.Finished();
}
