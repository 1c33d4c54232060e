#include "currency/GetCurrencyRatesThread.h"

#include "base/LogFile.h"
#include "currency/CurrencyList.h"
#include "platform/Events.h"
#include "platform/Worker.h"
#include "script/ActiveScriptEngine.h"
#include "script/HTTPRequestDispatch.h"
#include "translate/Messages.h"

#include <QCoreApplication>

// The run itself, shared by the handle and the worker thread, so a handle destroyed while its
// worker still runs leaves the worker nothing dangling of its own.
struct TGetCurrencyRatesThread::State : TWorker {
    State(std::uint8_t mode, TLogFile* log, std::shared_ptr<TManualResetEvent> cancelEvent, TCurrencyList& list)
        : TWorker(std::move(cancelEvent)), mode(mode), log(log), list(list) {}

    const std::uint8_t mode;
    TLogFile* const log;
    TCurrencyList& list;
    std::string listFileName; // set before the worker starts
    std::atomic<bool> failed{false};

    // The handle to report to; cleared when the handle goes. Used on the user-interface thread.
    TGetCurrencyRatesThread* owner = nullptr;
    bool completing = false; // the handle's OnDone is running

    void Execute() override;
    void DeliverCompletion();
};

void TGetCurrencyRatesThread::State::Execute() {
    const std::string errorFormat = LoadStr(1031);
    const std::string alertFormat = LoadStr(1032);
    {
        TActiveScriptEngine host;
        host.SetCancelEvent(&CancelEvent());
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
        THTTPRequestDispatch request(&CancelEvent());
        host.AddNamedObject("CurrencyList", &list);
        host.AddNamedObject("Request", &request);

        // The list is locked only inside each of its members that the script calls, never across
        // a download or the script as a whole: the user-interface thread reads and saves it at
        // any time without waiting for the run.
        const TCurrencyList::TRunMark running(list);
        // An update that fails half way (an error, the time limit, a cancel) takes back the rates it
        // wrote: the next good update compares with the rates the list had, not with a stray one.
        const TCurrencyList::TValueSnapshot before =
            mode == gmExecute ? list.SnapshotValues() : TCurrencyList::TValueSnapshot();
        const bool completed = !CancelEvent().IsSet() && host.LoadScript(list.ScriptText) &&
                               host.CallFunction(mode == gmGetCurrencyList ? "get_currency_list" : "execute");
        if (!completed && mode == gmExecute)
            list.RestoreValues(before);
        failed = !completed;
    }
    Complete([this] { DeliverCompletion(); });
}

void TGetCurrencyRatesThread::State::DeliverCompletion() {
    if (owner == nullptr || !owner->OnDone)
        return;
    // A copy runs, so the handler may destroy the handle.
    const TDoneEvent done = owner->OnDone;
    TGetCurrencyRatesThread& handle = *owner;
    completing = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{completing};
    done(handle);
}

TGetCurrencyRatesThread::TGetCurrencyRatesThread(std::uint8_t mode, TLogFile* log,
                                                 std::shared_ptr<TManualResetEvent> cancelEvent, TCurrencyList& list)
    : m_state(std::make_shared<State>(mode, log, std::move(cancelEvent), list)) {
    m_state->owner = this;
}

TGetCurrencyRatesThread::~TGetCurrencyRatesThread() {
    m_state->owner = nullptr;
    // Destroyed by its own completion handler: the worker ends right after it.
    if (m_state->completing || !m_state->Started())
        return;
    if (!Finished()) {
        Cancel();
        m_state->WaitFor(1000);
    }
}

void TGetCurrencyRatesThread::Resume() {
    if (m_state->Started())
        return;
    m_state->listFileName = m_state->list.ScriptFileName;
    m_state->Resume();
}

void TGetCurrencyRatesThread::KeepAlive(std::shared_ptr<const void> object) {
    m_state->KeepAlive(std::move(object));
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
    m_state->Cancel();
}

bool TGetCurrencyRatesThread::Cancelled() const {
    return m_state->Cancelled();
}

bool TGetCurrencyRatesThread::WaitFor(int timeoutMs) const {
    return m_state->WaitFor(timeoutMs);
}

bool TGetCurrencyRatesThread::Finished() const {
    return m_state->Finished();
}

bool StopCurrencyThread(TGetCurrencyRatesThread& thread, int slices) {
    thread.Cancel();
    // The worker's own calls are served within each slice; the rest of the event queue between them.
    for (int i = 0; i < slices; ++i) {
        if (thread.WaitFor(50))
            return true;
        if (QCoreApplication::instance() != nullptr)
            QCoreApplication::processEvents();
    }
    return thread.Finished();
}
