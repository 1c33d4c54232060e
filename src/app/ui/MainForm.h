#pragma once

#include "alerts/AlertItems.h"
#include "alerts/StateSaver.h"
#include "app/AlertSettings.h"
#include "app/LogFile.h"
#include "app/ProgramSettings.h"
#include "app/TrayNotifier.h"
#include "app/ui/About.h"
#include "balancelist/BalanceList.h"
#include "currency/CurrencyScripts.h"
#include "currency/CurrencySettings.h"
#include "currency/CurrencyThreads.h"
#include "translate/InterfaceTranslator.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class SingleInstance;
class THintController;
class TGlobalHotKeys;
class THotKey;
class TTrayIcon;
class TfmBalanceList;
class TfmCurrencyRatesList;

// The settings window, created hidden, and the owner of everything that lives as long as the
// program runs. FormCreate runs the start-up sequence, FormDestroy the shutdown sequence.
class TfmMain : public QWidget, public IBalanceListOwner, private ITrayNotifierHost {
    Q_OBJECT

public:
    // `instance` is the single-instance guard of this process (it must outlive the form), or null.
    explicit TfmMain(SingleInstance* instance = nullptr, QWidget* parent = nullptr);
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
    // The mouse on the tray icon: a double click brings up the Balance List window.
    void TrayIconDoubleClicked();
    // A tray host (re)appeared and dropped what it showed: the icon goes up again.
    void TrayHostAppeared();

    // Global hotkeys (MainFormHotKeys.cpp).
    enum THotKeyId { hkBalanceWindow = 1, hkMainWindow = 2 };
    void RegisterHotKeys();
    void UnregisterHotKeys();
    bool HotKeyRegistered(THotKeyId id) const;
    void HotKeyPressed(int id);

    // The Balance List window, from start-up to shutdown.
    TfmBalanceList* BalanceListWindow() const { return m_fmBalanceList.get(); }
    // Every active alert of every list gets a row in the Balance List window, every inactive one
    // loses its row.
    void SyncBalanceList();
    // The user switched the alert off in the Balance List window: it is inactive from now on, and
    // its node in the alerts tree loses its check mark.
    void DeactivateAlert(TAlertItem& alert) override;

    // The Balance Alerts tab (MainFormAlertsTab.cpp).
    // Fills the list chooser with every alert list and shows the first.
    void FillAlertGroups();
    // Shows the chosen list's groups and alerts; the list already shown is left as it is.
    void cbAlertsListsChange();
    void btnConfigureAlertClick();
    void btnAddCustomAlertClick();
    // The context menu opens at `viewportPos` of the tree: the alert node there is selected.
    void pmConfigureAlertPopup(const QPoint& viewportPos);
    // Asks for a name and adds a new account made from `alert` at the end of `node`'s group.
    void AddCustomAlertFrom(TAlertItem& alert, QTreeWidgetItem* node);
    // A check box of the tree changed; false when the change could not be stored.
    bool SetAlertActive(TAlertItem& alert, bool active);
    // The alert's rows in the Balance List window show its name.
    void RenameBalanceListRow(TAlertItem& alert);
    // Enables the configure and add buttons when an alert node is selected.
    void UpdateButtons();
    // Warns about the first active alert that lacks its login or password; true when the user
    // chose to go back to the alerts.
    bool CheckIncompleteAlerts();
    // The alert of a tree node; null for a group node.
    static TAlertItem* AlertOfNode(const QTreeWidgetItem* node);
    // The selected alert node, or null.
    QTreeWidgetItem* SelectedAlertNode() const;
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
    // "Currency Rates Windows" submenu (MainFormCurrency.cpp).
    void OpenCurrencyWindows();
    void CreateCurrencyWindow(const std::shared_ptr<TCurrencyList>& list);
    void DestroyCurrencyWindow(const TCurrencyList& list);
    // At exit: every window saves its placement and goes.
    void CloseCurrencyWindows();
    TfmCurrencyRatesList* CurrencyWindow(const TCurrencyList& list) const;
    QAction* CurrencyWindowItem(const TCurrencyList& list) const;
    int CurrencyWindowCount() const;

    // The Currency Rates tab (MainFormCurrencyTab.cpp).
    enum TCurrencyNodeKind { ckNone = 0, ckStartLink = 1, ckCancelLink = 2, ckList = 3, ckCurrency = 4 };
    static TCurrencyNodeKind CurrencyNodeKind(const QTreeWidgetItem* node);
    // The list of a node: its own for a list or link node, the parent list for a currency.
    static TCurrencyList* CurrencyListOfNode(const QTreeWidgetItem* node);
    // Fills the provider chooser from the lists' country codes and shows the first group.
    void FillCurrencyProviders();
    void cbCurrencyProvidersChange();
    // A link node was clicked: starts the list-building run, or cancels it.
    void FollowCurrencyLink(QTreeWidgetItem* link);
    void pmConfigureCurrencyListPopup(const QPoint& viewportPos);
    void btnConfigureCurrencyListClick();
    // OK: false when the user chose to go back to the tab. Cancel: the ticks are undone.
    bool ApplyCurrencySettings();
    void RevertCurrencySettings();
    QTreeWidgetItem* CurrencyListNode(const TCurrencyList& list) const;
    TCurrencySettings& CurrencySettings() { return m_currencySettings; }

    QTabWidget* pcMain = nullptr;
    QWidget* tsGeneral = nullptr;
    QWidget* tsBalanceAlerts = nullptr;
    QWidget* tsCurrencyRates = nullptr;
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

    QGroupBox* gbBalanceAlerts = nullptr;
    QComboBox* cbAlertsLists = nullptr;
    QTreeWidget* tvAvailableAlertsList = nullptr;
    QPushButton* btnConfigureAlert = nullptr;
    QPushButton* btnAddCustomAlert = nullptr;
    QMenu* pmConfigureAlert = nullptr;
    QAction* Configurealert1 = nullptr;
    QAction* miAddCustomAlert = nullptr;

    QGroupBox* plCurrencyRatesContainer = nullptr;
    QComboBox* cbCurrencyProviders = nullptr;
    QTreeWidget* tvProvidersList = nullptr;
    QPushButton* btnConfigureCurrencyList = nullptr;
    QMenu* pmConfigureCurrencyList = nullptr;
    QAction* miConfigureCurrencyList = nullptr;

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
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateGeneralTab();
    void CreateTrayMenu();
    void CreateAlertsTab();
    QTreeWidgetItem* AddAlertNode(QTreeWidgetItem* group, TAlertItem& alert);
    // Every node of the alert shows its check mark as the alert's flag says.
    void ShowAlertActive(const TAlertItem& alert);
    void tvAvailableAlertsListItemChanged(QTreeWidgetItem* node);
    void tvAvailableAlertsListEdited(QTreeWidgetItem* node, const std::string& text);
    void tvAvailableAlertsListSelectionChanged();
    // F2 released in the tree or its editor: ends an edit, or starts one on the selected node.
    void CatchF2();
    void ClearAlertsTree();
    void CreateCurrencyTab();
    void ClearCurrencyTree();
    void tvProvidersListExpanding(QTreeWidgetItem* node);
    void tvProvidersListCollapsed(QTreeWidgetItem* node);
    void tvProvidersListItemChanged(QTreeWidgetItem* node);
    void ResetCurrencyLink(const TCurrencyList& list);
    void StartCurrencyListBuild(TCurrencyList& list);
    void CurrencyListBuilt(TGetCurrencyRatesThread& thread);
    void CollapseCurrencyTree();
    // Every list node's check box shows its list's flag.
    void ShowCurrencyTicks();
    // Chooses the icons and learns what the desktop can show.
    void DetectShellCapabilities();
    void ShowTrayIconKind(TTrayIconKind icon) override;
    void ShowBalloonMessage(const std::string& title, const std::string& text, int timeoutMs) override;
    bool BalanceListShown() const override;
    void BringUpBalanceList() override;
    // Asks for the program password (choosing one on the first start); false when the program is
    // to end.
    bool CheckProgramPassword();
    void LoadAlertLists(const TTranslateFn& translate);
    void StartLog();
    void SaveSettings();
    void PrepareTranslator();
    void RestoreWindowState();
    void StoreWindowState();

    SingleInstance* m_instance;
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
    int m_shownAlertList = -1;
    // Set while the program itself changes the tree: its changes are not the user's.
    bool m_updatingTree = false;
    QTreeWidgetItem* m_lastAlertNode = nullptr; // the selection a click on a group node keeps
    QPointer<QWidget> m_alertEditor;            // the tree's in-place editor while it is open
    bool m_firstRunListShown = false;
    TCurrencyLists m_currencyLists;
    TCurrencyThreads m_currencyThreads;
    TCurrencySettings m_currencySettings{m_currencyLists};
    int m_lastProviderIndex = -1;
    bool m_updatingCurrencyTree = false;
    class TProviderLinks;
    // Stops the link handling of the provider tree, which reaches into the form.
    void DetachCurrencyTab();
    TProviderLinks* m_providerLinks = nullptr; // owned by the form as a QObject child
    class TCurrencyWindows;
    struct TCurrencyWindowsDeleter {
        void operator()(TCurrencyWindows* windows) const;
    };
    std::unique_ptr<TCurrencyWindows, TCurrencyWindowsDeleter> m_currencyWindows;
    std::unique_ptr<TfmBalanceList> m_fmBalanceList;
    std::unique_ptr<TTrayIcon> m_trayIcon;
    std::unique_ptr<TTrayNotifier> m_notifier;
    bool m_trayIconAdded = false;
    QPointer<QWidget> m_balanceListWindow;
    std::unique_ptr<TGlobalHotKeys> m_hotKeys;
    bool m_balanceHotKeyRegistered = false;
    bool m_mainHotKeyRegistered = false;
};
