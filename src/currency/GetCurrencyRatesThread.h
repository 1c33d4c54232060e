#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TManualResetEvent;
class TCurrencyList;
class TLogFile;

// One run of a provider script against its list, on a worker thread of its own: get_currency_list
// (mode 0, started from the provider tree) builds the list's columns and currencies, execute
// (mode 1, started by the list's window) fetches fresh rates. The script sees the list as
// "CurrencyList" and downloads through "Request"; its errors and alerts go to the log as messages
// 1031 and 1032.
//
// The list is locked per member call only, so the user-interface thread reads and saves it at any
// time without waiting for a download or a script; the list's RunInProgress tells that a run is
// writing it. At the end of a run that was not cancelled, OnDone runs on the user-interface
// thread while the worker waits.
//
// Cancelling sets the cancel event: a download in progress stops and a running script is
// interrupted (a script stuck in a loop included). Runs end within milliseconds of it; a worker
// that somehow does not is left to finish on its own and never delivers a completion. The list and
// the log must outlive the run, or be handed to KeepAlive.
class TGetCurrencyRatesThread {
public:
    enum TMode : std::uint8_t { gmGetCurrencyList = 0, gmExecute = 1 };
    using TDoneEvent = std::function<void(TGetCurrencyRatesThread&)>;

    // Prepares a run; nothing happens until Resume. The cancel event is shared with the starter,
    // which may reset it between runs; the list and the log must outlive the run.
    TGetCurrencyRatesThread(std::uint8_t mode, TLogFile* log, std::shared_ptr<TManualResetEvent> cancelEvent,
                            TCurrencyList& list);
    // Cancels a run still in progress and waits for it briefly; if it is still running then, it is
    // left to finish on its own without delivering a completion.
    ~TGetCurrencyRatesThread();
    TGetCurrencyRatesThread(const TGetCurrencyRatesThread&) = delete;
    TGetCurrencyRatesThread& operator=(const TGetCurrencyRatesThread&) = delete;

    // Set on the user-interface thread before Resume.
    TDoneEvent OnDone;

    void Resume();
    // Keeps what the run uses (its list, the log) alive until the worker has ended.
    void KeepAlive(std::shared_ptr<const void> object);

    std::uint8_t Mode() const;
    TCurrencyList& List() const;
    const std::string& ListFileName() const; // the script's file name, as the log lines name it
    // The script did not parse, the function did not complete, or the run was cancelled first.
    bool Failed() const;

    // Marks the run cancelled (no completion will be delivered) and sets the cancel event; a second
    // call does nothing more.
    void Cancel();
    bool Cancelled() const;

    // Waits up to `timeoutMs` (negative: no limit) for the run to end; true when it has ended. On
    // the user-interface thread the worker's calls into it (message texts, the completion) are
    // served meanwhile.
    bool WaitFor(int timeoutMs) const;
    bool Finished() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Stops a run as the windows do: cancels it, then waits for it to end in `slices` slices of 50 ms,
// processing the user-interface thread's events between them. True when it ended in time.
bool StopCurrencyThread(TGetCurrencyRatesThread& thread, int slices);
