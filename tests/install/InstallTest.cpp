// The program as `cmake --install` lays it out under a prefix: installed into a temporary DESTDIR,
// its layout checked with the desktop's own validators, and the installed program started from its
// bin/ link on a private X server, with a profile of its own.
#include "alerts/AlertItem.h"
#include "app/Messages.h"
#include "app/ProgramSettings.h"
#include "currency/CurrencyList.h"
#include "currency/CurrencyRatesList.h"
#include "currency/CurrencyScripts.h"
#include "platform/DateTime.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPassword = "installed";
constexpr const char* kVersion = "1.0.0.41";
const std::set<std::string> kIconSizes = {"16", "22", "24", "32", "48", "64", "128", "256"};

// A plain definition the test encrypts with the installed tool. Its alert is never switched on,
// so nothing is downloaded; the address would lead nowhere anyway.
constexpr const char* kDefinition = "An alert for the installation test.\n"
                                    "\n"
                                    "[COMMON]\n"
                                    "list_name=Installation test\n"
                                    "\n"
                                    "[Installation test]\n"
                                    "unique_id=INSTALL_TEST\n"
                                    "group_name=Installation test\n"
                                    "need_auth=no\n"
                                    "page_url=http://127.0.0.1:9/balance\n"
                                    "pattern=Balance: (-?\\d+?)(\\.)(\\d\\d)\n";

struct TRun {
    bool Finished = false;
    int Code = -1;
    std::string Output; // standard output and error together
};

TRun runProgram(const std::string& program, const QStringList& args,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QString::fromStdString(program), args);
    TRun run;
    run.Finished = process.waitForFinished(300000);
    run.Code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Output = process.readAll().toStdString();
    return run;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

std::string fileText(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) ? ReadFileBytes(path.string()) : std::string();
}

std::set<std::string> entriesOf(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

// Width and height from a PNG file's header chunk; 0 x 0 when it is no PNG.
std::pair<unsigned, unsigned> pngSize(const std::string& bytes) {
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    const auto number = [&bytes](std::size_t at) {
        unsigned value = 0;
        for (std::size_t i = at; i < at + 4; ++i)
            value = (value << 8) | static_cast<unsigned char>(bytes[i]);
        return value;
    };
    return {number(16), number(20)};
}

// A private X server: the program asks for its password in a window of its own, and xdotool types it.
class TXServer {
public:
    ~TXServer() {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            m_server.waitForFinished(10000);
        }
    }

    // False when Xvfb is not there or did not tell its display.
    bool Start() {
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                        QStringLiteral("1024x768x24")});
        if (!m_server.waitForStarted(10000))
            return false;
        QByteArray line;
        QElapsedTimer timer;
        timer.start();
        while (!line.contains('\n') && timer.elapsed() < 20000 && m_server.state() == QProcess::Running)
            if (m_server.waitForReadyRead(100))
                line += m_server.readAllStandardOutput();
        m_display = QStringLiteral(":") + QString::fromLatin1(line.trimmed());
        return line.contains('\n');
    }

    QString Display() const { return m_display; }

private:
    QProcess m_server;
    QString m_display;
};

class InstalledProgram : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::canonical(m_dir.path()) / "root";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), QString::fromStdString(m_root.string()));
        const TRun install = runProgram(TALLYGLASS_CMAKE_COMMAND,
                                        {QStringLiteral("--install"), QStringLiteral(TALLYGLASS_BUILD_DIR),
                                         QStringLiteral("--prefix"), QStringLiteral("/usr")},
                                        env);
        ASSERT_TRUE(install.Finished && install.Code == 0) << install.Output;
    }

    fs::path Prefix() const { return m_root / "usr"; }
    fs::path ProgramFolder() const { return Prefix() / "lib/tallyglass"; }
    std::string Profile(const std::string& name) const { return m_dir.file("profile/" + name); }
    std::string StoreFile() const { return Profile("config/tallyglass/registry.db"); }
    std::string LogFile() const { return Profile("data/TallyData/log.txt"); }

    // The program with the password `kPassword` chosen, its first run over and the auto-start on,
    // and the shipped ECB provider's list switched on but just updated, so it gets its window at
    // the start and no update is due (nothing is downloaded).
    void PrepareProfile() {
        for (const char* folder : {"home", "config", "data", "runtime"})
            fs::create_directories(Profile(folder));
        fs::permissions(Profile("runtime"), fs::perms::owner_all, fs::perm_options::replace);
        Registry store(StoreFile());
        TProgramSettings settings;
        settings.ExePath = ProgramFolder().string() + "/";
        settings.DataPath = Profile("data/TallyData/");
        settings.AutoStartFile = m_dir.file("prepared.desktop"); // the program writes the profile's own
        settings.ProgramFilePath = (ProgramFolder() / "tallyglass").string();
        settings.AutoStart = true;
        settings.SetPassword(kPassword);
        settings.SaveSettings(store);

        const auto list = LoadCurrencyScript((ProgramFolder() / "CurrencyRates/ecb.js").string(), nullptr, {}, &store);
        ASSERT_TRUE(list) << "the installed ECB provider does not load";
        list->Active = true;
        list->Period = 1;
        list->PeriodType = TPeriodType::days;
        list->LastCheckedTime = Now();
        list->SaveToRegistry(list->ListKey(), false);
    }

    // Starts the installed program through its bin/ link in the profile, with `changes` to the
    // environment (a locale, say), types its password, waits for `ready` (message 1055 as the run
    // writes it) in its log and ends it with SIGTERM. Without changes it runs in the C locale, in
    // English. Returns the run's log; the test fails when a step does.
    std::string RunInstalledProgram(const std::map<QString, QString>& changes, const std::string& ready) {
        TXServer server;
        if (!server.Start()) {
            ADD_FAILURE() << "Xvfb did not start (scripts/install-deps installs it)";
            return std::string();
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "no_proxy", "NO_PROXY", "HTTP_PROXY",
              "HTTPS_PROXY", "ALL_PROXY", "all_proxy", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        const auto profile = [this](const char* name) { return QString::fromStdString(Profile(name)); };
        env.insert(QStringLiteral("HOME"), profile("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), profile("config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), profile("data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), profile("runtime"));
        env.insert(QStringLiteral("DISPLAY"), server.Display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // No session bus, so the program meets no tray or notification service of the user's; and a
        // proxy that nothing listens on, should anything try the network.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + profile("no-bus"));
        env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://127.0.0.1:9"));
        env.insert(QStringLiteral("https_proxy"), QStringLiteral("http://127.0.0.1:9"));
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
        if (!program.waitForStarted(10000)) {
            ADD_FAILURE() << "the installed program did not start";
            return std::string();
        }
        const QString pid = QString::number(program.processId());
        QProcessEnvironment xEnv = QProcessEnvironment::systemEnvironment();
        xEnv.insert(QStringLiteral("DISPLAY"), server.Display());
        // The password box is the program's only window until the password is accepted.
        std::string window;
        const bool boxShown = waitFor(
            [&] {
                const TRun found = runProgram(
                    "xdotool",
                    {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid}, xEnv);
                window = found.Code == 0 ? found.Output.substr(0, found.Output.find('\n')) : std::string();
                return !window.empty() || program.state() == QProcess::NotRunning;
            },
            60000);
        EXPECT_TRUE(boxShown && !window.empty()) << "no password box came up";
        if (!window.empty()) {
            // "type" takes every argument after it as text: the Return key is a command of its own.
            const TRun typed =
                runProgram("xdotool",
                           {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromStdString(window),
                            QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
                            QString::fromLatin1(kPassword)},
                           xEnv);
            EXPECT_EQ(typed.Code, 0) << typed.Output;
            const TRun confirmed = runProgram("xdotool", {QStringLiteral("key"), QStringLiteral("Return")}, xEnv);
            EXPECT_EQ(confirmed.Code, 0) << confirmed.Output;
        }
        EXPECT_TRUE(waitFor([&] { return fileText(LogFile()).find(ready) != std::string::npos; }, 60000))
            << "no '" << ready << "' in the log:\n"
            << fileText(LogFile());

        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        EXPECT_TRUE(program.waitForFinished(60000)) << "the program did not end on SIGTERM";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        return fileText(LogFile());
    }

    TempDir m_dir;
    fs::path m_root;
};

} // namespace

// What goes where: the program folder with its data, the commands as relative links into it, and
// the desktop's files, each of them accepted by the desktop's own validator.
TEST_F(InstalledProgram, LaysOutTheProgramFolderCommandsAndDesktopFiles) {
    EXPECT_EQ(entriesOf(ProgramFolder()), (std::set<std::string>{"BalanceAlerts", "CurrencyRates", "tallyglass",
                                                                 "tallyglass-tool", "translations"}));
    EXPECT_TRUE(fs::is_directory(ProgramFolder() / "BalanceAlerts"));
    EXPECT_EQ(fileText(ProgramFolder() / "CurrencyRates/ecb.js"), ReadFileBytes(BinPath("CurrencyRates/ecb.js")));
    EXPECT_EQ(fileText(ProgramFolder() / "translations/interface.de.txt"),
              ReadFileBytes(std::string(TALLYGLASS_SOURCE_DIR) + "/data/translations/interface.de.txt"));

    // Only the two commands, no demo and no tests.
    EXPECT_EQ(entriesOf(Prefix() / "bin"), (std::set<std::string>{"tallyglass", "tallyglass-tool"}));
    for (const char* name : {"tallyglass", "tallyglass-tool"}) {
        SCOPED_TRACE(name);
        const fs::path link = Prefix() / "bin" / name;
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), fs::path("../lib/tallyglass") / name);
        EXPECT_EQ(fs::canonical(link), ProgramFolder() / name);
        EXPECT_NE(fs::status(link).permissions() & fs::perms::others_exec, fs::perms::none);
    }

    // Both answer --help and --version without a display, as the manual pages were made.
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        bare.remove(QString::fromLatin1(name));
    const TRun version = runProgram((Prefix() / "bin/tallyglass").string(), {QStringLiteral("--version")}, bare);
    EXPECT_EQ(version.Code, 0);
    EXPECT_EQ(version.Output, std::string("tallyglass ") + kVersion + "\n");
    const TRun help = runProgram((Prefix() / "bin/tallyglass-tool").string(), {QStringLiteral("--help")}, bare);
    EXPECT_EQ(help.Code, 0);
    EXPECT_NE(help.Output.find("Usage: tallyglass-tool"), std::string::npos) << help.Output;

    const std::string id = TALLYGLASS_APP_ID;
    const fs::path share = Prefix() / "share";
    const fs::path desktop = share / "applications" / (id + ".desktop");
    const TRun desktopCheck = runProgram("desktop-file-validate", {QString::fromStdString(desktop.string())});
    EXPECT_TRUE(desktopCheck.Code == 0 && desktopCheck.Output.empty()) << desktopCheck.Output;
    EXPECT_NE(fileText(desktop).find("\nExec=tallyglass\n"), std::string::npos);
    EXPECT_NE(fileText(desktop).find("\nIcon=" + id + "\n"), std::string::npos);

    const fs::path metainfo = share / "metainfo" / (id + ".metainfo.xml");
    const TRun metainfoCheck = runProgram("appstreamcli", {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                           QString::fromStdString(metainfo.string())});
    EXPECT_EQ(metainfoCheck.Code, 0) << metainfoCheck.Output;
    EXPECT_EQ(metainfoCheck.Output.find("W: "), std::string::npos) << metainfoCheck.Output;
    EXPECT_NE(fileText(metainfo).find("<id>" + id + "</id>"), std::string::npos);
    EXPECT_NE(fileText(metainfo).find(">" + id + ".desktop</launchable>"), std::string::npos);
    EXPECT_NE(fileText(metainfo).find("<release version=\"" + std::string(kVersion) + "\""), std::string::npos);

    const fs::path icons = share / "icons/hicolor";
    EXPECT_EQ(fileText(icons / "scalable/apps" / (id + ".svg")),
              ReadFileBytes(std::string(TALLYGLASS_SOURCE_DIR) + "/src/platform/ui/icons/normal.svg"));
    for (const std::string& size : kIconSizes) {
        const auto [width, height] = pngSize(fileText(icons / (size + "x" + size) / "apps" / (id + ".png")));
        EXPECT_EQ(std::to_string(width) + "x" + std::to_string(height), size + "x" + size);
    }

    for (const char* name : {"tallyglass", "tallyglass-tool"}) {
        const fs::path page = share / "man/man1" / (std::string(name) + ".1.gz");
        const TRun text = runProgram("gzip", {QStringLiteral("-dc"), QString::fromStdString(page.string())});
        EXPECT_EQ(text.Code, 0) << page;
        EXPECT_NE(text.Output.find(".SH SYNOPSIS"), std::string::npos) << page;
        EXPECT_NE(text.Output.find(kVersion), std::string::npos) << page;
    }
    EXPECT_TRUE(fs::is_regular_file(share / "doc/tallyglass/copyright"));
}

// The installed program started through bin/tallyglass: it takes its program folder from where the
// link leads, loads a definition that the installed tool encrypted into the shipped BalanceAlerts/
// folder and the shipped provider beside it, and writes its auto-start entry with the command's
// path, which upgrades keep.
TEST_F(InstalledProgram, StartsFromItsProgramFolderThroughTheLink) {
    const std::string plain = m_dir.file("install-test.bal");
    WriteFileBytes(plain, kDefinition);
    const fs::path alerts = ProgramFolder() / "BalanceAlerts";
    const TRun encrypt = runProgram((Prefix() / "bin/tallyglass-tool").string(),
                                    {QStringLiteral("encrypt"), QString::fromStdString(plain),
                                     QString::fromStdString((alerts / "install-test.bal").string())});
    ASSERT_EQ(encrypt.Code, 0) << encrypt.Output;
    ASSERT_NO_FATAL_FAILURE(PrepareProfile());

    const std::string log = RunInstalledProgram({}, LoadStr(1055));
    EXPECT_NE(log.find(FormatMsg(LoadStr(1048), {alerts.string() + "/"})), std::string::npos) << log;
    EXPECT_NE(log.find(FormatMsg(LoadStr(1049), {std::uint64_t{1}, std::uint64_t{1}})), std::string::npos) << log;
    EXPECT_EQ(log.find("[ERR]"), std::string::npos) << log;

    // The provider's list got its window: the window recorded its place at the start.
    Registry store(StoreFile());
    TCurrencyList ecb;
    ecb.ScriptFileName = "ecb.js";
    TCurrencyWindowPlacement placement;
    placement.Load(store, TCurrencyWindowPlacement::KeyOf(ecb));
    EXPECT_EQ(placement.WindowVisible, std::optional<bool>(true)) << "the shipped provider was not loaded";

    const std::string entry = fileText(Profile("config/autostart/tallyglass.desktop"));
    EXPECT_NE(entry.find("\nExec=" + DesktopExecQuote((Prefix() / "bin/tallyglass").string()) + "\n"),
              std::string::npos)
        << entry;
}

// With a German locale the installed program finds the shipped German translation in its program
// folder and writes its log in German.
TEST_F(InstalledProgram, StartsInGermanWithAGermanLocale) {
    const std::string translation = fileText(ProgramFolder() / "translations/interface.de.txt");
    const std::size_t at = translation.find("\nRES.1055=");
    ASSERT_NE(at, std::string::npos) << "the installed German translation has no message 1055";
    const std::size_t from = at + std::string("\nRES.1055=").size();
    const std::string ready = translation.substr(from, translation.find_first_of("\r\n", from) - from);
    ASSERT_NE(ready, LoadStr(1055));
    ASSERT_NO_FATAL_FAILURE(PrepareProfile());

    const std::string log = RunInstalledProgram({{QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8")}}, ready);
    EXPECT_NE(log.find(ready), std::string::npos) << log;
    EXPECT_EQ(log.find(LoadStr(1055)), std::string::npos) << log;
}
