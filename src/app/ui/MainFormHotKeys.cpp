// The main form's global hotkeys.
#include "app/ui/MainForm.h"
#include "platform/ShortCut.h"
#include "platform/ui/GlobalHotKeys.h"
#include "platform/ui/PortalGlobalHotKeys.h"
#include "translate/Messages.h"
#include "widgets/Dialogs.h"
#include "widgets/HotKeyEdit.h"

#include <QLabel>
#include <QTabWidget>

namespace {

// What a hotkey field is for, in the words of its label (without the colon).
std::string ActionOf(const QLabel& label) {
    QString text = label.text().trimmed();
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed().toStdString();
}

} // namespace

void TfmMain::RegisterHotKeys() {
    UnregisterHotKeys();
    if (m_hotKeys == nullptr) {
        m_hotKeys = TGlobalHotKeys::Create();
        connect(m_hotKeys.get(), &TGlobalHotKeys::Activated, this, &TfmMain::HotKeyPressed);
        // Through the desktop portal, the desktop has the last word; the log says what it chose.
        if (auto* portal = qobject_cast<TPortalGlobalHotKeys*>(m_hotKeys.get())) {
            connect(portal, &TPortalGlobalHotKeys::Bound, this, [this](const std::map<int, QString>& triggers) {
                for (const auto& [id, trigger] : triggers)
                    Log.WriteLog(LoadStr(2230),
                                 {ActionOf(id == hkBalanceWindow ? *lblShowBalWindow : *lblShowMainWindow),
                                  trigger.isEmpty() ? std::string("-") : trigger.toStdString()});
            });
            connect(portal, &TPortalGlobalHotKeys::Refused, this,
                    [this](const QString& reason) { Log.WriteLog(LoadStr(2231), {reason.toStdString()}); });
        }
    }
    // A combination another program holds stays without effect, unreported.
    if (Settings.ShowBalanceWindowShortCut != 0)
        m_balanceHotKeyRegistered =
            m_hotKeys->Register(hkBalanceWindow, ShortCutToQt(Settings.ShowBalanceWindowShortCut));
    if (m_balanceHotKeyRegistered)
        m_hotKeys->Describe(hkBalanceWindow, QString::fromStdString(ActionOf(*lblShowBalWindow)));
    if (Settings.ShowMainWindowShortCut == 0)
        return;
    // One combination cannot serve both (a press would reach only one): the second is left out,
    // and the log says why it does nothing.
    if (Settings.ShowMainWindowShortCut == Settings.ShowBalanceWindowShortCut) {
        Log.WriteLog(LoadStr(2011), {ShortCutToText(Settings.ShowMainWindowShortCut).toStdString(),
                                     ActionOf(*lblShowMainWindow), ActionOf(*lblShowBalWindow)});
        return;
    }
    m_mainHotKeyRegistered = m_hotKeys->Register(hkMainWindow, ShortCutToQt(Settings.ShowMainWindowShortCut));
    if (m_mainHotKeyRegistered)
        m_hotKeys->Describe(hkMainWindow, QString::fromStdString(ActionOf(*lblShowMainWindow)));
}

bool TfmMain::RefuseDuplicateHotKeys() {
    const std::uint16_t keys = hkShowBalWindow->HotKey();
    if (keys == 0 || keys != hkShowMainWindow->HotKey())
        return false;
    ShowMessageBox(this,
                   FormatMsg(LoadStr(2010), {ShortCutToText(keys).toStdString(), ActionOf(*lblShowBalWindow),
                                             ActionOf(*lblShowMainWindow)}),
                   LoadStr(1006), QMessageBox::Warning);
    pcMain->setCurrentWidget(tsGeneral);
    hkShowMainWindow->setFocus();
    return true;
}

void TfmMain::UnregisterHotKeys() {
    if (m_hotKeys == nullptr)
        return;
    if (m_balanceHotKeyRegistered)
        m_hotKeys->Unregister(hkBalanceWindow);
    m_balanceHotKeyRegistered = false;
    if (m_mainHotKeyRegistered)
        m_hotKeys->Unregister(hkMainWindow);
    m_mainHotKeyRegistered = false;
}

bool TfmMain::HotKeyRegistered(THotKeyId id) const {
    return id == hkBalanceWindow ? m_balanceHotKeyRegistered : m_mainHotKeyRegistered;
}

void TfmMain::HotKeyPressed(int id) {
    // What the hotkey fields held unconfirmed gives way to the stored shortcuts.
    hkShowBalWindow->SetHotKey(Settings.ShowBalanceWindowShortCut);
    hkShowMainWindow->SetHotKey(Settings.ShowMainWindowShortCut);
    if (id == hkBalanceWindow && m_balanceHotKeyRegistered) {
        miBalanceListWindowClick();
    } else if (id == hkMainWindow && m_mainHotKeyRegistered) {
        if (SettingsWindowShown())
            HideSettingsWindow();
        else
            ShowSettingsWindow();
    }
}
