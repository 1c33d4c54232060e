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

class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class RegValueType : std::uint32_t { String = 1, ExpandString = 2, Binary = 3, DWord = 4 };

const char* RegValueTypeName(RegValueType type); // "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD"

class RegistryKey;

class Registry {
public:
    // Opens (creating when missing, mode 0600, parent folders included) the store file.
    // Throws RegistryError when the file cannot be opened or is not a store.
    explicit Registry(std::string filePath);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    const std::string& filePath() const { return m_filePath; }

    // The user's store: $XDG_CONFIG_HOME/tallyglass/registry.db, or <dir>/registry.db after setStoreDirectory.
    static std::string defaultFilePath();
    // Moves the process-wide store (the tool's --state-dir, tests). Call before the first instance().
    static void setStoreDirectory(const std::string& dir);
    // The process-wide store, opened on first use. Throws RegistryError when it cannot be opened.
    static Registry& instance();

    // Opens a key. With canCreate, missing keys along the path are created; without it a missing
    // key gives nullptr. Writes through the key are committed as one transaction when it closes.
    std::unique_ptr<RegistryKey> openKey(const std::string& path, bool canCreate);
    bool keyExists(const std::string& path);
    // Deletes the key with all its subkeys and values; false when it did not exist.
    bool deleteKey(const std::string& path);

    // Every value under `path` (the key itself and its subtree), one line each:
    // <key path>\t<value name>\t<type name>\t<value>, DWORD in decimal, binary as lower-case hex,
    // strings as they are. Keys in case-insensitive name order, values in creation order.
    std::vector<std::string> dump(const std::string& path = std::string());

private:
    friend class RegistryKey;
    struct Impl;
    std::string m_filePath;
    std::unique_ptr<Impl> m_impl;
};

// An open key. Reads see the key's own pending writes; close() (or the destructor) commits them.
class RegistryKey {
public:
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    const std::string& path() const { return m_path; }

    // Reads every stored value of the key in one query; later reads are answered from that
    // picture (and the key's own writes), so a key read value by value costs one query, not one
    // per value. Writes by others after the preload are not seen through this key.
    void preload();

    bool valueExists(const std::string& name) const;
    std::optional<RegValueType> valueType(const std::string& name) const;

    // Reads throw RegistryError when the value is missing or of another type.
    std::string readString(const std::string& name) const;   // REG_SZ or REG_EXPAND_SZ
    std::int32_t readInteger(const std::string& name) const; // REG_DWORD
    bool readBool(const std::string& name) const;            // REG_DWORD, non-zero is true
    std::string readBinary(const std::string& name) const;   // REG_BINARY bytes
    double readDateTime(const std::string& name) const;      // REG_BINARY of exactly 8 bytes, little-endian double

    void writeString(const std::string& name, const std::string& value);
    void writeExpandString(const std::string& name, const std::string& value);
    void writeInteger(const std::string& name, std::int32_t value);
    void writeBool(const std::string& name, bool value);
    void writeBinary(const std::string& name, const std::string& bytes);
    void writeDateTime(const std::string& name, double value);
    bool deleteValue(const std::string& name);

    std::vector<std::string> subKeyNames() const; // case-insensitive name order
    std::vector<std::string> valueNames() const;  // creation order
    bool hasSubKeys() const;

    // Commits pending writes; throws RegistryError when the commit fails (the destructor swallows it).
    void close();

private:
    friend class Registry;
    RegistryKey(Registry& registry, std::int64_t keyId, std::string path);
    struct Pending;
    Registry& m_registry;
    std::int64_t m_keyId;
    std::string m_path;
    std::unique_ptr<Pending> m_pending;
};
