// The program as `cmake --install` lays it out: installed into a temporary DESTDIR, its layout
// checked with the desktop's own validators, and the installed program started through its bin/
// link on a private X server, in a profile of its own.
#include "alerts/AlertItem.h"
#include "app/ProgramSettings.h"
#include "currency/CurrencyList.h"
#include "currency/CurrencyRatesList.h"
#include "platform/AutoStart.h"
#include "platform/DateTime.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"
#include "translate/Messages.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPassword = "installed";

struct TRun {
    int Code = -1; // -1: crashed or did not end in time
    std::string Output;
};

TRun run(const std::vector<std::string>& command,
         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QStringList args;
    for (std::size_t i = 1; i < command.size(); ++i)
        args << QString::fromStdString(command[i]);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QString::fromStdString(command[0]), args);
    const bool finished = process.waitForFinished(300000);
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll().toStdString()};
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    for (; !done(); QThread::msleep(50))
        if (timer.elapsed() > timeoutMs)
            return false;
    return true;
}

std::string fileText(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) ? ReadFileBytes(path.string()) : std::string();
}

std::set<std::string> entriesOf(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class InstalledProgram : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::canonical(m_dir.path()) / "root";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), QString::fromStdString(m_root.string()));
        const TRun install =
            run({TALLYGLASS_CMAKE_COMMAND, "--install", TALLYGLASS_BUILD_DIR, "--prefix", "/usr"}, env);
        ASSERT_EQ(install.Code, 0) << install.Output;
    }

    fs::path Prefix() const { return m_root / "usr"; }
    fs::path ProgramFolder() const { return Prefix() / "lib/tallyglass"; }
    std::string Profile(const std::string& name) const { return m_dir.file("profile/" + name); }
    std::string LogFile() const { return Profile("data/TallyData/log.txt"); }

    // The password `kPassword` chosen, the first run over, auto-start on, and the shipped ECB
    // provider's list switched on but just updated: it gets its window and nothing is downloaded.
    void PrepareProfile() {
        for (const char* folder : {"home", "config", "data", "runtime"})
            fs::create_directories(Profile(folder));
        fs::permissions(Profile("runtime"), fs::perms::owner_all, fs::perm_options::replace);
        TRegistry store(Profile("config/tallyglass/registry.db"));
        TProgramSettings settings;
        settings.AutoStartFile = m_dir.file("prepared.desktop"); // the program writes the profile's own
        settings.ProgramFilePath = "tallyglass";
        settings.AutoStart = true;
        settings.SetPassword(kPassword);
        settings.SaveSettings(store);
        // Only the program runs the script: under ThreadSanitizer, a first script run in this
        // process after the children it has started is reported as a race in the script watchdog,
        // whose locks the checker then no longer sees.
        TCurrencyList ecb;
        ecb.ScriptFileName = "ecb.js";
        ecb.Store = &store;
        ecb.Active = true;
        ecb.PeriodType = TPeriodType::days;
        ecb.LastCheckedTime = Now();
        ecb.SaveToRegistry(ecb.ListKey(), false);
    }

    // Starts a private Xvfb and puts its display into `xEnv`. The first try lets Xvfb pick a free
    // display; a display it reports but that takes no connection (its socket name already bound
    // outside this file system's view) is given up, and the next tries name displays of their own.
    static std::unique_ptr<QProcess> StartXServer(QProcessEnvironment& xEnv) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            auto server = std::make_unique<QProcess>();
            server->setStandardErrorFile(QProcess::nullDevice());
            QStringList args;
            if (attempt > 0)
                args << QStringLiteral(":%1").arg(100 + (getpid() + 37 * attempt) % 800);
            args << QStringLiteral("-displayfd") << QStringLiteral("1") << QStringLiteral("-nolisten")
                 << QStringLiteral("tcp");
            server->start(QStringLiteral("Xvfb"), args);
            QByteArray display;
            waitFor(
                [&] {
                    server->waitForReadyRead(100);
                    display += server->readAllStandardOutput();
                    return display.contains('\n') || server->state() == QProcess::NotRunning;
                },
                20000);
            if (display.contains('\n')) {
                xEnv.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(display.trimmed()));
                if (run({"xdotool", "getdisplaygeometry"}, xEnv).Code == 0)
                    return server;
            }
            server->kill();
            server->waitForFinished(10000);
        }
        ADD_FAILURE() << "no private X server could be started and reached (scripts/install-deps installs Xvfb)";
        return nullptr;
    }

    // Starts bin/tallyglass in the profile with `changes` to its environment (by default it runs in
    // the C locale), types the password into its password box, waits for `ready` (message 1055 as
    // the run writes it) in its log and ends it with SIGTERM. Returns the log.
    std::string RunInstalledProgram(const std::map<QString, QString>& changes, const std::string& ready) {
        const TXServerLock serverLock; // declared first: released after the server has ended
        QProcessEnvironment xEnv = QProcessEnvironment::systemEnvironment();
        const std::unique_ptr<QProcess> server = StartXServer(xEnv);
        if (!server)
            return std::string();
        QProcessEnvironment env = xEnv;
        for (const char* name : {"WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "no_proxy", "NO_PROXY",
                                 "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            env.remove(QString::fromLatin1(name));
        const std::map<QString, QString> profile = {{QStringLiteral("HOME"), QStringLiteral("home")},
                                                    {QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("config")},
                                                    {QStringLiteral("XDG_DATA_HOME"), QStringLiteral("data")},
                                                    {QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("runtime")}};
        for (const auto& [name, folder] : profile)
            env.insert(name, QString::fromStdString(Profile(folder.toStdString())));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // No session bus, so no tray or notification service of the user's; and a proxy that nothing
        // listens on, should anything try the network.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
            env.insert(QString::fromLatin1(name), QStringLiteral("http://127.0.0.1:9"));
        // The X11 libraries copy reply strings without a terminating zero, which strict string checks
        // take for overflows, and keep memory to the end; the offscreen tests check our own memory.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                           QStringLiteral(" strict_string_checks=0 detect_leaks=0"));
        for (const auto& [name, value] : changes)
            env.insert(name, value);

        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels); // sanitizer reports show up in the test log
        program.start(QString::fromStdString((Prefix() / "bin/tallyglass").string()), {});
        EXPECT_TRUE(program.waitForStarted(10000));
        // The password box is the program's only window until the password is accepted.
        std::string window;
        waitFor(
            [&] {
                window = run({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(program.processId())}, xEnv)
                             .Output;
                window = window.substr(0, window.find('\n'));
                return !window.empty() || program.waitForFinished(1);
            },
            60000);
        EXPECT_FALSE(window.empty()) << "no password box came up";
        // "type" takes every argument after it as text: Return is a command of its own.
        EXPECT_EQ(run({"xdotool", "windowfocus", "--sync", window, "type", "--delay", "20", kPassword}, xEnv).Code, 0);
        EXPECT_EQ(run({"xdotool", "key", "Return"}, xEnv).Code, 0);
        EXPECT_TRUE(waitFor([&] { return fileText(LogFile()).find(ready) != std::string::npos; }, 60000))
            << "no '" << ready << "' in the log:\n"
            << fileText(LogFile());

        SignalProgram(program, SIGTERM);
        EXPECT_TRUE(program.waitForFinished(60000)) << "the program did not end on SIGTERM";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        server->terminate();
        server->waitForFinished(10000);
        return fileText(LogFile());
    }

    TempDir m_dir;
    fs::path m_root;
};

} // namespace

// What goes where: the program folder with its data, the commands as relative links into it, and
// the desktop's files, which the desktop's own validators accept. (The package test's lintian run
// checks the icons' sizes and the manual pages.)
TEST_F(InstalledProgram, LaysOutTheProgramFolderCommandsAndDesktopFiles) {
    EXPECT_EQ(entriesOf(ProgramFolder()), (std::set<std::string>{"BalanceAlerts", "CurrencyRates", "tallyglass",
                                                                 "tallyglass-tool", "translations"}));
    EXPECT_TRUE(fs::is_directory(ProgramFolder() / "BalanceAlerts"));
    EXPECT_EQ(fileText(ProgramFolder() / "CurrencyRates/ecb.js"), ReadFileBytes(BinPath("CurrencyRates/ecb.js")));
    EXPECT_TRUE(fs::is_regular_file(ProgramFolder() / "translations/interface.de.txt"));
    // Only the two commands: no demo, no tests.
    EXPECT_EQ(entriesOf(Prefix() / "bin"), (std::set<std::string>{"tallyglass", "tallyglass-tool"}));
    for (const char* name : {"tallyglass", "tallyglass-tool"}) {
        EXPECT_EQ(fs::read_symlink(Prefix() / "bin" / name), fs::path("../lib/tallyglass") / name);
        EXPECT_EQ(fs::canonical(Prefix() / "bin" / name), ProgramFolder() / name);
    }
    // It answers --version before it needs a display, as its manual page was made.
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    bare.remove(QStringLiteral("DISPLAY"));
    bare.remove(QStringLiteral("QT_QPA_PLATFORM"));
    EXPECT_EQ(run({(Prefix() / "bin/tallyglass").string(), "--version"}, bare).Output, "tallyglass 1.0.0.41\n");

    const std::string id = TALLYGLASS_APP_ID;
    const fs::path share = Prefix() / "share";
    const TRun desktop = run({"desktop-file-validate", (share / "applications" / (id + ".desktop")).string()});
    EXPECT_TRUE(desktop.Code == 0 && desktop.Output.empty()) << desktop.Output;
    EXPECT_NE(fileText(share / "applications" / (id + ".desktop")).find("\nIcon=" + id + "\n"), std::string::npos);
    const TRun metainfo =
        run({"appstreamcli", "validate", "--no-net", (share / "metainfo" / (id + ".metainfo.xml")).string()});
    EXPECT_TRUE(metainfo.Code == 0 && metainfo.Output.find("W: ") == std::string::npos) << metainfo.Output;
    EXPECT_NE(fileText(share / "metainfo" / (id + ".metainfo.xml")).find(">" + id + ".desktop</launchable>"),
              std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(share / "icons/hicolor/scalable/apps" / (id + ".svg")));
    for (const char* size : {"16", "22", "24", "32", "48", "64", "128", "256"})
        EXPECT_TRUE(
            fs::is_regular_file(share / "icons/hicolor" / (std::string(size) + "x" + size) / "apps" / (id + ".png")));
    for (const char* page : {"tallyglass.1.gz", "tallyglass-tool.1.gz"})
        EXPECT_TRUE(fs::is_regular_file(share / "man/man1" / page)) << page;
}

// Started through bin/tallyglass, the program takes its program folder from where the link leads:
// it loads a definition that the installed tool encrypted into the shipped BalanceAlerts/ folder,
// the user's own from their data folder, and the shipped provider, and its auto-start entry names the command, which
// upgrades keep.
TEST_F(InstalledProgram, StartsFromItsProgramFolderThroughTheLink) {
    const fs::path alerts = ProgramFolder() / "BalanceAlerts";
    WriteFileBytes(m_dir.file("plain.bal"), "[COMMON]\nlist_name=Installation test\n\n[Installation test]\n"
                                            "unique_id=INSTALL_TEST\nneed_auth=no\npage_url=http://127.0.0.1:9/\n"
                                            "pattern=Balance: (-?\\d+?)(\\.)(\\d\\d)\n");
    const TRun encrypt = run({(Prefix() / "bin/tallyglass-tool").string(), "encrypt", m_dir.file("plain.bal"),
                              (alerts / "test.bal").string()});
    ASSERT_EQ(encrypt.Code, 0) << encrypt.Output;
    ASSERT_NO_FATAL_FAILURE(PrepareProfile());
    // And one of the user's own, beside the installation: two alerts in it.
    const std::string own = Profile("data/tallyglass/BalanceAlerts/");
    fs::create_directories(own);
    WriteFileBytes(m_dir.file("own.bal"), "[COMMON]\nlist_name=Own\n\n[Own 1]\nunique_id=OWN_1\n\n[Own 2]\n"
                                          "unique_id=OWN_2\n");
    ASSERT_EQ(
        run({(Prefix() / "bin/tallyglass-tool").string(), "encrypt", m_dir.file("own.bal"), own + "own.bal"}).Code, 0);

    const std::string log = RunInstalledProgram({}, LoadStr(1055));
    EXPECT_NE(log.find(FormatMsg(LoadStr(1048), {alerts.string() + "/"})), std::string::npos) << log;
    EXPECT_NE(log.find(FormatMsg(LoadStr(1049), {std::uint64_t{1}, std::uint64_t{1}})), std::string::npos) << log;
    EXPECT_NE(log.find(FormatMsg(LoadStr(1048), {own})), std::string::npos) << log;
    EXPECT_NE(log.find(FormatMsg(LoadStr(1049), {std::uint64_t{2}, std::uint64_t{1}})), std::string::npos) << log;
    EXPECT_EQ(log.find("[ERR]"), std::string::npos) << log;
    // The provider's list got its window, which recorded its place.
    TRegistry store(Profile("config/tallyglass/registry.db"));
    TCurrencyList ecb;
    ecb.ScriptFileName = "ecb.js";
    TCurrencyWindowPlacement placement;
    placement.Load(store, TCurrencyWindowPlacement::KeyOf(ecb));
    EXPECT_EQ(placement.WindowVisible, std::optional<bool>(true)) << "the shipped provider was not loaded";
    EXPECT_NE(fileText(Profile("config/autostart/tallyglass.desktop"))
                  .find("\nExec=" + DesktopExecQuote((Prefix() / "bin/tallyglass").string()) + "\n"),
              std::string::npos);
}

// With a German locale it finds the shipped German translation in its program folder.
TEST_F(InstalledProgram, StartsInGermanWithAGermanLocale) {
    const std::string translation = fileText(ProgramFolder() / "translations/interface.de.txt");
    const std::size_t at = translation.find("\nRES.1055=");
    ASSERT_NE(at, std::string::npos) << "the installed German translation has no message 1055";
    const std::size_t from = at + 10;
    const std::string ready = translation.substr(from, translation.find_first_of("\r\n", from) - from);
    ASSERT_NO_FATAL_FAILURE(PrepareProfile());
    const std::string log = RunInstalledProgram({{QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8")}}, ready);
    EXPECT_EQ(log.find(LoadStr(1055)), std::string::npos) << log;
}
