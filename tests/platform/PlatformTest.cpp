#include "platform/Events.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/UiThread.h"
#include "platform/Version.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class ScopedEnv {
public:
    // No value: the variable is unset for the scope.
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST(ManualResetEvent, StaysSetUntilResetAndWakesWaiters) {
    TManualResetEvent event;
    EXPECT_FALSE(event.Wait(20));
    std::atomic<bool> woke = false;
    std::thread waiter([&] { woke = event.Wait(-1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke);
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.IsSet());
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0));
}

TEST(UiThread, RunSyncRunsOnTheApplicationThreadAndWaits) {
    EXPECT_TRUE(UiThread::IsUiThread());
    std::atomic<bool> ranOnUi = false, returned = false, workerSawResult = false;
    int value = 0;
    std::thread worker([&] {
        EXPECT_FALSE(UiThread::IsUiThread());
        returned = UiThread::RunSync([&] {
            ranOnUi = QThread::currentThread() == QCoreApplication::instance()->thread();
            value = 42;
        });
        workerSawResult = value == 42; // the call has finished before RunSync returns
    });
    EXPECT_TRUE(ProcessEventsUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(ranOnUi);
    EXPECT_TRUE(workerSawResult);
    // On the application thread itself it runs at once.
    bool direct = false;
    EXPECT_TRUE(UiThread::RunSync([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(Paths, FoldersFollowTheEnvironment) {
    EXPECT_EQ(ExePath(), std::string(TALLYGLASS_BIN_DIR) + "/");
    TempDir dir;
    {
        ScopedEnv data("XDG_DATA_HOME", dir.path());
        ScopedEnv config("XDG_CONFIG_HOME", dir.path() + "/cfg");
        EXPECT_EQ(LocalAppDataFolder(), dir.path() + "/");
        EXPECT_EQ(ConfigFolder(), dir.path() + "/cfg/");
    }
    {
        // Relative XDG values are ignored.
        ScopedEnv data("XDG_DATA_HOME", "relative/path");
        ScopedEnv home("HOME", dir.path());
        EXPECT_EQ(LocalAppDataFolder(), dir.path() + "/.local/share/");
    }
    const std::string nested = dir.path() + "/a/b/c/";
    EXPECT_TRUE(ForceDirectories(nested));
    EXPECT_TRUE(ForceDirectories(nested)); // existing is fine
    struct stat st {};
    ASSERT_EQ(stat(nested.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    WriteFileBytes(dir.file("file"), "x");
    EXPECT_FALSE(ForceDirectories(dir.file("file") + "/sub"));
    EXPECT_FALSE(ForceDirectories(""));
}

// Folders are read in the same order on every machine, and names that definitions give are found
// as on the file system they were written for, which ignores letter case.
TEST(Paths, FolderOrderAndNamesInAnyLetterCase) {
    TempDir dir;
    const std::string folder = dir.path() + "/";
    for (const char* name : {"b.bal", "C.Bal", "a.BAL", "\xC3\xA9.bal", "_x.bal", "A.bal", "d.txt", "bal"})
        WriteFileBytes(folder + name, "x");
    std::filesystem::create_directory(folder + "z.bal");
    // Letter case ignored ("_" sorts before the letters), ties in byte order, other bytes after ASCII.
    EXPECT_EQ(FilesWithExtension(folder, ".BAL"),
              (std::vector<std::string>{"_x.bal", "A.bal", "a.BAL", "b.bal", "C.Bal", "\xC3\xA9.bal"}));
    EXPECT_TRUE(FilesWithExtension(folder + "missing/", ".bal").empty());

    EXPECT_EQ(FindFileIgnoringCase(folder, "b.bal"), folder + "b.bal");
    EXPECT_EQ(FindFileIgnoringCase(folder, "B.BAL"), folder + "b.bal");
    EXPECT_EQ(FindFileIgnoringCase(folder, "a.BAL"), folder + "a.BAL"); // as written first
    EXPECT_EQ(FindFileIgnoringCase(folder, "a.bal"), folder + "A.bal"); // else the first in name order
    EXPECT_EQ(FindFileIgnoringCase(folder, "\xC3\x89.bal"), "");        // only ASCII letters fold
    EXPECT_EQ(FindFileIgnoringCase(folder, "Z.BAL"), "");               // a folder is no file
    EXPECT_EQ(FindFileIgnoringCase(folder, "none.bal"), "");
    EXPECT_EQ(FindFileIgnoringCase(folder, ""), "");
    std::filesystem::create_directory(folder + "sub");
    WriteFileBytes(folder + "sub/s.js", "x");
    EXPECT_EQ(FindFileIgnoringCase(folder, "sub/s.js"), folder + "sub/s.js");
    EXPECT_EQ(FindFileIgnoringCase(folder, "SUB/S.JS"), "");
}

TEST(Paths, WithoutARuntimeFolderTheInstanceFilesLiveInAPrivateFolderOfTheUser) {
    TempDir dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnv temp("TMPDIR", dir.path());
    ScopedEnv config("XDG_CONFIG_HOME", dir.path() + "/cfg");
    const std::string folder = dir.path() + "/tallyglass-" + std::to_string(getuid());
    const std::string fallback = dir.path() + "/cfg/tallyglass/";
    auto modeOf = [](const std::string& path) {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0u;
    };

    // Made when missing, with mode 0700 whatever the umask; the lock and the socket go there.
    const mode_t oldMask = umask(0277);
    EXPECT_EQ(RuntimeFolder(), folder + "/");
    umask(oldMask);
    EXPECT_EQ(modeOf(folder), S_IFDIR | 0700u);
    TSingleInstance instance;
    EXPECT_EQ(instance.LockFilePath().toStdString(), folder + "/tallyglass-" + std::to_string(getuid()) + ".lock");
    ASSERT_TRUE(instance.TryLock());
    EXPECT_TRUE(QFileInfo::exists(instance.LockFilePath()));
    EXPECT_EQ(RuntimeFolder(), folder + "/"); // an existing one of ours is taken as it is

    // Anything else under that name is refused: the user's configuration folder serves.
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(RuntimeFolder(), fallback);
    EXPECT_EQ(modeOf(fallback) & S_IFMT, static_cast<mode_t>(S_IFDIR));
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_EQ(RuntimeFolder(), fallback);
        ASSERT_EQ(chown(folder.c_str(), 0, 0), 0);
    }
    ASSERT_EQ(rename(folder.c_str(), (folder + ".real").c_str()), 0);
    ASSERT_EQ(symlink((folder + ".real").c_str(), folder.c_str()), 0);
    EXPECT_EQ(RuntimeFolder(), fallback);
    ASSERT_EQ(unlink(folder.c_str()), 0);
    WriteFileBytes(folder, "not a folder");
    EXPECT_EQ(RuntimeFolder(), fallback);
}

TEST(Version, PartsAndDebugSuffix) {
    const TFileVersion release{1, 0, 0, 41, false};
    EXPECT_EQ(GetFileVersionString(release, 4, true, " RC"), "1.0.0.41");
    EXPECT_EQ(GetFileVersionString(release, 2, false, " RC"), "1.0");
    EXPECT_EQ(GetFileVersionString(release, 0, true, " RC"), "");
    TFileVersion debug = release;
    debug.DebugBuild = true;
    EXPECT_EQ(GetFileVersionString(debug, 4, true, " RC"), "1.0.0.41 RC");
    EXPECT_EQ(GetFileVersionString(debug, 4, false, " RC"), "1.0.0.41");
    const TFileVersion program = ProgramFileVersion();
    EXPECT_EQ(GetFileVersionString(program, 4, false, ""), "1.0.0.41");
}

TEST(SingleInstance, LockIsExclusiveAndWakeUpIsAcknowledged) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    TSingleInstance first(folder);
    ASSERT_TRUE(first.TryLock());
    TSingleInstance second(folder);
    EXPECT_FALSE(second.TryLock());

    // Before the first instance listens, a later start has nobody to wake.
    EXPECT_FALSE(second.WakeFirstInstance(500));

    int shown = 0;
    QObject::connect(&first, &TSingleInstance::ShowRequested, [&] { ++shown; });
    ASSERT_TRUE(first.Listen());
    std::atomic<int> result = -1;
    std::thread client([&] { result = second.WakeFirstInstance(5000) ? 1 : 0; });
    EXPECT_TRUE(ProcessEventsUntil([&] { return result.load() >= 0; }));
    client.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(shown, 1); // handled before the acknowledgement reached the client

    // A client that sends garbage gets no acknowledgement and causes no show.
    std::atomic<bool> done = false;
    std::thread garbage([&] {
        QLocalSocket socket;
        socket.connectToServer(first.SocketPath());
        if (socket.waitForConnected(2000)) {
            socket.write(QByteArray(200, 'x'));
            socket.waitForBytesWritten(2000);
            socket.waitForDisconnected(2000);
        }
        done = true;
    });
    EXPECT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
    garbage.join();
    EXPECT_EQ(shown, 1);

    // Once the first instance is gone, the lock is free again.
    first.StopListening();
    TSingleInstance third(folder);
    EXPECT_FALSE(third.TryLock());
}

TEST(SingleInstance, LockIsReleasedWithItsOwner) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    {
        TSingleInstance first(folder);
        ASSERT_TRUE(first.TryLock());
    }
    TSingleInstance next(folder);
    EXPECT_TRUE(next.TryLock());
}

TEST(TerminationSignals, SigtermAndSighupArriveAsAQtSignal) {
    TTerminationSignals watcher;
    ASSERT_TRUE(watcher.IsActive());
    int received = 0;
    QObject::connect(&watcher, &TTerminationSignals::TerminationRequested, [&](int number) { received = number; });
    // SIGHUP (the session ends) takes the same orderly way as SIGTERM instead of ending the process.
    for (const int signalNumber : {SIGTERM, SIGHUP}) {
        received = 0;
        std::raise(signalNumber);
        EXPECT_TRUE(ProcessEventsUntil([&] { return received != 0; }));
        EXPECT_EQ(received, signalNumber);
    }
}
