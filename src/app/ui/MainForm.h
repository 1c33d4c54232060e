#pragma once

#include "alerts/AlertItems.h"
#include "alerts/StateSaver.h"
#include "app/LogFile.h"
#include "app/ProgramSettings.h"
#include "app/ui/About.h"
#include "currency/CurrencyScripts.h"
#include "currency/CurrencyThreads.h"
#include "translate/InterfaceTranslator.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;
class SingleInstance;
class THintController;
class THotKey;

// The settings window, created hidden, and the owner of everything that lives as long as the
// program runs. FormCreate runs the start-up sequence, FormDestroy the shutdown sequence.
class TfmMain : public QWidget {
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

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateGeneralTab();
    // Asks for the program password (choosing one on the first start); false when the program is
    // to end.
    bool CheckProgramPassword();
    void LoadAlertLists(const std::string& folder, const TTranslateFn& translate);
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
    std::vector<TAlertItem*> m_pendingAlerts;
    std::vector<std::shared_ptr<TAlertItems>> m_alertLists;
    TCurrencyLists m_currencyLists;
    TCurrencyThreads m_currencyThreads;
};
