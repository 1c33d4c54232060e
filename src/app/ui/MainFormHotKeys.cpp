// The main form's global hotkeys.
#include "app/ui/MainForm.h"
#include "platform/ShortCut.h"
#include "platform/ui/GlobalHotKeys.h"
#include "widgets/HotKeyEdit.h"

void TfmMain::RegisterHotKeys() {
    UnregisterHotKeys();
    if (m_hotKeys == nullptr) {
        m_hotKeys = TGlobalHotKeys::Create();
        connect(m_hotKeys.get(), &TGlobalHotKeys::Activated, this, &TfmMain::HotKeyPressed);
    }
    // A combination another program holds stays without effect, unreported.
    if (Settings.ShowBalanceWindowShortCut != 0)
        m_balanceHotKeyRegistered =
            m_hotKeys->Register(hkBalanceWindow, ShortCutToQt(Settings.ShowBalanceWindowShortCut));
    if (Settings.ShowMainWindowShortCut != 0)
        m_mainHotKeyRegistered = m_hotKeys->Register(hkMainWindow, ShortCutToQt(Settings.ShowMainWindowShortCut));
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
