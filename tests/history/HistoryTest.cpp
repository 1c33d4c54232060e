#include "history/History.h"

#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "support/TestSupport.h"

#include <filesystem>

#include <sqlite3.h>

#include <sys/stat.h>

#include <gtest/gtest.h>

// The history against real SQLite files in a temporary folder.
namespace {

const std::int64_t kDay = 86'400'000;

struct Logged {
    explicit Logged(const std::string& path) : path(path) {
        log->OpenLog(path);
        log->SetEnabled(true);
    }
    std::string text() const { return ReadFileBytes(path); }
    std::size_t count(const std::string& what) const {
        const std::string all = text();
        std::size_t n = 0;
        for (std::size_t at = all.find(what); at != std::string::npos; at = all.find(what, at + 1))
            ++n;
        return n;
    }
    std::string path;
    std::shared_ptr<TLogFile> log = std::make_shared<TLogFile>();
};

TCheckRecord record(std::int64_t time, std::optional<std::int32_t> balance,
                    THistoryOutcome outcome = THistoryOutcome::BalanceRead) {
    TCheckRecord r;
    r.AlertKey = "BANK";
    r.TimeMs = time;
    r.Balance = balance;
    r.Outcome = outcome;
    return r;
}

} // namespace

TEST(History, ValuesAreEncryptedReadBackUnderTheirKeyOnlyAndPrunedByAge) {
    TempDir dir;
    Logged logged(dir.file("log.txt"));
    const std::string path = dir.file("data/tallyglass/history.db");
    const std::string key = Md5Hex("program password");
    const std::int64_t now = HistoryNowMs();
    {
        THistory history(path, key, logged.log);
        history.Add(record(now - 10 * kDay, 987654));
        TCheckRecord failed = record(now - kDay, std::nullopt, THistoryOutcome::HttpStatus);
        failed.HttpStatus = 503;
        history.Add(failed);
        history.Add(record(now, -250));
        history.AddRates({{"Rates\\ecb.js", "USD", "Rate", now - 10 * kDay, "1.0842"},
                          {"Rates\\ecb.js", "USD", "Rate", now, "1.0917"}});
        history.Flush();
        EXPECT_TRUE(history.Available());

        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        // The file says no more than the store: the balances and rates are there only encrypted.
        const std::string bytes = ReadFileBytes(path) + ReadFileBytes(path + "-wal");
        EXPECT_NE(bytes.find(EncryptStateInt(key, 987654)), std::string::npos);
        for (const char* plain : {"9876.54", "987654", "1.0842", "1.0917"})
            EXPECT_EQ(bytes.find(plain), std::string::npos) << plain;

        const std::vector<TCheckRecord> all = history.Checks("BANK");
        ASSERT_EQ(all.size(), 3u);
        EXPECT_EQ(all[0].Balance, 987654);
        EXPECT_EQ(all[1].Balance, std::nullopt);
        EXPECT_EQ(all[1].Outcome, THistoryOutcome::HttpStatus);
        EXPECT_EQ(all[1].HttpStatus, 503);
        EXPECT_EQ(all[2].Balance, -250);
        EXPECT_EQ(history.Checks("BANK", now - 2 * kDay, now).size(), 1u);
        EXPECT_TRUE(history.Checks("OTHER").empty());
        const std::vector<TRateRecord> rates = history.Rates("Rates\\ecb.js", "USD", "Rate");
        ASSERT_EQ(rates.size(), 2u);
        EXPECT_EQ(rates[0].Rate, "1.0842");
        EXPECT_EQ(rates[1].Rate, "1.0917");

        history.SetRetentionDays(5);
        history.Flush();
        EXPECT_EQ(history.Checks("BANK").size(), 2u);
        ASSERT_EQ(history.Rates("Rates\\ecb.js", "USD", "Rate").size(), 1u);
        EXPECT_EQ(history.Rates("Rates\\ecb.js", "USD", "Rate")[0].Rate, "1.0917");
    }
    // A store reset with a new password: the old records are skipped and told in one line.
    const THistory renewed(path, Md5Hex("new password"), logged.log, false);
    EXPECT_TRUE(renewed.Checks("BANK").empty());
    EXPECT_EQ(logged.count("2 history records were written under another program password"), 1u) << logged.text();
}

TEST(History, DamagedFileIsKeptAsideAndUnusableFolderLeavesTheProgramWithoutHistory) {
    TempDir dir;
    Logged logged(dir.file("log.txt"));
    const std::string path = dir.file("history.db");
    std::string garbage;
    for (int i = 0; i < 500; ++i)
        garbage += "this is no database at all; ";
    WriteFileBytes(path, garbage);
    {
        THistory history(path, Md5Hex("pw"), logged.log);
        history.Add(record(HistoryNowMs(), 100));
        history.Flush();
        EXPECT_TRUE(history.Available());
        ASSERT_EQ(history.Checks("BANK").size(), 1u);
        EXPECT_EQ(history.Checks("BANK")[0].Balance, 100);
    }
    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("history.db.damaged-", 0) == 0)
            aside.push_back(entry.path().string());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFileBytes(aside[0]), garbage);
    EXPECT_EQ(logged.count("was damaged; it was kept as"), 1u) << logged.text();

    // A folder that is a file: one line, and records are dropped without waiting.
    WriteFileBytes(dir.file("plain"), "x");
    THistory history(dir.file("plain/history.db"), Md5Hex("pw"), logged.log);
    for (int i = 0; i < 3; ++i)
        history.Add(record(HistoryNowMs(), i));
    history.Flush();
    EXPECT_FALSE(history.Available());
    EXPECT_TRUE(history.Checks("BANK").empty());
    EXPECT_EQ(logged.count("cannot be used"), 1u) << logged.text();
}

TEST(History, FileHeldByAnotherWriterCostsOneLineAndIsLeftAsItIs) {
    TempDir dir;
    Logged logged(dir.file("log.txt"));
    const std::string path = dir.file("history.db");
    {
        THistory first(path, Md5Hex("pw"), logged.log);
        first.Add(record(1000, 100));
    }
    // Another writer holds the file for the whole time (SQLite locks between connections as it
    // does between processes).
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> holder(raw, sqlite3_close);
    ASSERT_EQ(sqlite3_exec(raw, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; DELETE FROM checks WHERE 0;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);

    THistory history(path, Md5Hex("pw"), logged.log);
    history.Add(record(2000, 200)); // only queued: the caller never waits for the lock
    history.Flush();
    EXPECT_FALSE(history.Available());
    EXPECT_EQ(logged.count("cannot be used"), 1u) << logged.text();
    EXPECT_EQ(logged.count("was damaged"), 0u);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    holder.reset();

    // Nothing was set aside, and what the file held is still there.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("damaged"), std::string::npos);
    THistory reader(path, Md5Hex("pw"), logged.log, false);
    ASSERT_EQ(reader.Checks("BANK").size(), 1u);
    EXPECT_EQ(reader.Checks("BANK")[0].Balance, 100);
}
