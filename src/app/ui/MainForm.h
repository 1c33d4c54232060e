#pragma once

#include "alerts/AlertItems.h"
#include "alerts/AlertSettings.h"
#include "alerts/StateSaver.h"
#include "alerts/ui/BalanceAlertsTab.h"
#include "app/ProgramSettings.h"
#include "app/TrayNotifier.h"
#include "app/ui/About.h"
#include "balancelist/BalanceList.h"
#include "base/LogFile.h"
#include "currency/CurrencyScripts.h"
#include "currency/CurrencySettings.h"
#include "currency/CurrencyThreads.h"
#include "currency/ui/CurrencyRatesTab.h"
#include "currency/ui/CurrencyWindows.h"
#include "desktop/DesktopService.h"
#include "keyring/KeyringUnlock.h"
#include "translate/InterfaceTranslator.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidgetItem;
class TSingleInstance;
class THintController;
class TGlobalHotKeys;
class THotKey;
class TTrayIcon;
class TPlaceSaver;
class TfmBalanceList;

// The settings window, created hidden, and the owner of everything that lives as long as the
// program runs. FormCreate runs the start-up sequence, FormDestroy the shutdown sequence.
class TfmMain : public QWidget, public IBalanceListOwner, private ITrayNotifierHost, private IDesktopActions {
    Q_OBJECT

public:
    // `instance` is the single-instance guard of this process (it must outlive the form), or null.
    explicit TfmMain(TSingleInstance* instance = nullptr, QWidget* parent = nullptr);
    ~TfmMain() override;

    // Start-up; false when the program is to end at once.
    bool FormCreate();
    // Shutdown; runs once, from the destructor at the latest.
    void FormDestroy();

    void ShowSettingsWindow();
    void HideSettingsWindow();
    bool SettingsWindowShown() const { return m_settingsShown; }

    // A second start asked for the window: show it unless it is already visible, then bring it forward.
    void ShowInstance();

    // The General tab shows the record / the record takes the General tab. Neither saves.
    void SettingsToControls();
    void ControlsToSettings();
    void btnOKClick();
    void btnCancelClick();

    // Tray menu services.
    void miViewLogClick();
    void miHelpClick();
    void miCheckNewVersionClick();
    void AboutProgram1Click();
    TfmAbout* AboutWindow() const { return m_about; }

    // Tray icon, tray menu and notifications (MainFormTray.cpp).
    void AddTrayIcon();
    void RemoveTrayIcon();
    // Adds the icon if need be, then shows `icon`, and `tip` unless it is empty.
    void SetTrayIcon(TTrayIconKind icon, const QString& tip);
    bool TrayIconAdded() const { return m_trayIconAdded; }
    bool BalloonCapable() const;
    TTrayIcon* TrayIcon() const { return m_trayIcon.get(); }
    TTrayNotifier* Notifier() const { return m_notifier.get(); }
    void ShowBalloon(const std::string& title, const std::string& text, int timeoutMs);
    void StartBlink(bool grew);
    // A check changed the alert's balance / brought none. Ignored while the form is destroyed.
    void NotifyBalanceChanged(TAlertItem& alert) override;
    void NotifyBalanceUnavailable(TAlertItem& alert) override;
    void NotifyLimits(TAlertItem& alert, const TLimitVerdict& verdict, const std::string& reason) override;
    // The Balance List window, which the form shows and hides (not owned).
    void SetBalanceListWindow(QWidget* window);
    void SetBalanceListVisible(bool visible);
    // Toggles "Balance List Window" and the window with it, and saves the choice.
    void miBalanceListWindowClick();
    // The user closed the Balance List window.
    void BalanceListClosed() override;
    void trayMenuPopup();
    void miRestoreClick();
    void Settings1Click();
    void BalanceAlerts1Click();
    void miCurrrencyRatesClick();
    void Close1Click();
    // The user activated the tray icon (a double click, or the tray host's activation): the Balance
    // List window comes up.
    void TrayIconActivated();
    // A tray host (re)appeared and dropped what it showed: the icon goes up again.
    void TrayHostAppeared();

    // Global hotkeys (MainFormHotKeys.cpp).
    enum THotKeyId { hkBalanceWindow = 1, hkMainWindow = 2 };
    void RegisterHotKeys();
    void UnregisterHotKeys();
    bool HotKeyRegistered(THotKeyId id) const;
    void HotKeyPressed(int id);
    // OK with one combination in both hotkey fields: says so and keeps the window open on the
    // General tab. True when it refused.
    bool RefuseDuplicateHotKeys();

    // The Balance List window, from start-up to shutdown.
    TfmBalanceList* BalanceListWindow() const { return m_fmBalanceList.get(); }
    // Every active alert of every list gets a row in the Balance List window, every inactive one
    // loses its row.
    void SyncBalanceList();
    // The user switched the alert off in the Balance List window: it is inactive from now on, and
    // its node in the alerts tree loses its check mark.
    void DeactivateAlert(TAlertItem& alert) override;

    // The Balance Alerts tab (alerts/ui/BalanceAlertsTab.h) and its handlers.
    // Fills the list chooser with every alert list and shows the first.
    void FillAlertGroups();
    void cbAlertsListsChange() { tsBalanceAlerts->cbAlertsListsChange(); }
    void btnConfigureAlertClick() { tsBalanceAlerts->btnConfigureAlertClick(); }
    void btnAddCustomAlertClick() { tsBalanceAlerts->btnAddCustomAlertClick(); }
    void pmConfigureAlertPopup(const QPoint& viewportPos) { tsBalanceAlerts->pmConfigureAlertPopup(viewportPos); }
    // The alert's rows in the Balance List window show its name.
    void RenameBalanceListRow(TAlertItem& alert);
    // "Add account from a page...": the wizard writes a definition into the user's folder; its list
    // is loaded and shown, and its alert ticked (it reaches the Balance List with OK, as any tick).
    void AddAccountFromPage();
    // Warns about the first active alert that lacks its login or password; true when the user
    // chose to go back to the alerts.
    bool CheckIncompleteAlerts();
    QTreeWidgetItem* SelectedAlertNode() const { return tsBalanceAlerts->SelectedAlertNode(); }
    TAlertSettings& AlertSettings() { return m_alertSettings; }

    // The program was asked to end (a termination signal): open password prompts give up.
    void RequestTermination();

    const std::vector<std::shared_ptr<TAlertItems>>& AlertLists() const { return m_alertLists; }
    // The currency-rate lists of the provider scripts beside the program, and their running builds.
    TCurrencyLists& CurrencyLists() { return m_currencyLists; }
    TCurrencyThreads& CurrencyThreads() { return m_currencyThreads; }
    TProgramSettings Settings;
    // Shared with the workers that write to it, which may end after the form.
    const std::shared_ptr<TLogFile> SharedLog = std::make_shared<TLogFile>();
    TLogFile& Log = *SharedLog;
    // Window geometry kept between runs.
    TStateSaver StateSaver;
    TInterfaceTranslator Translator;
    // Whether the script engine passed its start-up probe (the currency features need it).
    bool ScriptEngineReady() const { return m_scriptEngineReady; }

    // Currency rates windows, one per switched-on list, each with its item in the tray's
    // "Currency Rates Windows" submenu (currency/ui/CurrencyWindows.h).
    TCurrencyWindows& CurrencyWindows() { return *m_currencyWindows; }

    // The Currency Rates tab (currency/ui/CurrencyRatesTab.h) and its handlers.
    void cbCurrencyProvidersChange() { tsCurrencyRates->cbCurrencyProvidersChange(); }
    void pmConfigureCurrencyListPopup(const QPoint& viewportPos) {
        tsCurrencyRates->pmConfigureCurrencyListPopup(viewportPos);
    }
    void btnConfigureCurrencyListClick() { tsCurrencyRates->btnConfigureCurrencyListClick(); }
    // OK: false when the user chose to go back to the tab. Cancel: the ticks are undone.
    bool ApplyCurrencySettings();
    void RevertCurrencySettings() { tsCurrencyRates->RevertCurrencySettings(); }
    TCurrencySettings& CurrencySettings() { return m_currencySettings; }

    QTabWidget* pcMain = nullptr;
    QWidget* tsGeneral = nullptr;
    TBalanceAlertsTab* tsBalanceAlerts = nullptr;
    TCurrencyRatesTab* tsCurrencyRates = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    QGroupBox* gbGeneral = nullptr;
    QCheckBox* cbShowHints = nullptr;
    QCheckBox* cbAutoStart = nullptr;
    QGroupBox* gbBalanceChanged = nullptr;
    QCheckBox* cbActivateBalanceWindow = nullptr;
    QCheckBox* cbBlinkTrayIcon = nullptr;
    QCheckBox* cbShowBalloonTip = nullptr;
    QGroupBox* gbHotkeys = nullptr;
    QLabel* lblShowBalWindow = nullptr;
    THotKey* hkShowBalWindow = nullptr;
    QLabel* lblShowMainWindow = nullptr;
    THotKey* hkShowMainWindow = nullptr;
    QLabel* lblHistoryDays = nullptr;
    QSpinBox* edHistoryDays = nullptr;
    QCheckBox* cbUnlockWithKeyring = nullptr;

    QMenu* trayMenu = nullptr;
    QAction* miRestore = nullptr;
    QAction* Settings1 = nullptr;
    QAction* BalanceAlerts1 = nullptr;
    QAction* miCurrrencyRates = nullptr;
    QAction* miViewLog = nullptr;
    QAction* miHelp = nullptr;
    QAction* AboutProgram1 = nullptr;
    QAction* miCheckNewVersion = nullptr;
    QAction* miBalanceListWindow = nullptr;
    QAction* miCurrencyRatesWindows = nullptr;
    QAction* miEmpty = nullptr;
    QAction* Close1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateGeneralTab();
    void CreateTrayMenu();
    // Chooses the icons and learns what the desktop can show.
    void DetectShellCapabilities();
    void ShowTrayIconKind(TTrayIconKind icon) override;
    void ShowBalloonMessage(const std::string& title, const std::string& text, int timeoutMs) override;
    void ShowCriticalMessage(const std::string& title, const std::string& text) override;
    bool BalanceListShown() const override;
    void BringUpBalanceList() override;
    // Asks for the program password (choosing one on the first start); false when the program is
    // to end.
    bool CheckProgramPassword();
    // What the session bus asks for (desktop/DesktopService.h).
    void ShowBalanceList() override { BringUpBalanceList(); }
    void ShowSettings() override { Settings1Click(); }
    void CheckNow(TAlertItem& alert) override;
    // The program password in the desktop's keyring (MainFormKeyring.cpp), used while the user has
    // the option on. True when the keyring held the program password: the start needs no prompt.
    bool UnlockFromKeyring();
    // A password that passed the prompt goes into the keyring (unless it came from there).
    void KeepPasswordInKeyring(const std::string& password);
    // The option was turned off: the keyring forgets the password.
    void ForgetKeyringPassword();
    // The option was turned on: the password is asked for once more and kept, so that the next
    // start already needs no prompt.
    void AskPasswordForKeyring();
    TKeyringPassword& Keyring();
    // Keyring answers that come before the log is open wait for it.
    void WriteKeyringNote(const TKeyringNote& note);
    void FlushKeyringNotes();
    void LoadAlertLists(const TTranslateFn& translate);
    void StartLog();
    void SaveSettings();
    void PrepareTranslator();
    void RestoreWindowState();
    void StoreWindowState();

    TSingleInstance* m_instance;
    bool m_settingsShown = false;
    bool m_created = false;
    bool m_destroyed = false;
    bool m_terminationRequested = false;
    bool m_passwordAccepted = false;
    bool m_scriptEngineReady = false;
    std::unique_ptr<THintController> m_hints;
    QPointer<TfmAbout> m_about;
    std::vector<std::shared_ptr<TAlertItems>> m_alertLists;
    TAlertSettings m_alertSettings{m_alertLists};
    bool m_firstRunListShown = false;
    TCurrencyLists m_currencyLists;
    TCurrencyThreads m_currencyThreads;
    TCurrencySettings m_currencySettings{m_currencyLists};
    std::unique_ptr<TCurrencyWindows> m_currencyWindows;
    // Records every finished check and rates update; outlives the windows that record into it.
    std::shared_ptr<THistory> m_history;
    std::unique_ptr<TfmBalanceList> m_fmBalanceList;
    // The Balance List on the session bus, once the password was entered; goes before the list.
    std::unique_ptr<TDesktopService> m_desktopService;
    std::unique_ptr<TPlaceSaver> m_placeSaver;
    std::unique_ptr<TKeyringPassword> m_keyring;
    bool m_unlockedByKeyring = false;
    bool m_keyringLogOpen = false;
    std::vector<TKeyringNote> m_keyringNotes;
    std::unique_ptr<TTrayIcon> m_trayIcon;
    std::unique_ptr<TTrayNotifier> m_notifier;
    bool m_trayIconAdded = false;
    QPointer<QWidget> m_balanceListWindow;
    std::unique_ptr<TGlobalHotKeys> m_hotKeys;
    bool m_balanceHotKeyRegistered = false;
    bool m_mainHotKeyRegistered = false;
};
