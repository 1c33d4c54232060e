#include "alerts/AlertItem.h"
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "platform/Registry.h"
#include "platform/ui/TrayIcon.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(m_dir.path() + "/data"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.path() + "/config"));
        TRegistry::Instance().DeleteKey(kProgramKey);
        TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("secret"));
    }
    void TearDown() override { ClearDialogAnswers(); }

    std::string logPath() const { return m_dir.path() + "/data/TallyData/log.txt"; }
    std::size_t logCount(const std::string& text) const {
        const std::string log = ReadFileBytes(logPath());
        std::size_t count = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    }
    static bool savedVisible() {
        return TRegistry::Instance().OpenKey(kProgramKey, false)->ReadBool("Value_BalanceWindowVisible");
    }
    // The menu opened and closed again, as a right click on the icon does.
    static void openMenu(QMenu& menu) {
        menu.popup(QPoint(10, 10));
        QApplication::processEvents();
        menu.hide();
    }

    TempDir m_dir;
};

} // namespace

TEST_F(TrayTest, MenuItemsTheirStatesTheIconAndTheBalanceListWindowFollowTheUser) {
    {
        AnswerInputBox("secret");
        TfmMain form;
        ASSERT_TRUE(form.FormCreate());
        QWidget& balanceList = *form.BalanceListWindow();

        // Every item in its place, separators marked for the translator to pass over.
        QStringList items;
        for (QAction* action : form.trayMenu->actions())
            items << (action->isSeparator() ? QStringLiteral("-")
                                            : action->objectName() + QLatin1Char('=') + action->text());
        EXPECT_EQ(items.join(QLatin1Char('|')).toStdString(),
                  "miRestore=Restore|-|Settings1=General Settings|BalanceAlerts1=Balance Alerts Settings|"
                  "miCurrrencyRates=Currency Rates Settings|-|miViewLog=View Log File|miHelp=Help && Support|"
                  "AboutProgram1=About Program|miCheckNewVersion=Check for Program Updates|-|"
                  "miBalanceListWindow=Balance List Window|miCurrencyRatesWindows=Currency Rates Windows|-|"
                  "Close1=Exit Program");
        for (QAction* action : form.trayMenu->actions()) {
            if (action->isSeparator()) {
                EXPECT_EQ(action->property("tag").toInt(), -100);
            } else if (action != form.miBalanceListWindow) {
                EXPECT_FALSE(action->icon().isNull()) << action->objectName().toStdString();
            }
        }
        ASSERT_NE(form.miCurrencyRatesWindows->menu(), nullptr);
        ASSERT_EQ(form.miCurrencyRatesWindows->menu()->actions().size(), 1);
        EXPECT_EQ(form.miCurrencyRatesWindows->menu()->actions().front(), form.miEmpty);
        EXPECT_EQ(form.miEmpty->text(), QStringLiteral("(empty)"));
        EXPECT_FALSE(form.miEmpty->isEnabled());
        EXPECT_TRUE(form.miCurrrencyRates->isVisible()); // the script engine works here

        // The icon is up with the caption as its tip, and the log says so.
        EXPECT_TRUE(form.TrayIconAdded());
        EXPECT_EQ(form.TrayIcon()->ToolTip(), ProgramCaption());
        EXPECT_EQ(form.TrayIcon()->Icon(), TTrayIconKind::Normal);
        EXPECT_EQ(logCount(": Adding icon to tray...\r\n"), 1u);
        EXPECT_EQ(logCount(": Tray icon added.\r\n"), 1u);
        EXPECT_FALSE(TrayIconImage(TTrayIconKind::Growth).pixmap(16, 16).isNull());

        // "View Log File" follows the log file each time the menu opens.
        openMenu(*form.trayMenu);
        EXPECT_TRUE(form.miViewLog->isEnabled());
        std::remove(logPath().c_str());
        openMenu(*form.trayMenu);
        EXPECT_FALSE(form.miViewLog->isEnabled());
        form.Log.OpenLog(logPath());

        // A tray host that came back gets the icon again, with the same look and tip (the log
        // above was started anew).
        form.TrayHostAppeared();
        EXPECT_TRUE(form.TrayIconAdded());
        EXPECT_EQ(logCount(": Adding icon to tray...\r\n"), 1u);
        EXPECT_EQ(logCount(": Tray icon added.\r\n"), 1u);
        EXPECT_EQ(form.TrayIcon()->ToolTip(), ProgramCaption());

        // Activating the icon shows the window, also when it is already shown; the menu item toggles.
        EXPECT_FALSE(form.miBalanceListWindow->isChecked());
        EXPECT_FALSE(balanceList.isVisible());
        for (int i = 0; i < 2; ++i) {
            emit form.TrayIcon()->Activated();
            EXPECT_TRUE(balanceList.isVisible());
            EXPECT_TRUE(form.miBalanceListWindow->isChecked());
            EXPECT_TRUE(savedVisible());
        }
        form.miBalanceListWindow->trigger();
        EXPECT_FALSE(balanceList.isVisible());
        EXPECT_FALSE(form.miBalanceListWindow->isChecked());
        EXPECT_FALSE(savedVisible());
        form.miBalanceListWindowClick();
        EXPECT_TRUE(balanceList.isVisible());
        EXPECT_TRUE(savedVisible());
        // The user closes the window itself.
        balanceList.hide();
        form.BalanceListClosed();
        EXPECT_FALSE(form.miBalanceListWindow->isChecked());
        EXPECT_FALSE(savedVisible());

        // A change brings the window up, blinks and is logged; the tray items open the tabs.
        TAlertItem alert;
        alert.Name = "Bank";
        alert.SetBalances({10000, 12000});
        form.NotifyBalanceChanged(alert);
        EXPECT_TRUE(balanceList.isVisible());
        EXPECT_TRUE(form.miBalanceListWindow->isChecked());
        EXPECT_TRUE(form.Settings.BalanceWindowVisible);
        EXPECT_TRUE(form.Notifier()->Blinking());
        EXPECT_EQ(logCount(": Balance for 'Bank' changed.\r\n"), 1u);
        form.BalanceAlerts1->trigger();
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.pcMain->currentWidget(), form.tsBalanceAlerts);
        form.Settings1->trigger();
        EXPECT_EQ(form.pcMain->currentWidget(), form.tsGeneral);

        // "Exit Program" ends the event loop; the form's end takes the icon away and keeps the
        // window's state for the next start.
        QTimer::singleShot(0, form.Close1, &QAction::trigger);
        QTimer::singleShot(20000, [] { QCoreApplication::exit(1); }); // should it never end otherwise
        EXPECT_EQ(QApplication::exec(), 0);
        // The settings window went at once, before the shutdown that may wait for running checks.
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.SettingsWindowShown());
        form.FormDestroy(); // as the form's end does
        EXPECT_FALSE(form.TrayIconAdded());
        // A blink still running puts nothing up again.
        ASSERT_TRUE(form.Notifier()->Blinking());
        form.Notifier()->tmBlinkBalanceChangedTimer();
        EXPECT_FALSE(form.TrayIconAdded());
        EXPECT_FALSE(form.TrayIcon()->IsShown());
    }
    EXPECT_TRUE(savedVisible());
    EXPECT_EQ(logCount(": Removing tray icon...\r\n"), 1u);
    EXPECT_EQ(logCount(": Tray icon removed.\r\n"), 1u);

    // The next start shows the window and checks the item at once.
    AnswerInputBox("secret");
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    EXPECT_TRUE(form.miBalanceListWindow->isChecked());
    EXPECT_TRUE(form.BalanceListWindow()->isVisible());
}
