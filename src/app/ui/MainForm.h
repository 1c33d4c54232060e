#pragma once

#include "alerts/AlertItems.h"
#include "app/LogFile.h"
#include "app/ProgramSettings.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QPushButton;
class QTabWidget;
class SingleInstance;

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

    const std::vector<std::unique_ptr<TAlertItems>>& AlertLists() const { return m_alertLists; }
    TProgramSettings Settings;
    TLogFile Log;

    QTabWidget* pcMain = nullptr;
    QWidget* tsGeneral = nullptr;
    QWidget* tsBalanceAlerts = nullptr;
    QWidget* tsCurrencyRates = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void btnOKClick();
    void btnCancelClick();
    void LoadAlertLists(const std::string& folder);
    void StartLog();

    SingleInstance* m_instance;
    bool m_settingsShown = false;
    bool m_created = false;
    bool m_destroyed = false;
    std::vector<TAlertItem*> m_pendingAlerts;
    std::vector<std::unique_ptr<TAlertItems>> m_alertLists;
};
