#include "Commands.h"

#include "platform/Registry.h"

#include <cstdio>
#include <filesystem>

const char* const kRegHelp = "Usage: tallyglass-tool reg dump [KEY] [--state-dir DIR]\n"
                             "\n"
                             "Prints every stored value (of KEY and its subkeys, or of the whole store), one\n"
                             "per line: key path, value name, type and value, separated by tabs. DWORD values\n"
                             "are printed in decimal, binary values in hexadecimal.\n"
                             "\n"
                             "  --state-dir DIR   use the store in DIR instead of the user's configuration folder\n";

int RunReg(const TArgs& given) {
    TArgs args = given;
    if (!TakeStateDir(args))
        return UsageError("--state-dir needs a folder", kRegHelp);
    if (args.empty() || args[0] != "dump")
        return UsageError("expected 'dump'", kRegHelp);
    if (args.size() > 2)
        return UsageError("too many arguments", kRegHelp);
    const std::string key = args.size() == 2 ? args[1] : std::string();

    // Looking must not create a store where there is none.
    std::error_code error;
    if (!std::filesystem::exists(TRegistry::DefaultFilePath(), error))
        return 0;
    try {
        for (const auto& line : TRegistry::Instance().Dump(key))
            std::printf("%s\n", line.c_str());
    } catch (const ERegistryError& e) {
        std::fprintf(stderr, "tallyglass-tool: cannot read the store '%s': %s\n", TRegistry::DefaultFilePath().c_str(),
                     e.what());
        return 2;
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}
