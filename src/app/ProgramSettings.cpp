#include "app/ProgramSettings.h"

#include "base/Encoders.h"
#include "base/Program.h"
#include "platform/AutoStart.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/SpecialFolders.h"

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

void TProgramSettings::LoadSettings(Registry& registry) {
    try {
        auto key = registry.openKey(kProgramKey, false);
        if (!key)
            return;
        FirstRun = false;
        auto readBool = [&key](const char* name, bool& field) {
            if (key->valueExists(name))
                field = key->readBool(name);
        };
        auto readShortCut = [&key](const char* name, std::uint16_t& field) {
            if (key->valueExists(name))
                field = static_cast<std::uint16_t>(key->readInteger(name));
        };
        if (key->valueExists("Value_Password"))
            PasswordHash = key->readString("Value_Password");
        readBool("Value_ShowHints", ShowHints);
        readBool("Value_BalanceWindowVisible", BalanceWindowVisible);
        readBool("Value_ActivateBLWindow", ActivateBLWindow);
        readBool("Value_BlinkTrayIcon", BlinkTrayIcon);
        readBool("Value_ShowBalloonTip", ShowBalloonTip);
        readBool("Value_AutoStart", AutoStart);
        readShortCut("Value_ShowBalanceWindowShortCut", ShowBalanceWindowShortCut);
        readShortCut("Value_ShowMainWindowShortCut", ShowMainWindowShortCut);
    } catch (const RegistryError&) {
        // The values read so far stay; the rest keep their defaults.
    }
}

void TProgramSettings::SaveSettings(Registry& registry) {
    try {
        auto key = registry.openKey(kProgramKey, true);
        key->writeBool("Value_ShowHints", ShowHints);
        key->writeBool("Value_AutoStart", AutoStart);
        key->writeBool("Value_ActivateBLWindow", ActivateBLWindow);
        key->writeBool("Value_BlinkTrayIcon", BlinkTrayIcon);
        key->writeBool("Value_ShowBalloonTip", ShowBalloonTip);
        key->writeBool("Value_BalanceWindowVisible", BalanceWindowVisible);
        key->writeString("Value_Password", PasswordHash);
        key->writeInteger("Value_ShowBalanceWindowShortCut", ShowBalanceWindowShortCut);
        key->writeInteger("Value_ShowMainWindowShortCut", ShowMainWindowShortCut);
        key->writeString("ExePath", ExePath);
        key->close();
    } catch (const RegistryError&) {
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
