#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

// A per-user hierarchical key/value store in one SQLite file, standing in for the Windows
// registry's current-user hive. Key paths are joined with '\' ("Software\Brightmoor\Tallyglass").
// Key and value names compare without regard to letter case and keep the case they were created with.

class ERegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TRegValueType : std::uint32_t { String = 1, ExpandString = 2, Binary = 3, DWord = 4 };

const char* RegValueTypeName(TRegValueType type); // "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD"

class TRegistryKey;

class TRegistry {
public:
    // Opens (creating when missing, mode 0600, parent folders included) the store file.
    // Throws ERegistryError when the file cannot be opened or is not a store.
    explicit TRegistry(std::string filePath);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    const std::string& FilePath() const { return m_filePath; }

    // The user's store: $XDG_CONFIG_HOME/tallyglass/registry.db, or <dir>/registry.db after SetStoreDirectory.
    static std::string DefaultFilePath();
    // Moves the process-wide store (the tool's --state-dir, tests). Call before the first Instance().
    static void SetStoreDirectory(const std::string& dir);
    // The process-wide store, opened on first use. Throws ERegistryError when it cannot be opened.
    static TRegistry& Instance();

    // Opens a key. With canCreate, missing keys along the path are created; without it a missing
    // key gives nullptr. Writes through the key are committed as one transaction when it closes.
    std::unique_ptr<TRegistryKey> OpenKey(const std::string& path, bool canCreate);
    bool KeyExists(const std::string& path);
    // Deletes the key with all its subkeys and values; false when it did not exist.
    bool DeleteKey(const std::string& path);

    // Every value under `path` (the key itself and its subtree), one line each:
    // <key path>\t<value name>\t<type name>\t<value>, DWORD in decimal, binary as lower-case hex,
    // strings as they are. Keys in case-insensitive name order, values in creation order.
    std::vector<std::string> Dump(const std::string& path = std::string());

private:
    friend class TRegistryKey;
    struct Impl;
    std::string m_filePath;
    std::unique_ptr<Impl> m_impl;
};

// An open key. Reads see the key's own pending writes; Close() (or the destructor) commits them.
class TRegistryKey {
public:
    ~TRegistryKey();
    TRegistryKey(const TRegistryKey&) = delete;
    TRegistryKey& operator=(const TRegistryKey&) = delete;

    const std::string& Path() const { return m_path; }

    // Reads every stored value of the key in one query; later reads are answered from that
    // picture (and the key's own writes), so a key read value by value costs one query, not one
    // per value. Writes by others after the preload are not seen through this key.
    void Preload();

    bool ValueExists(const std::string& name) const;
    std::optional<TRegValueType> ValueType(const std::string& name) const;

    // Reads throw ERegistryError when the value is missing or of another type.
    std::string ReadString(const std::string& name) const;   // REG_SZ or REG_EXPAND_SZ
    std::int32_t ReadInteger(const std::string& name) const; // REG_DWORD
    bool ReadBool(const std::string& name) const;            // REG_DWORD, non-zero is true
    std::string ReadBinary(const std::string& name) const;   // REG_BINARY bytes
    double ReadDateTime(const std::string& name) const;      // REG_BINARY of exactly 8 bytes, little-endian double

    void WriteString(const std::string& name, const std::string& value);
    void WriteExpandString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteBool(const std::string& name, bool value);
    void WriteBinary(const std::string& name, const std::string& bytes);
    void WriteDateTime(const std::string& name, double value);
    bool DeleteValue(const std::string& name);

    std::vector<std::string> SubKeyNames() const; // case-insensitive name order
    std::vector<std::string> ValueNames() const;  // creation order
    bool HasSubKeys() const;

    // Commits pending writes; throws ERegistryError when the commit fails (the destructor swallows it).
    void Close();

private:
    friend class TRegistry;
    TRegistryKey(TRegistry& registry, std::int64_t keyId, std::string path);
    struct Pending;
    TRegistry& m_registry;
    std::int64_t m_keyId;
    std::string m_path;
    std::unique_ptr<Pending> m_pending;
};
