#include "platform/Registry.h"

#include "platform/RegistryStore.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>

using namespace RegistryStore;

// A TRegistryKey belongs to one thread at a time and must not outlive its Registry; only the Registry is
// shared between threads.
struct TRegistryKey::Pending {
    TPendingMap entries;
    std::uint64_t nextOrder = 0;
    std::optional<std::map<std::string, TValue>> preloaded; // stored values by folded name, after Preload()

    // The value as the key sees it: its own pending write or deletion, else the stored one.
    std::optional<TValue> Current(TRegistry::Impl& impl, std::int64_t keyId, const std::string& name) const {
        const std::string fold = FoldName(name);
        if (const auto it = entries.find(fold); it != entries.end())
            return it->second.value;
        if (preloaded) {
            const auto it = preloaded->find(fold);
            return it != preloaded->end() ? std::optional(it->second) : std::nullopt;
        }
        return impl.Run([&] { return impl.StoredValue(keyId, fold); });
    }

    TValue Require(TRegistry::Impl& impl, std::int64_t keyId, const std::string& keyPath, const std::string& name,
                   std::initializer_list<TRegValueType> types) const {
        std::optional<TValue> value = Current(impl, keyId, name);
        if (!value)
            throw ERegistryError("registry: no value '" + name + "' in key '" + keyPath + "'");
        if (std::find(types.begin(), types.end(), value->type) == types.end()) {
            throw ERegistryError("registry: value '" + name + "' in key '" + keyPath + "' is " +
                                 RegValueTypeName(value->type) + ", not " + RegValueTypeName(*types.begin()));
        }
        return std::move(*value);
    }

    void Write(const std::string& name, TValue value) {
        auto [it, inserted] = entries.try_emplace(FoldName(name));
        TPendingEntry& entry = it->second;
        if (inserted || !entry.value) { // new, or re-created after a deletion in this batch
            entry.name = name;
            entry.order = nextOrder++;
        }
        entry.value = std::move(value);
    }
};

TRegistryKey::TRegistryKey(TRegistry& registry, std::int64_t keyId, std::string path)
    : m_registry(registry), m_keyId(keyId), m_path(std::move(path)), m_pending(std::make_unique<Pending>()) {}

TRegistryKey::~TRegistryKey() {
    try {
        Close();
    } catch (...) {
        // A destructor cannot report the failure; Close() explicitly to see it.
    }
}

void TRegistryKey::Preload() {
    TRegistry::Impl& impl = *m_registry.m_impl;
    try {
        std::map<std::string, TValue> values;
        for (TNamedValue& value : impl.Run([&] { return impl.StoredValues(m_keyId); }))
            values.emplace(std::move(value.fold), std::move(value.value));
        m_pending->preloaded = std::move(values);
    } catch (const ERegistryError&) {
        // A damaged value spoils only its own reads: they go to the store one by one, as without
        // the preload.
    }
}

bool TRegistryKey::ValueExists(const std::string& name) const {
    return m_pending->Current(*m_registry.m_impl, m_keyId, name).has_value();
}

std::optional<TRegValueType> TRegistryKey::ValueType(const std::string& name) const {
    const std::optional<TValue> value = m_pending->Current(*m_registry.m_impl, m_keyId, name);
    return value ? std::optional(value->type) : std::nullopt;
}

std::string TRegistryKey::ReadString(const std::string& name) const {
    return m_pending
        ->Require(*m_registry.m_impl, m_keyId, m_path, name, {TRegValueType::String, TRegValueType::ExpandString})
        .data;
}

std::int32_t TRegistryKey::ReadInteger(const std::string& name) const {
    return static_cast<std::int32_t>(
        m_pending->Require(*m_registry.m_impl, m_keyId, m_path, name, {TRegValueType::DWord}).word);
}

bool TRegistryKey::ReadBool(const std::string& name) const {
    return ReadInteger(name) != 0;
}

std::string TRegistryKey::ReadBinary(const std::string& name) const {
    return m_pending->Require(*m_registry.m_impl, m_keyId, m_path, name, {TRegValueType::Binary}).data;
}

double TRegistryKey::ReadDateTime(const std::string& name) const {
    const std::string bytes = ReadBinary(name);
    if (bytes.size() != 8) {
        throw ERegistryError("registry: value '" + name + "' in key '" + m_path + "' holds " +
                             std::to_string(bytes.size()) + " bytes, not a date-time");
    }
    return BytesToDouble(bytes);
}

void TRegistryKey::WriteString(const std::string& name, const std::string& value) {
    m_pending->Write(name, TValue{TRegValueType::String, value, 0});
}

void TRegistryKey::WriteExpandString(const std::string& name, const std::string& value) {
    m_pending->Write(name, TValue{TRegValueType::ExpandString, value, 0});
}

void TRegistryKey::WriteInteger(const std::string& name, std::int32_t value) {
    m_pending->Write(name, TValue{TRegValueType::DWord, {}, static_cast<std::uint32_t>(value)});
}

void TRegistryKey::WriteBool(const std::string& name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void TRegistryKey::WriteBinary(const std::string& name, const std::string& bytes) {
    m_pending->Write(name, TValue{TRegValueType::Binary, bytes, 0});
}

void TRegistryKey::WriteDateTime(const std::string& name, double value) {
    WriteBinary(name, DoubleToBytes(value));
}

bool TRegistryKey::DeleteValue(const std::string& name) {
    if (!ValueExists(name))
        return false;
    TPendingEntry& entry = m_pending->entries[FoldName(name)];
    entry.name = name;
    entry.value.reset();
    entry.replaceStored = true;
    return true;
}

std::vector<std::string> TRegistryKey::SubKeyNames() const {
    TRegistry::Impl& impl = *m_registry.m_impl;
    std::vector<std::string> names;
    for (TSubKey& sub : impl.Run([&] { return impl.SubKeys(m_keyId); }))
        names.push_back(std::move(sub.name));
    return names;
}

std::vector<std::string> TRegistryKey::ValueNames() const {
    TRegistry::Impl& impl = *m_registry.m_impl;
    const std::vector<TNamedValue> stored = impl.Run([&] { return impl.StoredValues(m_keyId); });
    const TPendingMap& pending = m_pending->entries;
    std::vector<std::string> names;
    std::set<std::string> storedFolds;
    // Stored values keep their place unless this key deleted them; overwriting does not move a value.
    for (const TNamedValue& value : stored) {
        storedFolds.insert(value.fold);
        const auto it = pending.find(value.fold);
        if (it == pending.end() || !it->second.replaceStored)
            names.push_back(value.name);
    }
    // Then the values this key creates, in the order it first wrote them.
    std::vector<const TPendingEntry*> created;
    for (const auto& [fold, entry] : pending) {
        if (entry.value && (entry.replaceStored || storedFolds.count(fold) == 0))
            created.push_back(&entry);
    }
    std::sort(created.begin(), created.end(), [](auto* a, auto* b) { return a->order < b->order; });
    for (const TPendingEntry* entry : created)
        names.push_back(entry->name);
    return names;
}

bool TRegistryKey::HasSubKeys() const {
    TRegistry::Impl& impl = *m_registry.m_impl;
    return impl.Run([&] {
        TStatement s = impl.Query("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
        s.Bind(1, m_keyId);
        return s.Step();
    });
}

void TRegistryKey::Close() {
    if (m_pending->entries.empty())
        return;
    // The batch is spent whether or not the commit succeeds.
    const TPendingMap entries = std::exchange(m_pending->entries, {});
    std::vector<const TPendingEntry*> ordered;
    for (const auto& [fold, entry] : entries)
        ordered.push_back(&entry);
    std::sort(ordered.begin(), ordered.end(), [](auto* a, auto* b) { return a->order < b->order; });

    TRegistry::Impl& impl = *m_registry.m_impl;
    impl.Run([&] {
        TRegistry::Impl::Transaction transaction(impl, true);
        // Like the Windows registry, writes to a key deleted meanwhile fail rather than revive it.
        if (!impl.KeyRowExists(m_keyId))
            throw ERegistryError("registry: key '" + m_path + "' was deleted before its values were saved");
        impl.WriteEntries(m_keyId, ordered);
        transaction.Commit();
    });
}
