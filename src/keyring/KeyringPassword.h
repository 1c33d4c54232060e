#pragma once

#include <functional>
#include <memory>
#include <string>

class QObject;
namespace QKeychain {
class Job;
}

// The program password kept in the desktop's keyring (the Secret Service, through QtKeychain), so
// that a start can unlock without asking for it. The entry is the password of service kService
// under the key given here; the program uses its store file's path as the key, so two profiles
// never share an entry.
//
// Every call is asynchronous and bounded: the keyring gets TimeoutMs() to answer, after that the
// call ends with TimedOut and a late answer is dropped. A Secret Service that says its default
// collection is locked shows the desktop's own unlock prompt meanwhile; a person needs longer for
// that, so such a call gets LockedTimeoutMs() from then on. A callback runs once, on the thread
// that made the call, and never after the object is gone. There is no plain-text fallback: without
// a keyring the calls fail.
class TKeyringPassword {
public:
    enum class TStatus {
        Found,    // Read: the stored password is in Password
        NotFound, // Read or Remove: no password is stored under the key
        Done,     // Store or Remove succeeded
        Failed,   // the keyring is absent, refused or broke; Reason says why
        TimedOut  // no answer within the bound
    };
    struct TResult {
        TStatus Status = TStatus::Failed;
        std::string Password;
        std::string Reason;
        // The keyring said it was locked: the desktop's unlock prompt was up.
        bool Locked = false;
        // TimedOut: the bound that ran out.
        int BoundMs = 0;
    };
    using TDone = std::function<void(const TResult&)>;

    static constexpr const char* kService = "Tallyglass";
    static constexpr int kDefaultTimeoutMs = 5000;
    static constexpr int kDefaultLockedTimeoutMs = 120000;

    explicit TKeyringPassword(std::string key);
    ~TKeyringPassword();
    TKeyringPassword(const TKeyringPassword&) = delete;
    TKeyringPassword& operator=(const TKeyringPassword&) = delete;

    const std::string& Key() const { return m_key; }
    int TimeoutMs() const { return m_timeoutMs; }
    void SetTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }
    int LockedTimeoutMs() const { return m_lockedTimeoutMs; }
    void SetLockedTimeoutMs(int timeoutMs) { m_lockedTimeoutMs = timeoutMs; }

    void Read(TDone done);
    void Store(const std::string& password, TDone done = {});
    void Remove(TDone done = {});

    // Runs one of the calls above and waits for its result in a local event loop: the thread goes
    // on handling its events (windows paint, timers fire) until the keyring answers or the bound
    // runs out.
    static TResult Wait(const std::function<void(TDone)>& call);
    // Waits the same way until every call made here has ended.
    void WaitIdle();
    bool Busy() const { return *m_pending > 0; }

private:
    // Starts the job (which deletes itself once it has ended, in time or not) under the bound.
    void Start(QKeychain::Job* job, TDone done);
    // Asks the Secret Service whether its default collection is locked; `locked` runs (with
    // `context` still there) when it says so.
    void AskWhetherLocked(QObject* context, std::function<void()> locked) const;

    std::string m_key;
    int m_timeoutMs = kDefaultTimeoutMs;
    int m_lockedTimeoutMs = kDefaultLockedTimeoutMs;
    // Receives the jobs' answers and the time bounds; going first, it drops what is still to come.
    std::unique_ptr<QObject> m_context;
    std::shared_ptr<int> m_pending = std::make_shared<int>(0);
};
