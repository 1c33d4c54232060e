#include "history/HistorySeries.h"

#include "base/Encoders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

// A history window's series over records read back from a real SQLite history.
namespace {

const std::int64_t kDay = 86'400'000;
const std::int64_t kNow = 1773144000000; // 2026-03-10T12:00:00Z

TCheckRecord check(const std::string& alert, std::int64_t time, std::optional<std::int32_t> balance,
                   THistoryOutcome outcome = THistoryOutcome::BalanceRead) {
    TCheckRecord r;
    r.AlertKey = alert;
    r.TimeMs = time;
    r.Balance = balance;
    r.Outcome = outcome;
    return r;
}

} // namespace

TEST(HistorySeries, RangesStepsChangesFailuresAndCsvOfOneAlertsRecords) {
    TempDir dir;
    THistory history(dir.file("history.db"), Md5Hex("pw"), nullptr);
    history.Add(check("BANK", kNow - 400 * kDay, 10000));
    TCheckRecord status = check("BANK", kNow - 40 * kDay, std::nullopt, THistoryOutcome::HttpStatus);
    status.HttpStatus = 503;
    history.Add(status);
    history.Add(check("BANK", kNow - 20 * kDay, 4000));
    history.Add(check("OTHER", kNow - 3 * kDay, 999)); // another alert's: never in BANK's series
    TCheckRecord failed = check("BANK", kNow - 5 * kDay, std::nullopt, THistoryOutcome::DownloadFailed);
    failed.Reason = "timed out, \"slow\"";
    history.Add(failed);
    history.Add(check("BANK", kNow - 2 * kDay, 3000));
    history.Add(check("BANK", kNow - kDay, 12000));
    history.AddRates({{"Rates\\ecb.js", "USD", "Rate", kNow - 2 * kDay, "1.0842"},
                      {"Rates\\ecb.js", "USD", "Rate", kNow - kDay, " 1,0917"},
                      {"Rates\\ecb.js", "GBP", "Rate", kNow - kDay, "0.8600"}});
    history.Flush();

    THistorySubject subject;
    subject.AlertKey = "BANK";
    subject.WarnBelow = 5000;
    THistorySeries series = subject.Read(history);
    ASSERT_EQ(series.TotalCount(), 6);

    const auto counts = [&series] {
        std::vector<int> n;
        for (const auto range : {THistoryRange::Week, THistoryRange::Month, THistoryRange::Year, THistoryRange::All}) {
            series.SetRange(range, kNow);
            n.push_back(series.Count());
        }
        return n;
    };
    EXPECT_EQ(counts(), (std::vector<int>{3, 4, 5, 6}));

    // The month: each value's change against the value read before it, across a failed check.
    series.SetRange(THistoryRange::Month, kNow);
    ASSERT_EQ(series.Count(), 4);
    EXPECT_EQ(series.Point(0).Change, -60.0);
    EXPECT_FALSE(series.Point(1).Value);
    EXPECT_FALSE(series.Point(1).Change);
    EXPECT_EQ(series.Point(2).Change, -10.0);
    EXPECT_EQ(series.Point(3).Change, 90.0);
    EXPECT_EQ(series.FailureTimes(), (std::vector<std::int64_t>{kNow - 5 * kDay}));

    // The week starts with the value that held when it began, and its scale takes in the limit.
    series.SetRange(THistoryRange::Week, kNow);
    EXPECT_EQ(series.ValueBefore(), 40.0);
    double low = 0;
    double high = 0;
    ASSERT_TRUE(series.ValueSpan(low, high));
    EXPECT_EQ(low, 30.0);
    EXPECT_EQ(high, 120.0);
    const std::vector<TStepColumn> steps = series.Steps(8);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].Column, 0);
    EXPECT_EQ(steps[0].Last, 40.0);
    EXPECT_EQ(steps[1].Column, 5);
    EXPECT_EQ(steps[1].Last, 30.0);
    EXPECT_EQ(steps[2].Column, 6);
    EXPECT_EQ(steps[2].Last, 120.0);
    // Many records in one column keep their lowest, highest and last.
    EXPECT_EQ(series.Steps(1).size(), 1u);
    EXPECT_EQ(series.Steps(1)[0].Low, 30.0);
    EXPECT_EQ(series.Steps(1)[0].Last, 120.0);

    EXPECT_EQ(series.CsvText(), "time,value,change,outcome\n"
                                "2026-03-05T12:00:00Z,,,\"download failed: timed out, \"\"slow\"\"\"\n"
                                "2026-03-08T12:00:00Z,30.00,-10.00,balance read\n"
                                "2026-03-09T12:00:00Z,120.00,90.00,balance read\n");

    // A check that ends later joins the range in view, its change against the last value.
    TCheckRecord live = check("BANK", kNow + 3'600'000, -2050);
    series.Add(live);
    ASSERT_EQ(series.Count(), 4);
    EXPECT_EQ(series.ToMs(), kNow + 3'600'000);
    EXPECT_EQ(series.CsvText().substr(series.CsvText().rfind("2026-03-10")),
              "2026-03-10T13:00:00Z,-20.50,-140.50,balance read\n");
    series.SetRange(THistoryRange::All, kNow);
    EXPECT_EQ(series.Count(), 7);

    // A rate keeps the places its provider gave, read with a comma as well as a point.
    THistorySubject rate;
    rate.ListKey = "Rates\\ecb.js";
    rate.Currency = "USD";
    rate.Column = "Rate";
    THistorySeries rates = rate.Read(history);
    EXPECT_EQ(rates.CsvText(), "time,value,change,outcome\n"
                               "2026-03-08T12:00:00Z,1.0842,,\n"
                               "2026-03-09T12:00:00Z,1.0917,0.0075,\n");
    EXPECT_NE(rate.Key(), subject.Key());
    EXPECT_EQ(rate.Key().find('\\'), std::string::npos);

    // The text written is the text made; a path that cannot be written says why.
    std::string error;
    ASSERT_TRUE(WriteTextFile(dir.file("week.csv"), rates.CsvText(), error)) << error;
    EXPECT_EQ(ReadFileBytes(dir.file("week.csv")), rates.CsvText());
    EXPECT_FALSE(WriteTextFile(dir.path(), "x", error));
    EXPECT_FALSE(error.empty());
}
