#include "discover/BalancePattern.h"
#include "discover/HtmlScan.h"
#include "discover/PageNumbers.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

namespace {

// An account page of about `size` bytes: a statement of many bookings, each with a date and an
// amount, a script and a style in its head, and the balance below the statement.
std::string MakeAccountPage(std::size_t size) {
    std::string page = "<html><head><meta charset=\"utf-8\"><title>Account</title>"
                       "<style>td.amount { width: 120px; }</style>"
                       "<script>var limits = [1000.00, 2500.50, 99];</script></head><body>"
                       "<h1>Current account DE12 3456</h1><table class=\"statement\">\n";
    for (int row = 0; page.size() + 300 < size; ++row)
        page += "<tr><td>2026-12-" + std::to_string(row % 28 + 1) + "</td><td>Transfer to Example Shop, ref " +
                std::to_string(4711 + row) + "</td><td class=\"amount\">-" + std::to_string(row % 977 + 1) + "," +
                std::to_string(row % 90 + 10) + "&nbsp;EUR</td></tr>\n";
    page += "</table><p>Available balance: <b>12.480,07&nbsp;EUR</b></p></body></html>";
    return page;
}

const std::string& AccountPage() {
    static const std::string page = MakeAccountPage(std::size_t{1} << 20);
    return page;
}

// Parsing a 1 MB account page and listing its numbers with their context.
void BM_AnalyseAccountPage1M(benchmark::State& state) {
    std::size_t numbers = 0;
    for (auto _ : state) {
        const THtmlScan scan(AccountPage(), std::string(), THtmlScan::TDepth::TextOnly);
        numbers = ListNumbers(scan).size();
        benchmark::DoNotOptimize(numbers);
    }
    state.counters["numbers"] = static_cast<double>(numbers);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * AccountPage().size()));
}
BENCHMARK(BM_AnalyseAccountPage1M)->Unit(benchmark::kMillisecond);

// The same page through the HTML parser, as login pages are read: forms and text.
void BM_ParseWholePage1M(benchmark::State& state) {
    for (auto _ : state) {
        const THtmlScan scan(AccountPage());
        benchmark::DoNotOptimize(scan.Texts.size());
    }
}
BENCHMARK(BM_ParseWholePage1M)->Unit(benchmark::kMillisecond);

// Writing the pattern for the balance at the page's end and verifying it with the check's matching,
// on the page and on a second copy of it.
void BM_BuildAndVerifyPattern1M(benchmark::State& state) {
    const THtmlScan scan(AccountPage(), std::string(), THtmlScan::TDepth::TextOnly);
    const std::vector<TPageNumber> numbers = ListNumbers(scan);
    const auto balance = std::find_if(numbers.begin(), numbers.end(),
                                      [](const TPageNumber& number) { return number.Hundredths == 1248007; });
    if (balance == numbers.end()) {
        state.SkipWithError("no balance on the page");
        return;
    }
    const std::string second = AccountPage();
    for (auto _ : state) {
        const TBalancePattern pattern = BuildBalancePattern(scan, *balance);
        if (pattern.Problem != 0 || ReadBalance(pattern.Pattern, second) != 1248007) {
            state.SkipWithError("no pattern");
            return;
        }
    }
}
BENCHMARK(BM_BuildAndVerifyPattern1M)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
