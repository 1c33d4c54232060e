#include "alerts/StateSaver.h"

#include "platform/Registry.h"
#include "platform/Strings.h"

namespace {

const char* const kStateKey = "State";

std::string statePath(const std::string& rootKey) {
    return rootKey + '\\' + kStateKey;
}

std::optional<int> positive(std::int32_t value) {
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

std::optional<int> inside(std::int32_t value, int extent) {
    return value > 0 && value < extent ? std::optional<int>(value) : std::nullopt;
}

} // namespace

bool TStateNameLess::operator()(const std::string& a, const std::string& b) const {
    return AsciiLessNoCase(a, b);
}

void TStateSaver::Load(const std::string& rootKey, Registry& registry) {
    m_values.clear();
    try {
        const auto key = registry.openKey(statePath(rootKey), false);
        if (!key)
            return;
        for (const std::string& name : key->valueNames()) {
            try {
                m_values[name] = key->readInteger(name);
            } catch (const RegistryError&) {
                // Not an integer: left out; the value stays in the key untouched.
            }
        }
    } catch (const RegistryError&) {
        // An unusable store is a first run.
    }
}

void TStateSaver::Save(const std::string& rootKey, Registry& registry) const {
    try {
        const auto key = registry.openKey(statePath(rootKey), true);
        for (const auto& [name, value] : m_values)
            key->writeInteger(name, value);
        // One commit: a failure leaves the key as it was.
        key->close();
    } catch (const RegistryError&) {
        // Nothing is saved.
    }
}

std::int32_t TStateSaver::Value(const std::string& name) const {
    const auto it = m_values.find(name);
    return it == m_values.end() ? 0 : it->second;
}

int CentredPosition(int screenExtent, int windowExtent) {
    return (screenExtent - windowExtent) / 2;
}

TWindowRestore RestoreWindowState(const TStateSaver& saver, TScreenSize screen) {
    TWindowRestore restore;
    if (saver.Empty()) {
        restore.Centre = true;
        return restore;
    }
    restore.MainLeft = inside(saver.Value(kStateLeft), screen.Width);
    restore.MainTop = inside(saver.Value(kStateTop), screen.Height);
    restore.ListLeft = positive(saver.Value(kStateListLeft));
    restore.ListTop = positive(saver.Value(kStateListTop));
    restore.ListWidth = positive(saver.Value(kStateListWidth));
    restore.ListHeight = positive(saver.Value(kStateListHeight));
    for (std::size_t i = 0; i < kStateListColumnWidths.size(); ++i)
        restore.ListColumnWidths[i] = positive(saver.Value(kStateListColumnWidths[i]));
    return restore;
}

void StoreWindowState(TStateSaver& saver, int mainLeft, int mainTop,
                      const std::optional<TBalanceListGeometry>& balanceList) {
    saver[kStateLeft] = mainLeft;
    saver[kStateTop] = mainTop;
    if (!balanceList)
        return;
    saver[kStateListLeft] = balanceList->Left;
    saver[kStateListTop] = balanceList->Top;
    saver[kStateListWidth] = balanceList->Width;
    saver[kStateListHeight] = balanceList->Height;
    for (std::size_t i = 0; i < kStateListColumnWidths.size(); ++i)
        saver[kStateListColumnWidths[i]] = balanceList->ColumnWidths[i];
}
