#include "alerts/AlertSettings.h"

#include "platform/Strings.h"
#include "translate/Messages.h"

bool TAlertSettings::Save(TAlertItem& alert) {
    return alert.Owner == nullptr || alert.Owner->SaveState(alert);
}

bool TAlertSettings::SetAlertActive(TAlertItem& alert, bool active) {
    if (alert.Active == active)
        return true;
    alert.SetActive(active);
    if (!Save(alert)) {
        alert.SetActive(!active);
        return false;
    }
    m_pending.push_back(&alert);
    return true;
}

std::vector<TAlertItem*> TAlertSettings::UndoPending() {
    std::vector<TAlertItem*> inverted;
    while (!m_pending.empty()) {
        TAlertItem& alert = *m_pending.front();
        m_pending.erase(m_pending.begin());
        alert.SetActive(!alert.Active);
        if (Save(alert))
            inverted.push_back(&alert);
        else
            alert.SetActive(!alert.Active); // the store keeps the change: so does the alert
    }
    return inverted;
}

bool TAlertSettings::IsIncomplete(const TAlertItem& alert) {
    return alert.Active && alert.NeedAuth && (Trim(alert.PageLogin).empty() || Trim(alert.PagePassword).empty());
}

TAlertItem* TAlertSettings::FirstIncompleteAlert() const {
    for (const auto& list : m_lists)
        for (const auto& alert : list->Alerts)
            if (IsIncomplete(*alert))
                return alert.get();
    return nullptr;
}

bool TAlertSettings::Deactivate(TAlertItem& alert) {
    const bool was = alert.Active;
    alert.SetActive(false);
    if (!Save(alert)) {
        alert.SetActive(was);
        return false;
    }
    std::erase(m_pending, &alert);
    return true;
}

bool TAlertSettings::AcceptableName(const std::string& text) {
    return !Trim(text).empty();
}

bool TAlertSettings::RenameAlert(TAlertItem& alert, const std::string& text) {
    if (!AcceptableName(text) || text == alert.Name)
        return false;
    std::string old = alert.Name;
    alert.SetName(text);
    if (Save(alert))
        return true;
    alert.SetName(std::move(old));
    return false;
}

bool TAlertSettings::AcceptEdit(TAlertItem& alert, const TAlertState& before) {
    if (!Save(alert)) {
        alert.RestoreUserFields(before);
        return false;
    }
    if (!alert.PageLogin.empty() || !alert.PagePassword.empty())
        ShareCredentials(alert);
    return true;
}

void TAlertSettings::ShareCredentials(const TAlertItem& alert) {
    if (alert.Owner == nullptr)
        return;
    for (const auto& other : alert.Owner->Alerts) {
        if (other.get() == &alert || other->group_name != alert.group_name)
            continue;
        if (!other->PageLogin.empty() && !other->PagePassword.empty())
            continue;
        const TAlertState before = other->State();
        other->SetCredentials(other->PageLogin.empty() ? alert.PageLogin : other->PageLogin,
                              other->PagePassword.empty() ? alert.PagePassword : other->PagePassword);
        if (!Save(*other))
            other->RestoreUserFields(before);
    }
}

std::string TAlertSettings::ProposedCustomName(const TAlertItem& alert) {
    return alert.Name + LoadStr(1018);
}

TAlertItem* TAlertSettings::AddCustomAlert(TAlertItem& base, const std::string& name) {
    if (name.empty() || base.Owner == nullptr)
        return nullptr;
    return base.Owner->AddCustomAlert(name, base);
}
