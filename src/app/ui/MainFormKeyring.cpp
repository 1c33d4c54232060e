// The program password in the desktop's keyring: a start unlocks with it while the user has the
// option on, a password typed at the prompt is kept there, and turning the option off removes it.
#include "app/ui/MainForm.h"
#include "base/Encoders.h"
#include "platform/Registry.h"
#include "translate/Messages.h"
#include "widgets/Dialogs.h"

#include <utility>

TKeyringPassword& TfmMain::Keyring() {
    if (!m_keyring) {
        // The entry is named after the profile's store, so that two profiles never share one.
        std::string key;
        try {
            key = TRegistry::Instance().FilePath();
        } catch (const ERegistryError&) {
            key = TRegistry::DefaultFilePath();
        }
        m_keyring = std::make_unique<TKeyringPassword>(key);
    }
    return *m_keyring;
}

bool TfmMain::UnlockFromKeyring() {
    if (!Settings.UnlockWithKeyring)
        return false;
    TKeyringPassword& keyring = Keyring();
    // The wait runs an event loop of its own: the desktop's unlock prompt of a locked keyring, and
    // everything else of this thread, go on meanwhile.
    const TKeyringPassword::TResult read =
        TKeyringPassword::Wait([&keyring](TKeyringPassword::TDone done) { keyring.Read(std::move(done)); });
    const TKeyringUnlock unlock = DecideUnlock(read, Settings.PasswordHash);
    WriteKeyringNote(unlock.Note);
    if (unlock.RemoveStored)
        keyring.Remove(
            [this](const TKeyringPassword::TResult& answer) { WriteKeyringNote(NoteOfChange(answer, true)); });
    m_unlockedByKeyring = unlock.Unlocked;
    return unlock.Unlocked;
}

void TfmMain::KeepPasswordInKeyring(const std::string& password) {
    if (!Settings.UnlockWithKeyring || m_unlockedByKeyring)
        return;
    Keyring().Store(password,
                    [this](const TKeyringPassword::TResult& answer) { WriteKeyringNote(NoteOfChange(answer, false)); });
}

void TfmMain::ForgetKeyringPassword() {
    m_unlockedByKeyring = false;
    Keyring().Remove([this](const TKeyringPassword::TResult& answer) { WriteKeyringNote(NoteOfChange(answer, true)); });
}

void TfmMain::AskPasswordForKeyring() {
    std::string password;
    if (!ShowInputBox(this, windowTitle().toStdString(), LoadStr(1002), LoadStr(2240), '*', password))
        return; // kept at the next start's prompt instead
    if (Md5Hex(password) != Settings.PasswordHash) {
        ShowMessageBox(this, LoadStr(2241), LoadStr(1006), QMessageBox::Warning);
        return;
    }
    m_unlockedByKeyring = false;
    KeepPasswordInKeyring(password);
}

void TfmMain::WriteKeyringNote(const TKeyringNote& note) {
    if (note.Message == 0)
        return;
    if (!m_keyringLogOpen) {
        m_keyringNotes.push_back(note);
        return;
    }
    if (note.Detail.empty())
        Log.WriteLog(LoadStr(note.Message));
    else
        Log.WriteLog(LoadStr(note.Message), {note.Detail});
}

void TfmMain::FlushKeyringNotes() {
    m_keyringLogOpen = true;
    for (const TKeyringNote& note : std::exchange(m_keyringNotes, {}))
        WriteKeyringNote(note);
}
