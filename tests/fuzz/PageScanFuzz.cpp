#include "discover/BalancePattern.h"
#include "discover/HtmlScan.h"
#include "discover/LoginForm.h"
#include "discover/PageNumbers.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The input is a page. Parsing it (through the parser and by the quick pass), finding its login forms and listing its
// numbers never fails; every number lies inside the page, and a pattern written for one either reads exactly that
// number with the check's matching or says why not.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    const THtmlScan parsed(page);
    FindLoginForms(parsed, "http://bank.example/login");
    for (const TTextRun& run : parsed.Texts)
        if (run.Start + run.Length > parsed.Page().size())
            __builtin_trap();
    // Account pages are read by the quick pass over the tags.
    const THtmlScan scan(page, std::string(), THtmlScan::TDepth::TextOnly);
    for (const TTextRun& run : scan.Texts)
        if (run.Start + run.Length > scan.Page().size())
            __builtin_trap();
    const std::vector<TPageNumber> numbers = ListNumbers(scan);
    for (const TPageNumber& number : numbers)
        if (number.Start + number.Length > scan.Page().size())
            __builtin_trap();
    if (!numbers.empty()) {
        const TPageNumber& number = numbers[size % numbers.size()];
        const TBalancePattern pattern = BuildBalancePattern(scan, number);
        if (pattern.Problem == 0 && ReadBalance(pattern.Pattern, scan.Page()) != number.Hundredths)
            __builtin_trap();
    }
    return 0;
}
