#pragma once

#include "discover/HtmlScan.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A number as a page shows it, in one of the ways banks write amounts: "1,234.56", "1.234,56",
// "1 234,56" (also with a no-break space), "-12.50", "12.50-", "1234".
struct TPageNumber {
    std::size_t Index = 0;       // counted from 1 in the order of the page
    std::int64_t Hundredths = 0; // the value
    std::string Written;         // as the page writes it, UTF-8, no-break spaces as blanks
    std::string Context;         // the text around it, UTF-8, blanks collapsed
    std::size_t Start = 0;       // its bytes in the page, sign included
    std::size_t Length = 0;
    char Decimal = 0;           // '.' or ',' before the hundredths; 0 for a whole number
    std::string GroupSeparator; // the bytes between groups of thousands as written; empty if none
    bool TrailingMinus = false;
};

// The numbers of text as the page writes it (character references not decoded), with Start
// counted from the text's beginning; Index, Written and Context are left empty.
std::vector<TPageNumber> ScanNumbers(std::string_view text);

// Every number of the page's text outside scripts and styles, with its context.
std::vector<TPageNumber> ListNumbers(const THtmlScan& scan);

// A balance as it is shown: "-1234.56".
std::string FormatHundredths(std::int64_t hundredths);
