#include "app/ui/MainForm.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "gui/SelfRun.h"
#include "platform/Registry.h"
#include "support/TestBus.h"
#include "translate/Messages.h"
#include "widgets/Dialogs.h"

#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

// The whole flow against a real gnome-keyring-daemon: the password typed with the option on goes
// into the keyring, the next start needs no prompt, and turning the option off with OK removes it.
TEST(KeyringUnlock, TheTypedPasswordUnlocksTheNextStartUntilTheOptionIsTurnedOff) {
    const char* testName = "KeyringUnlock.TheTypedPasswordUnlocksTheNextStartUntilTheOptionIsTurnedOff";
    if (!qEnvironmentVariableIsSet(kTestBusVariable)) {
        TTestBus bus;
        const std::string error = bus.Start(true);
        if (error.find("not installed") != std::string::npos)
            GTEST_SKIP() << error;
        ASSERT_EQ(error, "");
        QProcessEnvironment env = bus.Environment();
        env.insert(QString::fromLatin1(kTestBusVariable), bus.Address());
        return RunTestAgain(testName, env);
    }
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    TRegistry::Instance().DeleteKey(kProgramKey);
    auto turnOn = [] {
        auto key = TRegistry::Instance().OpenKey(kProgramKey, true);
        key->WriteString("Value_Password", Md5Hex("secret"));
        key->WriteInteger("UnlockWithKeyring", 1);
    };
    const std::string log = dir.path() + "/data/TallyData/log.txt";
    turnOn();
    {
        // The keyring holds nothing yet: the prompt comes, and what passes it is stored.
        TfmMain form;
        AnswerInputBox("secret");
        ASSERT_TRUE(form.FormCreate());
        EXPECT_EQ(PendingDialogAnswers(), 0u);
    }
    {
        // No answer is queued: a prompt would be rejected and end the start.
        TfmMain form;
        ASSERT_TRUE(form.FormCreate());
        EXPECT_NE(ReadFileBytes(log).find(LoadStr(2200)), std::string::npos);
        EXPECT_TRUE(form.cbUnlockWithKeyring->isChecked());
        form.ShowSettingsWindow();
        form.cbUnlockWithKeyring->setChecked(false);
        form.btnOK->click();
    }
    EXPECT_EQ(TRegistry::Instance().OpenKey(kProgramKey, false)->ReadInteger("UnlockWithKeyring"), 0);
    // Back on, the keyring no longer has it: the prompt is there again.
    turnOn();
    {
        TfmMain form;
        AnswerInputBox("secret");
        ASSERT_TRUE(form.FormCreate());
        EXPECT_EQ(PendingDialogAnswers(), 0u);
        EXPECT_NE(ReadFileBytes(log).find(LoadStr(2201)), std::string::npos);
    }
    // Ticked in the settings window and confirmed with OK, the option asks for the password once more
    // and keeps it: the next start already needs no prompt.
    TRegistry::Instance().OpenKey(kProgramKey, true)->WriteInteger("UnlockWithKeyring", 0);
    TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("other"));
    {
        TfmMain form;
        AnswerInputBox("other");
        ASSERT_TRUE(form.FormCreate());
        form.ShowSettingsWindow();
        form.cbUnlockWithKeyring->setChecked(true);
        AnswerInputBox("other");
        form.btnOK->click();
        EXPECT_EQ(PendingDialogAnswers(), 0u);
    }
    {
        // No answer is queued: the keyring's old password no longer matches, so only the one kept at
        // OK lets this start through without a prompt.
        TfmMain form;
        ASSERT_TRUE(form.FormCreate());
        EXPECT_NE(ReadFileBytes(log).find(LoadStr(2200)), std::string::npos);
    }
    ClearDialogAnswers();
}
