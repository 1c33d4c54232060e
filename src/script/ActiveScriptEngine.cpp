#include "script/ActiveScriptEngine.h"

#include "script/ScriptBridge.h"
#include "script/ScriptText.h"

#include <QCoreApplication>
#include <QJSEngine>
#include <QStringList>

#include <algorithm>

namespace {

// The name the engine gives the script's source; stack frames from the host's own code carry
// another one and are skipped when an error is placed in the script.
const QString kScriptFile = QStringLiteral("tallyglass-script");

bool IsScriptFile(const QString& file) {
    return file == kScriptFile || file.endsWith(QLatin1Char(':') + kScriptFile) ||
           file.endsWith(QLatin1Char('/') + kScriptFile);
}

unsigned ToUnsigned(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? static_cast<unsigned>(value) : 0;
}

// Line and column of the first frame in the script, from the engine's stack trace entries
// "function:line:column:file" (the column is -1 where the engine does not know it).
void PositionFromTrace(const QStringList& trace, unsigned& line, unsigned& column) {
    for (const QString& frame : trace) {
        const QStringList parts = frame.split(QLatin1Char(':'));
        if (parts.size() < 4 || !IsScriptFile(parts.mid(3).join(QLatin1Char(':'))))
            continue;
        line = ToUnsigned(parts[1]);
        column = ToUnsigned(parts[2]);
        return;
    }
}

// Line of the first frame in the script, from an error's stack text: "function@file:line" lines.
unsigned LineFromStack(const QString& stack) {
    for (const QString& frame : stack.split(QLatin1Char('\n'))) {
        const QString location = frame.mid(frame.lastIndexOf(QLatin1Char('@')) + 1);
        const qsizetype colon = location.lastIndexOf(QLatin1Char(':'));
        if (colon > 0 && IsScriptFile(location.left(colon)))
            return ToUnsigned(location.mid(colon + 1));
    }
    return 0;
}

// The text of a thrown value: an error's message, else its text form.
std::string Describe(const QJSValue& thrown) {
    if (thrown.isError()) {
        const QString message = thrown.property(QStringLiteral("message")).toString();
        if (!message.isEmpty())
            return FromScriptText(message);
    }
    return FromScriptText(thrown.toString());
}

// Line `number` (from 1) of a script text; lines end at CR LF, CR, LF or the Unicode line and
// paragraph separators, as the engine counts them.
std::string SourceLine(const std::string& text, unsigned number) {
    if (number == 0)
        return {};
    unsigned line = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size();) {
        std::size_t breakLength = 0;
        if (i == text.size())
            breakLength = 1;
        else if (text[i] == '\r')
            breakLength = i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        else if (text[i] == '\n')
            breakLength = 1;
        else if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0)
            breakLength = 3;
        if (breakLength == 0) {
            ++i;
            continue;
        }
        if (line == number)
            return text.substr(start, i - start);
        ++line;
        i += breakLength;
        start = i;
    }
    return {};
}

// "30 seconds", "1 second", "0.25 seconds".
std::string SecondsText(std::chrono::milliseconds limit) {
    const long long ms = std::max<long long>(limit.count(), 0);
    std::string number = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        number += '.' + fraction;
    }
    return number + (ms == 1000 ? " second" : " seconds");
}

} // namespace

// One loaded script: the engine and the plumbing to it. QJSValues die before their engine, the
// bridge after it.
struct TActiveScriptEngine::Session {
    std::unique_ptr<TScriptBridge> bridge;
    std::unique_ptr<QJSEngine> engine;
    QJSValue call;

    ~Session() {
        call = QJSValue();
        engine.reset();
        bridge.reset();
    }
};

TActiveScriptEngine::TActiveScriptEngine() {
    m_control.SetTimeLimit(DefaultScriptTimeLimit());
}

TActiveScriptEngine::~TActiveScriptEngine() {
    CloseEngine();
}

void TActiveScriptEngine::AddNamedObject(const std::string& name, TScriptObject* object) {
    const std::string lower = AsciiLower(name);
    for (const auto& entry : NamedObjects)
        if (entry.first == lower)
            return;
    NamedObjects.emplace_back(lower, object);
}

void TActiveScriptEngine::CloseEngine() {
    m_control.SetEngine(nullptr);
    m_session.reset();
}

bool TActiveScriptEngine::LoadScript(const std::string& text) {
    CloseEngine();
    m_globalCodeError.reset();
    m_scriptText = text;
    // The engine needs an application object; without one there is no engine, as on a system
    // without a script engine.
    if (!QCoreApplication::instance())
        return false;

    auto session = std::make_unique<Session>();
    session->engine = std::make_unique<QJSEngine>();
    session->bridge = std::make_unique<TScriptBridge>(*session->engine, NamedObjects, [this](const QString& alertText) {
        if (OnAlert)
            OnAlert(FromScriptText(alertText));
    });
    session->call = session->bridge->Install();
    if (!session->call.isCallable())
        return false;
    QJSEngine& engine = *session->engine;
    TScriptBridge& bridge = *session->bridge;
    m_session = std::move(session);
    m_control.SetEngine(&engine);

    QStringList trace;
    const QString source = ToScriptText(text);
    QJSValue completion;
    {
        TScriptRunWatch watch(m_control);
        completion = engine.evaluate(source, kScriptFile, 1, &trace);
    }
    const auto reason = m_control.Reason();
    if (reason == TScriptRunControl::TReason::Cancelled)
        return false;
    if (reason != TScriptRunControl::TReason::None) {
        m_globalCodeError = StopError(reason);
        return true;
    }
    if (trace.isEmpty())
        return true; // nothing was thrown

    ScriptError error{Describe(completion), 0, 0};
    PositionFromTrace(trace, error.lineNumber, error.charPosition);
    if (completion.isError() && completion.errorType() == QJSValue::SyntaxError && !bridge.Compiles(source)) {
        ReportError(error);
        return false;
    }
    // The script parsed, its global code failed: the engine reports that when it is started by
    // the first call.
    m_globalCodeError = error;
    return true;
}

bool TActiveScriptEngine::CallFunction(const std::string& name) {
    return Call(name, nullptr);
}

bool TActiveScriptEngine::CallFunction(const std::string& name, const std::string& argument) {
    return Call(name, &argument);
}

bool TActiveScriptEngine::Call(const std::string& name, const std::string* argument) {
    m_result = TScriptValue();
    if (!m_session)
        return false;
    if (m_globalCodeError) {
        const ScriptError error = *m_globalCodeError;
        m_globalCodeError.reset();
        ReportError(error);
        return false;
    }
    QJSEngine& engine = *m_session->engine;
    QJSValue args = engine.newArray(argument ? 1 : 0);
    if (argument)
        args.setProperty(0, ToScriptText(*argument));

    QJSValue outcome;
    {
        TScriptRunWatch watch(m_control);
        outcome = m_session->call.call({ToScriptText(name), args});
    }
    const auto reason = m_control.Reason();
    if (reason == TScriptRunControl::TReason::Cancelled)
        return false;
    if (reason != TScriptRunControl::TReason::None) {
        ReportError(StopError(reason));
        return false;
    }
    if (outcome.isError() || !outcome.isObject()) {
        // Thrown past the trampoline: only the engine's own stop does that.
        ReportError({Describe(outcome), 0, 0});
        return false;
    }
    if (outcome.property(QStringLiteral("missing")).toBool())
        return false;
    if (!outcome.property(QStringLiteral("ok")).toBool()) {
        const QJSValue thrown = outcome.property(QStringLiteral("error"));
        ScriptError error{Describe(thrown), 0, 0};
        if (thrown.isObject())
            error.lineNumber = LineFromStack(thrown.property(QStringLiteral("stack")).toString());
        ReportError(error);
        return false;
    }

    const QJSValue value = outcome.property(QStringLiteral("value"));
    std::string text = FromScriptText(outcome.property(QStringLiteral("text")).toString());
    if (value.isUndefined())
        m_result = TScriptValue();
    else if (value.isNull())
        m_result = TScriptValue::Null();
    else if (value.isBool())
        m_result = TScriptValue::FromScript(TScriptValue::TType::Boolean, value.toBool(), 0, std::move(text));
    else if (value.isNumber())
        m_result = TScriptValue::FromScript(TScriptValue::TType::Number, false, value.toNumber(), std::move(text));
    else if (value.isString())
        m_result = TScriptValue::FromText(std::move(text));
    else
        m_result = TScriptValue::FromScript(TScriptValue::TType::Object, false, 0, std::move(text));
    return true;
}

void TActiveScriptEngine::ReportError(const ScriptError& error) {
    if (OnScriptError)
        OnScriptError(error.description, SourceLine(m_scriptText, error.lineNumber), error.lineNumber,
                      error.charPosition);
}

TActiveScriptEngine::ScriptError TActiveScriptEngine::StopError(TScriptRunControl::TReason reason) const {
    if (reason == TScriptRunControl::TReason::TimeLimit)
        return {"Time limit: the script was stopped after running for " + SecondsText(m_control.TimeLimit()), 0, 0};
    const auto mib = static_cast<unsigned long long>(ScriptMemoryLimit() >> 20);
    return {"Out of memory: the script was stopped when the program's memory use passed " + std::to_string(mib) +
                " MiB",
            0, 0};
}

void TActiveScriptEngine::SetTimeLimit(std::chrono::milliseconds limit) {
    m_control.SetTimeLimit(limit);
}

std::chrono::milliseconds TActiveScriptEngine::TimeLimit() const {
    return m_control.TimeLimit();
}

void TActiveScriptEngine::SetCancelEvent(const TManualResetEvent* event) {
    m_control.SetCancelEvent(event);
}

void TActiveScriptEngine::Interrupt() {
    m_control.Interrupt(TScriptRunControl::TReason::Cancelled);
}

bool TActiveScriptEngine::Cancelled() const {
    return m_control.Reason() == TScriptRunControl::TReason::Cancelled;
}

bool ScriptEngineAvailable() {
    TActiveScriptEngine host;
    return host.LoadScript("function test() { var i=0; };");
}
