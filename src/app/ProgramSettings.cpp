#include "app/ProgramSettings.h"

#include "alerts/Encoders.h"
#include "app/Program.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/SpecialFolders.h"

#include <QCoreApplication>

#include <cstdio>
#include <filesystem>
#include <fstream>

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

std::string DesktopExecQuote(const std::string& path) {
    // Inside double quotes the characters " ` $ \ are escaped with a backslash; '%' is a field
    // code everywhere in Exec= and is doubled.
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += '"';
    // The desktop-entry file format itself escapes backslashes once more.
    std::string escaped;
    for (const char c : quoted) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

void TProgramSettings::ApplyAutoStart() {
    namespace fs = std::filesystem;
    const std::string file = AutoStartFile.empty() ? ConfigFolder() + "autostart/tallyglass.desktop" : AutoStartFile;
    std::error_code error;
    if (!AutoStart) {
        fs::remove(file, error);
        return;
    }
    std::string program = ProgramFilePath;
    if (program.empty() && QCoreApplication::instance() != nullptr)
        program = QCoreApplication::applicationFilePath().toStdString();
    if (program.empty())
        return;
    // An installed program is started through its link in bin/, which outlives upgrades.
    program = StableProgramPath(program);
    fs::create_directories(fs::path(file).parent_path(), error);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "[Desktop Entry]\nType=Application\nName=Tallyglass\nExec=" << DesktopExecQuote(program)
        << "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
}
