#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TCheckThread;
class TLogFile;

// How a check ended, as the history keeps it.
enum class THistoryOutcome : int {
    BalanceRead = 0,    // a balance was read from the page
    NoBalanceFound = 1, // the page came, but held no balance
    HttpStatus = 2,     // the server answered with a status other than 200 (HttpStatus)
    DownloadFailed = 3, // the download failed (Reason: libcurl's words)
};

// Milliseconds since 1970-01-01 00:00 UTC.
std::int64_t HistoryNowMs();

// One finished check of one alert.
struct TCheckRecord {
    std::string AlertKey; // the alert's unique_id, as its stored state is keyed
    std::int64_t TimeMs = 0;
    std::optional<std::int32_t> Balance; // hundredths
    THistoryOutcome Outcome = THistoryOutcome::BalanceRead;
    std::int32_t HttpStatus = 0;
    std::string Reason;
};

// One rate of one currency after a completed rates update.
struct TRateRecord {
    std::string ListKey;  // the list's key in the store
    std::string Currency; // the currency's key in its list
    std::string Column;   // the rate's column
    std::int64_t TimeMs = 0;
    std::string Rate;
};

// The record of a finished check, as the check thread leaves it; the time is now.
TCheckRecord CheckRecordOf(const TCheckThread& thread);
// "balance read", "no balance found", "HTTP 500", "download failed: <reason>".
std::string OutcomeText(const TCheckRecord& record);

// The history of checks and rates in a SQLite file of its own (WAL mode, mode 0600). Balances and
// rates are encrypted under the state key as the stored balances are. Records are written by a
// thread of the history's own: adding one only queues it. A file that cannot be opened, is held
// by another process, is damaged or runs out of room costs one log line, and the history goes on
// without a file (a damaged file is first kept aside as <name>.damaged-YYYYMMDD-HHMMSS and a new
// one started). Reading opens a connection of its own and may run on any thread.
class THistory {
public:
    // `stateKey` is Md5Hex of the program password; `log` may be nullptr. The log's texts are taken
    // now, on the calling thread. A history made without `writer` only reads: it never creates the
    // file, and records added to it are dropped.
    THistory(std::string path, std::string stateKey, std::shared_ptr<TLogFile> log, bool writer = true);
    // Writes what is queued, then ends the writer.
    ~THistory();
    THistory(const THistory&) = delete;
    THistory& operator=(const THistory&) = delete;

    const std::string& Path() const { return m_path; }

    // Queue records for the writer; they never wait on the file.
    void Add(TCheckRecord record);
    void AddRates(std::vector<TRateRecord> records);
    // Records older than this many days go, at once and then daily; 0 keeps them for ever.
    void SetRetentionDays(int days);
    // Waits until everything queued before the call has been written (or dropped).
    void Flush();
    // False once the history has given up its file.
    bool Available() const;

    // The records of one alert (one rate) from `fromMs` up to and excluding `toMs`, oldest first,
    // decrypted. Records written under another state key are skipped and counted in one log line.
    std::vector<TCheckRecord> Checks(const std::string& alertKey, std::int64_t fromMs = 0,
                                     std::int64_t toMs = INT64_MAX) const;
    // Every alert's records in that range, oldest first.
    std::vector<TCheckRecord> AllChecks(std::int64_t fromMs = 0, std::int64_t toMs = INT64_MAX) const;
    std::vector<TRateRecord> Rates(const std::string& listKey, const std::string& currency, const std::string& column,
                                   std::int64_t fromMs = 0, std::int64_t toMs = INT64_MAX) const;

    // The time source of the pruning, for tests.
    void SetClock(std::function<std::int64_t()> clock);

private:
    struct TWriter;
    struct TTexts {
        std::string unusable, damaged, undecryptable;
    };

    void Run();
    void Log(const std::string& format, std::initializer_list<std::string> args) const;
    std::vector<TCheckRecord> ReadChecks(const std::string* alertKey, std::int64_t fromMs, std::int64_t toMs) const;

    std::string m_path;
    std::string m_stateKey;
    std::string m_keyTag; // names the state key in each record without giving it away
    std::shared_ptr<TLogFile> m_log;
    TTexts m_texts;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::deque<TCheckRecord> m_checks;
    std::deque<TRateRecord> m_rates;
    std::uint64_t m_queued = 0;  // records ever queued
    std::uint64_t m_handled = 0; // records ever written or dropped
    int m_retentionDays = 0;
    bool m_pruneRequested = true;
    bool m_stopping = false;
    bool m_available = true;
    std::function<std::int64_t()> m_clock;
    std::thread m_thread; // last: it starts when everything above is ready
};
