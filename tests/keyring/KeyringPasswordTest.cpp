#include "keyring/KeyringPassword.h"
#include "base/Encoders.h"
#include "keyring/KeyringUnlock.h"
#include "support/TestBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

using TStatus = TKeyringPassword::TStatus;

// Each test talks to a keyring of its own on a session bus of its own, in a process of its own:
// libsecret keeps its bus connection, and QtKeychain its choice of keyring and its queue of calls,
// for the whole process. The test runs itself again there; this variable says it is there.
constexpr const char* kRunVariable = "TALLYGLASS_KEYRING_TEST_BUS";

// Starts a bus of the test's own (and on it, when asked, a real gnome-keyring-daemon), runs the
// test `testName` again there and fails when that run fails.
void RunOnAPrivateBus(const char* testName, bool withGnomeKeyring) {
    TTestBus bus;
    const std::string error = bus.Start(withGnomeKeyring);
    if (error.find("not installed") != std::string::npos)
        GTEST_SKIP() << error;
    ASSERT_EQ(error, "");
    QProcessEnvironment env = bus.Environment();
    env.insert(QString::fromLatin1(kRunVariable), bus.Address());
    QProcess self;
    self.setProcessEnvironment(env);
    self.setProcessChannelMode(QProcess::MergedChannels);
    self.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + testName});
    const bool finished = self.waitForFinished(120000);
    const std::string output = self.readAll().toStdString();
    EXPECT_TRUE(finished) << output;
    EXPECT_EQ(self.exitCode(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
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

// A Secret Service that takes the bus name and every call made to it, and never answers one;
// asked whether its default collection is locked, it says Locked.
class TSilentKeyring : public QDBusVirtualObject {
public:
    int Calls = 0;
    bool Locked = false;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == QStringLiteral("Get") &&
            message.arguments().value(1).toString() == QStringLiteral("Locked")) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(Locked))));
            return true;
        }
        ++Calls;
        return true;
    }
};

} // namespace

TEST(KeyringPassword, TheDesktopsKeyringKeepsThePasswordPerProfileAndLosesOneThatNoLongerMatches) {
    if (!qEnvironmentVariableIsSet(kRunVariable))
        return RunOnAPrivateBus(
            "KeyringPassword.TheDesktopsKeyringKeepsThePasswordPerProfileAndLosesOneThatNoLongerMatches", true);
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
    EXPECT_TRUE(DecideUnlock(read, Md5Hex(password)).Unlocked);
    TKeyringPassword otherProfile("/srv/other/registry.db");
    EXPECT_EQ(Read(otherProfile).Status, TStatus::NotFound);

    // The program password changed behind the keyring's back: the stored one is refused and removed.
    const TKeyringUnlock stale = DecideUnlock(Read(later), Md5Hex("another password"));
    EXPECT_FALSE(stale.Unlocked);
    ASSERT_TRUE(stale.RemoveStored);
    EXPECT_EQ(stale.Note.Message, 2204);
    EXPECT_EQ(Remove(later).Status, TStatus::Done);
    const TKeyringUnlock gone = DecideUnlock(Read(keyring), Md5Hex(password));
    EXPECT_FALSE(gone.Unlocked || gone.RemoveStored);
    EXPECT_EQ(gone.Note.Message, 2201);
    // Removing what is not there is no failure.
    const auto removedAgain = Remove(keyring);
    EXPECT_TRUE(removedAgain.Status == TStatus::Done || removedAgain.Status == TStatus::NotFound)
        << removedAgain.Reason;
}

TEST(KeyringPassword, AKeyringThatNeverAnswersEndsInTimeWhileTheThreadRunsAndItsLateAnswerIsDropped) {
    if (!qEnvironmentVariableIsSet(kRunVariable))
        return RunOnAPrivateBus(
            "KeyringPassword.AKeyringThatNeverAnswersEndsInTimeWhileTheThreadRunsAndItsLateAnswerIsDropped", false);
    const QString busName = QStringLiteral("silent-keyring");
    TSilentKeyring silent;
    // The connection closes when its last reference goes, with the name it owns.
    auto bus =
        std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(qEnvironmentVariable(kRunVariable), busName));
    ASSERT_TRUE(bus->registerVirtualObject(QStringLiteral("/"), &silent, QDBusConnection::SubPath));
    ASSERT_TRUE(bus->registerService(QStringLiteral("org.freedesktop.secrets")));

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
    const TKeyringUnlock unlock = DecideUnlock(result, Md5Hex("x"));
    EXPECT_FALSE(unlock.Unlocked || unlock.RemoveStored);
    EXPECT_EQ(unlock.Note.Message, 2203);
    EXPECT_EQ(unlock.Note.Detail, "400");

    // Locked, the keyring has the desktop's unlock prompt up: a person gets the longer bound there.
    silent.Locked = true;
    keyring.SetLockedTimeoutMs(2000);
    waited.restart();
    const auto locked = Read(keyring);
    EXPECT_EQ(locked.Status, TStatus::TimedOut);
    EXPECT_GE(waited.elapsed(), 2000);
    EXPECT_TRUE(locked.Locked);
    const TKeyringUnlock lockedUnlock = DecideUnlock(locked, Md5Hex("x"));
    EXPECT_EQ(lockedUnlock.Note.Message, 2242);
    EXPECT_EQ(lockedUnlock.Note.Detail, "2");

    // The keyring goes away: the bus ends the unanswered call with an error, which reaches nobody,
    // and the next call finds no keyring and fails (no plain-text fallback stores it anywhere).
    bus->unregisterObject(QStringLiteral("/"));
    bus.reset();
    QDBusConnection::disconnectFromBus(busName);
    keyring.SetTimeoutMs(20000);
    const auto stored = Store(keyring, "secret");
    EXPECT_EQ(stored.Status, TStatus::Failed);
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(NoteOfChange(stored, false).Message, 2205);
    EXPECT_FALSE(stored.Locked);
}
