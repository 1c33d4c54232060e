#pragma once

#include "alerts/AlertItem.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// The alerts of one definition file, grouped by their group name.
class TAlertItems {
public:
    TAlertItems() = default;
    TAlertItems(const TAlertItems&) = delete;
    TAlertItems& operator=(const TAlertItems&) = delete;

    std::map<std::string, TAlertVec> Groups; // keys compared byte by byte
    std::vector<std::unique_ptr<TAlertItem>> Alerts;
    std::string ListName;
    std::string FileName;
    std::string RegistryRoot;
    std::string StateKey;

    // Reads FileName: decrypts it, parses it and adds its alerts. A file that cannot be read or
    // parsed ends the loading silently; whatever was added before stays.
    void LoadFromFile();
    // The same from the encrypted bytes of a definition file.
    void LoadFromBytes(std::string encrypted);
    // The same from decrypted text; the text ends at its first NUL byte.
    void LoadFromText(const std::string& plain);

    void Clear();
    int Count() const { return static_cast<int>(Alerts.size()); }
    TAlertItem& Item(int index) { return *Alerts.at(static_cast<std::size_t>(index)); }

    // Takes ownership and files the alert under its group; an alert already held is left alone.
    TAlertItem* AddAlert(std::unique_ptr<TAlertItem> alert);
    TAlertItem* FindByUniqueId(const std::string& id) const;
    TAlertItem* FindByChunksName(const std::string& name) const;
};

// Splits text into lines at CR, LF or CR LF; a break at the very end does not start another line.
std::vector<std::string> SplitLines(const std::string& text);

// Loads every ".bal" file of the folder (extension in any letter case, directories skipped), in
// the order the directory listing gives them, as one list each.
std::vector<std::unique_ptr<TAlertItems>> LoadAlertFolder(const std::string& folder, const std::string& registryRoot,
                                                          const std::string& stateKey);
