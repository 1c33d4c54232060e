#include "alerts/AlertItems.h"

#include "base/Encoders.h"
#include "platform/Registry.h"
#include "platform/Strings.h"

#include <algorithm>

// The alerts' stored state: each alert's values under its own registry key, and the custom
// alerts recorded for their list.

namespace {

const char* const kCustomAlertsKey = "CustomAlerts";
const char* const kCustomNamesKey = "Names";

} // namespace

TRegistry& TAlertItems::StateStore() const {
    return Store != nullptr ? *Store : TRegistry::Instance();
}

std::string TAlertItems::AlertKeyPath(const TAlertItem& alert) const {
    return RegistryRoot + '\\' + alert.unique_id;
}

std::string TAlertItems::CustomAlertsKeyPath() const {
    return RegistryRoot + '\\' + kCustomAlertsKey + '\\' + list_name;
}

bool StorableUniqueId(std::string_view id) {
    return !id.empty() && id.find('\\') == std::string_view::npos;
}

bool TAlertItems::KeepsState(const TAlertItem& alert) const {
    return !RegistryRoot.empty() && !alert.m_noStoredState && StorableUniqueId(alert.unique_id);
}

void TAlertItems::LoadState(TAlertItem& alert) {
    if (!KeepsState(alert))
        return;
    try {
        const auto key = StateStore().OpenKey(AlertKeyPath(alert), false);
        if (!key)
            return;
        key->Preload();
        // The values are applied one by one as they are read: a value of the wrong type ends the
        // loading and keeps what was read before it.
        const auto lock = alert.Lock();
        std::string rawLogin, rawPassword;
        if (key->ValueExists("Name"))
            alert.Name = key->ReadString("Name");
        if (key->ValueExists("Active"))
            alert.Active = key->ReadBool("Active");
        if (key->ValueExists("Period"))
            alert.Period = key->ReadInteger("Period");
        if (key->ValueExists("NeedAuth"))
            alert.NeedAuth = key->ReadBool("NeedAuth");
        if (key->ValueExists("PageLogin"))
            rawLogin = key->ReadString("PageLogin");
        if (key->ValueExists("PagePassword"))
            rawPassword = key->ReadString("PagePassword");
        if (key->ValueExists("PeriodType"))
            alert.PeriodType = static_cast<TPeriodType>(key->ReadInteger("PeriodType") & 0xFF);
        if (key->ValueExists("LastCheckedTime"))
            alert.LastCheckedTime = key->ReadDateTime("LastCheckedTime");
        if (key->ValueExists("CurrentBalance"))
            alert.SetBalanceLocked(DecryptInt(key->ReadString("CurrentBalance")));
        if (key->ValueExists("LastBalance"))
            alert.m_balances.LastBalance = DecryptInt(key->ReadString("LastBalance"));
        if (key->ValueExists("WarnBelow"))
            alert.Limits.WarnBelow = LimitFromStoredText(key->ReadString("WarnBelow"));
        if (key->ValueExists("WarnAbove"))
            alert.Limits.WarnAbove = LimitFromStoredText(key->ReadString("WarnAbove"));
        if (key->ValueExists("FailuresBeforeNotice"))
            alert.Limits.FailuresBeforeNotice =
                std::clamp(key->ReadInteger("FailuresBeforeNotice"), 0, TAlertLimits::kMaxFailuresBeforeNotice);
        if (key->ValueExists("FailedInARow"))
            alert.Limits.FailedInARow = std::max(key->ReadInteger("FailedInARow"), 0);
        if (key->ValueExists("WarnedZone")) {
            const std::int32_t zone = key->ReadInteger("WarnedZone");
            alert.Limits.WarnedZone = zone == 1 ? TWarnZone::Below : zone == 2 ? TWarnZone::Above : TWarnZone::None;
        }
        if (!rawLogin.empty())
            alert.PageLogin = DecryptText(rawLogin);
        if (!rawPassword.empty())
            alert.PagePassword = DecryptText(rawPassword);
    } catch (const ERegistryError&) {
        // Ends the loading silently.
    }
}

bool TAlertItems::SaveState(TAlertItem& alert) {
    if (!KeepsState(alert))
        return true;
    // Holding the save lock from taking the picture until it is committed keeps two savers of one
    // alert (a check thread and the user-interface thread) from committing out of order.
    std::lock_guard saving(alert.m_saveMutex);
    const TAlertState state = alert.State();
    try {
        const auto key = StateStore().OpenKey(AlertKeyPath(alert), true);
        key->WriteString("Name", state.Name);
        key->WriteBool("Active", state.Active);
        key->WriteBool("NeedAuth", state.NeedAuth);
        key->WriteInteger("Period", state.Period);
        key->WriteDateTime("LastCheckedTime", state.LastCheckedTime);
        key->WriteInteger("PeriodType", static_cast<std::int32_t>(state.PeriodType));
        key->WriteString("PageLogin", EncryptText(state.PageLogin));
        key->WriteString("PagePassword", EncryptText(state.PagePassword));
        key->WriteString("LastBalance", EncryptInt(state.Balances.LastBalance));
        key->WriteString("CurrentBalance", EncryptInt(state.Balances.CurrentBalance));
        key->WriteString("WarnBelow", StoredLimitText(state.Limits.WarnBelow));
        key->WriteString("WarnAbove", StoredLimitText(state.Limits.WarnAbove));
        key->WriteInteger("FailuresBeforeNotice", state.Limits.FailuresBeforeNotice);
        key->WriteInteger("FailedInARow", state.Limits.FailedInARow);
        key->WriteInteger("WarnedZone", static_cast<std::int32_t>(state.Limits.WarnedZone));
        key->Close();
    } catch (const ERegistryError&) {
        // Ends the saving; the caller decides what the user sees.
        return false;
    }
    return true;
}

TAlertItem* TAlertItems::AddCustomAlert(const std::string& name, const TAlertItem& base) {
    std::unique_ptr<TAlertItem> alert = base.CopyDefinition(this);
    alert->Name = name;
    alert->unique_id = base.unique_id + NewGuidString();
    // Recorded before it joins the list: an alert whose record cannot be written would show for
    // this run only and be gone at the next start. The name goes first, so a record that exists
    // always has its name.
    if (!RegistryRoot.empty()) {
        try {
            const auto names = StateStore().OpenKey(CustomAlertsKeyPath() + '\\' + kCustomNamesKey, true);
            names->WriteString(alert->unique_id, name);
            names->Close();
            const auto key = StateStore().OpenKey(CustomAlertsKeyPath(), true);
            key->WriteString(alert->unique_id, base.unique_id);
            key->Close();
        } catch (const ERegistryError&) {
            return nullptr;
        }
    }
    TAlertItem* raw = alert.get();
    Groups[raw->group_name].push_back(raw);
    Alerts.push_back(std::move(alert));
    SaveState(*raw);
    return raw;
}

void TAlertItems::LoadCustomAlerts() {
    if (RegistryRoot.empty())
        return;
    struct Entry {
        std::string id, baseId, name;
    };
    // The entries are read first and added afterwards, so no key stays open while the alerts load
    // their own state. A failure while reading keeps the entries read before it.
    std::vector<Entry> entries;
    try {
        const auto key = StateStore().OpenKey(CustomAlertsKeyPath(), false);
        if (!key)
            return;
        const auto names = StateStore().OpenKey(CustomAlertsKeyPath() + '\\' + kCustomNamesKey, false);
        for (const std::string& id : key->ValueNames()) {
            Entry entry{id, key->ReadString(id), {}};
            if (names && names->ValueExists(id))
                entry.name = names->ReadString(id);
            entries.push_back(std::move(entry));
        }
    } catch (const ERegistryError&) {
        // Ends the reading silently.
    }
    for (Entry& entry : entries) {
        const TAlertItem* base = FindByUniqueId(entry.baseId);
        if (base == nullptr)
            continue; // its definition is gone; the record stays for when it comes back
        std::unique_ptr<TAlertItem> alert = base->CopyDefinition(this);
        alert->unique_id = std::move(entry.id);
        alert->Name = std::move(entry.name);
        AddAlert(std::move(alert));
    }
}

std::string EncryptStateText(std::string_view key, const std::string& text) {
    // The terminating NUL goes along, so an empty text is stored as one encrypted block.
    const std::string bytes(text.c_str(), text.size() + 1);
    return Base64Encode(EncryptBytes(key, bytes));
}

std::string DecryptStateText(std::string_view key, const std::string& stored) {
    const std::string plain = DecryptBytes(key, Base64Decode(stored));
    return plain.substr(0, plain.find('\0'));
}

std::string EncryptStateInt(std::string_view key, std::int32_t value) {
    const auto word = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(word & 0xFF), static_cast<char>((word >> 8) & 0xFF),
                           static_cast<char>((word >> 16) & 0xFF), static_cast<char>((word >> 24) & 0xFF)};
    return Base64Encode(EncryptBytes(key, std::string_view(bytes, 4)));
}

std::int32_t DecryptStateInt(std::string_view key, const std::string& stored) {
    const std::string plain = DecryptBytes(key, Base64Decode(stored));
    // Fewer than 4 bytes cannot be a balance written by EncryptStateInt (an empty or damaged
    // value): it reads as no balance rather than as bytes from beyond the value.
    if (plain.size() < 4)
        return NoBalance;
    std::uint32_t word = 0;
    for (int i = 3; i >= 0; --i)
        word = (word << 8) | static_cast<unsigned char>(plain[static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(word);
}

std::string TAlertItems::EncryptText(const std::string& text) const {
    return EncryptStateText(StateKey, text);
}

std::string TAlertItems::DecryptText(const std::string& stored) const {
    return DecryptStateText(StateKey, stored);
}

std::string TAlertItems::EncryptInt(std::int32_t value) const {
    return EncryptStateInt(StateKey, value);
}

std::int32_t TAlertItems::DecryptInt(const std::string& stored) const {
    return DecryptStateInt(StateKey, stored);
}
