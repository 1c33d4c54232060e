#include "DemoProfile.h"
#include "DemoSite.h"

#include "platform/Paths.h"
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const kHelp =
    "Usage: tallyglass-demo [--profile DIR] [--password P] [--step-seconds N] [--port N] [--site-only]\n"
    "\n"
    "Tries Tallyglass without any account: serves pretend providers on 127.0.0.1 (a bank with a\n"
    "form login and two steps, a mobile operator read by scripts, a wallet page), prepares a\n"
    "throwaway profile that knows them, starts the program in it and stops the site when the\n"
    "program ends. The balances and the euro reference rates change every minute.\n"
    "\n"
    "  --profile DIR      where the profile goes (default: demo-profile/ in the build folder); it\n"
    "                     is made afresh on every run and must be empty or an earlier demo profile\n"
    "  --password P       the program password of the profile (default: demo)\n"
    "  --step-seconds N   the balances change every N seconds (default: 60)\n"
    "  --port N           the site's port (default: a free one)\n"
    "  --site-only        serve the site and write the definitions into the profile, without the\n"
    "                     program, until Ctrl+C: for trying them with tallyglass-tool\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "tallyglass-demo: %s\n\n%s", message.c_str(), kHelp);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tallyglass-demo: %s\n", message.c_str());
    return 1;
}

bool ReadNumber(const std::string& text, int low, int high, int& value) {
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < low || number > high)
        return false;
    value = static_cast<int>(number);
    return true;
}

struct TOptions {
    std::string profile;
    std::string password = "demo";
    int stepSeconds = 60;
    int port = 0;
    bool siteOnly = false;
};

// Empty text when the arguments are good; otherwise what is wrong with them.
std::string Parse(const std::vector<std::string>& args, TOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--site-only") {
            options.siteOnly = true;
            continue;
        }
        if (arg != "--profile" && arg != "--password" && arg != "--step-seconds" && arg != "--port")
            return "unknown argument '" + arg + "'";
        if (i + 1 == args.size())
            return arg + " needs a value";
        const std::string& value = args[++i];
        if (arg == "--profile")
            options.profile = value;
        else if (arg == "--password")
            options.password = value;
        else if (arg == "--step-seconds" && !ReadNumber(value, 1, 86400, options.stepSeconds))
            return "--step-seconds needs a number of seconds from 1 to 86400";
        else if (arg == "--port" && !ReadNumber(value, 1, 65535, options.port))
            return "--port needs a port number";
    }
    if (options.password.empty())
        return "the program does not accept an empty password";
    return std::string();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
    TOptions options;
    if (const std::string wrong = Parse(args, options); !wrong.empty())
        return Usage(wrong);

    QCoreApplication app(argc, argv);
    const std::string binFolder = ExePath();
    if (options.profile.empty())
        options.profile = (std::filesystem::path(binFolder) / ".." / "demo-profile").lexically_normal().string();
    const TDemoProfile profile(std::filesystem::absolute(options.profile).lexically_normal().string());

    TDemoSite site(options.stepSeconds);
    if (!site.Start(options.port))
        return Fail("cannot serve on 127.0.0.1" + (options.port > 0 ? ":" + std::to_string(options.port) : ""));

    std::string error;
    if (!profile.Reset(error) || (!options.siteOnly && !profile.InstallProgram(binFolder, error)) ||
        !WriteDemoDefinitions(profile.AlertsFolder(), site.Address(), error) ||
        (!options.siteOnly &&
         (!WriteDemoRatesProvider(profile.CurrencyFolder(), site.Address(), error) ||
          !profile.WriteStore(options.password, site.CurrentPeriod(), error) ||
          !profile.WriteCurrencyStore(site.CurrentPeriod(), error) || !profile.WriteShowSettingsScript(error))))
        return Fail(error);

    std::printf("Tallyglass demo\n"
                "  Demo site:  %s/  (balances change every %d s)\n"
                "  Profile:    %s  (throwaway; made afresh on every run)\n",
                site.Address().c_str(), options.stepSeconds, profile.Root.c_str());
    TTerminationSignals termination;
    if (options.siteOnly) {
        std::printf("  Definitions: %s\n\n"
                    "Try one with the tool, for example:\n"
                    "  %stallyglass-tool check %sdemo-bank.bal DEMO_BANK_CURRENT --login %s --password %s\n"
                    "Serving until Ctrl+C.\n",
                    profile.AlertsFolder().c_str(), binFolder.c_str(), profile.AlertsFolder().c_str(),
                    TDemoSite::kBankLogin, TDemoSite::kBankPassword);
        std::fflush(stdout);
        QObject::connect(&termination, &TTerminationSignals::TerminationRequested, &app, &QCoreApplication::quit);
        QCoreApplication::exec();
        site.Stop();
        return 0;
    }
    std::printf("  Log:        %s\n"
                "  Settings:   run %s while the program runs\n"
                "\n"
                "  Demo password: %s\n"
                "\n"
                "  To try \"Add account from a page...\" (Balance Alerts tab): %s/savings/account, login %s,\n"
                "  password %s\n"
                "\n"
                "Starting the program: type the password above into its password box. End it from its tray\n"
                "menu or with Ctrl+C here.\n",
                profile.LogFile().c_str(), profile.ShowSettingsScript().c_str(), options.password.c_str(),
                site.Address().c_str(), TDemoSite::kSavingsLogin, TDemoSite::kSavingsPassword);
    std::fflush(stdout);

    QProcess program;
    program.setProcessEnvironment(profile.Environment(QProcessEnvironment::systemEnvironment()));
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setInputChannelMode(QProcess::ForwardedInputChannel);
    program.setWorkingDirectory(QString::fromStdString(profile.Root));
    int result = 0;
    QObject::connect(&program, &QProcess::finished, &app, [&](int code, QProcess::ExitStatus status) {
        result = status == QProcess::NormalExit ? code : 1;
        QCoreApplication::quit();
    });
    QObject::connect(&program, &QProcess::errorOccurred, &app, [&](QProcess::ProcessError failure) {
        if (failure != QProcess::FailedToStart)
            return;
        std::fprintf(stderr, "tallyglass-demo: cannot start %s\n", profile.ProgramFile().c_str());
        result = 1;
        QCoreApplication::quit();
    });
    // Ctrl+C reaches the program too; a termination signal for the demo alone is passed on. Either
    // way the program ends in its orderly way, and the site serves it until then. A second signal
    // ends a program that does not go.
    int signalsSeen = 0;
    QObject::connect(&termination, &TTerminationSignals::TerminationRequested, &app, [&program, &signalsSeen] {
        if (program.state() == QProcess::NotRunning)
            return;
        if (++signalsSeen == 1) {
            program.terminate();
            return;
        }
        std::fprintf(stderr, "tallyglass-demo: ending the program at once\n");
        program.kill();
    });
    program.start(QString::fromStdString(profile.ProgramFile()), {});
    QCoreApplication::exec();
    site.Stop();
    std::printf("The program has ended; the demo site is stopped.\n");
    return result;
}
