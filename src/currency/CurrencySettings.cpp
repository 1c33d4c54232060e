#include "currency/CurrencySettings.h"

#include "currency/CurrencyList.h"
#include "platform/Strings.h"
#include "translate/Messages.h"

#include <algorithm>
#include <set>

void TCurrencySettings::SetListActive(TCurrencyList& list, bool active) {
    if (list.Active == active)
        return;
    list.Active = active;
    m_changedLists.push_back(&list);
}

void TCurrencySettings::SetCurrencyActive(TCurrencyObject& currency, bool active) {
    const TCurrencyList::TLock lock = currency.Owner().Lock();
    if (currency.Active == active)
        return;
    currency.Active = active;
    m_changedCurrencies.push_back(&currency);
}

void TCurrencySettings::RevertCurrencySettings() {
    std::vector<TCurrencyList*> reverted;
    const auto note = [&reverted](TCurrencyList& list) {
        if (std::find(reverted.begin(), reverted.end(), &list) == reverted.end())
            reverted.push_back(&list);
    };
    for (TCurrencyList* list : m_changedLists) {
        list->Active = !list->Active;
        note(*list);
    }
    for (TCurrencyObject* currency : m_changedCurrencies) {
        const TCurrencyList::TLock lock = currency->Owner().Lock();
        currency->Active = !currency->Active;
        note(currency->Owner());
    }
    Clear();
    for (TCurrencyList* list : reverted)
        list->SaveToRegistry(list->ListKey(), true);
}

void TCurrencySettings::CurrencyHidden(TCurrencyObject& currency) {
    std::erase(m_changedCurrencies, &currency);
}

std::vector<TCurrencyList*> TCurrencySettings::ApplyCurrencySettings(ICurrencyWindowHost& windows) {
    Clear();
    std::vector<TCurrencyList*> switchedOff;
    // Copied: making or closing a window serves events, which may not change the lists, but the
    // loop must not depend on that.
    const TCurrencyLists lists = m_lists;
    for (const auto& list : lists) {
        if (list->Active && list->CurrencyCount() == 0) {
            list->Active = false;
            switchedOff.push_back(list.get());
        }
        list->SaveToRegistry(list->ListKey(), true);
        if (list->Active) {
            if (!windows.HasCurrencyWindow(*list))
                windows.CreateCurrencyWindow(list);
            else
                windows.RebuildCurrencyWindow(*list);
        } else if (windows.HasCurrencyWindow(*list)) {
            windows.DestroyCurrencyWindow(*list);
        }
    }
    return switchedOff;
}

std::string TCurrencySettings::IncompleteListsQuestion() {
    std::string text = LoadStr(1074);
    for (std::size_t at = text.find("{CRLF}"); at != std::string::npos; at = text.find("{CRLF}", at + 2))
        text.replace(at, 6, "\r\n");
    return FormatMsg(text, {LoadStr(1069)});
}

void TCurrencySettings::Clear() {
    m_changedLists.clear();
    m_changedCurrencies.clear();
}

std::vector<TProviderGroup> TCurrencySettings::ProviderGroups(const TCurrencyLists& lists,
                                                              const TTranslateFn& translate) {
    std::set<std::string> codes;
    for (const auto& list : lists)
        codes.insert(list->CountryCode);
    std::vector<TProviderGroup> groups;
    bool global = false;
    for (const std::string& code : codes) {
        const std::string text = translate ? translate("ALERTS", "I." + code) : std::string();
        if (text.empty())
            global = true;
        else
            groups.push_back({text, code});
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const TProviderGroup& a, const TProviderGroup& b) { return AsciiLessNoCase(a.Text, b.Text); });
    if (global)
        groups.insert(groups.begin(), {LoadStr(1068), "global"});
    return groups;
}

std::vector<std::shared_ptr<TCurrencyList>> TCurrencySettings::ListsOfGroup(const TCurrencyLists& lists,
                                                                            const std::string& code) {
    std::vector<std::shared_ptr<TCurrencyList>> shown;
    for (const auto& list : lists)
        if (list->CountryCode == code)
            shown.push_back(list);
    return shown;
}

TCurrencySettings::TBuildOutcome TCurrencySettings::ListBuilt(TCurrencyList& list, bool failed, TDateTime now) {
    if (failed)
        return TBuildOutcome::Failed;
    list.LastCheckedTime = now;
    list.SaveToRegistry(list.ListKey(), false);
    return list.CurrencyCount() > 0 ? TBuildOutcome::Listed : TBuildOutcome::NoCurrencies;
}

std::string TCurrencySettings::BuildOutcomeMessage(TBuildOutcome outcome, const TCurrencyList& list) {
    switch (outcome) {
    case TBuildOutcome::Failed:
        return FormatMsg(LoadStr(1071), {list.ListName});
    case TBuildOutcome::NoCurrencies:
        return FormatMsg(LoadStr(1072), {list.ListName});
    case TBuildOutcome::Listed:
        break;
    }
    return {};
}
