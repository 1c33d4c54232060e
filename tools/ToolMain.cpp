#include "Commands.h"

#include "base/Encoders.h"

#include <QCoreApplication>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include "platform/Registry.h"
#include "platform/UiThread.h"
#include "platform/Worker.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const char* const kToolHelp = "Usage: tallyglass-tool COMMAND [ARGS...]\n"
                              "\n"
                              "Tools for people who write Tallyglass definition files and provider scripts.\n"
                              "\n"
                              "Commands:\n"
                              "  encrypt IN OUT     encrypt a file as the program's data files are encrypted\n"
                              "  decrypt IN OUT     decrypt such a file\n"
                              "  dump FILE.bal      print the alerts of a definition file as JSON\n"
                              "  reg dump [KEY]     print the program's stored settings and state\n"
                              "  script FILE FUNC   run a balance script's function as a check does\n"
                              "  currency FILE.js   load a provider script and run it as the program does\n"
                              "  check FILE.bal ID  run one balance check of an alert as the program does\n"
                              "  history [ID]       print the recorded checks, oldest first\n"
                              "  new --page URL     add an account from its page: list its numbers, write\n"
                              "                     the definition that reads the one picked\n"
                              "  status             print the running program's balances for a status bar\n"
                              "\n"
                              "Run 'tallyglass-tool COMMAND --help' for a command's options.\n";

// The commands' log opens /dev/stderr anew, which for a regular file is a second handle with an
// offset of its own: with "> out 2>&1" the JSON on standard output, or a later message on standard
// error, would be written over the log lines. Appending on every handle keeps them in order.
void AppendToRegularFiles() {
    for (const int fd : {1, 2}) {
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0)
            fcntl(fd, F_SETFL, flags | O_APPEND);
    }
}

struct TCommand {
    int (*run)(const TArgs&);
    const char* help;
};

} // namespace

bool IsHelp(const TArgs& args) {
    for (const auto& arg : args)
        if (arg == "--help" || arg == "-h")
            return true;
    return false;
}

int UsageError(const std::string& message, const char* help) {
    std::fprintf(stderr, "tallyglass-tool: %s\n\n%s", message.c_str(), help);
    return 1;
}

bool ReadInput(const std::string& path, std::string& bytes) {
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool ReadInputOrReport(const std::string& path, const char* what, std::string& bytes, bool allowStdin) {
    if ((allowStdin || path != "-") && ReadInput(path, bytes))
        return true;
    std::fprintf(stderr, "tallyglass-tool: cannot read %s '%s'\n", what, path.c_str());
    return false;
}

void WarnUnlessText(const std::string& path, const std::string& encrypted) {
    const std::string text = DefinitionText(DecryptBytes(kDefinitionPassphrase, encrypted));
    std::size_t control = 0, ascii = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 32 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f') || byte == 127)
            ++control;
        else if (byte < 128)
            ++ascii;
    }
    // Definitions and scripts are mostly ASCII (their keys and keywords are) and hold next to no
    // control bytes; bytes decrypted under the wrong key are about one in ten control bytes and
    // half of them above ASCII.
    if (!text.empty() && control * 100 <= text.size() && ascii * 2 >= text.size())
        return;
    std::fprintf(stderr,
                 "tallyglass-tool: warning: '%s' decrypts to no text; was it encrypted with "
                 "'tallyglass-tool encrypt'?\n",
                 path.c_str());
}

bool WriteOutput(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        return static_cast<bool>(std::cout);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

bool TakeOption(TArgs& args, const std::string& name, std::string& value, bool& present) {
    present = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            if (i + 1 >= args.size())
                return false;
            value = args[i + 1];
            present = true;
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return true;
        }
        const std::string prefix = name + "=";
        if (args[i].rfind(prefix, 0) == 0) {
            value = args[i].substr(prefix.size());
            present = true;
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return true;
}

bool TakeStateDir(TArgs& args) {
    std::string dir;
    bool present = false;
    if (!TakeOption(args, "--state-dir", dir, present) || (present && dir.empty()))
        return false;
    if (present)
        TRegistry::SetStoreDirectory(dir);
    return true;
}

int main(int argc, char** argv) {
    // The core needs an application object (text codecs, the script engine, local paths).
    QCoreApplication app(argc, argv);
    UiThread::Initialize();
    AppendToRegularFiles();
    const std::map<std::string, TCommand> commands = {
        {"encrypt", {RunEncrypt, kEncryptHelp}},
        {"decrypt", {RunDecrypt, kDecryptHelp}},
        {"dump", {RunDump, kDumpHelp}},
        {"reg", {RunReg, kRegHelp}},
        {"script", {RunScript, kScriptHelp}},
        {"currency", {RunCurrency, kCurrencyHelp}},
        {"check", {RunCheck, kCheckHelp}},
        {"history", {RunHistory, kHistoryHelp}},
        {"new", {RunNew, kNewHelp}},
        {"status", {RunStatus, kStatusHelp}},
    };

    TArgs args(argv + 1, argv + argc);
    if (args.empty())
        return UsageError("no command given", kToolHelp);
    const std::string name = args.front();
    if (name == "--help" || name == "-h" || name == "help") {
        std::fputs(kToolHelp, stdout);
        return 0;
    }
    const auto it = commands.find(name);
    if (it == commands.end())
        return UsageError("unknown command '" + name + "'", kToolHelp);
    args.erase(args.begin());
    if (IsHelp(args)) {
        std::fputs(it->second.help, stdout);
        return 0;
    }
    int code = 2;
    try {
        code = it->second.run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallyglass-tool: %s\n", e.what());
    }
    // A worker that has handed over its outcome may still be letting go of what it used: the
    // process ends after it has.
    WaitForAllWorkers(10000);
    return code;
}
