#include "alerts/AlertItems.h"

#include "base/Encoders.h"
#include "platform/Registry.h"
#include "platform/Strings.h"

// The alerts' stored state: each alert's values under its own registry key, and the custom
// alerts recorded for their list.

namespace {

const char* const kCustomAlertsKey = "CustomAlerts";
const char* const kCustomNamesKey = "Names";

} // namespace

Registry& TAlertItems::store() const {
    return Store != nullptr ? *Store : Registry::instance();
}

std::string TAlertItems::alertKeyPath(const TAlertItem& alert) const {
    return RegistryRoot + '\\' + alert.unique_id;
}

std::string TAlertItems::customAlertsKeyPath() const {
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
        const auto key = store().openKey(alertKeyPath(alert), false);
        if (!key)
            return;
        key->preload();
        // The values are applied one by one as they are read: a value of the wrong type ends the
        // loading and keeps what was read before it.
        const auto lock = alert.Lock();
        std::string rawLogin, rawPassword;
        if (key->valueExists("Name"))
            alert.Name = key->readString("Name");
        if (key->valueExists("Active"))
            alert.Active = key->readBool("Active");
        if (key->valueExists("Period"))
            alert.Period = key->readInteger("Period");
        if (key->valueExists("NeedAuth"))
            alert.NeedAuth = key->readBool("NeedAuth");
        if (key->valueExists("PageLogin"))
            rawLogin = key->readString("PageLogin");
        if (key->valueExists("PagePassword"))
            rawPassword = key->readString("PagePassword");
        if (key->valueExists("PeriodType"))
            alert.PeriodType = static_cast<TPeriodType>(key->readInteger("PeriodType") & 0xFF);
        if (key->valueExists("LastCheckedTime"))
            alert.LastCheckedTime = key->readDateTime("LastCheckedTime");
        if (key->valueExists("CurrentBalance"))
            alert.setBalanceLocked(DecryptInt(key->readString("CurrentBalance")));
        if (key->valueExists("LastBalance"))
            alert.m_balances.LastBalance = DecryptInt(key->readString("LastBalance"));
        if (!rawLogin.empty())
            alert.PageLogin = DecryptText(rawLogin);
        if (!rawPassword.empty())
            alert.PagePassword = DecryptText(rawPassword);
    } catch (const RegistryError&) {
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
        const auto key = store().openKey(alertKeyPath(alert), true);
        key->writeString("Name", state.Name);
        key->writeBool("Active", state.Active);
        key->writeBool("NeedAuth", state.NeedAuth);
        key->writeInteger("Period", state.Period);
        key->writeDateTime("LastCheckedTime", state.LastCheckedTime);
        key->writeInteger("PeriodType", static_cast<std::int32_t>(state.PeriodType));
        key->writeString("PageLogin", EncryptText(state.PageLogin));
        key->writeString("PagePassword", EncryptText(state.PagePassword));
        key->writeString("LastBalance", EncryptInt(state.Balances.LastBalance));
        key->writeString("CurrentBalance", EncryptInt(state.Balances.CurrentBalance));
        key->close();
    } catch (const RegistryError&) {
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
            const auto names = store().openKey(customAlertsKeyPath() + '\\' + kCustomNamesKey, true);
            names->writeString(alert->unique_id, name);
            names->close();
            const auto key = store().openKey(customAlertsKeyPath(), true);
            key->writeString(alert->unique_id, base.unique_id);
            key->close();
        } catch (const RegistryError&) {
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
        const auto key = store().openKey(customAlertsKeyPath(), false);
        if (!key)
            return;
        const auto names = store().openKey(customAlertsKeyPath() + '\\' + kCustomNamesKey, false);
        for (const std::string& id : key->valueNames()) {
            Entry entry{id, key->readString(id), {}};
            if (names && names->valueExists(id))
                entry.name = names->readString(id);
            entries.push_back(std::move(entry));
        }
    } catch (const RegistryError&) {
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

std::string TAlertItems::EncryptText(const std::string& text) const {
    // The terminating NUL goes along, so an empty text is stored as one encrypted block.
    const std::string bytes(text.c_str(), text.size() + 1);
    return Base64Encode(EncryptBytes(StateKey, bytes));
}

std::string TAlertItems::DecryptText(const std::string& stored) const {
    const std::string plain = DecryptBytes(StateKey, Base64Decode(stored));
    return plain.substr(0, plain.find('\0'));
}

std::string TAlertItems::EncryptInt(std::int32_t value) const {
    const auto word = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(word & 0xFF), static_cast<char>((word >> 8) & 0xFF),
                           static_cast<char>((word >> 16) & 0xFF), static_cast<char>((word >> 24) & 0xFF)};
    return Base64Encode(EncryptBytes(StateKey, std::string_view(bytes, 4)));
}

std::int32_t TAlertItems::DecryptInt(const std::string& stored) const {
    const std::string plain = DecryptBytes(StateKey, Base64Decode(stored));
    // Fewer than 4 bytes cannot be a balance written by EncryptInt (an empty or damaged value):
    // it reads as no balance rather than as bytes from beyond the value.
    if (plain.size() < 4)
        return NoBalance;
    std::uint32_t word = 0;
    for (int i = 3; i >= 0; --i)
        word = (word << 8) | static_cast<unsigned char>(plain[static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(word);
}
