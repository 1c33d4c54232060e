#include "app/ProgramSettings.h"
#include "base/Program.h"
#include "platform/AutoStart.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct SettingsFixture : ::testing::Test {
    TempDir dir;
    TRegistry store{dir.file("registry.db")};
    TProgramSettings settings = [this] {
        TProgramSettings s;
        s.AutoStartFile = dir.file("autostart/tallyglass.desktop");
        s.ProgramFilePath = "/opt/tally glass/bin/tallyglass";
        return s;
    }();
};

} // namespace

TEST_F(SettingsFixture, FreshUserGetsDefaultsAndTheFirstSaveWritesTenValues) {
    settings.LoadSettings(store);
    EXPECT_TRUE(settings.FirstRun);
    EXPECT_EQ(settings.ShowBalanceWindowShortCut, 0xC042);
    EXPECT_EQ(settings.ShowMainWindowShortCut, 0xC04D);
    EXPECT_TRUE(settings.ShowHints && settings.ActivateBLWindow && settings.BlinkTrayIcon && settings.ShowBalloonTip);
    EXPECT_FALSE(settings.AutoStart || settings.BalanceWindowVisible);

    settings.SetPassword("abc");
    EXPECT_EQ(settings.PasswordHash, "900150983cd24fb0d6963f7d28e17f72");
    settings.ExePath = "/opt/tallyglass/";
    settings.SaveSettings(store);
    auto key = store.OpenKey(kProgramKey, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(
        key->ValueNames(),
        (std::vector<std::string>{"Value_ShowHints", "Value_AutoStart", "Value_ActivateBLWindow", "Value_BlinkTrayIcon",
                                  "Value_ShowBalloonTip", "Value_BalanceWindowVisible", "Value_Password",
                                  "Value_ShowBalanceWindowShortCut", "Value_ShowMainWindowShortCut", "ExePath"}));
    EXPECT_EQ(key->ValueType("Value_ShowHints"), TRegValueType::DWord);
    EXPECT_EQ(key->ReadInteger("Value_ShowBalanceWindowShortCut"), 49218);
    key.reset();

    TProgramSettings loaded;
    loaded.LoadSettings(store);
    EXPECT_FALSE(loaded.FirstRun);
    EXPECT_EQ(loaded.PasswordHash, settings.PasswordHash);
}

TEST_F(SettingsFixture, AValueOfTheWrongTypeEndsTheLoading) {
    {
        auto key = store.OpenKey(kProgramKey, true);
        key->WriteString("Value_Password", "hash");
        key->WriteString("Value_ShowHints", "1"); // wrong type
        key->WriteInteger("Value_BalanceWindowVisible", 1);
        key->WriteInteger("Value_ShowMainWindowShortCut", 0x8041);
    }
    settings.LoadSettings(store);
    EXPECT_FALSE(settings.FirstRun);
    EXPECT_EQ(settings.PasswordHash, "hash");
    EXPECT_TRUE(settings.ShowHints);
    EXPECT_FALSE(settings.BalanceWindowVisible);
    EXPECT_EQ(settings.ShowMainWindowShortCut, 0xC04D);
}

TEST_F(SettingsFixture, AutoStartEntryFollowsTheSettingAndTheProgramsPlace) {
    const std::string file = settings.AutoStartFile;
    settings.AutoStart = true;
    settings.SaveSettings(store);
    ASSERT_TRUE(std::filesystem::exists(file)); // the folder was created
    EXPECT_NE(ReadFileBytes(file).find("Exec=\"/opt/tally glass/bin/tallyglass\"\n"), std::string::npos);
    settings.ProgramFilePath = "/home/u/moved/tallyglass";
    settings.SaveSettings(store);
    EXPECT_NE(ReadFileBytes(file).find("Exec=\"/home/u/moved/tallyglass\"\n"), std::string::npos);
    settings.AutoStart = false;
    settings.SaveSettings(store);
    EXPECT_FALSE(std::filesystem::exists(file));
    settings.SaveSettings(store); // nothing to remove: still fine
    // Characters that the Exec= line treats specially are escaped.
    EXPECT_EQ(DesktopExecQuote("/a$b/100%/c\"d"), "\"/a\\\\$b/100%%/c\\\\\"d\"");
}

// An installed program runs from <prefix>/lib/tallyglass/ and is started through a link in
// <prefix>/bin/: the entry names the link, which upgrades keep, but only a link that leads to the
// running program, and only for a program in lib/tallyglass/.
TEST_F(SettingsFixture, AutoStartNamesTheInstalledLinkThatLeadsToTheProgram) {
    namespace fs = std::filesystem;
    const fs::path prefix = dir.file("usr");
    fs::create_directories(prefix / "lib/tallyglass");
    fs::create_directories(prefix / "share/tallyglass");
    fs::create_directories(prefix / "bin");
    const std::string program = (prefix / "lib/tallyglass/tallyglass").string();
    const std::string other = (prefix / "share/tallyglass/tallyglass").string();
    const fs::path link = prefix / "bin/tallyglass";
    WriteFileBytes(program, "program");
    WriteFileBytes(other, "program");
    EXPECT_EQ(StableProgramPath(program), program); // no link yet

    fs::create_symlink("../lib/tallyglass/tallyglass", link);
    settings.ProgramFilePath = program;
    settings.AutoStart = true;
    settings.ApplyAutoStart();
    EXPECT_NE(ReadFileBytes(settings.AutoStartFile).find("\nExec=" + DesktopExecQuote(link.string()) + "\n"),
              std::string::npos);

    fs::remove(link);
    fs::create_symlink(other, link); // leads elsewhere; and `other` is not in lib/tallyglass/
    EXPECT_EQ(StableProgramPath(program), program);
    EXPECT_EQ(StableProgramPath(other), other);
}
