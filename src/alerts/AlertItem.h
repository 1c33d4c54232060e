#pragma once

#include "alerts/AlertLimits.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TAlertItems;

// Unit of a check interval, shared by alerts and currency lists.
enum class TPeriodType : std::uint8_t { minutes = 0, hours = 1, days = 2 };

// Seconds per unit of a stored period type; values outside 0-2 count as a minute.
int PeriodTypeSeconds(int periodType);

// A balance is a signed count of hundredths of the currency unit; this value means "none known".
inline constexpr std::int32_t NoBalance = -1000000;

// One step of a multi-step download.
struct TChunk {
    std::vector<std::string> Matches; // submatches found on this step's page during a check
    std::string chunk_url;
    bool IsPost = false;
    std::string chunk_postdata;
    std::string chunk_pattern;
    std::string chunk_info_script;
};

// The two balances of an alert, read together.
struct TBalances {
    std::int32_t LastBalance = NoBalance;
    std::int32_t CurrentBalance = NoBalance;
    bool operator==(const TBalances&) const = default;
};

// The values of an alert that are stored in its registry key, taken at one moment.
struct TAlertState {
    std::string Name;
    bool Active = false;
    bool NeedAuth = true;
    std::int32_t Period = 1;
    TDateTime LastCheckedTime = 0;
    TPeriodType PeriodType = TPeriodType::hours;
    std::string PageLogin;
    std::string PagePassword;
    TBalances Balances;
    TAlertLimits Limits;
};

// One alert: where its page is, how to download it and how to find the balance in it, plus the
// state the user and the checks give it.
//
// Threads: a check thread calls SetBalance and its list's SaveState while the user-interface
// thread reads the same alert. The balances are private and only ever read or changed as a pair
// under the alert's lock. The fields the user edits (name, active flag, authorization, login and
// password, interval) change through the setters below, which take the lock themselves and may be
// called while a check of the alert runs. Code that changes the other state fields, InfoValues or
// the chunks' Matches while a check may be running holds Lock() for the change; SaveState and
// custom-alert copies take their values under the same lock, so they never see half a change.
class TAlertItem {
public:
    explicit TAlertItem(TAlertItems* owner = nullptr);
    TAlertItem(const TAlertItem&) = delete;
    TAlertItem& operator=(const TAlertItem&) = delete;

    std::map<std::string, std::string> InfoValues;
    std::vector<std::unique_ptr<TChunk>> ChunkList;
    std::string Name;
    std::string unique_id;
    std::string page_url;
    std::string pattern;
    std::string info_script;
    bool NeedAuth = true;
    bool Active = false;
    std::string PageLogin;
    std::string PagePassword;
    TPeriodType PeriodType = TPeriodType::hours;
    std::int32_t Period = 1;
    TDateTime LastCheckedTime;
    std::string chunks;
    bool IsPost = false;
    std::string post_data;
    std::string group_name;
    TAlertItems* Owner;
    // The user's limits and the checks' counts against them; read and changed under Lock().
    TAlertLimits Limits;

    int ChunkCount() const { return static_cast<int>(ChunkList.size()); }
    TChunk& Chunk(int index) { return *ChunkList.at(static_cast<std::size_t>(index)); }
    const TChunk& Chunk(int index) const { return *ChunkList.at(static_cast<std::size_t>(index)); }

    // The alert's lock: see the class comment. Not recursive: the members below take it themselves.
    [[nodiscard]] std::unique_lock<std::mutex> Lock() const { return std::unique_lock(m_mutex); }

    // The user's fields, each changed under the lock (never call them while holding Lock()).
    void SetName(std::string name);
    void SetActive(bool active);
    void SetNeedAuth(bool needAuth);
    void SetCredentials(std::string login, std::string password);
    void SetInterval(std::int32_t period, TPeriodType periodType);
    // Sets the user's limits under the lock, keeping the checks' failure count. New limits start
    // a new stay: a balance already beyond one is told at the next check.
    void SetLimits(const TAlertLimits& limits);
    // Puts back the user's fields as State() took them (balances, check time and counts stay).
    void RestoreUserFields(const TAlertState& state);

    // A known balance moves to LastBalance, then the value becomes CurrentBalance.
    void SetBalance(std::int32_t value);
    // Sets both balances as they are, as read back from the registry.
    void SetBalances(TBalances balances);
    TBalances Balances() const;
    std::int32_t LastBalance() const { return Balances().LastBalance; }
    std::int32_t CurrentBalance() const { return Balances().CurrentBalance; }
    // True when there was a balance before the latest one and the latest differs from it.
    bool BalanceChanged() const;

    // Period x seconds per unit, as a 32-bit product (it wraps rather than widens).
    std::int32_t IntervalSeconds() const;
    // When the next check falls due: an interval after LastCheckedTime, or now when the stored
    // time would never let the alert fall due (see IsDue), since such an alert is due at once.
    TDateTime NextCheckTime(TDateTime now) const;
    TDateTime NextCheckTime() const { return NextCheckTime(Now()); }
    // True once the whole time since LastCheckedTime, days included, reaches IntervalSeconds; also
    // when LastCheckedTime is not a finite number or lies more than one interval ahead of now.
    bool IsDue(TDateTime now) const;
    bool IsDue() const { return IsDue(Now()); }

    // The stored values, taken under the lock.
    TAlertState State() const;
    // A new alert carrying this one's definition (chunks deeply copied, Matches included), its
    // NeedAuth, InfoValues, PeriodType and Period; everything else has the defaults of a new alert.
    // A copy of an alert that keeps no state (see StorableUniqueId) keeps none either.
    std::unique_ptr<TAlertItem> CopyDefinition(TAlertItems* owner) const;

private:
    friend class TAlertItems;
    void SetBalanceLocked(std::int32_t value);

    mutable std::mutex m_mutex;
    std::mutex m_saveMutex; // held by SaveState from taking the values until they are written
    TBalances m_balances;
    bool m_noStoredState = false; // a custom alert whose base has no identity of its own
};

using TAlertVec = std::vector<TAlertItem*>;
