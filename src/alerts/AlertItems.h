#pragma once

#include "alerts/AlertItem.h"
#include "translate/TranslateFn.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TRegistry;
class TLogFile;

// The alerts of one definition file, grouped by their group name.
//
// Each alert's state lives in the registry key RegistryRoot\<unique_id>; the custom alerts of the
// list are recorded under RegistryRoot\CustomAlerts\<list_name>. A list with an empty RegistryRoot
// is detached: it never reads or writes the registry. An alert whose unique_id cannot name a key of
// its own (see StorableUniqueId), and a custom alert made from such an alert, keep no state.
// Registry failures end the operation at hand silently; what it did before the failure stays.
// The program holds its lists in std::shared_ptr, so a running check can keep its list alive.
class TAlertItems : public std::enable_shared_from_this<TAlertItems> {
public:
    TAlertItems() = default;
    TAlertItems(const TAlertItems&) = delete;
    TAlertItems& operator=(const TAlertItems&) = delete;

    std::map<std::string, TAlertVec> Groups; // keys compared byte by byte
    std::vector<std::unique_ptr<TAlertItem>> Alerts;
    std::string ListName; // shown to the user; a translation may replace it after loading
    std::string FileName;
    std::string RegistryRoot;
    std::string StateKey; // passphrase of the encrypted state values: Md5Hex of the program password
    // The list name exactly as the file gives it. Custom alerts are recorded under this name, not
    // under ListName, so installing or changing a translation never orphans the user's custom alerts.
    std::string list_name;
    // The store the state goes to; nullptr means TRegistry::Instance().
    TRegistry* Store = nullptr;

    // Reads FileName: decrypts it, parses it and adds its alerts, then recreates the list's custom
    // alerts. A file that cannot be read or parsed ends the parsing silently; whatever was added
    // before stays, and the custom alerts are still loaded. False when the file could not be read.
    bool LoadFromFile();
    // The same from the encrypted bytes of a definition file.
    void LoadFromBytes(std::string encrypted);
    // The same from decrypted text; the text ends at its first NUL byte.
    void LoadFromText(const std::string& plain);

    void Clear();
    int Count() const { return static_cast<int>(Alerts.size()); }
    TAlertItem& Item(int index) { return *Alerts.at(static_cast<std::size_t>(index)); }

    // Takes ownership, files the alert under its group and applies its stored state at once; an
    // alert already held is left alone.
    TAlertItem* AddAlert(std::unique_ptr<TAlertItem> alert);
    TAlertItem* FindByUniqueId(const std::string& id) const;
    TAlertItem* FindByChunksName(const std::string& name) const;

    // Whether the alert has stored state: the list is attached and the alert has a key of its own.
    bool KeepsState(const TAlertItem& alert) const;
    // Reads the alert's stored values over its fields; a missing key or value leaves the field.
    void LoadState(TAlertItem& alert);
    // Writes every stored value of the alert, defaults included. Safe from any thread; saves of
    // one alert are serialised so that an older picture never overwrites a newer one. False when
    // the store refused the values (an alert that keeps no state counts as saved).
    bool SaveState(TAlertItem& alert);

    // A second account at the same provider: a copy of base's definition under a new name and a new
    // identity (base's unique_id followed by a new GUID), recorded and saved at once. When its record
    // cannot be written, nothing is added and the result is nullptr.
    TAlertItem* AddCustomAlert(const std::string& name, const TAlertItem& base);
    // Recreates the custom alerts recorded for this list; entries whose base alert is gone are skipped.
    void LoadCustomAlerts();

    // State values encrypted under StateKey and written as Base64.
    std::string EncryptText(const std::string& text) const;
    std::string DecryptText(const std::string& stored) const;
    std::string EncryptInt(std::int32_t value) const;
    std::int32_t DecryptInt(const std::string& stored) const;

private:
    TRegistry& StateStore() const;
    std::string AlertKeyPath(const TAlertItem& alert) const;
    std::string CustomAlertsKeyPath() const;
};

// The encrypted form of the stored state values under `key` (Md5Hex of the program password), as
// Base64 text: a text with its terminating NUL, or a 32-bit value as 4 little-endian bytes.
std::string EncryptStateText(std::string_view key, const std::string& text);
std::string DecryptStateText(std::string_view key, const std::string& stored);
std::string EncryptStateInt(std::string_view key, std::int32_t value);
std::int32_t DecryptStateInt(std::string_view key, const std::string& stored);

// Whether an alert identity can name a registry key of its own beside the program's settings: not
// empty (that would be the program's own key) and without '\' (that would reach into another key).
bool StorableUniqueId(std::string_view id);

// Loads every ".bal" file of the folder (extension in any letter case, directories skipped), in
// name order (FileNameLess), as one list each. The folder path ends with a separator. Logs
// messages 1048 and 1049 when a log is given. With a translation, the list names and alert names
// are replaced by the non-empty values of "I.<name>" in section "ALERTS". A file that cannot be
// read is left out, with "[ERR] Unable to read balance alerts file '<file>'!" in the log.
std::vector<std::unique_ptr<TAlertItems>> LoadAlertFolder(const std::string& folder, const std::string& registryRoot,
                                                          const std::string& stateKey, TLogFile* log = nullptr,
                                                          const TTranslateFn& translate = {},
                                                          TRegistry* store = nullptr);

// The same over several folders, the first one the program's own and each later one taking
// precedence over those before it (the user's own definitions over the shipped ones): a file
// whose name matches, letter case ignored, that of a file in a later folder is replaced by it.
// A replacing file that cannot be read or holds no alerts does not hide the one it would replace.
// Later folders that do not exist are skipped without a word; every folder that is read is framed
// by its own 1048 and 1049. Folders are read from the last to the first, and the lists come in
// that order.
std::vector<std::unique_ptr<TAlertItems>> LoadAlertFolders(const std::vector<std::string>& folders,
                                                           const std::string& registryRoot, const std::string& stateKey,
                                                           TLogFile* log = nullptr, const TTranslateFn& translate = {},
                                                           TRegistry* store = nullptr);

// The folder of the list's definition file, ending with a separator: where its scripts are found.
std::string DefinitionFolder(const TAlertItems& list);
