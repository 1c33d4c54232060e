#pragma once

// The SQLite store behind TRegistry and TRegistryKey (Registry.cpp and RegistryKey.cpp): its schema,
// statements, value rows and the operations on them. Nothing else includes this file.
#include "platform/Registry.h"

#include "platform/Paths.h"
#include "platform/Strings.h"
#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sqlite3.h>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>

// Layout: a `keys` table forming a tree (row 1 is the root key "") and a `vals` table. Names are kept
// twice: as created (shown) and case-folded (`fold`: compared, unique, sorted). Names and data are
// blobs, so any bytes survive; DWORDs are integers. A value's row id gives the creation order, and
// overwriting updates the row in place so the value keeps its position. Key ids never get reused
// (AUTOINCREMENT), so an open key whose row was deleted cannot write into a newer key.
//
// Concurrency: each Registry owns one connection, used by one call at a time under Impl::mutex; no
// statement or transaction outlives a call. Between processes (and Registry objects on one file) WAL
// lets readers run beside the one writer; writers take the write lock up front (BEGIN IMMEDIATE), wait
// through SQLite's busy timeout and, should that run out, retry the whole operation with the mutex
// released, until a generous deadline passes.
//
// Durability: WAL with synchronous=FULL: a commit is atomic and costs one sync of the WAL, after which it
// survives a crash of the process or of the machine. Creating a missing key is a commit of its own.

namespace RegistryStore {

constexpr std::int64_t kRootKeyId = 1;
constexpr std::int64_t kApplicationId = 0x54474c52; // "TGLR"
constexpr std::int64_t kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 2000;
// Keys nest at most this deep, as in the Windows registry. A walk of the tree that goes deeper has met
// a damaged store: keys forming a circle, each its own ancestor, which SQLite's checks let pass.
constexpr std::size_t kMaxKeyDepth = 512;
constexpr auto kBusyDeadline = std::chrono::seconds(60);

inline constexpr const char* kSchema = R"sql(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER,
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    UNIQUE(parent, fold));
CREATE TABLE vals(
    id INTEGER PRIMARY KEY,
    key INTEGER NOT NULL,
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB,
    UNIQUE(key, fold));
INSERT INTO keys(id, parent, name, fold) VALUES(1, NULL, x'', x'');
PRAGMA application_id = 1413958738;
PRAGMA user_version = 1;
)sql";
static_assert(kApplicationId == 1413958738);

struct TStatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using TStatementPtr = std::unique_ptr<sqlite3_stmt, TStatementFinalizer>;

struct TDatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TDatabasePtr = std::unique_ptr<sqlite3, TDatabaseCloser>;

// SQLite stayed busy past its timeout: the operation is rolled back and retried.
struct EBusyError {};

inline bool IsBusy(int rc) {
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

// The comparison form of a name: Unicode case folding for UTF-8 names, ASCII folding for other bytes
// (which keeps distinct invalid sequences distinct instead of turning them all into U+FFFD).
inline std::string FoldName(std::string_view name) {
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; });
    if (!ascii) {
        QStringDecoder decoder(QStringConverter::Utf8,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        const QString text = decoder(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
        if (!decoder.hasError()) {
            const QByteArray folded = text.toCaseFolded().toUtf8();
            return {folded.constData(), static_cast<std::size_t>(folded.size())};
        }
    }
    return AsciiLower(name);
}

// The non-empty components of a '\'-joined path.
inline std::vector<std::string> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

inline std::string JoinPath(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + '\\' + name;
}

inline std::string ToHex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0f];
    }
    return hex;
}

inline std::string DoubleToBytes(double value) {
    auto bits = std::bit_cast<std::uint64_t>(value);
    std::string bytes(8, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(bits & 0xff);
        bits >>= 8;
    }
    return bytes;
}

inline double BytesToDouble(std::string_view bytes) {
    std::uint64_t bits = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
    return std::bit_cast<double>(bits);
}

// A cached prepared statement in use: bound, stepped, and reset when the scope ends, so that no read
// transaction stays open behind it.
class TStatement {
public:
    TStatement(sqlite3* db, sqlite3_stmt* statement) : m_db(db), m_statement(statement) {}
    ~TStatement() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    TStatement& Bind(int index, std::int64_t value) {
        Check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    TStatement& BindBytes(int index, std::string_view bytes) {
        // A null pointer would bind NULL; an empty blob needs some valid address.
        Check(
            sqlite3_bind_blob64(m_statement, index, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_TRANSIENT));
        return *this;
    }

    // True when a row is ready.
    bool Step() {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            Check(rc);
        return false;
    }
    void Run() {
        while (Step()) {
        }
    }

    std::int64_t Integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::string Bytes(int column) const {
        const void* data = sqlite3_column_blob(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        if (data == nullptr || size <= 0)
            return {};
        return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
    }

private:
    void Check(int rc) const {
        if (rc == SQLITE_OK)
            return;
        if (IsBusy(rc))
            throw EBusyError{};
        throw ERegistryError(std::string("registry: ") + sqlite3_errmsg(m_db));
    }

    sqlite3* m_db;
    sqlite3_stmt* m_statement;
};

struct TValue {
    TRegValueType type = TRegValueType::String;
    std::string data;       // String, ExpandString, Binary
    std::uint32_t word = 0; // DWord
};

// A write or deletion made through an open key and not yet committed.
struct TPendingEntry {
    std::string name;
    bool replaceStored = false;  // the stored value (if any) is deleted first: a re-created value goes last
    std::optional<TValue> value; // nullopt: deleted
    std::uint64_t order = 0;     // first write (or first write after a deletion) within the batch
};
using TPendingMap = std::map<std::string, TPendingEntry>; // by folded name

struct TKeyRow {
    std::int64_t id = 0;
    std::string path; // as stored
};

struct TSubKey {
    std::int64_t id = 0;
    std::string name;
};

struct TNamedValue {
    std::string name;
    std::string fold;
    TValue value;
};

inline std::string FormatValue(const TValue& value) {
    switch (value.type) {
    case TRegValueType::DWord:
        return std::to_string(value.word);
    case TRegValueType::Binary:
        return ToHex(value.data);
    case TRegValueType::String:
    case TRegValueType::ExpandString:
        break;
    }
    return value.data;
}

// The connection and the work done on it. Member functions expect `mutex` held, except Run(), which
// takes it.
struct TStore {
    std::string filePath;
    std::mutex mutex;
    TDatabasePtr db;                                           // declared before the statements,
    std::unordered_map<const char*, TStatementPtr> statements; // which are finalized first

    [[noreturn]] void Fail(const std::string& what) const {
        throw ERegistryError("registry '" + filePath + "': " + what + ": " + sqlite3_errmsg(db.get()));
    }

    void Exec(const char* sql) {
        const int rc = sqlite3_exec(db.get(), sql, nullptr, nullptr, nullptr);
        if (IsBusy(rc))
            throw EBusyError{};
        if (rc != SQLITE_OK)
            Fail("cannot run '" + std::string(sql).substr(0, 40) + "'");
    }

    // Statements are prepared once per connection, cached by the address of their literal text.
    TStatement Query(const char* sql) {
        TStatementPtr& cached = statements[sql];
        if (!cached) {
            sqlite3_stmt* raw = nullptr;
            const int rc = sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
            cached.reset(raw);
            if (IsBusy(rc))
                throw EBusyError{};
            if (rc != SQLITE_OK)
                Fail("cannot prepare a statement");
        }
        return TStatement(db.get(), cached.get());
    }

    // Runs `operation` under the mutex, retrying it while the store stays locked by another writer.
    template <class Operation>
    auto Run(Operation&& operation) -> decltype(operation()) {
        const auto deadline = std::chrono::steady_clock::now() + kBusyDeadline;
        thread_local std::minstd_rand jitter(
            static_cast<unsigned>(std::hash<std::thread::id>()(std::this_thread::get_id())));
        for (int attempt = 1;; ++attempt) {
            {
                std::lock_guard lock(mutex);
                try {
                    return operation();
                } catch (const EBusyError&) {
                    if (std::chrono::steady_clock::now() >= deadline)
                        throw ERegistryError("registry '" + filePath + "': the store stays locked by another writer");
                }
            }
            const int spread = std::min(attempt * 10, 200);
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + static_cast<int>(jitter() % spread)));
        }
    }

    // Rolls back unless committed. Write transactions take the write lock at once, so they never find
    // it taken half-way through.
    class Transaction {
    public:
        Transaction(TStore& store, bool write) : m_impl(store) { m_impl.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN"); }
        ~Transaction() {
            if (sqlite3_get_autocommit(m_impl.db.get()) == 0)
                sqlite3_exec(m_impl.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit() { m_impl.Exec("COMMIT"); }

    private:
        TStore& m_impl;
    };

    std::int64_t Single(const char* sql) {
        TStatement s = Query(sql);
        return s.Step() ? s.Integer(0) : 0;
    }

    void OpenStore() {
        Exec("PRAGMA journal_mode = WAL");
        Exec("PRAGMA synchronous = FULL");
        static const char* const countTables = "SELECT count(*) FROM sqlite_schema";
        if (Single(countTables) == 0) {
            Transaction transaction(*this, true);
            if (Single(countTables) == 0) // another process may have been first
                Exec(kSchema);
            transaction.Commit();
        }
        if (Single("PRAGMA application_id") != kApplicationId)
            throw ERegistryError("registry '" + filePath + "': the file is a database of another kind");
        if (Single("PRAGMA user_version") > kSchemaVersion)
            throw ERegistryError("registry '" + filePath + "': the store was written by a newer version");
        TStatement check = Query("PRAGMA quick_check(1)");
        if (!check.Step() || check.Bytes(0) != "ok")
            Damaged();
        // Every key a walk from the root can reach leads back up to the root, so a circle among them
        // would have to pass through the root: the root has no parent.
        if (Single("SELECT count(*) FROM keys WHERE id = 1 AND parent IS NOT NULL") != 0)
            Damaged();
    }

    [[noreturn]] void Damaged() const { throw ERegistryError("registry '" + filePath + "': the store is damaged"); }

    std::optional<TKeyRow> FindKey(const std::vector<std::string>& parts) {
        TKeyRow row{kRootKeyId, {}};
        for (const std::string& part : parts) {
            TStatement s = Query("SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2");
            s.Bind(1, row.id).BindBytes(2, FoldName(part));
            if (!s.Step())
                return std::nullopt;
            row.id = s.Integer(0);
            row.path = JoinPath(row.path, s.Bytes(1));
        }
        return row;
    }

    // Expects a write transaction.
    TKeyRow CreateKey(const std::vector<std::string>& parts) {
        if (parts.size() > kMaxKeyDepth)
            throw ERegistryError("registry '" + filePath + "': keys nest at most " + std::to_string(kMaxKeyDepth) +
                                 " levels deep");
        TKeyRow row{kRootKeyId, {}};
        for (const std::string& part : parts) {
            const std::string fold = FoldName(part);
            std::optional<TSubKey> found;
            {
                TStatement s = Query("SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2");
                s.Bind(1, row.id).BindBytes(2, fold);
                if (s.Step())
                    found = TSubKey{s.Integer(0), s.Bytes(1)};
            }
            if (!found) {
                TStatement insert = Query("INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
                insert.Bind(1, row.id).BindBytes(2, part).BindBytes(3, fold).Run();
                found = TSubKey{sqlite3_last_insert_rowid(db.get()), part};
            }
            row.id = found->id;
            row.path = JoinPath(row.path, found->name);
        }
        return row;
    }

    bool KeyRowExists(std::int64_t keyId) {
        TStatement s = Query("SELECT 1 FROM keys WHERE id = ?1");
        s.Bind(1, keyId);
        return s.Step();
    }

    std::vector<TSubKey> SubKeys(std::int64_t keyId) {
        TStatement s = Query("SELECT id, name FROM keys WHERE parent = ?1 ORDER BY fold");
        s.Bind(1, keyId);
        std::vector<TSubKey> keys;
        while (s.Step())
            keys.push_back({s.Integer(0), s.Bytes(1)});
        return keys;
    }

    TValue ReadValueColumns(const TStatement& s, int typeColumn) const {
        TValue value;
        const std::int64_t type = s.Integer(typeColumn);
        if (type < 1 || type > 4)
            throw ERegistryError("registry '" + filePath + "': a value has an unknown type");
        value.type = static_cast<TRegValueType>(type);
        if (value.type == TRegValueType::DWord)
            value.word = static_cast<std::uint32_t>(s.Integer(typeColumn + 1));
        else
            value.data = s.Bytes(typeColumn + 1);
        return value;
    }

    std::optional<TValue> StoredValue(std::int64_t keyId, const std::string& fold) {
        TStatement s = Query("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
        s.Bind(1, keyId).BindBytes(2, fold);
        if (!s.Step())
            return std::nullopt;
        return ReadValueColumns(s, 0);
    }

    std::vector<TNamedValue> StoredValues(std::int64_t keyId) {
        TStatement s = Query("SELECT name, fold, type, data FROM vals WHERE key = ?1 ORDER BY id");
        s.Bind(1, keyId);
        std::vector<TNamedValue> values;
        while (s.Step())
            values.push_back({s.Bytes(0), s.Bytes(1), ReadValueColumns(s, 2)});
        return values;
    }

    // Expects a write transaction.
    void WriteEntries(std::int64_t keyId, const std::vector<const TPendingEntry*>& entries) {
        for (const TPendingEntry* entry : entries) {
            const std::string fold = FoldName(entry->name);
            if (entry->replaceStored) {
                TStatement remove = Query("DELETE FROM vals WHERE key = ?1 AND fold = ?2");
                remove.Bind(1, keyId).BindBytes(2, fold).Run();
            }
            if (!entry->value)
                continue;
            const TValue& value = *entry->value;
            {
                TStatement update = Query("UPDATE vals SET type = ?1, data = ?2 WHERE key = ?3 AND fold = ?4");
                update.Bind(1, static_cast<std::int64_t>(value.type)).Bind(3, keyId).BindBytes(4, fold);
                BindData(update, 2, value).Run();
                if (sqlite3_changes(db.get()) > 0)
                    continue;
            }
            TStatement insert = Query("INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)");
            insert.Bind(1, keyId).BindBytes(2, entry->name).BindBytes(3, fold);
            insert.Bind(4, static_cast<std::int64_t>(value.type));
            BindData(insert, 5, value).Run();
        }
    }

    static TStatement& BindData(TStatement& s, int index, const TValue& value) {
        return value.type == TRegValueType::DWord ? s.Bind(index, value.word) : s.BindBytes(index, value.data);
    }

    // Expects a write transaction.
    void DeleteTree(std::int64_t keyId) {
        std::vector<std::int64_t> ids;
        {
            // The walk stops one level past the deepest a sound tree goes; reaching that level means
            // the keys run in a circle, and nothing is deleted.
            TStatement s = Query("WITH RECURSIVE tree(id, depth) AS (SELECT ?1, 0 UNION ALL "
                                 "SELECT keys.id, tree.depth + 1 FROM keys JOIN tree ON keys.parent = tree.id "
                                 "WHERE tree.depth < ?2) SELECT id, depth FROM tree");
            s.Bind(1, keyId).Bind(2, static_cast<std::int64_t>(kMaxKeyDepth));
            while (s.Step()) {
                if (s.Integer(1) >= static_cast<std::int64_t>(kMaxKeyDepth))
                    Damaged();
                ids.push_back(s.Integer(0));
            }
        }
        for (const std::int64_t id : ids) {
            Query("DELETE FROM vals WHERE key = ?1").Bind(1, id).Run();
            Query("DELETE FROM keys WHERE id = ?1").Bind(1, id).Run();
        }
    }

    // `depth`: levels below the key the walk began with.
    void DumpKey(std::int64_t keyId, const std::string& path, std::vector<std::string>& lines, std::size_t depth = 0) {
        if (depth > kMaxKeyDepth)
            Damaged();
        for (const TNamedValue& value : StoredValues(keyId)) {
            lines.push_back(path + '\t' + value.name + '\t' + RegValueTypeName(value.value.type) + '\t' +
                            FormatValue(value.value));
        }
        for (const TSubKey& sub : SubKeys(keyId))
            DumpKey(sub.id, JoinPath(path, sub.name), lines, depth + 1);
    }
};

} // namespace RegistryStore

struct TRegistry::Impl : RegistryStore::TStore {};
