#include "platform/Registry.h"

#include "platform/Paths.h"
#include "platform/Strings.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <sqlite3.h>

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

namespace {

constexpr std::int64_t kRootKeyId = 1;
constexpr std::int64_t kApplicationId = 0x54474c52; // "TGLR"
constexpr std::int64_t kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 2000;
constexpr auto kBusyDeadline = std::chrono::seconds(60);

const char* const kSchema = R"sql(
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

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;

// SQLite stayed busy past its timeout: the operation is rolled back and retried.
struct BusyError {};

bool isBusy(int rc) {
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

// The comparison form of a name: Unicode case folding for UTF-8 names, ASCII folding for other bytes
// (which keeps distinct invalid sequences distinct instead of turning them all into U+FFFD).
std::string foldName(std::string_view name) {
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
std::vector<std::string> splitPath(std::string_view path) {
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

std::string joinPath(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + '\\' + name;
}

std::string toHex(std::string_view bytes) {
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

std::string doubleToBytes(double value) {
    auto bits = std::bit_cast<std::uint64_t>(value);
    std::string bytes(8, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(bits & 0xff);
        bits >>= 8;
    }
    return bytes;
}

double bytesToDouble(std::string_view bytes) {
    std::uint64_t bits = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
    return std::bit_cast<double>(bits);
}

// A cached prepared statement in use: bound, stepped, and reset when the scope ends, so that no read
// transaction stays open behind it.
class Statement {
public:
    Statement(sqlite3* db, sqlite3_stmt* statement) : m_db(db), m_statement(statement) {}
    ~Statement() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value) {
        check(sqlite3_bind_int64(m_statement, index, value));
        return *this;
    }
    Statement& bindBytes(int index, std::string_view bytes) {
        // A null pointer would bind NULL; an empty blob needs some valid address.
        check(
            sqlite3_bind_blob64(m_statement, index, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_TRANSIENT));
        return *this;
    }

    // True when a row is ready.
    bool step() {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            check(rc);
        return false;
    }
    void run() {
        while (step()) {
        }
    }

    std::int64_t integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::string bytes(int column) const {
        const void* data = sqlite3_column_blob(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        if (data == nullptr || size <= 0)
            return {};
        return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
    }

private:
    void check(int rc) const {
        if (rc == SQLITE_OK)
            return;
        if (isBusy(rc))
            throw BusyError{};
        throw RegistryError(std::string("registry: ") + sqlite3_errmsg(m_db));
    }

    sqlite3* m_db;
    sqlite3_stmt* m_statement;
};

struct Value {
    RegValueType type = RegValueType::String;
    std::string data;       // String, ExpandString, Binary
    std::uint32_t word = 0; // DWord
};

// A write or deletion made through an open key and not yet committed.
struct PendingEntry {
    std::string name;
    bool replaceStored = false; // the stored value (if any) is deleted first: a re-created value goes last
    std::optional<Value> value; // nullopt: deleted
    std::uint64_t order = 0;    // first write (or first write after a deletion) within the batch
};
using PendingMap = std::map<std::string, PendingEntry>; // by folded name

struct KeyRow {
    std::int64_t id = 0;
    std::string path; // as stored
};

struct SubKey {
    std::int64_t id = 0;
    std::string name;
};

struct NamedValue {
    std::string name;
    std::string fold;
    Value value;
};

std::string formatValue(const Value& value) {
    switch (value.type) {
    case RegValueType::DWord:
        return std::to_string(value.word);
    case RegValueType::Binary:
        return toHex(value.data);
    case RegValueType::String:
    case RegValueType::ExpandString:
        break;
    }
    return value.data;
}

struct Global {
    std::mutex mutex;
    std::string storeDirectory;
    std::unique_ptr<Registry> instance;
};

Global& global() {
    static Global g;
    return g;
}

// Expects global().mutex held.
std::string defaultFilePathLocked() {
    std::string dir = global().storeDirectory;
    if (dir.empty())
        return ConfigFolder() + "tallyglass/registry.db";
    if (dir.back() != '/')
        dir += '/';
    return dir + "registry.db";
}

} // namespace

const char* RegValueTypeName(RegValueType type) {
    switch (type) {
    case RegValueType::String:
        return "REG_SZ";
    case RegValueType::ExpandString:
        return "REG_EXPAND_SZ";
    case RegValueType::Binary:
        return "REG_BINARY";
    case RegValueType::DWord:
        return "REG_DWORD";
    }
    return "REG_NONE";
}

// The connection and the work done on it. Member functions expect `mutex` held, except run(), which
// takes it.
struct Registry::Impl {
    std::string filePath;
    std::mutex mutex;
    DatabasePtr db;                                           // declared before the statements,
    std::unordered_map<const char*, StatementPtr> statements; // which are finalized first

    [[noreturn]] void fail(const std::string& what) const {
        throw RegistryError("registry '" + filePath + "': " + what + ": " + sqlite3_errmsg(db.get()));
    }

    void exec(const char* sql) {
        const int rc = sqlite3_exec(db.get(), sql, nullptr, nullptr, nullptr);
        if (isBusy(rc))
            throw BusyError{};
        if (rc != SQLITE_OK)
            fail("cannot run '" + std::string(sql).substr(0, 40) + "'");
    }

    // Statements are prepared once per connection, cached by the address of their literal text.
    Statement query(const char* sql) {
        StatementPtr& cached = statements[sql];
        if (!cached) {
            sqlite3_stmt* raw = nullptr;
            const int rc = sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
            cached.reset(raw);
            if (isBusy(rc))
                throw BusyError{};
            if (rc != SQLITE_OK)
                fail("cannot prepare a statement");
        }
        return Statement(db.get(), cached.get());
    }

    // Runs `operation` under the mutex, retrying it while the store stays locked by another writer.
    template <class Operation>
    auto run(Operation&& operation) -> decltype(operation()) {
        const auto deadline = std::chrono::steady_clock::now() + kBusyDeadline;
        thread_local std::minstd_rand jitter(
            static_cast<unsigned>(std::hash<std::thread::id>()(std::this_thread::get_id())));
        for (int attempt = 1;; ++attempt) {
            {
                std::lock_guard lock(mutex);
                try {
                    return operation();
                } catch (const BusyError&) {
                    if (std::chrono::steady_clock::now() >= deadline)
                        throw RegistryError("registry '" + filePath + "': the store stays locked by another writer");
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
        Transaction(Impl& impl, bool write) : m_impl(impl) { m_impl.exec(write ? "BEGIN IMMEDIATE" : "BEGIN"); }
        ~Transaction() {
            if (sqlite3_get_autocommit(m_impl.db.get()) == 0)
                sqlite3_exec(m_impl.db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit() { m_impl.exec("COMMIT"); }

    private:
        Impl& m_impl;
    };

    std::int64_t single(const char* sql) {
        Statement s = query(sql);
        return s.step() ? s.integer(0) : 0;
    }

    void openStore() {
        exec("PRAGMA journal_mode = WAL");
        exec("PRAGMA synchronous = FULL");
        static const char* const countTables = "SELECT count(*) FROM sqlite_schema";
        if (single(countTables) == 0) {
            Transaction transaction(*this, true);
            if (single(countTables) == 0) // another process may have been first
                exec(kSchema);
            transaction.commit();
        }
        if (single("PRAGMA application_id") != kApplicationId)
            throw RegistryError("registry '" + filePath + "': the file is a database of another kind");
        if (single("PRAGMA user_version") > kSchemaVersion)
            throw RegistryError("registry '" + filePath + "': the store was written by a newer version");
        Statement check = query("PRAGMA quick_check(1)");
        if (!check.step() || check.bytes(0) != "ok")
            throw RegistryError("registry '" + filePath + "': the store is damaged");
    }

    std::optional<KeyRow> findKey(const std::vector<std::string>& parts) {
        KeyRow row{kRootKeyId, {}};
        for (const std::string& part : parts) {
            Statement s = query("SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2");
            s.bind(1, row.id).bindBytes(2, foldName(part));
            if (!s.step())
                return std::nullopt;
            row.id = s.integer(0);
            row.path = joinPath(row.path, s.bytes(1));
        }
        return row;
    }

    // Expects a write transaction.
    KeyRow createKey(const std::vector<std::string>& parts) {
        KeyRow row{kRootKeyId, {}};
        for (const std::string& part : parts) {
            const std::string fold = foldName(part);
            std::optional<SubKey> found;
            {
                Statement s = query("SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2");
                s.bind(1, row.id).bindBytes(2, fold);
                if (s.step())
                    found = SubKey{s.integer(0), s.bytes(1)};
            }
            if (!found) {
                Statement insert = query("INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
                insert.bind(1, row.id).bindBytes(2, part).bindBytes(3, fold).run();
                found = SubKey{sqlite3_last_insert_rowid(db.get()), part};
            }
            row.id = found->id;
            row.path = joinPath(row.path, found->name);
        }
        return row;
    }

    bool keyRowExists(std::int64_t keyId) {
        Statement s = query("SELECT 1 FROM keys WHERE id = ?1");
        s.bind(1, keyId);
        return s.step();
    }

    std::vector<SubKey> subKeys(std::int64_t keyId) {
        Statement s = query("SELECT id, name FROM keys WHERE parent = ?1 ORDER BY fold");
        s.bind(1, keyId);
        std::vector<SubKey> keys;
        while (s.step())
            keys.push_back({s.integer(0), s.bytes(1)});
        return keys;
    }

    Value readValueColumns(const Statement& s, int typeColumn) const {
        Value value;
        const std::int64_t type = s.integer(typeColumn);
        if (type < 1 || type > 4)
            throw RegistryError("registry '" + filePath + "': a value has an unknown type");
        value.type = static_cast<RegValueType>(type);
        if (value.type == RegValueType::DWord)
            value.word = static_cast<std::uint32_t>(s.integer(typeColumn + 1));
        else
            value.data = s.bytes(typeColumn + 1);
        return value;
    }

    std::optional<Value> storedValue(std::int64_t keyId, const std::string& fold) {
        Statement s = query("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
        s.bind(1, keyId).bindBytes(2, fold);
        if (!s.step())
            return std::nullopt;
        return readValueColumns(s, 0);
    }

    std::vector<NamedValue> storedValues(std::int64_t keyId) {
        Statement s = query("SELECT name, fold, type, data FROM vals WHERE key = ?1 ORDER BY id");
        s.bind(1, keyId);
        std::vector<NamedValue> values;
        while (s.step())
            values.push_back({s.bytes(0), s.bytes(1), readValueColumns(s, 2)});
        return values;
    }

    // Expects a write transaction.
    void writeEntries(std::int64_t keyId, const std::vector<const PendingEntry*>& entries) {
        for (const PendingEntry* entry : entries) {
            const std::string fold = foldName(entry->name);
            if (entry->replaceStored) {
                Statement remove = query("DELETE FROM vals WHERE key = ?1 AND fold = ?2");
                remove.bind(1, keyId).bindBytes(2, fold).run();
            }
            if (!entry->value)
                continue;
            const Value& value = *entry->value;
            {
                Statement update = query("UPDATE vals SET type = ?1, data = ?2 WHERE key = ?3 AND fold = ?4");
                update.bind(1, static_cast<std::int64_t>(value.type)).bind(3, keyId).bindBytes(4, fold);
                bindData(update, 2, value).run();
                if (sqlite3_changes(db.get()) > 0)
                    continue;
            }
            Statement insert = query("INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)");
            insert.bind(1, keyId).bindBytes(2, entry->name).bindBytes(3, fold);
            insert.bind(4, static_cast<std::int64_t>(value.type));
            bindData(insert, 5, value).run();
        }
    }

    static Statement& bindData(Statement& s, int index, const Value& value) {
        return value.type == RegValueType::DWord ? s.bind(index, value.word) : s.bindBytes(index, value.data);
    }

    // Expects a write transaction.
    void deleteTree(std::int64_t keyId) {
        std::vector<std::int64_t> ids;
        {
            Statement s = query("WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
                                "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) SELECT id FROM tree");
            s.bind(1, keyId);
            while (s.step())
                ids.push_back(s.integer(0));
        }
        for (const std::int64_t id : ids) {
            query("DELETE FROM vals WHERE key = ?1").bind(1, id).run();
            query("DELETE FROM keys WHERE id = ?1").bind(1, id).run();
        }
    }

    void dumpKey(std::int64_t keyId, const std::string& path, std::vector<std::string>& lines) {
        for (const NamedValue& value : storedValues(keyId)) {
            lines.push_back(path + '\t' + value.name + '\t' + RegValueTypeName(value.value.type) + '\t' +
                            formatValue(value.value));
        }
        for (const SubKey& sub : subKeys(keyId))
            dumpKey(sub.id, joinPath(path, sub.name), lines);
    }
};

// ---------------------------------------------------------------------------------------------------

Registry::Registry(std::string filePath) : m_filePath(std::move(filePath)), m_impl(std::make_unique<Impl>()) {
    m_impl->filePath = m_filePath;
    if (m_filePath.empty())
        throw RegistryError("registry: no file path given");
    const std::size_t slash = m_filePath.rfind('/');
    if (slash != std::string::npos && slash > 0 && !ForceDirectories(m_filePath.substr(0, slash)))
        throw RegistryError("registry '" + m_filePath + "': cannot create its folder");
    // Create the file ourselves so that it starts owner-only; SQLite gives its WAL files the same mode.
    const int fd = ::open(m_filePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw RegistryError("registry '" + m_filePath + "': " + std::strerror(errno));
    ::close(fd);

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(m_filePath.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
    m_impl->db.reset(raw);
    if (rc != SQLITE_OK) {
        if (raw == nullptr)
            throw RegistryError("registry '" + m_filePath + "': out of memory");
        m_impl->fail("cannot open");
    }
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    m_impl->run([this] { m_impl->openStore(); });
}

Registry::~Registry() = default;

std::string Registry::defaultFilePath() {
    std::lock_guard lock(global().mutex);
    return defaultFilePathLocked();
}

void Registry::setStoreDirectory(const std::string& dir) {
    std::lock_guard lock(global().mutex);
    const std::string previous = global().storeDirectory;
    global().storeDirectory = dir;
    if (global().instance && global().instance->filePath() != defaultFilePathLocked()) {
        global().storeDirectory = previous;
        throw RegistryError("registry: the store is already open at '" + global().instance->filePath() + "'");
    }
}

Registry& Registry::instance() {
    std::lock_guard lock(global().mutex);
    if (!global().instance)
        global().instance = std::make_unique<Registry>(defaultFilePathLocked());
    return *global().instance;
}

std::unique_ptr<RegistryKey> Registry::openKey(const std::string& path, bool canCreate) {
    const std::vector<std::string> parts = splitPath(path);
    std::optional<KeyRow> row = m_impl->run([&] { return m_impl->findKey(parts); });
    if (!row && canCreate) {
        row = m_impl->run([&] {
            Impl::Transaction transaction(*m_impl, true);
            KeyRow created = m_impl->createKey(parts);
            transaction.commit();
            return created;
        });
    }
    if (!row)
        return nullptr;
    // The constructor is private to this friend, so std::make_unique cannot reach it.
    return std::unique_ptr<RegistryKey>(new RegistryKey(*this, row->id, std::move(row->path)));
}

bool Registry::keyExists(const std::string& path) {
    const std::vector<std::string> parts = splitPath(path);
    return m_impl->run([&] { return m_impl->findKey(parts).has_value(); });
}

bool Registry::deleteKey(const std::string& path) {
    const std::vector<std::string> parts = splitPath(path);
    if (parts.empty())
        throw RegistryError("registry: the root key cannot be deleted");
    return m_impl->run([&] {
        Impl::Transaction transaction(*m_impl, true);
        const std::optional<KeyRow> row = m_impl->findKey(parts);
        if (!row)
            return false;
        m_impl->deleteTree(row->id);
        transaction.commit();
        return true;
    });
}

std::vector<std::string> Registry::dump(const std::string& path) {
    const std::vector<std::string> parts = splitPath(path);
    return m_impl->run([&] {
        // One read transaction: a consistent snapshot while other writers go on.
        Impl::Transaction transaction(*m_impl, false);
        std::vector<std::string> lines;
        if (const std::optional<KeyRow> row = m_impl->findKey(parts))
            m_impl->dumpKey(row->id, row->path, lines);
        transaction.commit();
        return lines;
    });
}

// ---------------------------------------------------------------------------------------------------

// A RegistryKey belongs to one thread at a time and must not outlive its Registry; only the Registry is
// shared between threads.
struct RegistryKey::Pending {
    PendingMap entries;
    std::uint64_t nextOrder = 0;
    std::optional<std::map<std::string, Value>> preloaded; // stored values by folded name, after preload()

    // The value as the key sees it: its own pending write or deletion, else the stored one.
    std::optional<Value> current(Registry::Impl& impl, std::int64_t keyId, const std::string& name) const {
        const std::string fold = foldName(name);
        if (const auto it = entries.find(fold); it != entries.end())
            return it->second.value;
        if (preloaded) {
            const auto it = preloaded->find(fold);
            return it != preloaded->end() ? std::optional(it->second) : std::nullopt;
        }
        return impl.run([&] { return impl.storedValue(keyId, fold); });
    }

    Value require(Registry::Impl& impl, std::int64_t keyId, const std::string& keyPath, const std::string& name,
                  std::initializer_list<RegValueType> types) const {
        std::optional<Value> value = current(impl, keyId, name);
        if (!value)
            throw RegistryError("registry: no value '" + name + "' in key '" + keyPath + "'");
        if (std::find(types.begin(), types.end(), value->type) == types.end()) {
            throw RegistryError("registry: value '" + name + "' in key '" + keyPath + "' is " +
                                RegValueTypeName(value->type) + ", not " + RegValueTypeName(*types.begin()));
        }
        return std::move(*value);
    }

    void write(const std::string& name, Value value) {
        auto [it, inserted] = entries.try_emplace(foldName(name));
        PendingEntry& entry = it->second;
        if (inserted || !entry.value) { // new, or re-created after a deletion in this batch
            entry.name = name;
            entry.order = nextOrder++;
        }
        entry.value = std::move(value);
    }
};

RegistryKey::RegistryKey(Registry& registry, std::int64_t keyId, std::string path)
    : m_registry(registry), m_keyId(keyId), m_path(std::move(path)), m_pending(std::make_unique<Pending>()) {}

RegistryKey::~RegistryKey() {
    try {
        close();
    } catch (...) {
        // A destructor cannot report the failure; close() explicitly to see it.
    }
}

void RegistryKey::preload() {
    Registry::Impl& impl = *m_registry.m_impl;
    try {
        std::map<std::string, Value> values;
        for (NamedValue& value : impl.run([&] { return impl.storedValues(m_keyId); }))
            values.emplace(std::move(value.fold), std::move(value.value));
        m_pending->preloaded = std::move(values);
    } catch (const RegistryError&) {
        // A damaged value spoils only its own reads: they go to the store one by one, as without
        // the preload.
    }
}

bool RegistryKey::valueExists(const std::string& name) const {
    return m_pending->current(*m_registry.m_impl, m_keyId, name).has_value();
}

std::optional<RegValueType> RegistryKey::valueType(const std::string& name) const {
    const std::optional<Value> value = m_pending->current(*m_registry.m_impl, m_keyId, name);
    return value ? std::optional(value->type) : std::nullopt;
}

std::string RegistryKey::readString(const std::string& name) const {
    return m_pending
        ->require(*m_registry.m_impl, m_keyId, m_path, name, {RegValueType::String, RegValueType::ExpandString})
        .data;
}

std::int32_t RegistryKey::readInteger(const std::string& name) const {
    return static_cast<std::int32_t>(
        m_pending->require(*m_registry.m_impl, m_keyId, m_path, name, {RegValueType::DWord}).word);
}

bool RegistryKey::readBool(const std::string& name) const {
    return readInteger(name) != 0;
}

std::string RegistryKey::readBinary(const std::string& name) const {
    return m_pending->require(*m_registry.m_impl, m_keyId, m_path, name, {RegValueType::Binary}).data;
}

double RegistryKey::readDateTime(const std::string& name) const {
    const std::string bytes = readBinary(name);
    if (bytes.size() != 8) {
        throw RegistryError("registry: value '" + name + "' in key '" + m_path + "' holds " +
                            std::to_string(bytes.size()) + " bytes, not a date-time");
    }
    return bytesToDouble(bytes);
}

void RegistryKey::writeString(const std::string& name, const std::string& value) {
    m_pending->write(name, Value{RegValueType::String, value, 0});
}

void RegistryKey::writeExpandString(const std::string& name, const std::string& value) {
    m_pending->write(name, Value{RegValueType::ExpandString, value, 0});
}

void RegistryKey::writeInteger(const std::string& name, std::int32_t value) {
    m_pending->write(name, Value{RegValueType::DWord, {}, static_cast<std::uint32_t>(value)});
}

void RegistryKey::writeBool(const std::string& name, bool value) {
    writeInteger(name, value ? 1 : 0);
}

void RegistryKey::writeBinary(const std::string& name, const std::string& bytes) {
    m_pending->write(name, Value{RegValueType::Binary, bytes, 0});
}

void RegistryKey::writeDateTime(const std::string& name, double value) {
    writeBinary(name, doubleToBytes(value));
}

bool RegistryKey::deleteValue(const std::string& name) {
    if (!valueExists(name))
        return false;
    PendingEntry& entry = m_pending->entries[foldName(name)];
    entry.name = name;
    entry.value.reset();
    entry.replaceStored = true;
    return true;
}

std::vector<std::string> RegistryKey::subKeyNames() const {
    Registry::Impl& impl = *m_registry.m_impl;
    std::vector<std::string> names;
    for (SubKey& sub : impl.run([&] { return impl.subKeys(m_keyId); }))
        names.push_back(std::move(sub.name));
    return names;
}

std::vector<std::string> RegistryKey::valueNames() const {
    Registry::Impl& impl = *m_registry.m_impl;
    const std::vector<NamedValue> stored = impl.run([&] { return impl.storedValues(m_keyId); });
    const PendingMap& pending = m_pending->entries;
    std::vector<std::string> names;
    std::set<std::string> storedFolds;
    // Stored values keep their place unless this key deleted them; overwriting does not move a value.
    for (const NamedValue& value : stored) {
        storedFolds.insert(value.fold);
        const auto it = pending.find(value.fold);
        if (it == pending.end() || !it->second.replaceStored)
            names.push_back(value.name);
    }
    // Then the values this key creates, in the order it first wrote them.
    std::vector<const PendingEntry*> created;
    for (const auto& [fold, entry] : pending) {
        if (entry.value && (entry.replaceStored || storedFolds.count(fold) == 0))
            created.push_back(&entry);
    }
    std::sort(created.begin(), created.end(), [](auto* a, auto* b) { return a->order < b->order; });
    for (const PendingEntry* entry : created)
        names.push_back(entry->name);
    return names;
}

bool RegistryKey::hasSubKeys() const {
    Registry::Impl& impl = *m_registry.m_impl;
    return impl.run([&] {
        Statement s = impl.query("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
        s.bind(1, m_keyId);
        return s.step();
    });
}

void RegistryKey::close() {
    if (m_pending->entries.empty())
        return;
    // The batch is spent whether or not the commit succeeds.
    const PendingMap entries = std::exchange(m_pending->entries, {});
    std::vector<const PendingEntry*> ordered;
    for (const auto& [fold, entry] : entries)
        ordered.push_back(&entry);
    std::sort(ordered.begin(), ordered.end(), [](auto* a, auto* b) { return a->order < b->order; });

    Registry::Impl& impl = *m_registry.m_impl;
    impl.run([&] {
        Registry::Impl::Transaction transaction(impl, true);
        // Like the Windows registry, writes to a key deleted meanwhile fail rather than revive it.
        if (!impl.keyRowExists(m_keyId))
            throw RegistryError("registry: key '" + m_path + "' was deleted before its values were saved");
        impl.writeEntries(m_keyId, ordered);
        transaction.commit();
    });
}
