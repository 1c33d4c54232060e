#pragma once

#include "discover/HtmlScan.h"
#include "discover/PageNumbers.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Bytes as literal text of a pattern: ASCII letters and digits as they are, other printable ASCII
// behind a backslash, every other byte as \xHH, so that a pattern stays plain ASCII whatever code
// page the page uses.
std::string EscapeForPattern(std::string_view bytes);

// A pattern whose submatch 1 is the value of the field as the page writes it, found by the text of
// the field's tag before the value (blanks matched loosely). Empty when the field has no value
// attribute in the page.
std::string FieldValuePattern(std::string_view page, const THtmlField& field);

struct TBalancePattern {
    unsigned Problem = 0; // 0, or the number of the message that says why there is no pattern
    std::string Pattern;
};

// The pattern that reads the number where it stands: the shortest context of the page's words
// before it (with words after it where that is not enough) whose first match on the page is this
// number, blanks, no-break spaces and tags between them matched loosely, and the groups the check
// reads (units, decimal separator, hundredths). Verified with the check's own matching.
TBalancePattern BuildBalancePattern(const THtmlScan& scan, const TPageNumber& number);

// The balance a check reads from the page with the pattern, if any.
std::optional<std::int32_t> ReadBalance(const std::string& pattern, std::string_view page);
