#include "Commands.h"

#include "Json.h"
#include "alerts/AlertItem.h"
#include "base/Encoders.h"
#include "platform/DateTime.h"
#include "platform/FormatDateTime.h"
#include "script/ActiveScriptEngine.h"
#include "script/AlertItemObject.h"
#include "translate/Messages.h"

#include <cstdio>
#include <string>

const char* const kScriptHelp =
    "Usage: tallyglass-tool script FILE FUNCTION [--arg-file PAGE] [--plain]\n"
    "\n"
    "Runs a balance script the way a check does: FILE is decrypted (unless --plain) and loaded\n"
    "with AlertItem present, then FUNCTION is called, with the bytes of PAGE as its one argument\n"
    "when --arg-file is given. Alerts and script errors are written to standard error as log\n"
    "lines; standard output gets one JSON object:\n"
    "  {\"loaded\": bool, \"called\": bool, \"result\": text, \"info\": {name: value}}\n"
    "Exit code 0 when the call succeeded, 3 when the script did not load or its function\n"
    "failed, 2 when a file cannot be read.\n";

namespace {

// A line as the program's log writes it.
void WriteLogLine(unsigned messageId, std::initializer_list<TMsgArg> args) {
    const std::string line = FormatDateTime("c", Now()) + ": " + FormatMsg(LoadStr(messageId), args) + "\r\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int RunScript(const TArgs& given) {
    TArgs args = given;
    std::string pagePath;
    bool hasPage = false;
    if (!TakeOption(args, "--arg-file", pagePath, hasPage))
        return UsageError("--arg-file needs a file", kScriptHelp);
    bool plain = false;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == "--plain") {
            plain = true;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    if (args.size() != 2)
        return UsageError("expected FILE and FUNCTION", kScriptHelp);

    std::string bytes;
    if (!ReadInputOrReport(args[0], "script", bytes, false))
        return 2;
    std::string page;
    if (hasPage && !ReadInputOrReport(pagePath, "page", page))
        return 2;
    // Scripts are stored like definition files and read the same way.
    if (!plain)
        WarnUnlessText(args[0], bytes);
    const std::string text = DefinitionText(plain ? bytes : DecryptBytes(kDefinitionPassphrase, bytes));

    const std::string scriptName = BaseName(args[0]);
    TAlertItem alert;
    TAlertItemObject face(alert);
    TActiveScriptEngine host;
    // As in a check, which runs its scripts on a worker.
    host.SetTimeLimit(kWorkerScriptTimeLimit);
    host.OnAlert = [&](const std::string& message) { WriteLogLine(1032, {scriptName, message}); };
    host.OnScriptError = [&](const std::string& description, const std::string& source, unsigned line,
                             unsigned position) {
        WriteLogLine(1031, {scriptName, description, std::uint64_t{line}, std::uint64_t{position}, source});
    };
    host.AddNamedObject("AlertItem", &face);

    const bool loaded = host.LoadScript(text);
    const bool called = loaded && (hasPage ? host.CallFunction(args[1], page) : host.CallFunction(args[1]));
    const std::string json = std::string("{\"loaded\": ") + JsonBool(loaded) + ", \"called\": " + JsonBool(called) +
                             ", \"result\": " + JsonString(host.Result().Text()) +
                             ", \"info\": " + JsonTextObject(alert.InfoValues) + "}\n";
    if (!WriteStdout(json))
        return 2;
    return called ? 0 : 3;
}
