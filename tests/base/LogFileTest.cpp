#include "base/LogFile.h"
#include "app/Services.h"
#include "support/TestSupport.h"
#include "translate/Messages.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <vector>

TEST(LogFile, LinesCarryTimeStampAndOnlyWhileEnabledAndOpen) {
    TempDir dir;
    const std::string path = dir.file("log.txt");
    TLogFile log;
    log.WriteLog("before anything"); // disabled and closed: nothing, no crash
    log.OpenLog(path);
    ASSERT_TRUE(log.IsOpen());
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    log.WriteLog("not yet enabled");
    log.SetEnabled(true);
    log.WriteLog(LoadStr(1049), {std::uint64_t{3}, std::uint64_t{2}});
    log.CloseLog();
    log.WriteLog("closed");
    log.OpenLog(path); // reopening appends
    log.WriteLog(LoadStr(1055));
    log.CloseLog();

    const std::string text = ReadFileBytes(path);
    const auto lines = SplitOnCrLf(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with(": Loaded 3 balance alerts from 2 lists."));
    EXPECT_TRUE(lines[1].ends_with(": Program ready."));
    EXPECT_GT(lines[0].find(": "), 0u); // a time stamp comes first
    // An unwritable path leaves the log closed and silent.
    log.OpenLog(dir.file("missing/log.txt"));
    EXPECT_FALSE(log.IsOpen());
    log.WriteLog("lost");
}

TEST(LogFile, ConcurrentWritersNeverInterleaveWhileTheFileIsReopened) {
    TempDir dir;
    const std::string path = dir.file("log.txt");
    TLogFile log;
    log.SetEnabled(true);
    log.OpenLog(path);
    constexpr int kThreads = 16, kLines = 2000;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i)
                log.WriteLog("writer %d line %d %s", {std::int64_t{t}, std::int64_t{i}, std::string(40, 'x')});
        });
    // Meanwhile the file is closed and reopened, as a plain close and open does; lines written
    // while it is closed are lost, but none may be torn.
    for (int i = 0; i < 5; ++i) {
        log.CloseLog();
        log.OpenLog(path);
    }
    for (auto& w : writers)
        w.join();
    const auto lines = SplitOnCrLf(ReadFileBytes(path));
    EXPECT_LE(lines.size(), std::size_t{kThreads * kLines});
    EXPECT_GT(lines.size(), 0u);
    for (const auto& line : lines)
        ASSERT_TRUE(line.ends_with(std::string(40, 'x')) && line.find("writer ") != std::string::npos) << line;
}

TEST(LogFile, ViewingTheLogWhileSixteenThreadsWriteLosesAndTearsNoLine) {
    TempDir dir;
    TLogFile log;
    log.SetEnabled(true);
    log.OpenLog(dir.file("log.txt"));
    constexpr int kThreads = 16, kLines = 2000;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i)
                log.WriteLog("writer %d line %d %s", {std::int64_t{t}, std::int64_t{i}, std::string(40, 'x')});
        });
    std::size_t viewed = 0;
    for (int i = 0; i < 5; ++i) {
        const std::string copy = PrepareLogForViewing(log, dir.path() + "/");
        ASSERT_EQ(copy, dir.file("view_log.txt"));
        // The copy is a whole prefix of the log: it ends with a complete line.
        const std::string text = ReadFileBytes(copy);
        ASSERT_TRUE(text.empty() || text.ends_with("\r\n"));
        EXPECT_GE(SplitOnCrLf(text).size(), viewed);
        viewed = SplitOnCrLf(text).size();
    }
    for (auto& w : writers)
        w.join();
    log.WriteLog("after viewing");
    log.CloseLog();
    const auto lines = SplitOnCrLf(ReadFileBytes(dir.file("log.txt")));
    ASSERT_EQ(lines.size(), std::size_t{kThreads * kLines} + 1);
    std::vector<int> perWriter(kThreads, 0);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const auto at = lines[i].find(": writer ");
        ASSERT_NE(at, std::string::npos) << lines[i];
        ASSERT_TRUE(lines[i].ends_with(std::string(40, 'x'))) << lines[i];
        const int writer = std::stoi(lines[i].substr(at + 9));
        ASSERT_TRUE(writer >= 0 && writer < kThreads);
        ++perWriter[writer];
    }
    for (int count : perWriter)
        EXPECT_EQ(count, kLines);
    EXPECT_TRUE(lines.back().ends_with(": after viewing"));
}

TEST(LogFile, ViewingWithoutALogFileOpensNothing) {
    TempDir dir;
    TLogFile log;
    EXPECT_EQ(PrepareLogForViewing(log, dir.path() + "/"), "");
    // A log left by another run is copied even though this log is not open.
    WriteFileBytes(dir.file("log.txt"), "old line\r\n");
    EXPECT_EQ(PrepareLogForViewing(log, dir.path() + "/"), dir.file("view_log.txt"));
    EXPECT_EQ(ReadFileBytes(dir.file("view_log.txt")), "old line\r\n");
}

TEST(LogFile, AllLinesArriveWhenTheFileStaysOpen) {
    TempDir dir;
    TLogFile log;
    log.SetEnabled(true);
    log.OpenLog(dir.file("log.txt"));
    std::vector<std::thread> writers;
    for (int t = 0; t < 16; ++t)
        writers.emplace_back([&log] {
            for (int i = 0; i < 2000; ++i)
                log.WriteLog("line %d", {std::int64_t{i}});
        });
    for (auto& w : writers)
        w.join();
    log.CloseLog();
    EXPECT_EQ(SplitOnCrLf(ReadFileBytes(dir.file("log.txt"))).size(), 32000u);
}
