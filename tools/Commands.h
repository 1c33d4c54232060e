#pragma once

#include <string>
#include <vector>

class TAlertItems;

// Subcommands of tallyglass-tool. Each takes the arguments after its name and returns the exit
// code: 0 success, 1 bad usage, 2 input that cannot be read or output that cannot be written; a
// command may add its own codes above these.
using TArgs = std::vector<std::string>;

int RunEncrypt(const TArgs& args);
int RunDecrypt(const TArgs& args);
int RunDump(const TArgs& args);
int RunReg(const TArgs& args);
int RunScript(const TArgs& args);
int RunCurrency(const TArgs& args);
int RunCheck(const TArgs& args);
int RunHistory(const TArgs& args);
int RunNew(const TArgs& args);
int RunStatus(const TArgs& args);

extern const char* const kEncryptHelp;
extern const char* const kDecryptHelp;
extern const char* const kDumpHelp;
extern const char* const kRegHelp;
extern const char* const kScriptHelp;
extern const char* const kCurrencyHelp;
extern const char* const kCheckHelp;
extern const char* const kHistoryHelp;
extern const char* const kNewHelp;
extern const char* const kStatusHelp;

// Small shared helpers.
bool IsHelp(const TArgs& args);
int UsageError(const std::string& message, const char* help);
// Reads a whole file ("-" is standard input); false on failure.
bool ReadInput(const std::string& path, std::string& bytes);
// ReadInput that reports a failure as "cannot read <what> '<path>'" on standard error. Without
// `allowStdin`, "-" is such a failure: the command needs a real file.
bool ReadInputOrReport(const std::string& path, const char* what, std::string& bytes, bool allowStdin = true);
bool WriteOutput(const std::string& path, const std::string& bytes);
// Warns on standard error when `encrypted` decrypts to no text at all: empty once cut at its first
// NUL, or full of the control bytes that a file which was never encrypted turns into.
void WarnUnlessText(const std::string& path, const std::string& encrypted);
// Removes "--name VALUE" from args into value; false when the option is given without a value.
bool TakeOption(TArgs& args, const std::string& name, std::string& value, bool& present);
// Applies a --state-dir option to the registry store; false when it is given without a folder.
bool TakeStateDir(TArgs& args);

// The page login and password as the commands that log in take them: --login / --password, the
// first line of --login-file / --password-file ('-' is standard input), else the environment
// variables TALLYGLASS_LOGIN and TALLYGLASS_PASSWORD.
struct TCredentials {
    std::string Login;
    std::string Password;
    bool HasLogin = false;
    bool HasPassword = false;
    std::string LoginFile;
    std::string PasswordFile;
    bool HasLoginFile = false;
    bool HasPasswordFile = false;
};
// Takes the options out of args; false after saying on standard error, followed by `help`, what
// is wrong with them.
bool TakeCredentials(TArgs& args, TCredentials& credentials, const char* help);
// Reads the files and the environment once the other arguments are known to be right; false
// after saying on standard error which file could not be read.
bool ReadCredentials(TCredentials& credentials);

// The store of the tool's alert state: the program's key layout under a passphrase of the tool's
// own, so that the tool never reads or writes the program's state.
extern const char* const kToolRegistryRoot;
std::string ToolStateKey();

// A definition file's list name and alerts as one JSON object, as 'dump' prints them.
std::string DumpJson(const TAlertItems& list);
