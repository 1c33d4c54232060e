#include "LoopbackServer.h"

#include "base/LogFile.h"
#include "currency/CurrencyRatesList.h"
#include "currency/CurrencyScripts.h"
#include "currency/GetCurrencyRatesThread.h"
#include "history/History.h"
#include "platform/Events.h"
#include "platform/Registry.h"
#include "script/ScriptWatchdog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

// A rates window's decisions, driven by the shipped European Central Bank provider against rates
// files served from the test process: the rows, their marks, the order, the schedule of the
// updates and what a failing provider leaves behind.
namespace {

const char* const kRatesUrl = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";

std::string ratesFile(const std::string& usd, bool withGold = false) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gesmes:Envelope><Cube><Cube time='2024-03-08'>\n"
           "<Cube currency='USD' rate='" +
           usd + "'/>\n<Cube currency='JPY' rate='160.88'/>\n<Cube currency='CZK' rate='25.308'/>\n" +
           (withGold ? "<Cube currency='XAU' rate='0.0005'/>\n" : "") + "</Cube></Cube></gesmes:Envelope>\n";
}

struct RecordingOwner : ICurrencyRatesOwner {
    std::vector<std::string> balloons;
    void ShowBalloon(const std::string& title, const std::string& text, int timeoutMs) override {
        balloons.push_back(title + " | " + text + " | " + std::to_string(timeoutMs));
    }
    void CurrencyWindowShown(TCurrencyList&, bool) override {}
    // As the program's windows do: each completed update goes into the history.
    void RatesUpdated(std::vector<TRateRecord> records) override {
        recorded = records;
        if (history)
            history->AddRates(std::move(records));
    }
    std::vector<TRateRecord> recorded;
    THistory* history = nullptr;
};

class CurrencyRates : public ::testing::Test {
protected:
    CurrencyRates() {
        log->OpenLog(dir.file("log.txt"));
        log->SetEnabled(true);
        server.setBody(ratesFile("27.10"));
    }

    std::shared_ptr<TCurrencyList> load() {
        std::shared_ptr<TCurrencyList> list =
            LoadCurrencyScript(BinPath("CurrencyRates/ecb.js"), log.get(), {}, &store);
        if (list) {
            const std::size_t at = list->ScriptText.find(kRatesUrl);
            EXPECT_NE(at, std::string::npos);
            list->ScriptText.replace(at, std::string(kRatesUrl).size(), server.url("/rates.xml"));
        }
        return list;
    }

    // The list as the provider tree leaves it: built, switched on, saved.
    std::shared_ptr<TCurrencyList> built() {
        auto list = load();
        if (!list)
            return list;
        TGetCurrencyRatesThread thread(TGetCurrencyRatesThread::gmGetCurrencyList, log.get(),
                                       std::make_shared<TManualResetEvent>(), *list);
        bool done = false;
        thread.OnDone = [&done](TGetCurrencyRatesThread&) { done = true; };
        thread.Resume();
        EXPECT_TRUE(ProcessEventsUntil([&] { return done; }, 30000));
        EXPECT_FALSE(thread.Failed());
        list->Active = true;
        list->SaveToRegistry(list->ListKey(), false);
        return list;
    }

    static int rowOf(const TCurrencyRatesList& rates, const std::string& code) {
        for (int i = 0; i < rates.RowCount(); ++i)
            if (rates.Row(i).Cells.at(0) == code)
                return i;
        return -1;
    }
    static std::vector<std::string> codes(const TCurrencyRatesList& rates) {
        std::vector<std::string> shown;
        for (int i = 0; i < rates.RowCount(); ++i)
            shown.push_back(rates.Row(i).Cells.at(0));
        return shown;
    }
    // One update as the timer starts it, waited for.
    static void update(TCurrencyRatesList& rates) {
        ASSERT_TRUE(rates.StartUpdate());
        ASSERT_TRUE(ProcessEventsUntil([&] { return !rates.Updating(); }, 30000));
    }

    TempDir dir;
    TRegistry store{dir.file("registry.db")};
    std::shared_ptr<TLogFile> log = std::make_shared<TLogFile>();
    LoopbackServer server;
    RecordingOwner owner;
};

} // namespace

TEST_F(CurrencyRates, ARiseIsMarkedGreenUntilTheNextUpdateAndTheTimerUpdatesOnlyWhenDue) {
    auto list = built();
    ASSERT_TRUE(list);
    const TTranslateFn translate = [](const std::string& section, const std::string& key) {
        return section == "ALERTS" && key == "I.Currency" ? std::string("Währung") : std::string();
    };
    THistory history(dir.file("history.db"), "state key", log);
    owner.history = &history;
    TCurrencyRatesList rates(list, owner, log, translate);
    TDateTime clock = 45000.5;
    rates.SetClock([&clock] { return clock; });
    bool online = false;
    rates.SetConnectivity([&online] { return online; });
    int updatesDone = 0;
    rates.OnUpdateDone = [&updatesDone] { ++updatesDone; };

    rates.RebuildRows();
    ASSERT_EQ(rates.ColumnCount(), 2);
    EXPECT_EQ(rates.ColumnCaption(0), "Währung");
    EXPECT_EQ(rates.ColumnCaption(1), "EUR 1 =");
    // A fresh fill is sorted ascending by the first column; nothing is marked after a restart.
    EXPECT_EQ(codes(rates), (std::vector<std::string>{"CZK", "JPY", "USD"}));
    for (int row = 0; row < rates.RowCount(); ++row)
        EXPECT_EQ(rates.CellMark(row, 0), TChangeMark::None);
    EXPECT_EQ(rates.Caption(), "ECB euro reference rates");

    // Never updated, hence due; but not while offline.
    rates.tmCheckTimerTimer();
    EXPECT_FALSE(rates.Updating());
    online = true;
    server.setBody(ratesFile("27.15"));
    rates.tmCheckTimerTimer();
    ASSERT_TRUE(rates.Updating());
    EXPECT_EQ(list->LastCheckedTime, clock);
    // No second run, and no reordering, while one runs.
    EXPECT_FALSE(rates.StartUpdate());
    rates.tmCheckTimerTimer();
    EXPECT_FALSE(rates.CanSortNow());
    rates.ColumnClick(1);
    EXPECT_EQ(codes(rates), (std::vector<std::string>{"CZK", "JPY", "USD"}));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rates.Updating(); }, 30000));
    EXPECT_EQ(server.requests(), 2);
    EXPECT_EQ(updatesDone, 1);

    // 27.10 to 27.15: the rate's cell and the row's first cell go green, the others stay.
    const int usd = rowOf(rates, "USD");
    ASSERT_GE(usd, 0);
    EXPECT_EQ(rates.Row(usd).Cells, (std::vector<std::string>{"USD", "27.15"}));
    EXPECT_EQ(rates.CellMark(usd, 1), TChangeMark::Up);
    EXPECT_EQ(rates.CellMark(usd, 0), TChangeMark::Up);
    EXPECT_EQ(rates.CellMark(rowOf(rates, "JPY"), 1), TChangeMark::None);
    EXPECT_EQ(owner.balloons,
              (std::vector<std::string>{"ECB euro reference rates | One of currency rates in the 'ECB euro reference "
                                        "rates' list changed. You can find the detailed information in window for "
                                        "this list. | 10000"}));
    EXPECT_NE(rates.Caption().find("ECB euro reference rates ("), std::string::npos) << rates.Caption();
    // The history of the row's rate is the one the update recorded, whichever cell was clicked.
    const auto subject = rates.HistorySubject(usd, 0);
    ASSERT_TRUE(subject);
    EXPECT_EQ(subject->Key(), rates.HistorySubject(usd, 1)->Key());
    EXPECT_EQ(subject->Caption.substr(0, 4), "USD ");
    const auto usdRecord = std::find_if(owner.recorded.begin(), owner.recorded.end(),
                                        [&](const TRateRecord& record) { return subject->Matches(record); });
    ASSERT_NE(usdRecord, owner.recorded.end());
    EXPECT_EQ(usdRecord->Rate, "27.15");
    EXPECT_FALSE(rates.HistorySubject(rates.RowCount(), 1));
    // Saved in full: the next start shows the new rate.
    auto reloaded = load();
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->FindCurrency("USD")->ReadValue("rate").Current, "27.15");

    // Due again only when the interval (one hour) has passed since the start of the last update.
    clock += 59.0 / 1440;
    rates.tmCheckTimerTimer();
    EXPECT_FALSE(rates.Updating());
    clock += 1.0 / 1440;
    rates.tmCheckTimerTimer();
    ASSERT_TRUE(rates.Updating());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !rates.Updating(); }, 30000));
    // The same rate again: back to the row's colour, and no balloon.
    EXPECT_EQ(rates.CellMark(usd, 1), TChangeMark::None);
    EXPECT_EQ(rates.CellMark(usd, 0), TChangeMark::None);
    EXPECT_EQ(owner.balloons.size(), 1u);

    // A fall paints red. Values compare as texts: "9.50" after "10.20" is a rise.
    server.setBody(ratesFile("10.20"));
    update(rates);
    EXPECT_EQ(rates.CellMark(usd, 1), TChangeMark::Down);
    EXPECT_EQ(rates.CellMark(usd, 0), TChangeMark::Down);
    server.setBody(ratesFile("9.50"));
    update(rates);
    EXPECT_EQ(rates.CellMark(usd, 1), TChangeMark::Up);
    EXPECT_EQ(owner.balloons.size(), 3u);
    // Each completed update put every rate of the list into the history.
    history.Flush();
    std::vector<std::string> usdRates;
    for (const TRateRecord& record : history.Rates(list->ListKey(), "USD", "rate"))
        usdRates.push_back(record.Rate);
    EXPECT_EQ(usdRates, (std::vector<std::string>{"27.15", "27.15", "10.20", "9.50"}));
    EXPECT_EQ(history.Rates(list->ListKey(), "JPY", "rate").size(), 4u);

    // Sorting by the rate: the first click ascending, the second descending.
    rates.ColumnClick(1);
    EXPECT_EQ(codes(rates), (std::vector<std::string>{"JPY", "CZK", "USD"}));
    rates.ColumnClick(1);
    EXPECT_EQ(codes(rates), (std::vector<std::string>{"USD", "CZK", "JPY"}));
    // A list that must keep its order is never sorted.
    list->CanSort = false;
    rates.ColumnClick(0);
    EXPECT_FALSE(rates.CanSortNow());
    EXPECT_EQ(codes(rates), (std::vector<std::string>{"USD", "CZK", "JPY"}));
    rates.RebuildRows();
    EXPECT_EQ(codes(rates), (std::vector<std::string>{"USD", "JPY", "CZK"}));
    list->CanSort = true;

    // A switched-off list is not updated, however due.
    list->Active = false;
    clock += 1;
    rates.tmCheckTimerTimer();
    EXPECT_FALSE(rates.Updating());
}

TEST_F(CurrencyRates, HiddenCurrenciesStayHiddenAndAnEmptyPreviousValueNeverMarks) {
    auto list = built();
    ASSERT_TRUE(list);
    // A currency the provider did not have yet: its row starts without values.
    {
        TCurrencyObject& gold = list->FindOrAddCurrency("XAU");
        gold.CurrencyName = "Gold";
    }
    TCurrencyRatesList rates(list, owner, log);
    rates.RebuildRows();
    ASSERT_EQ(rates.RowCount(), 4);
    EXPECT_EQ(rates.Row(0).Cells, (std::vector<std::string>{"", ""}));

    // Hidden for good: the row goes, and the next start leaves it out.
    const int jpy = rowOf(rates, "JPY");
    rates.HideCurrency(jpy);
    EXPECT_EQ(rates.RowCount(), 3);
    EXPECT_EQ(rowOf(rates, "JPY"), -1);
    auto restarted = load();
    ASSERT_TRUE(restarted);
    EXPECT_FALSE(restarted->FindCurrency("JPY")->Active);
    TCurrencyRatesList again(restarted, owner, log);
    again.RebuildRows();
    EXPECT_EQ(codes(again), (std::vector<std::string>{"CZK", "USD"}));

    // The gold's first rate follows an empty text: no mark, and no balloon.
    server.setBody(ratesFile("27.10", true));
    update(rates);
    const int gold = rowOf(rates, "XAU");
    ASSERT_GE(gold, 0);
    EXPECT_EQ(rates.Row(gold).Cells, (std::vector<std::string>{"XAU", "0.0005"}));
    EXPECT_EQ(rates.CellMark(gold, 0), TChangeMark::None);
    EXPECT_EQ(rates.CellMark(gold, 1), TChangeMark::None);
    EXPECT_TRUE(owner.balloons.empty());
}

TEST_F(CurrencyRates, AFailingLoopingOrGarbageProviderLeavesTheLastRatesAndLogsTheError) {
    auto list = built();
    ASSERT_TRUE(list);
    TCurrencyRatesList rates(list, owner, log);
    rates.RebuildRows();
    server.setBody(ratesFile("27.15"));
    update(rates);
    const int usd = rowOf(rates, "USD");
    ASSERT_EQ(rates.CellMark(usd, 1), TChangeMark::Up);
    const auto shown = [&] { return rates.Row(usd).Cells.at(1); };

    // Garbage instead of rates.
    server.setBody("<html>\x01\xff<Cube currency='usd' rate='lots'/></html>");
    update(rates);
    EXPECT_EQ(shown(), "27.15");
    EXPECT_EQ(rates.CellMark(usd, 1), TChangeMark::Up);
    // A server that is gone.
    const std::string script = list->ScriptText;
    const std::string address = server.url("/rates.xml");
    list->ScriptText.replace(list->ScriptText.find(address), address.size(), "http://127.0.0.1:1/rates.xml");
    update(rates);
    EXPECT_EQ(shown(), "27.15");
    // A provider stuck in a loop is stopped by the time limit.
    SetDefaultScriptTimeLimits(kUiThreadScriptTimeLimit, std::chrono::milliseconds(300));
    list->ScriptText = script + "\nfunction execute() { CurrencyList.currency('USD').setvalue('rate', '1'); "
                                "while (true) {} }\n";
    update(rates);
    SetDefaultScriptTimeLimits(kUiThreadScriptTimeLimit, kWorkerScriptTimeLimit);
    EXPECT_EQ(shown(), "27.15");
    EXPECT_TRUE(owner.balloons.size() == 1u);
    // The failed attempts count as updates all the same: the next one waits for the interval.
    EXPECT_FALSE(list->IsDue());
    // Nothing of what the failed runs wrote stays: the next good update, with the same rate,
    // marks nothing and says nothing.
    list->ScriptText = script;
    server.setBody(ratesFile("27.15"));
    update(rates);
    EXPECT_EQ(shown(), "27.15");
    EXPECT_EQ(rates.CellMark(usd, 1), TChangeMark::None);
    EXPECT_EQ(owner.balloons.size(), 1u);

    const std::string logText = ReadFileBytes(dir.file("log.txt"));
    EXPECT_NE(logText.find("Error occured in script 'ecb.js': No rates in "), std::string::npos) << logText;
    EXPECT_NE(logText.find("Error occured in script 'ecb.js': Cannot download http://127.0.0.1:1/"), std::string::npos)
        << logText;
    EXPECT_NE(logText.find("Error occured in script 'ecb.js': Time limit"), std::string::npos) << logText;
}
