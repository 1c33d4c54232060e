#include "check/CheckThread.h"

#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "check/RequestText.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/UiThread.h"
#include "script/ActiveScriptEngine.h"
#include "script/AlertItemObject.h"
#include "script/ScriptText.h"

#include <filesystem>
#include <fstream>
#include <iterator>

TCheckThread::TCheckThread(TAlertItem& alert, std::string alertsFolder, TLogFile& log,
                           std::shared_ptr<TManualResetEvent> cancelEvent)
    : TWorker(std::move(cancelEvent)), AlertsFolder(std::move(alertsFolder)), m_alert(alert), m_log(log) {
    m_request.CancelEvent = &CancelEvent();
    const auto lock = alert.Lock();
    m_definition.Name = alert.Name;
    m_definition.page_url = alert.page_url;
    m_definition.post_data = alert.post_data;
    m_definition.pattern = alert.pattern;
    m_definition.info_script = alert.info_script;
    m_definition.IsPost = alert.IsPost;
    m_definition.NeedAuth = alert.NeedAuth;
    m_definition.PageLogin = alert.PageLogin;
    m_definition.PagePassword = alert.PagePassword;
    for (const auto& chunk : alert.ChunkList)
        m_definition.Chunks.push_back(*chunk);
}

TCheckThread::~TCheckThread() = default;

std::string TCheckThread::LoadText(unsigned id) {
    std::string text;
    // The translator belongs to the user-interface thread. Once that thread no longer takes calls
    // (shutdown), the built-in lookup, which is safe anywhere, still gives the text.
    if (!UiThread::RunSync([&] { text = LoadStr(id); }))
        text = LoadStr(id);
    return text;
}

void TCheckThread::Log(unsigned id, std::initializer_list<TMsgArg> args) {
    m_log.WriteLog(LoadText(id), args);
}

std::string TCheckThread::SubstitutePlaceholders(const std::string& text) const {
    return ::SubstitutePlaceholders(text, m_definition.PageLogin, m_definition.PagePassword, TickCount());
}

std::string TCheckThread::SubstituteMatches(const std::string& text) const {
    return ::SubstituteMatches(text, PageMatches, [this](std::int64_t step) -> const std::vector<std::string>* {
        if (step < 1 || step > static_cast<std::int64_t>(m_definition.Chunks.size()))
            return nullptr;
        return &m_definition.Chunks[static_cast<std::size_t>(step - 1)].Matches;
    });
}

std::string TCheckThread::PrepareText(const std::string& text) const {
    return SubstituteMatches(SubstitutePlaceholders(text));
}

bool TCheckThread::CheckStatus(std::int32_t code) {
    StatusText = LoadText(1009);
    const std::string& name = m_definition.Name;
    const auto ucode = static_cast<std::uint64_t>(static_cast<std::uint32_t>(code));
    if (code == 200) {
        StatusText = LoadText(1008);
        return true;
    }
    if (code >= 300 && code <= 399) {
        Log(1029, {name, ucode});
    } else if (code >= 400 && code <= 499) {
        std::string reason;
        if (code >= 400 && code <= 404)
            reason = LoadText(static_cast<unsigned>(1010 + (code - 400)));
        Log(1027, {name, ucode, ucode, reason});
    } else if (code >= 500 && code <= 599) {
        Log(1028, {name, ucode});
    } else {
        Log(1030, {name, ucode});
    }
    return false;
}

void TCheckThread::Execute() {
    const TDefinition& definition = m_definition;
    m_request.Method = definition.IsPost ? CHTTPRequest::mPost : CHTTPRequest::mGet;
    m_request.Url = PrepareText(definition.page_url);
    m_request.PostData = PrepareText(definition.post_data);
    m_request.Headers.clear();
    m_request.Referrer.clear();
    if (definition.NeedAuth) {
        m_request.Login = definition.PageLogin;
        m_request.Password = definition.PagePassword;
    }

    Log(1041, {definition.Name});
    if (PageOverride) {
        m_request.Data = *PageOverride;
        m_request.StatusCode = 200;
        RequestOk = true;
    } else {
        RequestOk = m_request.Perform();
    }
    Log(1042, {definition.Name, static_cast<std::uint64_t>(m_request.StatusCode),
               static_cast<std::uint64_t>(m_request.Data.size()), LoadText(RequestOk ? 1043 : 1044)});

    if (RequestOk && CheckStatus(m_request.StatusCode)) {
        const std::string page = m_request.Data;
        const TMatchResult result = ExtractBalance(page, definition.pattern, PageMatches);
        RunInfoScript(page, definition.info_script);
        if (!definition.Chunks.empty())
            RunChunks();
        else
            AnalyseMatches(result, PageMatches);
    }

    if (OnCheckDone)
        Complete([this] { OnCheckDone(*this); });
}

void TCheckThread::RunChunks() {
    const TDefinition& definition = m_definition;
    StatusText = LoadText(1009);
    std::string previous = PrepareText(definition.page_url);
    TMatchResult result = mrNoMatch;
    const std::size_t count = definition.Chunks.size();
    for (std::size_t i = 1; i <= count; ++i) {
        const TChunk& step = definition.Chunks[i - 1];
        if (i > 1)
            previous = PrepareText(definition.Chunks[i - 2].chunk_url);
        m_request.Method = step.IsPost ? CHTTPRequest::mPost : CHTTPRequest::mGet;
        m_request.Url = PrepareText(step.chunk_url);
        m_request.PostData = PrepareText(step.chunk_postdata);
        m_request.Headers.clear();
        m_request.Referrer = previous;

        Log(1045, {definition.Name, static_cast<std::uint64_t>(i)});
        RequestOk = m_request.Perform();
        Log(1046, {static_cast<std::uint64_t>(i), definition.Name, static_cast<std::uint64_t>(m_request.StatusCode),
                   static_cast<std::uint64_t>(m_request.Data.size()), LoadText(RequestOk ? 1043 : 1044)});
        if (!RequestOk || !CheckStatus(m_request.StatusCode)) {
            // The check ends here with the balances as they were. An earlier step's 200 had set
            // "OK"; the check as a whole failed.
            StatusText = LoadText(1009);
            return;
        }

        const std::string page = m_request.Data;
        std::vector<std::string> matches;
        result = ExtractBalance(page, step.chunk_pattern, matches);
        StoreStepMatches(i - 1, std::move(matches));
        RunInfoScript(page, step.chunk_info_script);
    }
    StatusText = LoadText(1008);
    AnalyseMatches(result, definition.Chunks[count - 1].Matches);
}

void TCheckThread::StoreStepMatches(std::size_t step, std::vector<std::string> matches) {
    // The alert keeps each step's submatches for the next check; other threads may copy the alert.
    {
        const auto lock = m_alert.Lock();
        if (step < m_alert.ChunkList.size())
            m_alert.ChunkList[step]->Matches = matches;
    }
    m_definition.Chunks[step].Matches = std::move(matches);
}

TMatchResult TCheckThread::ExtractBalance(const std::string& page, const std::string& pattern,
                                          std::vector<std::string>& list) {
    const std::string lower = AsciiLower(pattern);
    if (lower.size() >= 4 && lower.compare(0, 3, "js:") == 0)
        return RunPatternScript(page, lower.substr(3), list, pattern.substr(3));
    // Each pattern is compiled once per check, however many pages it is matched against.
    auto& compiled = m_patterns[pattern];
    if (!compiled)
        compiled = std::make_unique<TCompiledPattern>(pattern);
    return compiled->Match(page, list);
}

void TCheckThread::ConnectScriptEvents(TActiveScriptEngine& host) {
    host.OnAlert = [this](const std::string& text) { Log(1032, {ScriptName, text}); };
    host.OnScriptError = [this](const std::string& description, const std::string& sourceLine, unsigned lineNumber,
                                unsigned charPosition) {
        Log(1031, {ScriptName, description, static_cast<std::uint64_t>(lineNumber),
                   static_cast<std::uint64_t>(charPosition), sourceLine});
    };
}

bool TCheckThread::ReadScript(const std::string& file, const std::string& written, std::string& text) const {
    // Definitions were written for a file system that ignores letter case: the name as the check
    // has it, then as the definition wrote it, then any file of the folder that matches it so.
    std::string path = AlertsFolder + file;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        path = FindFileIgnoringCase(AlertsFolder, written.empty() ? file : written);
    if (path.empty())
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string encrypted((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    // Scripts are encrypted like definition files and read the same way.
    text = DefinitionText(DecryptBytes(kDefinitionPassphrase, encrypted));
    return true;
}

TMatchResult TCheckThread::RunPatternScript(const std::string& page, const std::string& file,
                                            std::vector<std::string>& list, const std::string& written) {
    TAlertItemObject alertItem(m_alert); // declared first: it outlives the host
    TActiveScriptEngine host;
    ScriptName = file;
    ConnectScriptEvents(host);
    host.SetCancelEvent(&CancelEvent());
    host.AddNamedObject("AlertItem", &alertItem);
    list.clear();

    std::string text;
    if (!ReadScript(file, written, text) || !host.LoadScript(text))
        return mrCompileError;
    if (!host.CallFunction("get_balance", page))
        return mrBadOption;
    list = SplitLines(host.Result().Text());
    return list.empty() ? mrNoMatch : mrMatched;
}

void TCheckThread::RunInfoScript(const std::string& page, const std::string& file) {
    if (file.empty())
        return;
    std::string text;
    if (!ReadScript(file, std::string(), text))
        return;
    TAlertItemObject alertItem(m_alert);
    TActiveScriptEngine host;
    ScriptName = file;
    ConnectScriptEvents(host);
    host.SetCancelEvent(&CancelEvent());
    host.AddNamedObject("AlertItem", &alertItem);
    if (host.LoadScript(text))
        host.CallFunction("get_additional_info", page); // what it returns does not matter
}

void TCheckThread::AnalyseMatches(TMatchResult result, const std::vector<std::string>& list) {
    const std::string& name = m_definition.Name;
    switch (result) {
    case mrMatched:
        break;
    case mrNoMatch:
        Log(1036, {name});
        return;
    case mrCompileError:
        Log(1037, {name});
        return;
    case mrBadOption:
        Log(1038, {name});
        return;
    case mrNoMemory:
        Log(1039, {name});
        return;
    case mrUnknownNode:
        Log(1040, {name});
        return;
    }

    Log(1033, {static_cast<std::uint64_t>(list.size()), name});
    if (list.size() <= 1) {
        Log(1034, {name});
        return;
    }
    if (const std::optional<std::int32_t> balance = BalanceFromMatches(list)) {
        m_alert.SetBalance(*balance);
        BalanceFound = true;
    }
    if (m_alert.Owner != nullptr)
        m_alert.Owner->SaveState(m_alert);
    Log(1035, {name});
}
