#include "app/ui/MainForm.h"
#include "TestConfig.h"
#include "app/Services.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "currency/CurrencyRatesList.h"
#include "currency/ui/CurrencyRatesModel.h"
#include "currency/ui/CurrencyRatesWindow.h"
#include "gui/GuiTestSupport.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "support/TestSupport.h"
#include "widgets/HotKeyEdit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

// Each test starts as a fresh user: no program key, its own data and configuration folders.
class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir.path() + "/data"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.path() + "/config"));
        TRegistry::Instance().DeleteKey(kProgramKey);
    }
    void TearDown() override {
        EXPECT_EQ(PendingDialogAnswers(), 0u) << "a queued dialog answer was not used";
        ClearDialogAnswers();
    }

    static void storePassword(const std::string& password) {
        auto key = TRegistry::Instance().OpenKey(kProgramKey, true);
        key->WriteString("Value_Password", Md5Hex(password));
    }

    // Starts a form as a returning user with the password "secret".
    static void startReturning(TfmMain& form) {
        storePassword("secret");
        AnswerInputBox("secret");
        ASSERT_TRUE(form.FormCreate());
    }

    std::string logPath() const { return m_dir.path() + "/data/TallyData/log.txt"; }

    TempDir m_dir;
};

} // namespace

TEST_F(MainFormTest, FirstStartChoosesAPasswordUntilOneIsGivenAndOpensOnBalanceAlerts) {
    std::vector<SeenDialog> seen;
    AnswerInputBox(std::nullopt, &seen); // Cancel brings the box back
    AnswerInputBox("  \t ", &seen);      // so do blanks only
    AnswerInputBox(" pass word ", &seen);
    AnswerMessageBox(QMessageBox::Ok, &seen);
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    ASSERT_EQ(seen.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[i].title, ProgramCaption());
        EXPECT_EQ(seen[i].group, QStringLiteral("Select password"));
        EXPECT_TRUE(seen[i].password);
    }
    EXPECT_EQ(seen[3].title, QStringLiteral("Message"));
    EXPECT_EQ(seen[3].group,
              QStringLiteral("Program start first time - you need to adjust your Balance Alerts and other settings."));
    EXPECT_EQ(seen[3].icon, QMessageBox::Information);
    // The password is kept exactly as typed, blanks included, and saved at once with every value.
    EXPECT_EQ(form.Settings.PasswordHash, Md5Hex(" pass word "));
    auto key = TRegistry::Instance().OpenKey(kProgramKey, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("Value_Password"), Md5Hex(" pass word "));
    for (const char* name :
         {"Value_ShowHints", "Value_AutoStart", "Value_ActivateBLWindow", "Value_BlinkTrayIcon", "Value_ShowBalloonTip",
          "Value_BalanceWindowVisible", "Value_ShowBalanceWindowShortCut", "Value_ShowMainWindowShortCut", "ExePath"})
        EXPECT_TRUE(key->ValueExists(name)) << name;
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.pcMain->currentWidget(), form.tsBalanceAlerts);
    // The log starts after the password and reaches "Program ready.".
    const auto lines = SplitOnCrLf(ReadFileBytes(logPath()));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines.front().ends_with(": Initializing...")) << lines.front();
    EXPECT_TRUE(lines.back().ends_with(": Program ready.")) << lines.back();
}

TEST_F(MainFormTest, ReturningUserGetsThreeAttemptsThenTheWarning) {
    storePassword(" secret ");
    std::vector<SeenDialog> seen;
    AnswerInputBox("secret", &seen); // the blanks belong to the password
    AnswerInputBox("wrong", &seen);
    AnswerInputBox("", &seen);
    AnswerMessageBox(QMessageBox::Ok, &seen);
    TfmMain form;
    EXPECT_FALSE(form.FormCreate());
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].group, QStringLiteral("Enter password"));
    EXPECT_EQ(seen[3].group, QStringLiteral("Wrong password! Program will be closed!"));
    EXPECT_EQ(seen[3].icon, QMessageBox::Warning);
    // The run ended before the log: the old log of an earlier run is not touched.
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(logPath())));
}

TEST_F(MainFormTest, CancelAtThePasswordEndsWithoutAMessageAndRightPasswordOnTheLastAttemptPasses) {
    {
        storePassword("secret");
        AnswerInputBox("no");
        AnswerInputBox(std::nullopt);
        TfmMain form;
        EXPECT_FALSE(form.FormCreate()); // no message box was queued: none may show
    }
    AnswerInputBox("no");
    AnswerInputBox("nope");
    AnswerInputBox("secret");
    TfmMain form;
    EXPECT_TRUE(form.FormCreate());
    EXPECT_FALSE(form.Settings.FirstRun);
    EXPECT_FALSE(form.isVisible()); // a returning user's start stays in the tray
    EXPECT_EQ(form.pcMain->currentWidget(), form.tsGeneral);
}

TEST_F(MainFormTest, StartsHiddenWithItsTabsAndVersionedCaption) {
    TfmMain form;
    startReturning(form);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), ProgramCaption());
    auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("pcMain"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("General"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Balance Alerts"));
    EXPECT_EQ(tabs->tabText(2), QStringLiteral("Currency Rates"));
    // A second FormCreate does not run the start-up again.
    EXPECT_TRUE(form.FormCreate());
    EXPECT_EQ(form.windowTitle(), ProgramCaption());
}

TEST_F(MainFormTest, GeneralTabOkSavesCancelRestoresAndExitKeepsUnconfirmedChanges) {
    {
        TfmMain form;
        startReturning(form);
        EXPECT_TRUE(form.cbShowHints->isChecked());
        EXPECT_FALSE(form.cbAutoStart->isChecked());
        EXPECT_EQ(form.hkShowBalWindow->text(), ShortCutToText(0xC042));
        EXPECT_EQ(form.cbShowHints->toolTip(), QStringLiteral("Show floating hints for program elements"));
        EXPECT_EQ(form.cbActivateBalanceWindow->text(), QStringLiteral("Activate \"Balance List\" window"));

        form.ShowSettingsWindow();
        form.cbShowHints->setChecked(false);
        form.cbBlinkTrayIcon->setChecked(false);
        EXPECT_FALSE(form.cbUnlockWithKeyring->isChecked());
        form.cbUnlockWithKeyring->setChecked(true);
        form.btnOK->click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.Settings.ShowHints);
        EXPECT_FALSE(form.cbShowHints->property("showHint").toBool());
        auto key = TRegistry::Instance().OpenKey(kProgramKey, false);
        EXPECT_FALSE(key->ReadBool("Value_ShowHints"));
        EXPECT_FALSE(key->ReadBool("Value_BlinkTrayIcon"));
        EXPECT_EQ(key->ReadInteger("UnlockWithKeyring"), 1);
        key.reset();

        form.ShowSettingsWindow();
        form.cbShowHints->setChecked(true);
        form.btnCancel->click();
        EXPECT_FALSE(form.cbShowHints->isChecked());
        EXPECT_FALSE(form.Settings.ShowHints);

        // Leaving the program with unconfirmed changes keeps them.
        form.cbActivateBalanceWindow->setChecked(false);
        form.hkShowMainWindow->SetHotKey(0x8000 | 'Q');
    }
    auto key = TRegistry::Instance().OpenKey(kProgramKey, false);
    EXPECT_FALSE(key->ReadBool("Value_ActivateBLWindow"));
    EXPECT_EQ(key->ReadInteger("Value_ShowMainWindowShortCut"), 0x8000 | 'Q');
    TProgramSettings loaded;
    loaded.LoadSettings(TRegistry::Instance());
    EXPECT_TRUE(loaded.UnlockWithKeyring);
}

TEST_F(MainFormTest, EnterPressesOkAndEscapeCancelAlsoFromAHotkeyField) {
    TfmMain form;
    startReturning(form);
    auto press = [](QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        target->setFocus();
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(target, &event);
    };
    form.ShowSettingsWindow();
    form.cbShowHints->setChecked(false);
    press(form.hkShowMainWindow, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.cbShowHints->isChecked());
    EXPECT_EQ(form.hkShowMainWindow->HotKey(), 0xC04D);

    // With a modifier Enter is a combination like any other; alone, the keypad's too, it presses OK.
    form.ShowSettingsWindow();
    form.cbBlinkTrayIcon->setChecked(false);
    press(form.hkShowBalWindow, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(form.isVisible());
    press(form.hkShowBalWindow, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.Settings.ShowBalanceWindowShortCut, 0x4000 | 0x0D);
    EXPECT_FALSE(TRegistry::Instance().OpenKey(kProgramKey, false)->ReadBool("Value_BlinkTrayIcon"));

    // Enter on a focused button presses that button; Escape from a check box is Cancel.
    form.ShowSettingsWindow();
    form.cbAutoStart->setChecked(true);
    press(form.btnCancel, Qt::Key_Return);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.cbAutoStart->isChecked());
    form.ShowSettingsWindow();
    form.cbAutoStart->setChecked(true);
    press(form.cbAutoStart, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Settings.AutoStart);
}

TEST_F(MainFormTest, GeneralTabControlsGetTheHeightTheyNeedAlsoTranslated) {
    for (const bool translated : {false, true}) {
        SCOPED_TRACE(translated ? "German" : "English");
        if (translated)
            WriteFileBytes(m_dir.file("interface.txt"),
                           ReadFileBytes(std::string(TALLYGLASS_SOURCE_DIR) + "/data/translations/interface.de.txt"));
        storePassword("secret");
        AnswerInputBox("secret");
        TfmMain form;
        form.Settings.ExePath = m_dir.path() + "/";
        ASSERT_TRUE(form.FormCreate());
        form.ShowSettingsWindow();
        EXPECT_GE(form.width(), 304 + 12);
        EXPECT_GE(form.height(), 340 + 12);
        const QTabBar* tabs = form.pcMain->tabBar();
        for (int i = 0; i < tabs->count(); ++i)
            EXPECT_TRUE(tabs->rect().contains(tabs->tabRect(i))) << i;
        for (QWidget* control : form.tsGeneral->findChildren<QWidget*>()) {
            if (control->objectName().isEmpty() || control->objectName().startsWith(QStringLiteral("qt_")))
                continue; // parts of the controls themselves (a spin box's line edit is Qt's own)
            EXPECT_GE(control->height(), control->sizeHint().height()) << control->objectName().toStdString();
            EXPECT_GE(control->width(), control->minimumSizeHint().width()) << control->objectName().toStdString();
            const QRect onForm(control->mapTo(&form, QPoint(0, 0)), control->size());
            EXPECT_TRUE(form.rect().contains(onForm)) << control->objectName().toStdString();
        }
    }
    LanguageCode() = "en";
}

TEST_F(MainFormTest, TerminationSignalDuringTheFirstRunMessageEndsTheStartInOrder) {
    TTerminationSignals watcher;
    ASSERT_TRUE(watcher.IsActive());
    TfmMain form;
    QObject::connect(&watcher, &TTerminationSignals::TerminationRequested, &form, &TfmMain::RequestTermination);
    AnswerInputBox("pw");
    int result = 1000;
    PushDialogAnswer([&result](QDialog& box) {
        // The signal arrives while the box waits for the user.
        QTimer::singleShot(0, [] { ::kill(::getpid(), SIGTERM); });
        QTimer::singleShot(20000, &box, [&box] { box.done(-1); }); // should it never end otherwise
        result = box.exec();
        return result;
    });
    EXPECT_FALSE(form.FormCreate());
    EXPECT_EQ(result, QDialog::Rejected);
    form.FormDestroy();
    // Start-up stopped at the box; the chosen password was kept, so the next start is no first start.
    const std::string log = ReadFileBytes(logPath());
    EXPECT_NE(log.find(": Initializing..."), std::string::npos) << log;
    EXPECT_EQ(log.find(": Program ready."), std::string::npos) << log;
    auto key = TRegistry::Instance().OpenKey(kProgramKey, false);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("Value_Password"), Md5Hex("pw"));
}

TEST_F(MainFormTest, TerminationSignalEndsTheRunningProgramAlsoWithTheSettingsWindowOpen) {
    TTerminationSignals watcher;
    ASSERT_TRUE(watcher.IsActive());
    TfmMain form;
    QObject::connect(&watcher, &TTerminationSignals::TerminationRequested, &form, &TfmMain::RequestTermination);
    startReturning(form);
    // The settings window refuses to close, other windows would not: in whatever order Qt would
    // ask them to close, the program ends. Each round adds a window, which changes that order.
    std::vector<std::unique_ptr<QWidget>> others;
    for (int round = 0; round < 6; ++round) {
        form.ShowSettingsWindow();
        others.push_back(std::make_unique<QWidget>());
        for (const auto& other : others)
            other->show();
        QTimer::singleShot(0, [] { ::kill(::getpid(), SIGTERM); });
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        timeout.start(3000); // should it never end otherwise
        EXPECT_EQ(QApplication::exec(), 0) << round;
    }
}

TEST_F(MainFormTest, AutoStartFollowsOkAndTheProgramsPath) {
    TfmMain form;
    startReturning(form);
    const std::string entry = m_dir.path() + "/config/autostart/tallyglass.desktop";
    form.cbAutoStart->setChecked(true);
    form.btnOK->click();
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(entry)));
    EXPECT_NE(ReadFileBytes(entry).find("Exec="), std::string::npos);
    form.cbAutoStart->setChecked(false);
    form.btnOK->click();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(entry)));
}

TEST_F(MainFormTest, CloseBoxOkAndCancelOnlyHide) {
    TfmMain form;
    startReturning(form);
    form.ShowSettingsWindow();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.SettingsWindowShown());
    EXPECT_FALSE(form.close());     // the close event is refused...
    EXPECT_FALSE(form.isVisible()); // ...and the window hidden
    EXPECT_FALSE(form.SettingsWindowShown());
    form.ShowSettingsWindow();
    form.btnCancel->click();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainFormTest, WakeUpShowsTheHiddenWindowOnce) {
    TempDir dir;
    TSingleInstance instance(QString::fromStdString(dir.path()));
    ASSERT_TRUE(instance.TryLock());
    TfmMain form(&instance);
    startReturning(form);
    EXPECT_FALSE(form.isVisible());
    emit instance.ShowRequested();
    EXPECT_TRUE(form.isVisible());
    emit instance.ShowRequested(); // already visible: stays as it is
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainFormTest, ViewLogKeepsAppendingToTheLogAndLinksCarryLanguageAndVersion) {
    std::vector<QUrl> opened;
    SetUrlOpener([&opened](const QUrl& url) { opened.push_back(url); });
    TfmMain form;
    startReturning(form);
    form.miViewLogClick();
    form.Log.WriteLog("after viewing");
    form.miHelpClick();
    form.miCheckNewVersionClick();
    SetUrlOpener([](const QUrl&) {});

    ASSERT_EQ(opened.size(), 3u);
    const std::string viewPath = m_dir.path() + "/data/TallyData/view_log.txt";
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString(viewPath)));
    EXPECT_TRUE(SplitOnCrLf(ReadFileBytes(viewPath)).back().ends_with(": Program ready."));
    EXPECT_TRUE(SplitOnCrLf(ReadFileBytes(logPath())).back().ends_with(": after viewing"));
    EXPECT_EQ(opened[1].toString(), QStringLiteral("https://tallyglass.example/?lang=en&page=faq.php"));
    EXPECT_EQ(opened[2].toString(),
              QStringLiteral("https://tallyglass.example/check_version.php?lang=en&version=1.0.0.41"));
}

TEST_F(MainFormTest, AboutIsModalOverTheSettingsWindowAndModelessWithoutIt) {
    TfmMain form;
    startReturning(form);
    form.AboutProgram1Click();
    QPointer<TfmAbout> about = form.AboutWindow();
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->lblVersion->text(), ProgramCaption());
    EXPECT_EQ(about->lblEmailLink->toolTip(), QStringLiteral("mailto:support@tallyglass.example"));
    about->btnOK->click(); // closing the modeless dialog destroys it
    ProcessEventsUntil([&] { return about.isNull(); }, 2000);
    EXPECT_TRUE(about.isNull());

    form.ShowSettingsWindow();
    bool shownModally = false;
    PushDialogAnswer([&shownModally](QDialog& dialog) {
        shownModally = dynamic_cast<TfmAbout*>(&dialog) != nullptr;
        return static_cast<int>(QDialog::Accepted);
    });
    form.AboutProgram1Click();
    EXPECT_TRUE(shownModally);
    EXPECT_EQ(form.AboutWindow(), nullptr);
}

TEST_F(MainFormTest, WindowPositionIsCentredFirstThenRestoredWithinTheScreenAndRecordedAtExit) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QPoint centred;
    {
        TfmMain form;
        startReturning(form);
        centred = QPoint((screen.width() - form.frameGeometry().width()) / 2,
                         (screen.height() - form.frameGeometry().height()) / 2);
        EXPECT_EQ(form.pos(), centred);
        form.move(120, 70);
    }
    auto state = [](const char* name) {
        return TRegistry::Instance().OpenKey(std::string(kProgramKey) + "\\State", false)->ReadInteger(name);
    };
    EXPECT_EQ(state("Left"), 120);
    EXPECT_EQ(state("Top"), 70);
    {
        AnswerInputBox("secret");
        TfmMain form;
        ASSERT_TRUE(form.FormCreate());
        EXPECT_EQ(form.pos(), QPoint(120, 70));
    }
    // A left edge off the screen, or a top edge of 0, is not taken.
    {
        auto key = TRegistry::Instance().OpenKey(std::string(kProgramKey) + "\\State", true);
        key->WriteInteger("Left", screen.width());
        key->WriteInteger("Top", 0);
        key->WriteInteger("Unknown", 7); // values of others are kept
    }
    {
        AnswerInputBox("secret");
        TfmMain form;
        const QPoint before = form.pos();
        ASSERT_TRUE(form.FormCreate());
        EXPECT_EQ(form.pos(), before);
    }
    EXPECT_EQ(state("Unknown"), 7);
    // A place that would leave only a few pixels of a window on the screen counts as off screen.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    {
        auto key = TRegistry::Instance().OpenKey(std::string(kProgramKey) + "\\State", true);
        key->WriteInteger("Left", area.right() - 5);
        key->WriteInteger("Top", 40);
        key->WriteInteger(kStateListLeft, 30);
        key->WriteInteger(kStateListTop, area.bottom() - 3);
    }
    {
        AnswerInputBox("secret");
        TfmMain form;
        const QPoint before = form.pos();
        ASSERT_TRUE(form.FormCreate());
        EXPECT_EQ(form.pos(), before);
        EXPECT_NE(form.BalanceListWindow()->pos(), QPoint(30, area.bottom() - 3));
    }
}

// The desktop may go away without a signal, ending the program inside Qt with no shutdown: a
// window's new place is in the store soon after the user moved it, while the program runs on.
TEST_F(MainFormTest, AMovedWindowsPlaceIsStoredSoonAfterwardsWithoutWaitingForTheEnd) {
    TfmMain form;
    startReturning(form);
    form.ShowSettingsWindow();
    form.SetBalanceListVisible(true);
    TfmBalanceList& list = *form.BalanceListWindow();
    ASSERT_TRUE(list.isVisible());
    form.move(130, 80);
    list.move(40, 50);
    list.resize(260, 170);
    list.lvList->setColumnWidth(0, 90);
    auto state = [](const char* name) {
        const auto key = TRegistry::Instance().OpenKey(std::string(kProgramKey) + "\\State", false);
        return key && key->ValueExists(name) ? key->ReadInteger(name) : -1;
    };
    EXPECT_TRUE(ProcessEventsUntil([&] {
        return state(kStateLeft) == 130 && state(kStateTop) == 80 && state(kStateListLeft) == 40 &&
               state(kStateListTop) == 50 && state(kStateListWidth) == 260 && state(kStateListColumnWidths[0]) == 90;
    })) << state(kStateLeft)
        << " " << state(kStateListLeft) << " " << state(kStateListColumnWidths[0]);
}

TEST_F(MainFormTest, StartUpLogsTheAlertFolderAndTheScriptEngineProbe) {
    TfmMain form;
    startReturning(form);
    EXPECT_TRUE(form.ScriptEngineReady());
    EXPECT_TRUE(form.pcMain->isTabVisible(2));
    const std::string log = ReadFileBytes(logPath());
    // No BalanceAlerts folder beside the test program: nothing loaded, and the log says so.
    EXPECT_NE(log.find(": Loading balance alerts from '" + form.Settings.ExePath + "BalanceAlerts/'...\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(": Loaded 0 balance alerts from 0 lists.\r\n"), std::string::npos) << log;
    // The user has no folder of definitions of their own: it is skipped without a word.
    EXPECT_EQ(log.find("Loading balance alerts"), log.rfind("Loading balance alerts")) << log;
    EXPECT_EQ(log.find("JScript"), std::string::npos);
}

TEST_F(MainFormTest, ProviderScriptsBesideTheProgramBecomeCurrencyLists) {
    std::filesystem::create_directories(m_dir.file("CurrencyRates"));
    WriteFileBytes(m_dir.file("CurrencyRates/ecb.js"), ReadFileBytes(BinPath("CurrencyRates/ecb.js")));
    storePassword("secret");
    AnswerInputBox("secret");
    TfmMain form;
    form.Settings.ExePath = m_dir.path() + "/";
    ASSERT_TRUE(form.FormCreate());
    ASSERT_EQ(form.CurrencyLists().size(), 1u);
    EXPECT_EQ(form.CurrencyLists().front()->CountryCode, "global");
}

// The windows of the switched-on rate lists come up at start-up as they were left, each with its
// tray item, and at exit they keep their placement.
TEST_F(MainFormTest, StartUpOpensTheWindowsOfActiveRateListsAndExitKeepsTheirPlace) {
    {
        TCurrencyList list;
        list.ScriptFileName = "ecb.js"; // the provider the build ships beside the program
        list.RegisterColumn("currency", "Currency", false);
        list.RegisterColumn("rate", "EUR 1 =", true);
        TCurrencyObject& usd = list.FindOrAddCurrency("USD");
        usd.CurrencyName = "US dollar";
        usd.SetBothTexts("currency", "USD");
        usd.SetBothTexts("rate", "1.0939");
        list.Active = true;
        list.LastCheckedTime = Now(); // not due: no download
        list.SaveToRegistry(list.ListKey(), false);
        TCurrencyWindowPlacement placement;
        placement.Left = 30;
        placement.Top = 40;
        placement.WindowVisible = false;
        placement.Save(TRegistry::Instance(), TCurrencyWindowPlacement::KeyOf(list));
    }
    TfmMain form;
    startReturning(form);
    ASSERT_TRUE(form.ScriptEngineReady());
    ASSERT_EQ(form.CurrencyWindows().CurrencyWindowCount(), 1);
    const auto& lists = form.CurrencyLists();
    const auto ecb = std::find_if(lists.begin(), lists.end(), [](const auto& list) { return list->Active; });
    ASSERT_NE(ecb, lists.end());
    TfmCurrencyRatesList* window = form.CurrencyWindows().CurrencyWindow(**ecb);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(30, 40));
    EXPECT_EQ(window->Model().rowCount(), 1);
    QAction* item = form.CurrencyWindows().CurrencyWindowItem(**ecb);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), QStringLiteral("ECB euro reference rates"));
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(form.miEmpty->isVisible());
    item->trigger();
    EXPECT_TRUE(window->isVisible());
    window->move(50, 60);

    const std::string placementKey = TCurrencyWindowPlacement::KeyOf(**ecb); // the lists go at exit
    form.FormDestroy();
    EXPECT_EQ(form.CurrencyWindows().CurrencyWindowCount(), 0);
    TCurrencyWindowPlacement kept;
    kept.Load(TRegistry::Instance(), placementKey);
    EXPECT_EQ(kept.Left, 50);
    EXPECT_EQ(kept.Top, 60);
    EXPECT_EQ(kept.WindowVisible, true);
}
