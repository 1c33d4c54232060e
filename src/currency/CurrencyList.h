#pragma once

#include "alerts/AlertItem.h"
#include "currency/CurrencyObject.h"
#include "platform/DateTime.h"
#include "script/ScriptObject.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class TRegistry;

// Where the lists keep their columns, currencies and settings: one subkey per script file.
inline constexpr const char* kCurrencyRatesKey = "Software\\Brightmoor\\Tallyglass\\CurrencyRates";

// One column of a rate list (a buying rate, a selling rate...). The currencies' values are stored
// under its name.
struct TCurrencyColumn {
    bool Visible = true;
    std::string ColumnName;
    std::string Caption;
    bool InspectChanges = false; // the list window marks values that changed in the last update
};

// The rate list one provider script delivers, with the user's settings for it. Provider scripts
// fill it as the named object "CurrencyList" through registercolumn, addcurrency, currenciescount,
// currency and cansort; the registry keeps it between runs so that the windows show the last known
// rates before any script has run.
//
// Columns and currencies are looked up by name without regard to letter case (the first match
// wins) and are only ever appended; they are emptied only when the list is read back from the
// registry.
//
// Locking: a script runs against the list on a worker thread while the user-interface thread shows
// and edits it. Every member takes the list's lock for its own duration, the script's calls
// included, and nothing holds it across a download or a script run, so the user-interface thread
// never waits for one. Code that reads several members as one picture holds Lock() around them;
// the lock is recursive. RunInProgress tells that a script run is writing the list (a window does
// not sort then, and refills its rows when the run has ended). The settings (Active, PeriodType,
// Period, LastCheckedTime) are never touched by scripts and belong to the user-interface thread.
class TCurrencyList : public TScriptObject {
public:
    static constexpr int kRegisterColumn = 1;
    static constexpr int kAddCurrency = 2;
    static constexpr int kCurrenciesCount = 3;
    static constexpr int kCurrency = 4;
    static constexpr int kCanSort = 5;

    using TMutex = std::recursive_mutex;
    using TLock = std::unique_lock<TMutex>;

    TCurrencyList();
    ~TCurrencyList() override;

    std::string_view TypeName() const override { return "CurrencyList"; }

    std::string CountryCode;    // groups the lists in the provider combo box; "global" for the Global entry
    std::string ListName;       // shown name, translated when the translation has one
    std::string ScriptText;     // the decrypted provider script
    bool Active = false;        // switched on: the list has a window and is updated periodically
    std::string ScriptFileName; // "name.js", names the list's registry key
    std::string PageUrl;
    bool CanSort = true; // the window may sort rows by a clicked column
    TPeriodType PeriodType = TPeriodType::hours;
    std::int32_t Period = 1;
    TDateTime LastCheckedTime = 0; // start of the last update; 0 means never

    // The store the list is kept in; nullptr means TRegistry::Instance().
    TRegistry* Store = nullptr;

    [[nodiscard]] TLock Lock() const { return TLock(m_mutex); }
    [[nodiscard]] TLock TryLock() const { return TLock(m_mutex, std::try_to_lock); }

    // Marks a script run against the list for its lifetime.
    class TRunMark {
    public:
        explicit TRunMark(const TCurrencyList& list);
        ~TRunMark();
        TRunMark(const TRunMark&) = delete;
        TRunMark& operator=(const TRunMark&) = delete;

    private:
        const TCurrencyList& m_list;
    };
    bool RunInProgress() const { return m_runs.load() > 0; }

    int ColumnCount() const;
    const TCurrencyColumn& Column(int index) const;
    // The first column whose name matches without regard to case, or nullptr.
    const TCurrencyColumn* FindColumn(const std::string& name) const;
    // Replaces the caption and the inspection flag of a column of that name (case ignored), keeping
    // its place, name and visibility; else appends a visible column.
    void RegisterColumn(const std::string& name, const std::string& caption, bool inspectChanges);
    void SetColumnVisible(int index, bool visible);

    int CurrencyCount() const;
    TCurrencyObject& Currency(int index) const;
    // The key a currency was first added under.
    const std::string& CurrencyKey(int index) const;
    // The first currency whose key matches without regard to case, or nullptr.
    TCurrencyObject* FindCurrency(const std::string& key) const;
    // That currency, or a new one (shown, unnamed, without values) appended under this key.
    TCurrencyObject& FindOrAddCurrency(const std::string& key);

    // The values of every currency, taken before a run and put back when it fails, so that a run
    // that wrote some rates and then failed leaves the list as it found it.
    using TValueSnapshot = std::vector<std::pair<TCurrencyObject*, TCurrencyObject::TValues>>;
    TValueSnapshot SnapshotValues() const;
    void RestoreValues(const TValueSnapshot& snapshot);

    // This list's key: kCurrencyRatesKey\ScriptFileName.
    std::string ListKey() const;

    // Empties the list and reads it back from the key. Missing values leave their fields as they
    // are; subkeys without a name, a caption or a currency name are skipped. A value of the wrong
    // type ends the reading silently, keeping what was read before it. Every value read back has
    // its previous text equal to its current one.
    void LoadFromRegistry(const std::string& listKey);
    // Writes the settings and, unless stateOnly, the columns, the currencies' names and their
    // current values; the currencies' Active flags are written always. A registry failure ends the
    // save silently. Nothing is ever deleted from the store.
    void SaveToRegistry(const std::string& listKey, bool stateOnly);

    // The check interval in seconds; units other than hours and days count as minutes.
    std::int32_t IntervalSeconds() const;
    // Whether an update is due: at least IntervalSeconds whole seconds have passed since the last
    // one. A list never updated is due at once, and so is one whose LastCheckedTime is not a finite
    // number or lies more than one interval ahead of now.
    bool IsDue() const;
    bool IsDue(TDateTime now) const;

protected:
    std::span<const TScriptMember> Members() const override;
    TInvokeResult InvokeMember(int id, unsigned callKind, const std::vector<TScriptValue>& args) override;

private:
    struct ColumnEntry {
        TCurrencyColumn column;
        std::string fold;
    };
    struct CurrencyEntry {
        std::string key;
        std::string fold;
        std::unique_ptr<TCurrencyObject> object;
    };

    TRegistry& StateStore() const;
    void Clear();
    int ColumnIndex(const std::string& name) const; // index, or -1

    mutable TMutex m_mutex;
    mutable std::atomic<int> m_runs{0};
    std::vector<ColumnEntry> m_columns;
    std::vector<CurrencyEntry> m_currencies;
};

// Names folded for the lists' case-insensitive lookups, the way the registry folds key names:
// Unicode case folding for valid UTF-8, ASCII letters only otherwise. Two currencies the list
// tells apart therefore never share a registry key.
std::string FoldCurrencyName(const std::string& name);
