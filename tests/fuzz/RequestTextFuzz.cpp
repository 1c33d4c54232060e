#include "check/MatchPattern.h"
#include "check/RequestText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Templates and amounts as a definition author might write them, arbitrary bytes included.
// Besides not crashing: a text without "{c_" passes SubstituteMatches unchanged, UrlEncode output
// holds only letters, digits, '+' and "%XX", and ParseAmount keeps only digits and minus signs,
// halving every run of minus signs (rounded up: "-----" gives "---").
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> page = {"whole", "1", "", "%&"};
    const std::vector<std::string> step = {"a b"};
    const TStepMatches steps = [&](std::int64_t k) { return k == 1 ? &step : nullptr; };

    const std::string substituted = SubstituteMatches(text, page, steps);
    if (text.find("{c_") == std::string::npos && substituted != text)
        __builtin_trap();
    SubstitutePlaceholders(text, text, text, 12345);

    for (const char c : UrlEncode(text)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!plain && c != '+' && c != '%')
            __builtin_trap();
    }
    const std::string amount = ParseAmount(text);
    std::size_t minusIn = 0, minusOut = 0, run = 0;
    // Only digits end a run of minus signs: everything else is dropped before the halving.
    for (const char c : text + "0") {
        if (c == '-') {
            ++run;
        } else if (c >= '0' && c <= '9') {
            minusIn += (run + 1) / 2;
            run = 0;
        }
    }
    for (const char c : amount) {
        if (c == '-')
            ++minusOut;
        else if (c < '0' || c > '9')
            __builtin_trap();
    }
    if (minusIn != minusOut)
        __builtin_trap();
    ParseInt32(amount);
    return 0;
}
