// The main form's General tab: its controls and the settings they show.
#include "app/ui/MainForm.h"
#include "history/History.h"
#include "widgets/HotKeyEdit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

void TfmMain::CreateGeneralTab() {
    gbGeneral = new QGroupBox(QStringLiteral("General Settings"), tsGeneral);
    gbGeneral->setObjectName(QStringLiteral("gbGeneral"));
    auto makeCheckBox = [](QWidget* parent, const char* name, const char* caption, const char* hint) {
        auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
        box->setObjectName(QString::fromUtf8(name));
        box->setToolTip(QString::fromUtf8(hint));
        return box;
    };
    cbShowHints = makeCheckBox(gbGeneral, "cbShowHints", "Show hints", "Show floating hints for program elements");
    cbAutoStart = makeCheckBox(gbGeneral, "cbAutoStart", "Auto-start with OS", "Run every time when OS start");

    gbBalanceChanged = new QGroupBox(QStringLiteral("\"Balance changed\" Event"), gbGeneral);
    gbBalanceChanged->setObjectName(QStringLiteral("gbBalanceChanged"));
    cbActivateBalanceWindow =
        makeCheckBox(gbBalanceChanged, "cbActivateBalanceWindow", "Activate \"Balance List\" window",
                     "Activate window with balance list when balance changed");
    cbBlinkTrayIcon =
        makeCheckBox(gbBalanceChanged, "cbBlinkTrayIcon", "Blink tray icon", "Blink icon in tray when balance changed");
    cbShowBalloonTip = makeCheckBox(gbBalanceChanged, "cbShowBalloonTip", "Show balloon tooltip in tray",
                                    "Show balloon tooltip in tray when balance changed");
    auto* eventLayout = new QVBoxLayout(gbBalanceChanged);
    eventLayout->addWidget(cbActivateBalanceWindow);
    eventLayout->addWidget(cbBlinkTrayIcon);
    eventLayout->addWidget(cbShowBalloonTip);

    gbHotkeys = new QGroupBox(QStringLiteral("Hotkeys"), gbGeneral);
    gbHotkeys->setObjectName(QStringLiteral("gbHotkeys"));
    lblShowBalWindow = new QLabel(QStringLiteral("Show/Hide Balance List window:"), gbHotkeys);
    lblShowBalWindow->setObjectName(QStringLiteral("lblShowBalWindow"));
    hkShowBalWindow = new THotKey(gbHotkeys);
    hkShowBalWindow->setObjectName(QStringLiteral("hkShowBalWindow"));
    lblShowBalWindow->setBuddy(hkShowBalWindow);
    lblShowMainWindow = new QLabel(QStringLiteral("Show/Hide Main window:"), gbHotkeys);
    lblShowMainWindow->setObjectName(QStringLiteral("lblShowMainWindow"));
    hkShowMainWindow = new THotKey(gbHotkeys);
    hkShowMainWindow->setObjectName(QStringLiteral("hkShowMainWindow"));
    lblShowMainWindow->setBuddy(hkShowMainWindow);
    auto* hotkeyLayout = new QVBoxLayout(gbHotkeys);
    hotkeyLayout->addWidget(lblShowBalWindow);
    hotkeyLayout->addWidget(hkShowBalWindow);
    hotkeyLayout->addWidget(lblShowMainWindow);
    hotkeyLayout->addWidget(hkShowMainWindow);
    lblHistoryDays = new QLabel(QStringLiteral("Keep history for (days, 0 = for ever):"), gbGeneral);
    lblHistoryDays->setObjectName(QStringLiteral("lblHistoryDays"));
    edHistoryDays = new QSpinBox(gbGeneral);
    edHistoryDays->setObjectName(QStringLiteral("edHistoryDays"));
    edHistoryDays->setRange(0, TProgramSettings::kMaxHistoryDays);
    lblHistoryDays->setBuddy(edHistoryDays);
    cbUnlockWithKeyring =
        makeCheckBox(gbGeneral, "cbUnlockWithKeyring", "Unlock with the desktop keyring",
                     "Keep the program password in the desktop's keyring and stop asking for it at start");

    auto* generalLayout = new QVBoxLayout(gbGeneral);
    generalLayout->addWidget(cbShowHints);
    generalLayout->addWidget(cbAutoStart);
    generalLayout->addWidget(gbBalanceChanged);
    generalLayout->addWidget(gbHotkeys);
    generalLayout->addWidget(lblHistoryDays);
    generalLayout->addWidget(edHistoryDays);
    generalLayout->addWidget(cbUnlockWithKeyring);
    generalLayout->addStretch(1);
    auto* tabLayout = new QVBoxLayout(tsGeneral);
    tabLayout->setContentsMargins(4, 4, 4, 4);
    tabLayout->addWidget(gbGeneral);
}

void TfmMain::SettingsToControls() {
    cbShowHints->setChecked(Settings.ShowHints);
    cbAutoStart->setChecked(Settings.AutoStart);
    cbActivateBalanceWindow->setChecked(Settings.ActivateBLWindow);
    cbBlinkTrayIcon->setChecked(Settings.BlinkTrayIcon);
    cbShowBalloonTip->setChecked(Settings.ShowBalloonTip);
    hkShowBalWindow->SetHotKey(Settings.ShowBalanceWindowShortCut);
    hkShowMainWindow->SetHotKey(Settings.ShowMainWindowShortCut);
    edHistoryDays->setValue(Settings.HistoryDays);
    cbUnlockWithKeyring->setChecked(Settings.UnlockWithKeyring);
}

void TfmMain::ControlsToSettings() {
    Settings.ShowHints = cbShowHints->isChecked();
    Settings.AutoStart = cbAutoStart->isChecked();
    Settings.ActivateBLWindow = cbActivateBalanceWindow->isChecked();
    Settings.BlinkTrayIcon = cbBlinkTrayIcon->isChecked();
    Settings.ShowBalloonTip = cbShowBalloonTip->isChecked();
    Settings.ShowBalanceWindowShortCut = hkShowBalWindow->HotKey();
    Settings.ShowMainWindowShortCut = hkShowMainWindow->HotKey();
    Settings.HistoryDays = edHistoryDays->value();
    if (m_history)
        m_history->SetRetentionDays(Settings.HistoryDays);
    const bool forgetKeyring = Settings.UnlockWithKeyring && !cbUnlockWithKeyring->isChecked();
    Settings.UnlockWithKeyring = cbUnlockWithKeyring->isChecked();
    if (forgetKeyring)
        ForgetKeyringPassword();
}
