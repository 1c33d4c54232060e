#pragma once

#include <cstdint>
#include <string>

class TRegistry;

// The user's program settings, kept under the program key of the registry store.
class TProgramSettings {
public:
    std::uint16_t ShowBalanceWindowShortCut = 0xC042; // Ctrl+Alt+B
    std::uint16_t ShowMainWindowShortCut = 0xC04D;    // Ctrl+Alt+M
    std::string ExePath;
    std::string DataPath;
    // The user's own definitions (BalanceAlerts/) and provider scripts (CurrencyRates/) live here,
    // beside the shipped ones of ExePath; the folder is only read, never created.
    std::string UserPath;
    bool ShowHints = true;
    bool AutoStart = false;
    std::string PasswordHash;
    bool FirstRun = true;
    bool ActivateBLWindow = true;
    bool BlinkTrayIcon = true;
    bool ShowBalloonTip = true;
    bool BalanceWindowVisible = false;
    // Days the history keeps its records; 0 keeps them for ever.
    static constexpr int kMaxHistoryDays = 36500;
    int HistoryDays = 0;
    // The program password is kept in the desktop's keyring, and a start takes it from there.
    bool UnlockWithKeyring = false;

    // ExePath from the program's folder, DataPath under the user's data folder (created with its
    // parents), UserPath that folder's "tallyglass/", every other field its default.
    void SetDefaults();
    // Reads the stored values; a missing program key leaves the defaults and FirstRun set. A value
    // of the wrong type ends the reading: what was read before it stays.
    void LoadSettings(TRegistry& registry);
    // Writes every value, then applies the auto-start entry (in every case).
    void SaveSettings(TRegistry& registry);
    void SetPassword(const std::string& password);
    // Writes or removes the desktop's autostart entry for the program file (see TAutoStart).
    void ApplyAutoStart();

    // Where the autostart entry lives and which program it starts; set for tests.
    std::string AutoStartFile;   // default: $XDG_CONFIG_HOME/autostart/tallyglass.desktop
    std::string ProgramFilePath; // default: the running executable
};
