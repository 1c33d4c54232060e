#include "app/ProgramSettings.h"

#include "base/Encoders.h"
#include "base/Program.h"
#include "platform/AutoStart.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/SpecialFolders.h"

#include <algorithm>

void TProgramSettings::SetDefaults() {
    TProgramSettings defaults;
    defaults.AutoStartFile = AutoStartFile;
    defaults.ProgramFilePath = ProgramFilePath;
    *this = defaults;
    ExePath = ::ExePath();
    // The data folder lies under the user's data folder, or beside the program when there is none.
    std::string base = GetSpecialFolder(SpecialFolder::kLocalAppData);
    if (base.empty())
        base = ExePath;
    DataPath = base + "TallyData/";
    ForceDirectories(DataPath);
    UserPath = LocalAppDataFolder() + "tallyglass/";
}

void TProgramSettings::LoadSettings(TRegistry& registry) {
    try {
        auto key = registry.OpenKey(kProgramKey, false);
        if (!key)
            return;
        FirstRun = false;
        auto readBool = [&key](const char* name, bool& field) {
            if (key->ValueExists(name))
                field = key->ReadBool(name);
        };
        auto readShortCut = [&key](const char* name, std::uint16_t& field) {
            if (key->ValueExists(name))
                field = static_cast<std::uint16_t>(key->ReadInteger(name));
        };
        if (key->ValueExists("Value_Password"))
            PasswordHash = key->ReadString("Value_Password");
        readBool("Value_ShowHints", ShowHints);
        readBool("Value_BalanceWindowVisible", BalanceWindowVisible);
        readBool("Value_ActivateBLWindow", ActivateBLWindow);
        readBool("Value_BlinkTrayIcon", BlinkTrayIcon);
        readBool("Value_ShowBalloonTip", ShowBalloonTip);
        readBool("Value_AutoStart", AutoStart);
        readShortCut("Value_ShowBalanceWindowShortCut", ShowBalanceWindowShortCut);
        readShortCut("Value_ShowMainWindowShortCut", ShowMainWindowShortCut);
        if (key->ValueExists("HistoryDays"))
            HistoryDays = std::clamp(static_cast<int>(key->ReadInteger("HistoryDays")), 0, kMaxHistoryDays);
        if (key->ValueExists("UnlockWithKeyring"))
            UnlockWithKeyring = key->ReadInteger("UnlockWithKeyring") != 0;
    } catch (const ERegistryError&) {
        // The values read so far stay; the rest keep their defaults.
    }
}

void TProgramSettings::SaveSettings(TRegistry& registry) {
    try {
        auto key = registry.OpenKey(kProgramKey, true);
        key->WriteBool("Value_ShowHints", ShowHints);
        key->WriteBool("Value_AutoStart", AutoStart);
        key->WriteBool("Value_ActivateBLWindow", ActivateBLWindow);
        key->WriteBool("Value_BlinkTrayIcon", BlinkTrayIcon);
        key->WriteBool("Value_ShowBalloonTip", ShowBalloonTip);
        key->WriteBool("Value_BalanceWindowVisible", BalanceWindowVisible);
        key->WriteString("Value_Password", PasswordHash);
        key->WriteInteger("Value_ShowBalanceWindowShortCut", ShowBalanceWindowShortCut);
        key->WriteInteger("Value_ShowMainWindowShortCut", ShowMainWindowShortCut);
        key->WriteString("ExePath", ExePath);
        // The design's settings stay as they were: the history's and the keyring's settings are
        // written once they are used.
        if (HistoryDays != 0 || key->ValueExists("HistoryDays"))
            key->WriteInteger("HistoryDays", HistoryDays);
        if (UnlockWithKeyring || key->ValueExists("UnlockWithKeyring"))
            key->WriteInteger("UnlockWithKeyring", UnlockWithKeyring ? 1 : 0);
        key->Close();
    } catch (const ERegistryError&) {
        // Saving ends silently; the auto-start entry is applied all the same.
    }
    ApplyAutoStart();
}

void TProgramSettings::SetPassword(const std::string& password) {
    PasswordHash = Md5Hex(password);
}

void TProgramSettings::ApplyAutoStart() {
    TAutoStart::Create(AutoStartFile, ProgramFilePath)->Apply(AutoStart);
}
