#include "app/ui/MainForm.h"

#include "app/Services.h"
#include "app/ui/About.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "discover/AccountWizard.h"
#include "discover/ui/AddAccountWizard.h"
#include "history/History.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/Strings.h"
#include "platform/Version.h"
#include "platform/ui/GlobalHotKeys.h"
#include "platform/ui/TrayIcon.h"
#include "script/ActiveScriptEngine.h"
#include "translate/InterfaceLanguage.h"
#include "translate/Messages.h"
#include "translate/ui/FormTranslator.h"
#include "translate/ui/QtTranslation.h"
#include "widgets/Dialogs.h"
#include "widgets/HotKeyEdit.h"
#include "widgets/NewHint.h"
#include "widgets/WindowPlace.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <optional>

namespace {

// Texts changed while a window is hidden (a translation) do not reach the layouts around them by
// themselves: recompute every size hint and layout, innermost first, so that the window takes its
// new size at once.
void SettleLayouts(QWidget& window) {
    const QList<QWidget*> widgets = window.findChildren<QWidget*>();
    for (auto it = widgets.crbegin(); it != widgets.crend(); ++it) {
        if (QLayout* layout = (*it)->layout()) {
            layout->invalidate();
            layout->activate();
        }
        (*it)->updateGeometry();
    }
    window.layout()->invalidate();
    window.layout()->activate();
}

} // namespace

TfmMain::TfmMain(TSingleInstance* instance, QWidget* parent) : QWidget(parent), m_instance(instance) {
    Settings.SetDefaults();

    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QString::fromUtf8(kProgramCaption));
    // Only the system menu and the close box: the window has a fixed size.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    pcMain = new QTabWidget(this);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    tsGeneral = new QWidget(pcMain);
    tsGeneral->setObjectName(QStringLiteral("tsGeneral"));
    tsBalanceAlerts = new TBalanceAlertsTab(m_alertLists, m_alertSettings, pcMain);
    connect(tsBalanceAlerts, &TBalanceAlertsTab::AlertRenamed, this, &TfmMain::RenameBalanceListRow);
    connect(tsBalanceAlerts, &TBalanceAlertsTab::AddFromPageRequested, this, &TfmMain::AddAccountFromPage);
    tsCurrencyRates = new TCurrencyRatesTab(m_currencyLists, m_currencyThreads, m_currencySettings, SharedLog, pcMain);
    pcMain->addTab(tsGeneral, QStringLiteral("General"));
    pcMain->addTab(tsBalanceAlerts, QStringLiteral("Balance Alerts"));
    pcMain->addTab(tsCurrencyRates, QStringLiteral("Currency Rates"));

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setToolTip(QStringLiteral("Close settings window and apply changes"));
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setToolTip(QStringLiteral("Close settings window and discard changes"));
    connect(btnOK, &QPushButton::clicked, this, &TfmMain::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfmMain::btnCancelClick);
    CreateGeneralTab();
    CreateTrayMenu();
    m_currencyWindows = std::make_unique<TCurrencyWindows>(
        this, miCurrencyRatesWindows->menu(), miEmpty, SharedLog,
        [this](const std::string& section, const std::string& key) { return Translator.GetValue(section, key); },
        [this](const std::string& title, const std::string& text, int timeoutMs) {
            ShowBalloon(title, text, timeoutMs);
        });
    m_currencyWindows->OnCurrencyHidden = [this](TCurrencyObject& currency) {
        m_currencySettings.CurrencyHidden(currency);
    };

    QVBoxLayout* layout = LayOutWithButtons(*this, pcMain, btnOK, btnCancel, 1);
    // The window has a fixed size: the classic 304 x 340 client area, or more where the desktop's
    // fonts or a translation need it, so that no control is squeezed below its height.
    pcMain->setMinimumSize(304, 311);
    // Every tab stays in view (the tabs of a narrow window would wrap into rows elsewhere).
    pcMain->setUsesScrollButtons(false);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->activate();
}

TfmMain::~TfmMain() {
    FormDestroy();
}

bool TfmMain::FormCreate() {
    if (m_created)
        return true;
    m_created = true;

    // Wake-up requests from later starts are accepted from here on; a start before this point
    // finds nobody listening and exits without effect.
    if (m_instance != nullptr) {
        connect(m_instance, &TSingleInstance::ShowRequested, this, &TfmMain::ShowInstance);
        m_instance->Listen();
    }

    PrepareTranslator();
    DetectShellCapabilities();
    const QString caption =
        windowTitle() + QStringLiteral(" v. ") + QString::fromStdString(GetFileVersionString(4, true, " RC"));
    setWindowTitle(caption);
    SetApplicationTitle(caption);

    m_alertSettings.Clear();
    m_alertLists.clear();
    pcMain->setCurrentWidget(tsGeneral);

    // The Balance List window lives from here to shutdown; it translates itself.
    m_fmBalanceList = std::make_unique<TfmBalanceList>(*this, SharedLog, Settings.ExePath);
    SetBalanceListWindow(m_fmBalanceList.get());

    try {
        Settings.LoadSettings(TRegistry::Instance());
    } catch (const ERegistryError&) {
        // No store: the defaults apply.
    }
    RestoreWindowState();
    // Balloon messages need a desktop that shows them.
    cbShowBalloonTip->setEnabled(BalloonCapable());

    m_passwordAccepted = CheckProgramPassword();
    if (!m_passwordAccepted) {
        SettingsToControls();
        QCoreApplication::quit();
        return false;
    }

    StartLog();
    // From here on a window's new place is kept soon after it changes, not only at the end of a run
    // that may never come (the desktop can go away without a signal).
    m_placeSaver = std::make_unique<TPlaceSaver>([this] { StoreWindowState(); });
    m_placeSaver->Watch(this);
    m_placeSaver->Watch(m_fmBalanceList.get());
    m_placeSaver->Watch(m_fmBalanceList->lvList->horizontalHeader());
    SettingsToControls();
    const TTranslateFn translate = [this](const std::string& section, const std::string& key) {
        return Translator.GetValue(section, key);
    };
    LoadAlertLists(translate);
    FillAlertGroups();
    m_history = std::make_shared<THistory>(Settings.UserPath + "history.db", Settings.PasswordHash, SharedLog);
    m_history->SetRetentionDays(Settings.HistoryDays);
    m_fmBalanceList->BalanceList().SetHistory(m_history);
    m_currencyWindows->SetHistory(m_history);

    // The currency features run provider scripts: without a working engine they are hidden (the
    // loader then writes message 1076).
    TCurrencyProviders providers = LoadCurrencyProviders(Settings.ExePath, Settings.UserPath, &Log, translate);
    m_scriptEngineReady = providers.Available;
    m_currencyLists = std::move(providers.Lists);
    if (!m_scriptEngineReady) {
        pcMain->setTabVisible(pcMain->indexOf(tsCurrencyRates), false);
        miCurrrencyRates->setVisible(false);
        miCurrencyRatesWindows->setVisible(false);
    } else {
        tsCurrencyRates->FillCurrencyProviders(translate);
        m_currencyWindows->OpenCurrencyWindows(m_currencyLists);
    }

    // Every hint of the program shows in the program's own hint window, and only while hints are on.
    m_hints = std::make_unique<THintController>([this] { return Settings.ShowHints; });
    SetShowHintRecursive(this, Settings.ShowHints);
    AddTrayIcon();

    if (Settings.FirstRun) {
        ShowSettingsWindow();
        ShowMessageBox(this, LoadStr(1005), LoadStr(1006), QMessageBox::Information);
        pcMain->setCurrentWidget(tsBalanceAlerts);
    }
    // A termination signal during a start-up dialog closed the dialog; the event loop that it
    // would have ended has not started yet, so the program ends here.
    if (m_terminationRequested)
        return false;

    Log.WriteLog(LoadStr(1053));
    SyncBalanceList();
    Log.WriteLog(LoadStr(1054));
    RegisterHotKeys();
    // Without a bus, or with the name taken by another run, the program goes on without it.
    m_desktopService = std::make_unique<TDesktopService>(m_fmBalanceList->BalanceList(),
                                                         static_cast<IDesktopActions&>(*this), SharedLog);
    m_desktopService->Register(QDBusConnection::sessionBus());
    miBalanceListWindow->setChecked(Settings.BalanceWindowVisible);
    SetBalanceListVisible(Settings.BalanceWindowVisible);
    Log.WriteLog(LoadStr(1055));
    return true;
}

bool TfmMain::CheckProgramPassword() {
    const std::string title = windowTitle().toStdString();
    if (Settings.PasswordHash.empty()) {
        // The program does not run without a password: the box returns until one is chosen.
        while (!m_terminationRequested) {
            std::string password;
            if (ShowInputBox(this, title, LoadStr(1000), LoadStr(1001), '*', password) && !Trim(password).empty()) {
                Settings.SetPassword(password);
                SaveSettings();
                KeepPasswordInKeyring(password);
                return true;
            }
        }
        return false;
    }
    if (UnlockFromKeyring())
        return true;
    bool confirmedLast = false;
    for (int attempt = 0; attempt < 3 && !m_terminationRequested; ++attempt) {
        std::string password;
        confirmedLast = ShowInputBox(this, title, LoadStr(1002), LoadStr(1003), '*', password);
        if (!confirmedLast)
            break;
        if (Md5Hex(password) == Settings.PasswordHash) {
            KeepPasswordInKeyring(password);
            return true;
        }
    }
    if (confirmedLast && !m_terminationRequested)
        ShowMessageBox(nullptr, LoadStr(1004), std::string(), QMessageBox::Warning);
    return false;
}

void TfmMain::PrepareTranslator() {
    Translator.AddDisallowedMetaclass(&QFont::staticMetaObject);
    Translator.TranslationMode = TTranslationMode::tmTranslate;
    Translator.IgnoreComponentTag = -100;
    Translator.SetFormTranslation(&QtFormTranslation());
    SetInterfaceTranslator(&Translator);
    // A translation file beside the program translates every form, this one included, at once; else
    // the user's own, else the shipped one of the desktop's language.
    const std::string file = FindInterfaceFile(Settings.ExePath, ConfigFolder(), DesktopLanguages());
    if (!file.empty()) {
        Translator.SetFileName(file);
        Translator.SetActive(true);
    }
    const std::string language = Translator.GetValue("MAIN", "LANG.NAME");
    LanguageCode() = language.empty() ? "en" : language;
    // Qt's own texts (message box buttons, edit menus, key names) follow the same language.
    InstallQtTranslation(LanguageCode());
}

void TfmMain::RestoreWindowState() {
    try {
        StateSaver.Load(kProgramKey, TRegistry::Instance());
    } catch (const ERegistryError&) {
        // No store: nothing was kept, the window is centred.
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->geometry();
    // The size follows the translated texts: settle it before centring.
    SettleLayouts(*this);
    const TWindowRestore restore = ::RestoreWindowState(StateSaver, {area.width(), area.height()});
    if (restore.Centre) {
        move(CentredPosition(area.width(), frameGeometry().width()),
             CentredPosition(area.height(), frameGeometry().height()));
        if (m_fmBalanceList)
            m_fmBalanceList->move(CentredPosition(area.width(), m_fmBalanceList->frameGeometry().width()),
                                  CentredPosition(area.height(), m_fmBalanceList->frameGeometry().height()));
        return;
    }
    // A place with too little of the window on any screen leaves it where it is.
    const QPoint place(restore.MainLeft.value_or(x()), restore.MainTop.value_or(y()));
    if (PlaceIsUsable(QRect(place, frameGeometry().size())))
        move(place);
    if (m_fmBalanceList)
        m_fmBalanceList->ApplyGeometry(restore);
}

void TfmMain::StoreWindowState() {
    std::optional<TBalanceListGeometry> list;
    if (m_fmBalanceList)
        list = m_fmBalanceList->Geometry();
    ::StoreWindowState(StateSaver, x(), y(), list);
    try {
        StateSaver.Save(kProgramKey, TRegistry::Instance());
    } catch (const ERegistryError&) {
        // No store: the geometry is not kept.
    }
}

void TfmMain::RequestTermination() {
    m_terminationRequested = true;
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
        dialog->reject();
    // Not quit(): that asks the windows to close first, which the settings window refuses.
    QCoreApplication::exit(0);
}

void TfmMain::SaveSettings() {
    try {
        Settings.SaveSettings(TRegistry::Instance());
    } catch (const ERegistryError&) {
        // No store: nothing is saved.
    }
}

void TfmMain::FormDestroy() {
    if (m_destroyed || !m_created)
        return;
    m_destroyed = true;
    m_desktopService.reset();
    m_placeSaver.reset();
    try {
        // The tabs' trees point at the alerts and lists freed below, and their widgets' last
        // signals are no longer the user's: both tabs stop here.
        tsBalanceAlerts->Shutdown();
        tsCurrencyRates->Shutdown();
        // Running currency builds end first: they use the lists freed below.
        m_currencyThreads.StopAll();
        m_currencyWindows->CloseCurrencyWindows();
        // No check starts from here on; the rows go before the alerts they show.
        if (m_fmBalanceList) {
            m_fmBalanceList->tmCheckTimer->stop();
            m_fmBalanceList->ClearRows();
        }
        RemoveTrayIcon();
        // What the General tab shows at exit is kept, confirmed or not. A run that ended at the
        // password prompt has nothing of its own to keep, and writing then would make the next
        // start believe the first run is over.
        if (m_passwordAccepted) {
            ControlsToSettings();
            SaveSettings();
            StoreWindowState();
        }
        // The keyring's last changes (storing or removing the password) end within their bound.
        if (m_keyring)
            m_keyring->WaitIdle();
        // Waits a bounded time for the running checks; one that goes on keeps what it uses alive.
        SetBalanceListWindow(nullptr);
        m_fmBalanceList.reset();
        m_hints.reset();
        m_currencySettings.Clear();
        m_alertSettings.Clear();
        m_alertLists.clear();
        UnregisterHotKeys();
        Log.CloseLog();
    } catch (const std::exception&) {
        // A failing step ends the sequence; the steps below run in any case.
    }
    if (m_instance != nullptr)
        m_instance->StopListening();
    m_currencyLists.clear();
}

// Every run begins a fresh log in the data folder.
void TfmMain::StartLog() {
    Log.SetEnabled(true);
    const std::string path = Settings.DataPath + "log.txt";
    std::remove(path.c_str());
    Log.OpenLog(path);
    Log.WriteLog(LoadStr(1052));
    // The translator read its file before there was a log to tell of a refused one.
    if (Translator.RefusedFileSize() != 0)
        Log.WriteLog(LoadStr(2030), {Translator.FileName(), TInterfaceTranslator::kMaxFileBytes});
    // So had the desktop keyring, when the password was asked for.
    FlushKeyringNotes();
}

void TfmMain::LoadAlertLists(const TTranslateFn& translate) {
    // The shipped definitions, then the user's own, which replace shipped ones of the same name. The
    // alerts' logins, passwords and balances are kept encrypted under the password's digest.
    const std::vector<std::string> folders{Settings.ExePath + "BalanceAlerts/", Settings.UserPath + "BalanceAlerts/"};
    for (auto& list : LoadAlertFolders(folders, kProgramKey, Settings.PasswordHash, &Log, translate))
        m_alertLists.push_back(std::move(list));
}

void TfmMain::AddAccountFromPage() {
    TAccountWizard wizard(Settings.UserPath + "BalanceAlerts/", m_alertLists);
    {
        TfmAddAccount dialog(this, wizard);
        if (RunModal(dialog) != QDialog::Accepted)
            return;
    }
    const std::shared_ptr<TAlertItems> list = wizard.LoadWritten(kProgramKey, Settings.PasswordHash);
    TAlertItem* alert = list ? list->FindByUniqueId(wizard.WrittenId) : nullptr;
    if (alert == nullptr) {
        ShowMessageBox(this, FormatMsg(LoadStr(2193), {wizard.WrittenPath}), std::string(), QMessageBox::Warning);
        return;
    }
    Log.WriteLog(LoadStr(2194), {alert->Name, wizard.WrittenPath});
    m_alertLists.push_back(list);
    tsBalanceAlerts->FillAlertGroups();
    tsBalanceAlerts->ShowAlertNode(*alert);
    if (m_alertSettings.SetAlertActive(*alert, true))
        tsBalanceAlerts->ShowAlertActive(*alert);
}

void TfmMain::SyncBalanceList() {
    if (!m_fmBalanceList)
        return;
    for (const auto& list : m_alertLists) {
        for (const auto& alert : list->Alerts) {
            if (alert->Active)
                m_fmBalanceList->AddAlertRow(*alert);
            else
                m_fmBalanceList->RemoveAlertRow(*alert);
        }
    }
}

void TfmMain::DeactivateAlert(TAlertItem& alert) {
    if (!m_alertSettings.Deactivate(alert)) {
        // The store keeps the alert active, so it stays in the list.
        if (m_fmBalanceList)
            m_fmBalanceList->AddAlertRow(alert);
        return;
    }
    tsBalanceAlerts->ShowAlertActive(alert);
}

void TfmMain::FillAlertGroups() {
    Log.WriteLog(LoadStr(1050));
    tsBalanceAlerts->FillAlertGroups();
    Log.WriteLog(LoadStr(1051));
}

void TfmMain::CheckNow(TAlertItem& alert) {
    if (m_fmBalanceList)
        m_fmBalanceList->BalanceList().CheckNow(alert);
}

void TfmMain::RenameBalanceListRow(TAlertItem& alert) {
    if (m_fmBalanceList)
        m_fmBalanceList->RenameAlertRow(alert, alert.Name);
}

bool TfmMain::CheckIncompleteAlerts() {
    if (m_alertSettings.FirstIncompleteAlert() == nullptr)
        return false;
    if (ShowMessageBox(this, LoadStr(1007), LoadStr(1006), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return false;
    pcMain->setCurrentWidget(tsBalanceAlerts);
    return true;
}

bool TfmMain::ApplyCurrencySettings() {
    if (tsCurrencyRates->ApplyCurrencySettings(*m_currencyWindows))
        return true;
    pcMain->setCurrentWidget(tsCurrencyRates);
    return false;
}

void TfmMain::ShowSettingsWindow() {
    m_settingsShown = true;
    show();
    raise();
    activateWindow();
    btnOK->setFocus();
}

void TfmMain::HideSettingsWindow() {
    m_settingsShown = false;
    hide();
}

void TfmMain::ShowInstance() {
    if (!isVisible()) {
        ShowSettingsWindow();
        return;
    }
    // The first instance brings itself forward: another process may not raise our window.
    raise();
    activateWindow();
}

void TfmMain::closeEvent(QCloseEvent* event) {
    // The close box only hides the settings window; the program ends from the tray menu.
    event->ignore();
    HideSettingsWindow();
}

void TfmMain::keyPressEvent(QKeyEvent* event) {
    // The settings window is no dialog, so it handles Enter and Escape itself: Enter presses the
    // focused button, or OK; Escape presses Cancel.
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            auto* focused = qobject_cast<QPushButton*>(focusWidget());
            (focused != nullptr && focused->isEnabled() ? focused : btnOK)->click();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            btnCancel->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void TfmMain::btnOKClick() {
    if (RefuseDuplicateHotKeys())
        return;
    const bool keyringTurnedOn = !Settings.UnlockWithKeyring && cbUnlockWithKeyring->isChecked();
    ControlsToSettings();
    SaveSettings();
    if (keyringTurnedOn)
        AskPasswordForKeyring();
    SetShowHintRecursive(this, Settings.ShowHints);
    // The user goes back to complete the alerts; their ticks stay pending.
    if (CheckIncompleteAlerts())
        return;
    m_alertSettings.AcceptPending();
    SyncBalanceList();
    RegisterHotKeys();
    // The user goes back to the lists whose currencies are missing.
    if (!ApplyCurrencySettings())
        return;
    // On the first run the Balance List window comes up once there is something to show in it.
    if (Settings.FirstRun && !m_firstRunListShown && !miBalanceListWindow->isChecked() && m_fmBalanceList &&
        m_fmBalanceList->BalanceList().RowCount() > 0) {
        m_firstRunListShown = true;
        miBalanceListWindowClick();
    }
    HideSettingsWindow();
}

void TfmMain::btnCancelClick() {
    SettingsToControls();
    for (TAlertItem* alert : m_alertSettings.UndoPending())
        tsBalanceAlerts->ShowAlertActive(*alert);
    RevertCurrencySettings();
    HideSettingsWindow();
}
