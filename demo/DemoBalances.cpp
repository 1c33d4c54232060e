#include "DemoBalances.h"

namespace {

struct TWalk {
    std::int32_t base;  // balance at the start of a cycle
    std::int32_t unit;  // one step of the drift and of the noise; negative for a falling balance
    std::int64_t cycle; // periods until the drift starts over (a pay-out, a top-up)
    std::uint64_t salt; // makes the accounts' noise independent
};

TWalk WalkOf(TDemoAccount account) {
    switch (account) {
    case TDemoAccount::Bank:
        return {152340, 125, 240, 0x62616E6BULL};
    case TDemoAccount::Mobile:
        return {2500, -15, 130, 0x6D6F6269ULL};
    case TDemoAccount::Wallet:
        break;
    }
    return {5720, 40, 180, 0x77616C6CULL};
}

// SplitMix64: a well-mixed hash of the period, the same on every machine.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::int64_t FloorMod(std::int64_t a, std::int64_t b) {
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

} // namespace

std::int32_t DemoBalanceAt(TDemoAccount account, std::int64_t period) {
    const TWalk walk = WalkOf(account);
    // The drift climbs one unit every second period; the noise adds -2..+2 units. Within a cycle
    // 60 periods add 30 units of drift, more than the noise can take back; across the start of a
    // cycle the drift falls back by far more.
    const std::int64_t drift = FloorMod(period, walk.cycle) / 2;
    const std::int64_t noise = static_cast<std::int64_t>(Mix(static_cast<std::uint64_t>(period) ^ walk.salt) % 5) - 2;
    return static_cast<std::int32_t>(walk.base + walk.unit * (drift + noise));
}

std::int64_t DemoPeriodOf(std::int64_t unixSeconds, int stepSeconds) {
    const std::int64_t step = stepSeconds > 0 ? stepSeconds : 60;
    return unixSeconds >= 0 ? unixSeconds / step : -((-unixSeconds + step - 1) / step);
}

std::string DemoAmountText(std::int32_t hundredths, bool grouped) {
    const std::int64_t value = hundredths;
    const std::int64_t magnitude = value < 0 ? -value : value;
    std::string units = std::to_string(magnitude / 100);
    if (grouped)
        for (int at = static_cast<int>(units.size()) - 3; at > 0; at -= 3)
            units.insert(static_cast<std::size_t>(at), ",");
    const std::int64_t cents = magnitude % 100;
    return (value < 0 ? "-" : "") + units + "." + (cents < 10 ? "0" : "") + std::to_string(cents);
}

namespace {

struct TRateWalk {
    const char* code;
    std::int64_t base; // in units of the last decimal
    int decimals;
    int step; // direction of the drift: a rising, a falling or a fixed rate
};

constexpr TRateWalk kRateWalks[] = {
    {"USD", 10939, 4, 1},  {"GBP", 8511, 4, -1}, {"JPY", 16088, 2, 0},   {"CHF", 9605, 4, 1},
    {"CZK", 25308, 3, -1}, {"PLN", 43125, 4, 1}, {"SEK", 112350, 4, -1}, {"NOK", 114680, 4, 1},
};

std::string FixedText(std::int64_t units, int decimals) {
    std::string digits = std::to_string(units);
    if (static_cast<int>(digits.size()) <= decimals)
        digits.insert(0, static_cast<std::size_t>(decimals + 1) - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
    return digits;
}

} // namespace

std::vector<TDemoRate> DemoRatesAt(std::int64_t period) {
    std::vector<TDemoRate> rates;
    std::uint64_t salt = 0x72617465ULL;
    for (const TRateWalk& walk : kRateWalks) {
        ++salt;
        // A quarter of a unit of drift per period within a cycle of 120, and -3..+3 units of noise:
        // 60 periods move a rate by 15 units, more than the noise takes back. A fixed rate stays.
        const std::int64_t drift = FloorMod(period, 120) / 4;
        const std::int64_t noise =
            static_cast<std::int64_t>(Mix(static_cast<std::uint64_t>(period) ^ (salt << 20)) % 7) - 3;
        const std::int64_t units = walk.step == 0 ? walk.base : walk.base + walk.step * drift + noise;
        rates.push_back({walk.code, FixedText(units, walk.decimals)});
    }
    return rates;
}

std::string DemoRatesFile(std::int64_t period) {
    std::string file = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<gesmes:Envelope xmlns:gesmes=\"http://www.gesmes.org/xml/2002-08-01\" "
                       "xmlns=\"http://www.ecb.int/vocabulary/2002-08-01/eurofxref\">\n"
                       "\t<gesmes:subject>Reference rates</gesmes:subject>\n"
                       "\t<gesmes:Sender>\n\t\t<gesmes:name>Demo Central Bank</gesmes:name>\n\t</gesmes:Sender>\n"
                       "\t<Cube>\n\t\t<Cube time='2024-03-08'>\n";
    for (const TDemoRate& rate : DemoRatesAt(period))
        file += "\t\t\t<Cube currency='" + rate.Code + "' rate='" + rate.Rate + "'/>\n";
    return file + "\t\t</Cube>\n\t</Cube>\n</gesmes:Envelope>\n";
}
