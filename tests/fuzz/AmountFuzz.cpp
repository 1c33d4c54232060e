#include "alerts/AlertLimits.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reads arbitrary text as a typed limit, and checks that an amount it accepts reads back the same
// from the field's own text and from the stored form.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<std::int32_t> amount;
    if (!ParseAmount(text, amount) || !amount)
        return 0;
    for (const char* separator : {".", ","}) {
        std::optional<std::int32_t> again;
        if (!ParseAmount(AmountText(*amount, separator), again) || again != amount)
            __builtin_trap();
    }
    if (LimitFromStoredText(StoredLimitText(amount)) != amount)
        __builtin_trap();
    return 0;
}
