#include "platform/SingleInstance.h"
#include "app/ui/MainForm.h"
#include "base/Encoders.h"
#include "gui/GuiTestSupport.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

// Starts of the real program binary against an isolated runtime, data and configuration folder.
namespace {

class ProgramStarts : public ::testing::Test {
protected:
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder());
        env.insert(QStringLiteral("XDG_DATA_HOME"), folder() + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder() + QStringLiteral("/config"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    void start(QProcess& process) const {
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // sanitizer reports show up in the test log
        process.start(QString::fromStdString(BinPath("tallyglass")), {});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    // Waits for the process while the test's own event loop keeps running (it may be the first instance).
    static bool waitForExit(QProcess& process, int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (process.state() != QProcess::NotRunning) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            process.waitForFinished(10);
        }
        return true;
    }

    QString folder() const { return QString::fromStdString(m_dir.path()); }

    TempDir m_dir;
};

} // namespace

TEST_F(ProgramStarts, SecondStartShowsTheFirstInstanceAndExitsZero) {
    // This test process plays the first instance.
    TSingleInstance instance(folder());
    ASSERT_TRUE(instance.TryLock());
    {
        auto key = TRegistry::Instance().OpenKey("Software\\Brightmoor\\Tallyglass", true);
        key->WriteString("Value_Password", Md5Hex("pw"));
    }
    AnswerInputBox("pw");
    TfmMain form(&instance);
    ASSERT_TRUE(form.FormCreate());
    ASSERT_FALSE(form.isVisible());

    QProcess second;
    start(second);
    ASSERT_TRUE(waitForExit(second, 20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(ProgramStarts, SecondStartBeforeTheFirstListensHasNoEffect) {
    TSingleInstance instance(folder());
    ASSERT_TRUE(instance.TryLock()); // locked, but not listening yet
    QProcess second;
    start(second);
    ASSERT_TRUE(waitForExit(second, 20000));
    EXPECT_EQ(second.exitCode(), 0);
}

TEST_F(ProgramStarts, FirstInstanceWaitsForItsPasswordAndEndsCleanlyOnSigterm) {
    QProcess first;
    start(first);
    const QString socket = TSingleInstance(folder()).SocketPath();
    ASSERT_TRUE(ProcessEventsUntil([&] { return QFileInfo::exists(socket); }, 20000));
    // It is the first instance, asking for a password to choose: a second start gets acknowledged
    // and leaves it running.
    QProcess second;
    start(second);
    ASSERT_TRUE(waitForExit(second, 20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    // A termination signal ends the password prompt and the program, orderly and with code 0.
    SignalProgram(first, SIGTERM);
    ASSERT_TRUE(waitForExit(first, 20000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(socket)); // the socket is removed with the listener
    // The per-user data folder was created on the way, with its parents.
    EXPECT_TRUE(QFileInfo(folder() + QStringLiteral("/data/TallyData")).isDir());
    // No password was chosen: nothing was logged or stored, so the next start is a first start again.
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("/data/TallyData/log.txt")));
    TRegistry store(m_dir.path() + "/config/tallyglass/registry.db");
    EXPECT_FALSE(store.KeyExists("Software\\Brightmoor\\Tallyglass"));
}

TEST_F(ProgramStarts, OneProgramPerStoreWhateverItsRuntimeFolder) {
    QProcess first;
    start(first);
    const QString socket = TSingleInstance(folder()).SocketPath();
    ASSERT_TRUE(ProcessEventsUntil([&] { return QFileInfo::exists(socket); }, 20000));

    // Another runtime folder, the same settings and log: the store's lock makes it a later start,
    // which ends at once and leaves the first one running.
    TempDir otherRuntime;
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(otherRuntime.path()));
    QProcess second;
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(QString::fromStdString(BinPath("tallyglass")), {});
    ASSERT_TRUE(second.waitForStarted(10000));
    const bool secondEnded = waitForExit(second, 20000);
    if (!secondEnded) {
        SignalProgram(second, SIGTERM);
        waitForExit(second, 20000);
    }
    EXPECT_TRUE(secondEnded) << "a second program ran on the same store";
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    SignalProgram(first, SIGTERM);
    ASSERT_TRUE(waitForExit(first, 20000));
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(ProgramStarts, WithoutADisplayItSaysSoAndExitsWithACodeOfItsOwn) {
    QProcessEnvironment env = environment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
        env.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QString::fromStdString(BinPath("tallyglass")), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(waitForExit(program, 20000));
    const QString error = QString::fromLocal8Bit(program.readAllStandardError());
    // No abort (exit status 134 from a crash): a clear word and the program's own exit code.
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << error.toStdString();
    EXPECT_EQ(program.exitCode(), 3) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("needs a graphical session"))) << error.toStdString();
}
