#include "app/ui/Application.h"
#include "platform/Version.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kHelp = "Usage: tallyglass [--help | --version]\n"
                          "\n"
                          "Tallyglass watches the money balances of your accounts at web services and the exchange\n"
                          "rates that currency-rate providers publish. It lives in the notification area, shows the\n"
                          "balances in an always-on-top Balance List window with their trend, and tells you when one\n"
                          "changes. Every start asks for the program password; the first start lets you choose it.\n"
                          "\n"
                          "Only one copy runs per user: starting the program again brings up the settings window of\n"
                          "the running one. SIGTERM, SIGINT and SIGHUP end it in an orderly way. Without a graphical\n"
                          "session (no display to open) it says so and exits with code 3.\n"
                          "\n"
                          "Options:\n"
                          "  -h, --help     print this help and exit\n"
                          "  --version      print the version and exit\n"
                          "\n"
                          "Qt's own options, such as -platform NAME, are accepted as well.\n";

// Answered before the application object exists, so that they need no display.
bool AnswerInformationOption(int argc, char** argv, int& exitCode) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            exitCode = std::fflush(stdout) == 0 ? 0 : 1;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tallyglass %s\n", GetFileVersionString(4, false, std::string()).c_str());
            exitCode = std::fflush(stdout) == 0 ? 0 : 1;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (int exitCode = 0; AnswerInformationOption(argc, argv, exitCode))
        return exitCode;
    return RunTallyglass(argc, argv);
}
