#include "platform/Registry.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <unistd.h>
#include <variant>

// Builds a store from fuzzed rows, written through SQL into a fresh store's tables (so SQLite's file
// format stays sound while the rows are anything: keys in circles, parents that do not exist, folded
// names that do not match, unknown types, names and data of any storage class), then reads all of it through
// TRegistry. Only ERegistryError may come out, and a key read value by value must answer exactly as
// the same key answers after Preload().

namespace {

// Takes the fuzzer's bytes from the front, giving zeros once they are used up.
class TBytes {
public:
    TBytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_size == 0; }
    std::uint8_t Byte() {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }
    std::int64_t Number() {
        switch (Byte() % 4) {
        case 0:
            return Byte() % 8;
        case 1:
            return static_cast<std::int8_t>(Byte());
        case 2:
            return static_cast<std::int32_t>(Bits(4));
        default:
            return static_cast<std::int64_t>(Bits(8));
        }
    }
    std::uint64_t Bits(int bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | Byte();
        return value;
    }
    std::string Text() {
        const std::size_t length = std::min<std::size_t>(Byte() % 16, m_size);
        std::string text(reinterpret_cast<const char*>(m_data), length);
        m_data += length;
        m_size -= length;
        return text;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

// One column's value in any of SQLite's storage classes.
void BindAny(sqlite3_stmt* statement, int index, TBytes& bytes) {
    switch (bytes.Byte() % 6) {
    case 0:
        sqlite3_bind_null(statement, index);
        break;
    case 1:
        sqlite3_bind_double(statement, index, static_cast<double>(bytes.Number()) / 7.0);
        break;
    case 2: {
        const std::string text = bytes.Text();
        sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        break;
    }
    case 3: {
        const std::string blob = bytes.Text();
        sqlite3_bind_blob(statement, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
        break;
    }
    default:
        sqlite3_bind_int64(statement, index, bytes.Number());
        break;
    }
}

bool WriteRows(const std::string& path, TBytes& bytes) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* key = nullptr;
    sqlite3_stmt* value = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO keys(id, parent, name, fold) VALUES(?1, ?2, ?3, ?4)", -1, &key,
                       nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT OR REPLACE INTO vals(id, key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5, ?6)",
                       -1, &value, nullptr);
    for (int row = 0; row < 64 && !bytes.Empty(); ++row) {
        sqlite3_stmt* statement = bytes.Byte() % 3 == 0 ? key : value;
        const int columns = statement == key ? 4 : 6;
        const int foldColumn = 4;
        for (int column = 1; column <= columns; ++column) {
            if (column != foldColumn) {
                BindAny(statement, column, bytes);
                continue;
            }
            // The store writes every folded name as a blob and looks it up as one.
            const std::string fold = bytes.Text();
            sqlite3_bind_blob(statement, column, fold.data(), static_cast<int>(fold.size()), SQLITE_TRANSIENT);
        }
        sqlite3_step(statement); // a row that breaks a constraint is simply not there
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
    sqlite3_finalize(key);
    sqlite3_finalize(value);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return sqlite3_close(db) == SQLITE_OK;
}

// What a read gave: the value, or that it failed.
using TOutcome = std::variant<std::monostate, std::string, std::int32_t, double, bool>;

template <class Read>
TOutcome Outcome(Read read) {
    try {
        return read();
    } catch (const ERegistryError&) {
        return std::monostate{};
    }
}

void CompareReads(TRegistryKey& direct, TRegistryKey& preloaded, const std::string& name) {
    const auto same = [&](auto read) {
        if (Outcome([&] { return read(direct); }) != Outcome([&] { return read(preloaded); }))
            __builtin_trap();
    };
    same([&](TRegistryKey& key) { return TOutcome(key.ValueExists(name)); });
    same([&](TRegistryKey& key) {
        const std::optional<TRegValueType> type = key.ValueType(name);
        return TOutcome(type ? static_cast<std::int32_t>(*type) : -1);
    });
    same([&](TRegistryKey& key) { return TOutcome(key.ReadString(name)); });
    same([&](TRegistryKey& key) { return TOutcome(key.ReadInteger(name)); });
    same([&](TRegistryKey& key) { return TOutcome(key.ReadBinary(name)); });
    same([&](TRegistryKey& key) {
        const double when = key.ReadDateTime(name);
        return when == when ? TOutcome(when) : TOutcome(std::string("NaN"));
    });
}

void ReadEverything(TRegistry& store) {
    try {
        store.Dump();
    } catch (const ERegistryError&) {
    }
    // Breadth first from the root, a bounded number of keys.
    std::deque<std::string> paths{std::string()};
    for (int visited = 0; !paths.empty() && visited < 64; ++visited) {
        const std::string path = paths.front();
        paths.pop_front();
        try {
            auto direct = store.OpenKey(path, false);
            if (!direct)
                continue;
            direct->HasSubKeys();
            for (const std::string& sub : direct->SubKeyNames())
                paths.push_back(path.empty() ? sub : path + '\\' + sub);
            auto preloaded = store.OpenKey(path, false);
            preloaded->Preload();
            CompareReads(*direct, *preloaded, "missing");
            for (const std::string& name : direct->ValueNames())
                CompareReads(*direct, *preloaded, name);
            store.Dump(path);
        } catch (const ERegistryError&) {
        }
    }
    // A write to a key of the damaged store reads back as written, or fails with an error.
    try {
        auto key = store.OpenKey("Software\\Fuzz", true);
        key->WriteString("Written", "value");
        key->Close();
        if (store.OpenKey("software\\fuzz", false)->ReadString("written") != "value")
            __builtin_trap();
        store.DeleteKey("Software");
    } catch (const ERegistryError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        const char* shm = "/dev/shm";
        const std::string folder = access(shm, W_OK) == 0 ? shm : "/tmp";
        return folder + "/fuzz-registry-" + std::to_string(getpid()) + ".db";
    }();
    for (const char* suffix : {"", "-wal", "-shm"})
        std::remove((path + suffix).c_str());
    {
        TRegistry fresh(path); // lays out the tables
    }
    TBytes bytes(data, size);
    if (WriteRows(path, bytes)) {
        try {
            TRegistry store(path);
            ReadEverything(store);
        } catch (const ERegistryError&) {
        }
    }
    return 0;
}
