#include "alerts/StateSaver.h"

#include "platform/Registry.h"
#include "platform/Strings.h"

namespace {

const char* const kStateKey = "State";

std::string StatePath(const std::string& rootKey) {
    return rootKey + '\\' + kStateKey;
}

std::optional<int> Positive(std::int32_t value) {
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

std::optional<int> Inside(std::int32_t value, int extent) {
    return value > 0 && value < extent ? std::optional<int>(value) : std::nullopt;
}

} // namespace

bool TStateNameLess::operator()(const std::string& a, const std::string& b) const {
    return AsciiLessNoCase(a, b);
}

void TStateSaver::Load(const std::string& rootKey, TRegistry& registry) {
    m_values.clear();
    try {
        const auto key = registry.OpenKey(StatePath(rootKey), false);
        if (!key)
            return;
        for (const std::string& name : key->ValueNames()) {
            try {
                m_values[name] = key->ReadInteger(name);
            } catch (const ERegistryError&) {
                // Not an integer: left out; the value stays in the key untouched.
            }
        }
    } catch (const ERegistryError&) {
        // An unusable store is a first run.
    }
}

void TStateSaver::Save(const std::string& rootKey, TRegistry& registry) const {
    try {
        const auto key = registry.OpenKey(StatePath(rootKey), true);
        for (const auto& [name, value] : m_values)
            key->WriteInteger(name, value);
        // One commit: a failure leaves the key as it was.
        key->Close();
    } catch (const ERegistryError&) {
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
    restore.MainLeft = Inside(saver.Value(kStateLeft), screen.Width);
    restore.MainTop = Inside(saver.Value(kStateTop), screen.Height);
    restore.ListLeft = Positive(saver.Value(kStateListLeft));
    restore.ListTop = Positive(saver.Value(kStateListTop));
    restore.ListWidth = Positive(saver.Value(kStateListWidth));
    restore.ListHeight = Positive(saver.Value(kStateListHeight));
    for (std::size_t i = 0; i < kStateListColumnWidths.size(); ++i)
        restore.ListColumnWidths[i] = Positive(saver.Value(kStateListColumnWidths[i]));
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
