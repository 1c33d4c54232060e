#include "history/History.h"

#include "alerts/AlertItems.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "check/CheckThread.h"
#include "platform/Paths.h"
#include "translate/Messages.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kDayMs = 86'400'000;
// How long the writer waits for a lock another connection holds before it gives the file up.
constexpr int kBusyTimeoutMs = 2000;

const char* const kSchema = "CREATE TABLE IF NOT EXISTS checks(id INTEGER PRIMARY KEY, alert TEXT NOT NULL,"
                            " time INTEGER NOT NULL, balance TEXT, outcome INTEGER NOT NULL,"
                            " status INTEGER NOT NULL, reason TEXT NOT NULL, keytag TEXT NOT NULL);"
                            "CREATE INDEX IF NOT EXISTS checks_alert_time ON checks(alert, time);"
                            "CREATE INDEX IF NOT EXISTS checks_time ON checks(time);"
                            "CREATE TABLE IF NOT EXISTS rates(id INTEGER PRIMARY KEY, list TEXT NOT NULL,"
                            " currency TEXT NOT NULL, col TEXT NOT NULL, time INTEGER NOT NULL,"
                            " rate TEXT NOT NULL, keytag TEXT NOT NULL);"
                            "CREATE INDEX IF NOT EXISTS rates_key_time ON rates(list, currency, col, time);"
                            "CREATE INDEX IF NOT EXISTS rates_time ON rates(time);";

struct TDbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TDb = std::unique_ptr<sqlite3, TDbCloser>;
struct TStmtFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using TStmt = std::unique_ptr<sqlite3_stmt, TStmtFinalizer>;

// A failed SQLite call, with its primary result code and its text.
struct TDbError {
    int code = SQLITE_OK;
    std::string text;
};

TDbError ErrorOf(sqlite3* db, int rc) {
    return {rc & 0xFF, db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc)};
}

bool IsDamage(int code) {
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

TStmt Prepare(sqlite3* db, const char* sql, TDbError& error) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    if (rc != SQLITE_OK)
        error = ErrorOf(db, rc);
    return TStmt(raw);
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text != nullptr ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                           : std::string();
}

// "YYYYMMDD-HHMMSS" of now, UTC.
std::string StampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &parts);
    return text;
}

} // namespace

std::int64_t HistoryNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

TCheckRecord CheckRecordOf(const TCheckThread& thread) {
    TCheckRecord record;
    record.AlertKey = thread.Alert().unique_id;
    record.TimeMs = HistoryNowMs();
    const CHTTPRequest& request = thread.Request();
    if (thread.BalanceFound) {
        record.Outcome = THistoryOutcome::BalanceRead;
        record.Balance = thread.Alert().CurrentBalance();
    } else if (!thread.RequestOk) {
        record.Outcome = THistoryOutcome::DownloadFailed;
        record.Reason = request.ErrorText;
    } else if (request.StatusCode != 200) {
        record.Outcome = THistoryOutcome::HttpStatus;
        record.HttpStatus = request.StatusCode;
    } else {
        record.Outcome = THistoryOutcome::NoBalanceFound;
    }
    return record;
}

std::string OutcomeText(const TCheckRecord& record) {
    switch (record.Outcome) {
    case THistoryOutcome::BalanceRead:
        return "balance read";
    case THistoryOutcome::NoBalanceFound:
        return "no balance found";
    case THistoryOutcome::HttpStatus:
        return "HTTP " + std::to_string(record.HttpStatus);
    case THistoryOutcome::DownloadFailed:
        return "download failed: " + record.Reason;
    }
    return {};
}

// The writer's connection, which only the writer thread touches.
struct THistory::TWriter {
    THistory& history;
    TDb db;
    TStmt insertCheck;
    TStmt insertRate;

    // Opens (creating) the file; a damaged one is kept aside and a new one made. False when the
    // history has to go on without a file; the reason is logged.
    bool Open() {
        TDbError error;
        if (TryOpen(error))
            return true;
        if (IsDamage(error.code)) {
            Close();
            const std::string aside = history.m_path + ".damaged-" + StampNow();
            std::error_code ignored;
            std::filesystem::rename(history.m_path, aside, ignored);
            // The journal files belong to the damaged file: replayed into a new one they would harm it.
            std::filesystem::rename(history.m_path + "-wal", aside + "-wal", ignored);
            std::filesystem::remove(history.m_path + "-shm", ignored);
            history.Log(history.m_texts.damaged, {history.m_path, aside});
            if (TryOpen(error))
                return true;
        }
        Close();
        history.Log(history.m_texts.unusable, {history.m_path, error.text});
        return false;
    }

    bool TryOpen(TDbError& error) {
        const std::string folder = std::filesystem::path(history.m_path).parent_path().string();
        if (!folder.empty())
            ForceDirectories(folder);
        // Made by us with the owner's rights only; SQLite's journal files take the file's mode.
        const int fd = ::open(history.m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = {SQLITE_CANTOPEN, std::strerror(errno)};
            return false;
        }
        ::fchmod(fd, 0600);
        ::close(fd);
        sqlite3* raw = nullptr;
        const int rc =
            sqlite3_open_v2(history.m_path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        db.reset(raw);
        if (rc != SQLITE_OK) {
            error = ErrorOf(db.get(), rc);
            return false;
        }
        sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
        if (!Exec("PRAGMA journal_mode=WAL", error) || !Exec("PRAGMA synchronous=NORMAL", error) ||
            !Exec(kSchema, error))
            return false;
        insertCheck = Prepare(db.get(),
                              "INSERT INTO checks(alert, time, balance, outcome, status, reason, keytag)"
                              " VALUES(?, ?, ?, ?, ?, ?, ?)",
                              error);
        insertRate = Prepare(
            db.get(), "INSERT INTO rates(list, currency, col, time, rate, keytag) VALUES(?, ?, ?, ?, ?, ?)", error);
        return insertCheck && insertRate;
    }

    void Close() {
        insertCheck.reset();
        insertRate.reset();
        db.reset();
    }

    bool Exec(const char* sql, TDbError& error) {
        const int rc = sqlite3_exec(db.get(), sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            return true;
        error = ErrorOf(db.get(), rc);
        return false;
    }

    bool Step(sqlite3_stmt* statement, TDbError& error) {
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        if (rc == SQLITE_DONE)
            return true;
        error = ErrorOf(db.get(), rc);
        return false;
    }

    // One transaction for the whole batch.
    bool Write(const std::vector<TCheckRecord>& checks, const std::vector<TRateRecord>& rates, TDbError& error) {
        if (!Exec("BEGIN IMMEDIATE", error))
            return false;
        for (const TCheckRecord& record : checks) {
            sqlite3_stmt* s = insertCheck.get();
            BindText(s, 1, record.AlertKey);
            sqlite3_bind_int64(s, 2, record.TimeMs);
            if (record.Balance)
                BindText(s, 3, EncryptStateInt(history.m_stateKey, *record.Balance));
            else
                sqlite3_bind_null(s, 3);
            sqlite3_bind_int(s, 4, static_cast<int>(record.Outcome));
            sqlite3_bind_int(s, 5, record.HttpStatus);
            BindText(s, 6, record.Reason);
            BindText(s, 7, history.m_keyTag);
            if (!Step(s, error))
                return Rollback();
        }
        for (const TRateRecord& record : rates) {
            sqlite3_stmt* s = insertRate.get();
            BindText(s, 1, record.ListKey);
            BindText(s, 2, record.Currency);
            BindText(s, 3, record.Column);
            sqlite3_bind_int64(s, 4, record.TimeMs);
            BindText(s, 5, EncryptStateText(history.m_stateKey, record.Rate));
            BindText(s, 6, history.m_keyTag);
            if (!Step(s, error))
                return Rollback();
        }
        return Exec("COMMIT", error) || Rollback();
    }

    bool Rollback() {
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }

    bool Prune(std::int64_t beforeMs, TDbError& error) {
        const std::string cutoff = std::to_string(beforeMs);
        return Exec(
            ("DELETE FROM checks WHERE time < " + cutoff + "; DELETE FROM rates WHERE time < " + cutoff).c_str(),
            error);
    }
};

THistory::THistory(std::string path, std::string stateKey, std::shared_ptr<TLogFile> log, bool writer)
    : m_path(std::move(path)), m_stateKey(std::move(stateKey)), m_keyTag(Md5Hex("history:" + m_stateKey).substr(0, 8)),
      m_log(std::move(log)), m_clock([] { return HistoryNowMs(); }) {
    m_texts = {LoadStr(2100), LoadStr(2101), LoadStr(2102)};
    if (writer)
        m_thread = std::thread([this] { Run(); });
    else
        m_pruneRequested = false;
}

THistory::~THistory() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void THistory::Log(const std::string& format, std::initializer_list<std::string> args) const {
    if (!m_log)
        return;
    if (args.size() == 1)
        m_log->WriteLog(format, {*args.begin()});
    else if (args.size() >= 2)
        m_log->WriteLog(format, {*args.begin(), *(args.begin() + 1)});
    else
        m_log->WriteLog(format);
}

void THistory::Add(TCheckRecord record) {
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        ++m_queued;
        m_checks.push_back(std::move(record));
    }
    m_wake.notify_one();
}

void THistory::AddRates(std::vector<TRateRecord> records) {
    if (records.empty() || !m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_queued += records.size();
        for (TRateRecord& record : records)
            m_rates.push_back(std::move(record));
    }
    m_wake.notify_one();
}

void THistory::SetRetentionDays(int days) {
    {
        const std::lock_guard lock(m_mutex);
        m_retentionDays = days < 0 ? 0 : days;
        m_pruneRequested = true;
    }
    m_wake.notify_one();
}

void THistory::SetClock(std::function<std::int64_t()> clock) {
    const std::lock_guard lock(m_mutex);
    m_clock = std::move(clock);
}

void THistory::Flush() {
    if (!m_thread.joinable())
        return;
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_queued;
    // A prune asked for before the flush is done by then too.
    m_wake.notify_one();
    m_written.wait(lock, [&] { return m_handled >= target && !m_pruneRequested; });
}

bool THistory::Available() const {
    const std::lock_guard lock(m_mutex);
    return m_available;
}

void THistory::Run() {
    TWriter writer{*this, nullptr, nullptr, nullptr};
    bool open = writer.Open();
    std::int64_t lastPruneMs = 0;
    std::unique_lock lock(m_mutex);
    m_available = open;
    for (;;) {
        m_wake.wait_for(lock, std::chrono::hours(1),
                        [&] { return m_stopping || m_pruneRequested || !m_checks.empty() || !m_rates.empty(); });
        std::vector<TCheckRecord> checks(std::make_move_iterator(m_checks.begin()),
                                         std::make_move_iterator(m_checks.end()));
        std::vector<TRateRecord> rates(std::make_move_iterator(m_rates.begin()),
                                       std::make_move_iterator(m_rates.end()));
        m_checks.clear();
        m_rates.clear();
        const std::int64_t now = m_clock();
        const int days = m_retentionDays;
        const bool prune = days > 0 && (m_pruneRequested || now - lastPruneMs >= kDayMs);
        const bool pruneAsked = m_pruneRequested;
        const bool stopping = m_stopping;
        lock.unlock();

        if (open) {
            TDbError error;
            bool ok = checks.empty() && rates.empty() ? true : writer.Write(checks, rates, error);
            if (ok && prune) {
                ok = writer.Prune(now - days * kDayMs, error);
                lastPruneMs = now;
            }
            if (!ok && IsDamage(error.code)) {
                // Damage found while writing: the file goes aside and the batch goes to a new one.
                writer.Close();
                const std::string aside = m_path + ".damaged-" + StampNow();
                std::error_code ignored;
                std::filesystem::rename(m_path, aside, ignored);
                std::filesystem::rename(m_path + "-wal", aside + "-wal", ignored);
                std::filesystem::remove(m_path + "-shm", ignored);
                Log(m_texts.damaged, {m_path, aside});
                open = writer.TryOpen(error) && writer.Write(checks, rates, error);
                if (!open)
                    Log(m_texts.unusable, {m_path, error.text});
            } else if (!ok) {
                Log(m_texts.unusable, {m_path, error.text});
                open = false;
            }
            if (!open)
                writer.Close();
        }

        lock.lock();
        m_available = open;
        m_handled += checks.size() + rates.size();
        if (pruneAsked)
            m_pruneRequested = false;
        m_written.notify_all();
        if (stopping && m_checks.empty() && m_rates.empty())
            break;
    }
}

namespace {

// A connection of its own for reading; none when the file does not exist or cannot be read.
TDb OpenForReading(const std::string& path) {
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored))
        return nullptr;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    TDb db(raw);
    if (rc != SQLITE_OK)
        return nullptr;
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    return db;
}

} // namespace

std::vector<TCheckRecord> THistory::Checks(const std::string& alertKey, std::int64_t fromMs, std::int64_t toMs) const {
    return ReadChecks(&alertKey, fromMs, toMs);
}

std::vector<TCheckRecord> THistory::AllChecks(std::int64_t fromMs, std::int64_t toMs) const {
    return ReadChecks(nullptr, fromMs, toMs);
}

std::vector<TCheckRecord> THistory::ReadChecks(const std::string* alertKey, std::int64_t fromMs,
                                               std::int64_t toMs) const {
    std::vector<TCheckRecord> records;
    const TDb db = OpenForReading(m_path);
    if (!db)
        return records;
    TDbError error;
    const TStmt statement =
        Prepare(db.get(),
                alertKey != nullptr ? "SELECT alert, time, balance, outcome, status, reason, keytag FROM checks"
                                      " WHERE time >= ?1 AND time < ?2 AND alert = ?3 ORDER BY time, id"
                                    : "SELECT alert, time, balance, outcome, status, reason, keytag FROM checks"
                                      " WHERE time >= ?1 AND time < ?2 ORDER BY time, id",
                error);
    if (!statement)
        return records;
    sqlite3_stmt* s = statement.get();
    sqlite3_bind_int64(s, 1, fromMs);
    sqlite3_bind_int64(s, 2, toMs);
    if (alertKey != nullptr)
        BindText(s, 3, *alertKey);
    std::uint64_t skipped = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        if (ColumnText(s, 6) != m_keyTag) {
            ++skipped;
            continue;
        }
        TCheckRecord record;
        record.AlertKey = ColumnText(s, 0);
        record.TimeMs = sqlite3_column_int64(s, 1);
        if (sqlite3_column_type(s, 2) != SQLITE_NULL)
            record.Balance = DecryptStateInt(m_stateKey, ColumnText(s, 2));
        const int outcome = sqlite3_column_int(s, 3);
        record.Outcome =
            outcome >= 0 && outcome <= 3 ? static_cast<THistoryOutcome>(outcome) : THistoryOutcome::DownloadFailed;
        record.HttpStatus = sqlite3_column_int(s, 4);
        record.Reason = ColumnText(s, 5);
        records.push_back(std::move(record));
    }
    if (skipped > 0 && m_log)
        m_log->WriteLog(m_texts.undecryptable, {skipped});
    return records;
}

std::vector<TRateRecord> THistory::Rates(const std::string& listKey, const std::string& currency,
                                         const std::string& column, std::int64_t fromMs, std::int64_t toMs) const {
    std::vector<TRateRecord> records;
    const TDb db = OpenForReading(m_path);
    if (!db)
        return records;
    TDbError error;
    const TStmt statement = Prepare(db.get(),
                                    "SELECT time, rate, keytag FROM rates WHERE list = ?1 AND currency = ?2 AND"
                                    " col = ?3 AND time >= ?4 AND time < ?5 ORDER BY time, id",
                                    error);
    if (!statement)
        return records;
    sqlite3_stmt* s = statement.get();
    BindText(s, 1, listKey);
    BindText(s, 2, currency);
    BindText(s, 3, column);
    sqlite3_bind_int64(s, 4, fromMs);
    sqlite3_bind_int64(s, 5, toMs);
    std::uint64_t skipped = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        if (ColumnText(s, 2) != m_keyTag) {
            ++skipped;
            continue;
        }
        records.push_back(
            {listKey, currency, column, sqlite3_column_int64(s, 0), DecryptStateText(m_stateKey, ColumnText(s, 1))});
    }
    if (skipped > 0 && m_log)
        m_log->WriteLog(m_texts.undecryptable, {skipped});
    return records;
}
