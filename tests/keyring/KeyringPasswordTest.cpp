#include "base/Encoders.h"
#include "keyring/KeyringPassword.h"
#include "keyring/KeyringUnlock.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using TStatus = TKeyringPassword::TStatus;

// Each test talks to a keyring of its own on a session bus of its own, in a process of its own:
// libsecret keeps its bus connection, and QtKeychain its choice of keyring and its queue of calls,
// for the whole process. The test runs itself again there; this variable says it is there.
constexpr const char* kRunVariable = "TALLYGLASS_KEYRING_TEST_BUS";

bool WaitForLine(QProcess& process, QByteArray& line) {
    QElapsedTimer timer;
    timer.start();
    while (!line.contains('\n') && timer.elapsed() < 20000 && process.state() != QProcess::NotRunning)
        if (process.waitForReadyRead(100))
            line += process.readAllStandardOutput();
    return line.contains('\n');
}

// Starts a private session bus (and on it, when asked, a real gnome-keyring-daemon that is unlocked)
// with a home of its own, runs the test `testName` again there and fails when that run fails.
void RunOnAPrivateBus(const char* testName, bool withGnomeKeyring) {
    TempDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
        QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QString::fromLatin1(name), QString::fromStdString(path));
    }
    // QtKeychain picks the Secret Service through libsecret on any desktop but KDE's.
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "KDE_SESSION_VERSION"})
        env.remove(QString::fromLatin1(name));
    // The bus starts no services: only what the test starts answers on it.
    WriteFileBytes(dir.file("bus.conf"), "<busconfig><type>session</type><listen>unix:dir=" + dir.path() +
                                             "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                             "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + QString::fromStdString(dir.file("bus.conf")),
                                              QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!bus.waitForStarted(10000))
        GTEST_SKIP() << "dbus-daemon is not installed";
    QByteArray address;
    ASSERT_TRUE(WaitForLine(bus, address)) << "dbus-daemon did not start";
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromLocal8Bit(address.trimmed()));
    env.insert(QString::fromLatin1(kRunVariable), QString::fromLocal8Bit(address.trimmed()));

    QProcess keyring;
    if (withGnomeKeyring) {
        // Unlocked with a password read from standard input: the login keyring is created with it.
        keyring.setProcessEnvironment(env);
        keyring.setProcessChannelMode(QProcess::MergedChannels);
        keyring.start(QStringLiteral("gnome-keyring-daemon"),
                      {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        if (!keyring.waitForStarted(10000))
            GTEST_SKIP() << "gnome-keyring-daemon is not installed";
        keyring.write("keyring password");
        keyring.closeWriteChannel();
        QDBusConnection probe =
            QDBusConnection::connectToBus(QString::fromLocal8Bit(address.trimmed()), QStringLiteral("keyring-probe"));
        const bool up = ProcessEventsUntil(
            [&probe] { return probe.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value(); },
            20000);
        QDBusConnection::disconnectFromBus(QStringLiteral("keyring-probe"));
        ASSERT_TRUE(up) << "gnome-keyring-daemon did not offer the Secret Service: "
                        << keyring.readAll().toStdString();
    }

    QProcess self;
    self.setProcessEnvironment(env);
    self.setProcessChannelMode(QProcess::MergedChannels);
    self.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + testName});
    const bool finished = self.waitForFinished(120000);
    const std::string output = self.readAll().toStdString();
    EXPECT_TRUE(finished) << output;
    EXPECT_EQ(self.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;

    if (withGnomeKeyring) {
        keyring.terminate();
        keyring.waitForFinished(10000);
    }
    bus.terminate();
    bus.waitForFinished(10000);
}

TKeyringPassword::TResult Read(TKeyringPassword& keyring) {
    return TKeyringPassword::Wait([&keyring](TKeyringPassword::TDone done) { keyring.Read(std::move(done)); });
}

TKeyringPassword::TResult Store(TKeyringPassword& keyring, const std::string& password) {
    return TKeyringPassword::Wait(
        [&keyring, &password](TKeyringPassword::TDone done) { keyring.Store(password, std::move(done)); });
}

TKeyringPassword::TResult Remove(TKeyringPassword& keyring) {
    return TKeyringPassword::Wait([&keyring](TKeyringPassword::TDone done) { keyring.Remove(std::move(done)); });
}

// A Secret Service that takes the bus name and every call made to it, and never answers one.
class TSilentKeyring : public QDBusVirtualObject {
public:
    int Calls = 0;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override {
        ++Calls;
        return true;
    }
};

} // namespace

TEST(KeyringPassword, TheDesktopsKeyringKeepsThePasswordPerProfileAndLosesOneThatNoLongerMatches) {
    if (!qEnvironmentVariableIsSet(kRunVariable))
        return RunOnAPrivateBus("KeyringPassword.TheDesktopsKeyringKeepsThePasswordPerProfileAndLosesOneThatNoLongerMatches",
                                true);
    const std::string password = " pass wörd ";
    TKeyringPassword keyring("/home/user/.config/tallyglass/registry.db");
    EXPECT_EQ(Read(keyring).Status, TStatus::NotFound);
    const auto stored = Store(keyring, password);
    ASSERT_EQ(stored.Status, TStatus::Done) << stored.Reason;

    // A later start reads it back and unlocks with it; another profile finds nothing of it.
    TKeyringPassword later("/home/user/.config/tallyglass/registry.db");
    const auto read = Read(later);
    ASSERT_EQ(read.Status, TStatus::Found) << read.Reason;
    EXPECT_EQ(read.Password, password);
    EXPECT_TRUE(DecideUnlock(read, Md5Hex(password), later.TimeoutMs()).Unlocked);
    TKeyringPassword otherProfile("/srv/other/registry.db");
    EXPECT_EQ(Read(otherProfile).Status, TStatus::NotFound);

    // The program password changed behind the keyring's back: the stored one is refused and removed.
    const TKeyringUnlock stale = DecideUnlock(Read(later), Md5Hex("another password"), later.TimeoutMs());
    EXPECT_FALSE(stale.Unlocked);
    ASSERT_TRUE(stale.RemoveStored);
    EXPECT_EQ(stale.Note.Message, 2204);
    EXPECT_EQ(Remove(later).Status, TStatus::Done);
    const TKeyringUnlock gone = DecideUnlock(Read(keyring), Md5Hex(password), keyring.TimeoutMs());
    EXPECT_FALSE(gone.Unlocked || gone.RemoveStored);
    EXPECT_EQ(gone.Note.Message, 2201);
    // Removing what is not there is no failure, and says nothing.
    EXPECT_EQ(NoteOfChange(Remove(keyring), true).Message, 0);
}

TEST(KeyringPassword, AKeyringThatNeverAnswersEndsInTimeWhileTheThreadRunsAndItsLateAnswerIsDropped) {
    if (!qEnvironmentVariableIsSet(kRunVariable))
        return RunOnAPrivateBus(
            "KeyringPassword.AKeyringThatNeverAnswersEndsInTimeWhileTheThreadRunsAndItsLateAnswerIsDropped", false);
    const QString busName = QStringLiteral("silent-keyring");
    QDBusConnection bus = QDBusConnection::connectToBus(qEnvironmentVariable(kRunVariable), busName);
    TSilentKeyring silent;
    ASSERT_TRUE(bus.registerVirtualObject(QStringLiteral("/"), &silent, QDBusConnection::SubPathsAsVirtualObject));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.secrets")));

    TKeyringPassword keyring("/home/user/.config/tallyglass/registry.db");
    keyring.SetTimeoutMs(400);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(10);
    int answers = 0;
    TKeyringPassword::TResult result;
    QElapsedTimer waited;
    waited.start();
    keyring.Read([&answers, &result](const TKeyringPassword::TResult& answer) {
        ++answers;
        result = answer;
    });
    ASSERT_TRUE(ProcessEventsUntil([&answers] { return answers > 0; }, 20000));
    EXPECT_EQ(result.Status, TStatus::TimedOut);
    EXPECT_GE(waited.elapsed(), 400);
    EXPECT_GT(silent.Calls, 0) << "the call never reached the keyring";
    EXPECT_GT(ticks, 0) << "the thread stood still while it waited";
    EXPECT_FALSE(keyring.Busy());
    const TKeyringUnlock unlock = DecideUnlock(result, Md5Hex("x"), keyring.TimeoutMs());
    EXPECT_FALSE(unlock.Unlocked || unlock.RemoveStored);
    EXPECT_EQ(unlock.Note.Message, 2203);
    EXPECT_EQ(unlock.Note.Detail, "400");

    // The keyring goes away: the bus ends the unanswered call with an error, which reaches nobody,
    // and the next call finds no keyring and fails (no plain-text fallback stores it anywhere).
    bus.unregisterService(QStringLiteral("org.freedesktop.secrets"));
    bus.unregisterObject(QStringLiteral("/"));
    QDBusConnection::disconnectFromBus(busName);
    keyring.SetTimeoutMs(20000);
    const auto stored = Store(keyring, "secret");
    EXPECT_EQ(stored.Status, TStatus::Failed);
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(NoteOfChange(stored, false).Message, 2205);
}
