#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Which side of its limits a balance lies on.
enum class TWarnZone : std::uint8_t { None = 0, Below = 1, Above = 2 };

// The user's limits of one alert and what the checks have told about them so far. Amounts are
// hundredths of the currency unit, as the balances are.
struct TAlertLimits {
    static constexpr std::int32_t kDefaultFailuresBeforeNotice = 3;
    static constexpr std::int32_t kMaxFailuresBeforeNotice = 99;

    // The user's settings.
    std::optional<std::int32_t> WarnBelow;
    std::optional<std::int32_t> WarnAbove;
    std::int32_t FailuresBeforeNotice = kDefaultFailuresBeforeNotice; // 0: never
    // The checks' counts.
    std::int32_t FailedInARow = 0;
    TWarnZone WarnedZone = TWarnZone::None; // the zone whose current stay was told

    bool operator==(const TAlertLimits&) const = default;
    // The settings alone are equal (the counts may differ).
    bool SameSettings(const TAlertLimits& other) const {
        return WarnBelow == other.WarnBelow && WarnAbove == other.WarnAbove &&
               FailuresBeforeNotice == other.FailuresBeforeNotice;
    }
    // The zone of `balance`: below WarnBelow, above WarnAbove, or none.
    TWarnZone ZoneOf(std::int32_t balance) const;
    // The limit that bounds `zone`, or nothing for none.
    std::optional<std::int32_t> LimitOf(TWarnZone zone) const;
    // Enough checks failed in a row for the notice (never with 0).
    bool FailureNoticeDue() const { return FailuresBeforeNotice > 0 && FailedInARow >= FailuresBeforeNotice; }
};

// What one finished check has to tell about the limits.
struct TLimitVerdict {
    TWarnZone NewWarning = TWarnZone::None; // the balance entered (or first found in) this zone
    std::int32_t Limit = 0;                 // the limit of NewWarning
    bool FailureNotice = false;             // this check made FailuresBeforeNotice failures in a row
    bool ReadableAgain = false;             // a balance came after such a notice
    std::int32_t FailedInARow = 0;          // the count after this check
};

// Applies a check's outcome to the counts: a balance read clears the failures and warns when the
// balance lies in a zone whose stay was not yet told; a check that read none adds one failure.
TLimitVerdict ApplyCheckToLimits(TAlertLimits& limits, std::optional<std::int32_t> balanceRead);

// Reads an amount as people type it: "1234.5", "1.234,50", "1,234.50", "1 234.50", "€ 50", "-12,3",
// "50 EUR". Empty (or blanks only) gives an empty optional and true. False for anything else that
// is not a plain amount with at most two decimals within the range of a balance.
bool ParseAmount(std::string_view text, std::optional<std::int32_t>& hundredths);

// An amount for a field to edit: units, the separator and two decimals, no grouping ("-1234.50").
std::string AmountText(std::int32_t hundredths, const std::string& decimalSeparator);

// The stored form of a limit: its hundredths as a decimal integer, empty for none; and back
// (a stored text that is not such an integer reads as no limit).
std::string StoredLimitText(std::optional<std::int32_t> limit);
std::optional<std::int32_t> LimitFromStoredText(std::string_view text);

// "below", "above" or "".
const char* WarnZoneName(TWarnZone zone);
