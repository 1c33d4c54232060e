#pragma once

#include "currency/CurrencyScripts.h"
#include "platform/DateTime.h"
#include "translate/TranslateFn.h"

#include <memory>
#include <string>
#include <vector>

class TCurrencyList;
class TCurrencyObject;

// What applying the currency settings asks of the rates windows.
class ICurrencyWindowHost {
public:
    virtual ~ICurrencyWindowHost() = default;
    virtual bool HasCurrencyWindow(const TCurrencyList& list) const = 0;
    virtual void CreateCurrencyWindow(const std::shared_ptr<TCurrencyList>& list) = 0;
    // The window's rows follow the list's currencies again.
    virtual void RebuildCurrencyWindow(const TCurrencyList& list) = 0;
    // Saves the window's placement, then closes it and drops its tray item.
    virtual void DestroyCurrencyWindow(const TCurrencyList& list) = 0;
};

// One entry of the provider chooser: the shown text and the country code of its lists.
struct TProviderGroup {
    std::string Text;
    std::string Code;
};

// What the Currency Rates settings tab decides, without any widget: ticks of lists and currencies
// stay pending until the settings window is confirmed (applied: windows made or closed, the lists
// saved) or cancelled (undone), the provider groups, and what a list-building run's end means.
class TCurrencySettings {
public:
    explicit TCurrencySettings(const TCurrencyLists& lists) : m_lists(lists) {}

    // A check box of the tree changed: the flag follows it and the change is remembered, one entry
    // per real change.
    void SetListActive(TCurrencyList& list, bool active);
    void SetCurrencyActive(TCurrencyObject& currency, bool active);
    const std::vector<TCurrencyList*>& ChangedLists() const { return m_changedLists; }
    const std::vector<TCurrencyObject*>& ChangedCurrencies() const { return m_changedCurrencies; }

    // Cancel: every remembered change is toggled back, once per entry, and forgotten. A list whose
    // flags (or its currencies') were toggled back is saved (state only): one saved while the window
    // was open (its currencies fetched, an update, a hidden currency) would otherwise keep the
    // cancelled ticks in the store, and show them at the next start.
    void RevertCurrencySettings();
    // A rates window hid the currency ("Don't show this currency"): the user's last word on it. Its
    // remembered ticks are forgotten, so that a Cancel does not show it again.
    void CurrencyHidden(TCurrencyObject& currency);
    // OK: the changes stay. A switched-on list without currencies cannot show anything: it is
    // switched off again. Every list is saved (state only); a switched-on list gets its window or
    // has its rows rebuilt, a switched-off one loses its window. Returns the lists switched off.
    std::vector<TCurrencyList*> ApplyCurrencySettings(ICurrencyWindowHost& windows);
    // The question asked when ApplyCurrencySettings switched lists off (message 1074).
    static std::string IncompleteListsQuestion();
    // Forgets the pending changes (the lists are going away).
    void Clear();

    // The chooser's entries: the distinct country codes that have a translation "I.<code>" of section
    // "ALERTS", by that text; codes without one fold into "Global" (message 1068, code "global"),
    // which comes first.
    static std::vector<TProviderGroup> ProviderGroups(const TCurrencyLists& lists, const TTranslateFn& translate);
    // The lists of a group, in order: those whose code is exactly the group's.
    static std::vector<std::shared_ptr<TCurrencyList>> ListsOfGroup(const TCurrencyLists& lists,
                                                                    const std::string& code);

    // The end of a list-building run. A run that succeeded records the time and saves the list in full.
    enum class TBuildOutcome { Failed, Listed, NoCurrencies };
    static TBuildOutcome ListBuilt(TCurrencyList& list, bool failed, TDateTime now);
    // The box shown for the outcome (messages 1071 and 1072), empty when the list has currencies.
    static std::string BuildOutcomeMessage(TBuildOutcome outcome, const TCurrencyList& list);

private:
    const TCurrencyLists& m_lists;
    std::vector<TCurrencyList*> m_changedLists;
    std::vector<TCurrencyObject*> m_changedCurrencies;
};
