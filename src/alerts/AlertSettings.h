#pragma once

#include "alerts/AlertItems.h"

#include <memory>
#include <string>
#include <vector>

// What the Balance Alerts settings tab decides, without any widget: ticking alerts on and off
// (saved at once, pending until the settings window is confirmed or cancelled), the warning
// about active alerts that lack a login or password, renames, a group's shared credentials and
// new accounts made from an alert.
//
// Every change is saved at once. When the store refuses a save, the change is taken back, so
// that what the tab shows is what the next start will find.
class TAlertSettings {
public:
    explicit TAlertSettings(const std::vector<std::shared_ptr<TAlertItems>>& lists) : m_lists(lists) {}

    // A check box of the tree changed: a real change is applied, saved and remembered as pending.
    // False when the store refused it; the alert then keeps its previous flag.
    bool SetAlertActive(TAlertItem& alert, bool active);
    // The alerts changed through SetAlertActive since the last accept or undo, one entry per change.
    const std::vector<TAlertItem*>& PendingAlerts() const { return m_pending; }
    // The settings window was confirmed: the changes stay.
    void AcceptPending() { m_pending.clear(); }
    // The settings window was cancelled: every pending change is inverted and saved, first to last.
    // Returns, in the same order, the alerts whose tree nodes are to be inverted; a change whose
    // undoing the store refused stays, and its alert is not in the result.
    std::vector<TAlertItem*> UndoPending();
    // Forgets the pending changes (the lists are going away).
    void Clear() { m_pending.clear(); }

    // Active, needs authorization, and its login or password is blank.
    static bool IsIncomplete(const TAlertItem& alert);
    // The first such alert of all lists, in order, or null.
    TAlertItem* FirstIncompleteAlert() const;

    // The Balance List window switched the alert off. False when the store refused it; the alert
    // then stays active. The user's last word on the alert is this one: its pending ticks are
    // forgotten, so that a Cancel does not switch it on again behind the Balance List's back.
    bool Deactivate(TAlertItem& alert);

    // A name is taken only when something other than blanks and control characters remains.
    static bool AcceptableName(const std::string& text);
    // The tree's in-place editor ended with `text`: an acceptable name is stored as typed and
    // saved. Returns whether the alert's name changed; a refused save keeps the old name.
    static bool RenameAlert(TAlertItem& alert, const std::string& text);

    // After the edit dialog's OK: saves the alert; when the store refuses, the user's fields go back
    // to `before` and the result is false. Otherwise, when the alert has a login or a password, every
    // other alert of its list and group (exactly the same group name) takes them where its own
    // are empty, and is saved.
    static bool AcceptEdit(TAlertItem& alert, const TAlertState& before);

    // The name offered for a new account made from the alert: its name and " (new)".
    static std::string ProposedCustomName(const TAlertItem& alert);
    // A new account from `base` under `name`; null when the name is empty or the store refused it.
    static TAlertItem* AddCustomAlert(TAlertItem& base, const std::string& name);

private:
    static bool Save(TAlertItem& alert);
    static void ShareCredentials(const TAlertItem& alert);

    const std::vector<std::shared_ptr<TAlertItems>>& m_lists;
    std::vector<TAlertItem*> m_pending;
};
