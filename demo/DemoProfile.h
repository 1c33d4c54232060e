#pragma once

#include <QProcessEnvironment>

#include <cstdint>
#include <string>

// A throwaway profile in which the program runs for the demo: a program folder of its own (the
// program reads its definitions from beside its executable) and the XDG folders for its settings
// store, its data and its single-instance files, so it never meets the user's own instance.
struct TDemoProfile {
    explicit TDemoProfile(std::string root); // a separator is added when missing

    std::string Root;
    std::string ProgramFolder() const { return Root + "program/"; }
    std::string ProgramFile() const { return ProgramFolder() + "tallyglass"; }
    std::string AlertsFolder() const { return ProgramFolder() + "BalanceAlerts/"; }
    std::string CurrencyFolder() const { return ProgramFolder() + "CurrencyRates/"; }
    std::string ConfigHome() const { return Root + "config/"; }
    std::string DataHome() const { return Root + "data/"; }
    std::string RuntimeDir() const { return Root + "runtime/"; }
    std::string StoreFile() const { return ConfigHome() + "tallyglass/registry.db"; }
    std::string LogFile() const { return DataHome() + "TallyData/log.txt"; }
    std::string ShowSettingsScript() const { return Root + "show-settings"; }

    // Makes the folder afresh. A folder that exists is emptied only when it is empty or an earlier
    // demo profile (it holds the profile's marker file); anything else is left alone and refused.
    bool Reset(std::string& error) const;
    // Copies the program and the data folders it reads (provider scripts, translations) from the
    // build's program folder.
    bool InstallProgram(const std::string& binFolder, std::string& error) const;
    // The program settings and the demo alerts' state, written into the profile's store with the
    // program's own classes: the password's digest, the first run over, the Balance List shown,
    // every demo alert active every minute with its page login, due at once, and the balances an
    // hour of periods before `period`, as if the program had last run then.
    bool WriteStore(const std::string& password, std::int64_t period, std::string& error) const;
    // The rates list of the profile's ECB provider (see WriteDemoRatesProvider): its columns and
    // the site's currencies as a list build leaves them, a few of them shown, switched on with an
    // update every minute, last updated an hour of periods before `period` with the rates of then,
    // so the first update marks changes; and its window placed beside the Balance List.
    bool WriteCurrencyStore(std::int64_t period, std::string& error) const;
    // A script that starts the program in this profile again: with the program running, that
    // brings up its settings window.
    bool WriteShowSettingsScript(std::string& error) const;
    // `base` with the profile's XDG folders, and the demo site's address kept away from proxies.
    QProcessEnvironment Environment(const QProcessEnvironment& base) const;
};

// Points the shipped ECB provider in `folder` (the profile's copy, encrypted as the program reads
// it) at the demo site's rates file. Only the address changes; what the script does is the shipped one.
bool WriteDemoRatesProvider(const std::string& folder, const std::string& siteAddress, std::string& error);

// The currencies of the demo's rate list that its window shows.
inline constexpr const char* kDemoShownCurrencies[] = {"USD", "GBP", "JPY", "CHF"};

// Writes the demo's definitions and scripts into `folder`, encrypted as the program reads them,
// with @DEMO_SITE@ replaced by the site's address.
bool WriteDemoDefinitions(const std::string& folder, const std::string& siteAddress, std::string& error);
