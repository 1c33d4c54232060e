#pragma once

#include <string>
#include <vector>

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

extern const char* const kEncryptHelp;
extern const char* const kDecryptHelp;
extern const char* const kDumpHelp;
extern const char* const kRegHelp;
extern const char* const kScriptHelp;
extern const char* const kCurrencyHelp;
extern const char* const kCheckHelp;
extern const char* const kHistoryHelp;

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
