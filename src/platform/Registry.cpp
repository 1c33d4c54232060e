#include "platform/Registry.h"

#include "platform/Paths.h"
#include "platform/RegistryStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

using namespace RegistryStore;

namespace {

struct TGlobal {
    std::mutex mutex;
    std::string storeDirectory;
    std::unique_ptr<TRegistry> instance;
};

TGlobal& Global() {
    static TGlobal g;
    return g;
}

// Expects Global().mutex held.
std::string DefaultFilePathLocked() {
    std::string dir = Global().storeDirectory;
    if (dir.empty())
        return ConfigFolder() + "tallyglass/registry.db";
    if (dir.back() != '/')
        dir += '/';
    return dir + "registry.db";
}

} // namespace

const char* RegValueTypeName(TRegValueType type) {
    switch (type) {
    case TRegValueType::String:
        return "REG_SZ";
    case TRegValueType::ExpandString:
        return "REG_EXPAND_SZ";
    case TRegValueType::Binary:
        return "REG_BINARY";
    case TRegValueType::DWord:
        return "REG_DWORD";
    }
    return "REG_NONE";
}

TRegistry::TRegistry(std::string filePath) : m_filePath(std::move(filePath)), m_impl(std::make_unique<Impl>()) {
    m_impl->filePath = m_filePath;
    if (m_filePath.empty())
        throw ERegistryError("registry: no file path given");
    const std::size_t slash = m_filePath.rfind('/');
    if (slash != std::string::npos && slash > 0 && !ForceDirectories(m_filePath.substr(0, slash)))
        throw ERegistryError("registry '" + m_filePath + "': cannot create its folder");
    // Create the file ourselves so that it starts owner-only; SQLite gives its WAL files the same mode.
    const int fd = ::open(m_filePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        throw ERegistryError("registry '" + m_filePath + "': " + std::strerror(errno));
    ::close(fd);

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(m_filePath.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
    m_impl->db.reset(raw);
    if (rc != SQLITE_OK) {
        if (raw == nullptr)
            throw ERegistryError("registry '" + m_filePath + "': out of memory");
        m_impl->Fail("cannot open");
    }
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    m_impl->Run([this] { m_impl->OpenStore(); });
}

TRegistry::~TRegistry() = default;

std::string TRegistry::DefaultFilePath() {
    std::lock_guard lock(Global().mutex);
    return DefaultFilePathLocked();
}

void TRegistry::SetStoreDirectory(const std::string& dir) {
    std::lock_guard lock(Global().mutex);
    const std::string previous = Global().storeDirectory;
    Global().storeDirectory = dir;
    if (Global().instance && Global().instance->FilePath() != DefaultFilePathLocked()) {
        Global().storeDirectory = previous;
        throw ERegistryError("registry: the store is already open at '" + Global().instance->FilePath() + "'");
    }
}

TRegistry& TRegistry::Instance() {
    std::lock_guard lock(Global().mutex);
    if (!Global().instance)
        Global().instance = std::make_unique<TRegistry>(DefaultFilePathLocked());
    return *Global().instance;
}

std::unique_ptr<TRegistryKey> TRegistry::OpenKey(const std::string& path, bool canCreate) {
    const std::vector<std::string> parts = SplitPath(path);
    std::optional<TKeyRow> row = m_impl->Run([&] { return m_impl->FindKey(parts); });
    if (!row && canCreate) {
        row = m_impl->Run([&] {
            Impl::Transaction transaction(*m_impl, true);
            TKeyRow created = m_impl->CreateKey(parts);
            transaction.Commit();
            return created;
        });
    }
    if (!row)
        return nullptr;
    // The constructor is private to this friend, so std::make_unique cannot reach it.
    return std::unique_ptr<TRegistryKey>(new TRegistryKey(*this, row->id, std::move(row->path)));
}

bool TRegistry::KeyExists(const std::string& path) {
    const std::vector<std::string> parts = SplitPath(path);
    return m_impl->Run([&] { return m_impl->FindKey(parts).has_value(); });
}

bool TRegistry::DeleteKey(const std::string& path) {
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty())
        throw ERegistryError("registry: the root key cannot be deleted");
    return m_impl->Run([&] {
        Impl::Transaction transaction(*m_impl, true);
        const std::optional<TKeyRow> row = m_impl->FindKey(parts);
        if (!row)
            return false;
        m_impl->DeleteTree(row->id);
        transaction.Commit();
        return true;
    });
}

std::vector<std::string> TRegistry::Dump(const std::string& path) {
    const std::vector<std::string> parts = SplitPath(path);
    return m_impl->Run([&] {
        // One read transaction: a consistent snapshot while other writers go on.
        Impl::Transaction transaction(*m_impl, false);
        std::vector<std::string> lines;
        if (const std::optional<TKeyRow> row = m_impl->FindKey(parts))
            m_impl->DumpKey(row->id, row->path, lines);
        transaction.Commit();
        return lines;
    });
}
