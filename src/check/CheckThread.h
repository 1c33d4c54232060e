#pragma once

#include "alerts/AlertItem.h"
#include "base/HTTPRequest.h"
#include "check/MatchPattern.h"
#include "platform/Events.h"
#include "platform/Worker.h"
#include "translate/Messages.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TActiveScriptEngine;
class TLogFile;

// One balance check of one alert, on a worker thread of its own: downloads the alert's page (and
// its steps), extracts the submatches, sets the balance, and hands over to the user-interface
// thread through OnCheckDone. Every log line's text is fetched on the user-interface thread.
//
// Lifetime: the creator keeps a std::shared_ptr, sets OnCheckDone and calls Resume; the worker
// holds a reference of its own until it ends, so the creator may drop its reference at any time.
// The alert (with its list) and the log must outlive the check: a starter that may let go of them
// first hands them to KeepAlive.
class TCheckThread : public TWorker {
public:
    using TCheckDoneEvent = std::function<void(TCheckThread& thread)>;

    // The definition and the page login are read from the alert now, under its lock. The cancel
    // event (nullptr: one of the check's own) stops a running download or script.
    TCheckThread(TAlertItem& alert, std::string alertsFolder, TLogFile& log,
                 std::shared_ptr<TManualResetEvent> cancelEvent = nullptr);
    ~TCheckThread() override;

    // Runs on the user-interface thread when the check ends, whatever its outcome, unless the check
    // was cancelled; the worker waits until it returns. Set before Resume.
    TCheckDoneEvent OnCheckDone;

    // Folder of the definitions and their scripts, ending with a separator.
    std::string AlertsFolder;
    // File name of the script being run, for the script's log lines.
    std::string ScriptName;
    // The last download read its body completely.
    bool RequestOk = false;
    // "OK" or "ERR" (messages 1008, 1009), or empty when the page was not downloaded.
    std::string StatusText;
    // This check found a balance and set it (it may equal the one before).
    bool BalanceFound = false;
    // Submatches of the alert's own page.
    std::vector<std::string> PageMatches;
    // When set, taken as the alert's own page, answered with 200, instead of downloading it (for
    // trying a definition against a saved page); the steps still download.
    std::optional<std::string> PageOverride;

    // The whole check on the calling thread: what the worker runs.
    void Execute() override;

    TAlertItem& Alert() const { return m_alert; }
    CHTTPRequest& Request() { return m_request; }
    const CHTTPRequest& Request() const { return m_request; }

    // The text of a message, fetched on the user-interface thread.
    std::string LoadText(unsigned id);

    // Request preparation.
    std::string SubstitutePlaceholders(const std::string& text) const;
    std::string SubstituteMatches(const std::string& text) const;
    std::string PrepareText(const std::string& text) const;
    // After a complete download: true for 200; otherwise logs why and leaves StatusText "ERR".
    bool CheckStatus(std::int32_t code);
    // The steps of a multi-step alert, after its own page; ends with AnalyseMatches of the last step.
    void RunChunks();

    // Extraction.
    TMatchResult ExtractBalance(const std::string& page, const std::string& pattern, std::vector<std::string>& list);
    // `file` is the script's name as the check has it (lower case); `written`, when given, the name
    // as the definition wrote it, tried next.
    TMatchResult RunPatternScript(const std::string& page, const std::string& file, std::vector<std::string>& list,
                                  const std::string& written = std::string());
    void RunInfoScript(const std::string& page, const std::string& file);
    // Logs the outcome and, from submatches 1 and 3, sets the alert's balance and saves its state.
    void AnalyseMatches(TMatchResult result, const std::vector<std::string>& list);

private:
    // The alert's definition and login as the check started.
    struct TDefinition {
        std::string Name;
        std::string page_url;
        std::string post_data;
        std::string pattern;
        std::string info_script;
        bool IsPost = false;
        bool NeedAuth = true;
        std::string PageLogin;
        std::string PagePassword;
        std::vector<TChunk> Chunks; // Matches as the last check left them
    };

    void Log(unsigned id, std::initializer_list<TMsgArg> args);
    void ConnectScriptEvents(TActiveScriptEngine& host);
    // Finds the script file without regard to letter case, reads and decrypts it.
    bool ReadScript(const std::string& file, const std::string& written, std::string& text) const;
    void StoreStepMatches(std::size_t step, std::vector<std::string> matches);

    TAlertItem& m_alert;
    TLogFile& m_log;
    CHTTPRequest m_request;
    TDefinition m_definition;
    // Patterns compiled during this check, by their text.
    std::map<std::string, std::unique_ptr<TCompiledPattern>> m_patterns;
};
