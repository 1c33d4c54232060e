#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text operations that turn the templates of an alert definition into the address and form data
// of one request. Texts are bytes; every rule here is a byte rule.

// Letters and digits stay, a blank becomes "+", every other byte "%XX" (upper-case hex).
std::string UrlEncode(std::string_view text);

// Milliseconds since the system started, as the 32-bit signed count that "{RAND}" becomes.
std::int32_t TickCount();

// Every occurrence of `placeholder` (ASCII letters in any case) replaced by `replacement`; the
// inserted text is not scanned again.
std::string ReplaceAllNoCase(std::string_view text, std::string_view placeholder, std::string_view replacement);

// "{RAND}" (any case; one tick count for the whole text), "{PASSWORD}" and "{LOGIN}" (any case;
// URL-encoded), then each "{DATETIME,format}" (exact case) as the current local time in that
// format. A "{DATETIME," without a closing brace takes the rest of the text as its format.
std::string SubstitutePlaceholders(std::string_view text, const std::string& login, const std::string& password,
                                   std::int32_t tickCount);

// The submatch list of step K (1 = first step), or nullptr when there is no such step.
using TStepMatches = std::function<const std::vector<std::string>*(std::int64_t step)>;

// "{c_N}" (submatch N of the alert's own page) and "{c_K_N}" (submatch N of step K), lower-case c
// only, each replaced by the URL-encoded submatch, or by nothing when the step or submatch does not
// exist.
std::string SubstituteMatches(std::string_view text, const std::vector<std::string>& pageMatches,
                              const TStepMatches& stepMatches);

// A decimal integer: an optional minus sign and digits, within 32 bits; nothing otherwise.
std::optional<std::int32_t> ParseInt32(std::string_view text);
