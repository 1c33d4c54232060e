#include "app/ui/MainForm.h"

#include "app/Messages.h"
#include "app/Program.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/Version.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cstdio>

TfmMain::TfmMain(SingleInstance* instance, QWidget* parent) : QWidget(parent), m_instance(instance) {
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
    tsBalanceAlerts = new QWidget(pcMain);
    tsBalanceAlerts->setObjectName(QStringLiteral("tsBalanceAlerts"));
    tsCurrencyRates = new QWidget(pcMain);
    tsCurrencyRates->setObjectName(QStringLiteral("tsCurrencyRates"));
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

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(pcMain, 1);
    layout->addLayout(buttons);
    setFixedSize(304 + 12, 340 + 12);
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
        connect(m_instance, &SingleInstance::showRequested, this, &TfmMain::ShowInstance);
        m_instance->listen();
    }

    const QString caption =
        windowTitle() + QStringLiteral(" v. ") + QString::fromStdString(GetFileVersionString(4, true, " RC"));
    setWindowTitle(caption);
    QApplication::setApplicationDisplayName(caption);

    m_pendingAlerts.clear();
    m_alertLists.clear();
    pcMain->setCurrentWidget(tsGeneral);

    try {
        Settings.LoadSettings(Registry::instance());
    } catch (const RegistryError&) {
        // No store: the defaults apply.
    }
    StartLog();
    LoadAlertLists(Settings.ExePath + "BalanceAlerts/");
    Log.WriteLog(LoadStr(1055));
    return true;
}

void TfmMain::FormDestroy() {
    if (m_destroyed || !m_created)
        return;
    m_destroyed = true;
    try {
        try {
            Settings.SaveSettings(Registry::instance());
        } catch (const RegistryError&) {
            // No store: nothing is saved.
        }
        m_pendingAlerts.clear();
        m_alertLists.clear();
        Log.CloseLog();
    } catch (const std::exception&) {
        // A failing step ends the sequence; the steps below run in any case.
    }
    if (m_instance != nullptr)
        m_instance->stopListening();
}

// Every run begins a fresh log in the data folder.
void TfmMain::StartLog() {
    Log.SetEnabled(true);
    const std::string path = Settings.DataPath + "log.txt";
    std::remove(path.c_str());
    Log.OpenLog(path);
    Log.WriteLog(LoadStr(1052));
}

void TfmMain::LoadAlertLists(const std::string& folder) {
    for (auto& list : LoadAlertFolder(folder, kProgramKey, std::string()))
        m_alertLists.push_back(std::move(list));
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

void TfmMain::btnOKClick() {
    HideSettingsWindow();
}

void TfmMain::btnCancelClick() {
    HideSettingsWindow();
}
