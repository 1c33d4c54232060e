#include "DemoBalances.h"

namespace {

struct TWalk {
    std::int32_t base;  // balance at the start of a cycle
    std::int32_t unit;  // one step of the drift and of the noise; negative for a falling balance
    std::int64_t cycle; // periods until the drift starts over (a pay-out, a top-up)
    std::uint64_t salt; // makes the accounts' noise independent
};

TWalk walkOf(TDemoAccount account) {
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
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::int64_t floorMod(std::int64_t a, std::int64_t b) {
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

} // namespace

std::int32_t DemoBalanceAt(TDemoAccount account, std::int64_t period) {
    const TWalk walk = walkOf(account);
    // The drift climbs one unit every second period; the noise adds -2..+2 units. Within a cycle
    // 60 periods add 30 units of drift, more than the noise can take back; across the start of a
    // cycle the drift falls back by far more.
    const std::int64_t drift = floorMod(period, walk.cycle) / 2;
    const std::int64_t noise = static_cast<std::int64_t>(mix(static_cast<std::uint64_t>(period) ^ walk.salt) % 5) - 2;
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
