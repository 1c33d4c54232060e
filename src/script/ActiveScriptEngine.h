#pragma once

#include "script/ScriptObject.h"
#include "script/ScriptWatchdog.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TManualResetEvent;

// The program's host for scripts: pattern and info scripts of balance alerts and currency-rate
// provider scripts. One host serves one short job on one thread: the thread creates it, loads a
// script, calls one or a few of its functions, receives its events and destroys it. Hosts share
// nothing, so several run at once on different threads.
//
// Scripts see their own globals, the language's standard built-ins, alert(text) and the named
// objects under any letter case of their names; any other name is an error.
class TActiveScriptEngine {
public:
    // The text of a script's alert call.
    using TAlertEvent = std::function<void(const std::string& text)>;
    // A script error: description, the source line's text, line number and character position
    // (both as the engine counts them: lines from 1, positions from 1, 0 when not known).
    using TScriptErrorEvent = std::function<void(const std::string& description, const std::string& sourceLine,
                                                 unsigned lineNumber, unsigned charPosition)>;

    TActiveScriptEngine();
    ~TActiveScriptEngine();
    TActiveScriptEngine(const TActiveScriptEngine&) = delete;
    TActiveScriptEngine& operator=(const TActiveScriptEngine&) = delete;

    // Makes an object reachable under its name in any letter case. The first object of a name
    // wins; the object must outlive the host's script runs.
    void AddNamedObject(const std::string& name, TScriptObject* object);

    // Discards any script loaded before and loads this one into a fresh engine, so two scripts
    // never share globals. False when no engine can be made, and on a syntax error, which is
    // reported through OnScriptError. The script's global code runs here; an error in it, and a
    // memory or time stop of it, is reported by the next CallFunction, which then fails.
    bool LoadScript(const std::string& text);

    // Calls a global function of the script with no argument or one text argument. True when
    // it returned normally; Result then holds its return value. False without an event when
    // there is no script or no function of that name; false after OnScriptError when the
    // function fails, and when the run is stopped for using too much memory or for running past
    // its time limit; false without an event when the run is cancelled.
    bool CallFunction(const std::string& name);
    bool CallFunction(const std::string& name, const std::string& argument);

    // Return value of the last CallFunction; empty when the function returned nothing or the
    // call failed. Its Text() is the engine's text form of the value.
    const TScriptValue& Result() const { return m_result; }

    // The running time each later script run may use: the global code of a LoadScript, and each
    // CallFunction, counted separately. Time spent waiting on a Request download does not count.
    // A run that reaches the limit is stopped, however it loops, and reported as a script error
    // ("Time limit: ..."); the next run starts with a full limit. The default depends on the
    // thread that creates the host (DefaultScriptTimeLimit: 5 s on the user-interface thread,
    // 30 s elsewhere).
    void SetTimeLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds TimeLimit() const;

    TAlertEvent OnAlert;
    TScriptErrorEvent OnScriptError;

    // Cancellation. The event (owned by the caller, outliving the host) is watched while scripts
    // run; Interrupt may be called from any thread. Either stops a running script within a few
    // milliseconds, even an endless loop, and every later run of this host fails at once.
    void SetCancelEvent(const TManualResetEvent* event);
    void Interrupt();
    bool Cancelled() const;

private:
    struct Session;
    struct ScriptError {
        std::string description;
        unsigned lineNumber = 0;
        unsigned charPosition = 0;
    };

    void CloseEngine();
    bool Call(const std::string& name, const std::string* argument);
    void ReportError(const ScriptError& error);
    // The error of a run the watchdog stopped for its memory or its time.
    ScriptError StopError(TScriptRunControl::TReason reason) const;

    TNamedObjects NamedObjects;
    TScriptRunControl m_control;
    std::unique_ptr<Session> m_session;
    std::string m_scriptText;
    std::optional<ScriptError> m_globalCodeError; // reported by the first call after the load
    TScriptValue m_result;
};

// Whether scripts can run here: loads a minimal script into a fresh host.
bool ScriptEngineAvailable();
