#include "DemoBalances.h"
#include "DemoProfile.h"
#include "DemoSite.h"

#include "alerts/AlertItems.h"
#include "app/ProgramSettings.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "base/Program.h"
#include "check/CheckThread.h"
#include "currency/CurrencyScripts.h"
#include "currency/GetCurrencyRatesThread.h"
#include "discover/AccountDiscovery.h"
#include "platform/Events.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>

namespace {

struct CheckOutcome {
    std::string status;
    bool balanceFound = false;
};

CheckOutcome check(TAlertItem& alert, const std::string& alertsFolder, TLogFile& log) {
    CheckOutcome outcome;
    auto thread = std::make_shared<TCheckThread>(alert, alertsFolder, log);
    thread->OnCheckDone = [&outcome](TCheckThread& done) {
        outcome.status = done.StatusText;
        outcome.balanceFound = done.BalanceFound;
    };
    thread->Resume();
    EXPECT_TRUE(thread->WaitFor(30000));
    return outcome;
}

const std::map<std::string, TDemoAccount> kAccountOf = {{"DEMO_BANK_CURRENT", TDemoAccount::Bank},
                                                        {"DEMO_MOBILE_PREPAID", TDemoAccount::Mobile},
                                                        {"DEMO_WALLET", TDemoAccount::Wallet}};

} // namespace

// The demo as the program meets it: a profile prepared against the running site is loaded the way
// the program loads it, every demo alert is checked for real (form login and steps, scripts, a plain
// pattern), and a period later the balances follow the site.
TEST(DemoTest, PreparedProfileChecksEveryDemoAlertAndFollowsTheSiteClock) {
    std::atomic<std::int64_t> period{29'000'000};
    TDemoSite site;
    site.PeriodSource = [&period] { return period.load(); };
    ASSERT_TRUE(site.Start());

    TempDir dir;
    const TDemoProfile profile(dir.file("profile"));
    std::string error;
    ASSERT_TRUE(profile.Reset(error)) << error;
    ASSERT_TRUE(WriteDemoDefinitions(profile.AlertsFolder(), site.Address(), error)) << error;
    ASSERT_TRUE(profile.WriteStore("demo", period, error)) << error;

    TRegistry store(profile.StoreFile());
    TProgramSettings settings;
    settings.LoadSettings(store);
    EXPECT_FALSE(settings.FirstRun);
    EXPECT_EQ(settings.PasswordHash, Md5Hex("demo"));
    EXPECT_TRUE(settings.BalanceWindowVisible);
    EXPECT_FALSE(settings.AutoStart);

    const auto lists = LoadAlertFolder(profile.AlertsFolder(), kProgramKey, settings.PasswordHash, nullptr, {}, &store);
    std::vector<TAlertItem*> alerts;
    for (const auto& list : lists)
        for (int i = 0; i < list->Count(); ++i)
            alerts.push_back(&list->Item(i));
    ASSERT_EQ(alerts.size(), kAccountOf.size());

    TLogFile log;
    log.OpenLog(dir.file("log.txt"));
    log.SetEnabled(true);
    std::map<std::string, std::int32_t> first;
    for (TAlertItem* alert : alerts) {
        SCOPED_TRACE(alert->unique_id);
        ASSERT_EQ(kAccountOf.count(alert->unique_id), 1u);
        const TDemoAccount account = kAccountOf.at(alert->unique_id);
        EXPECT_TRUE(alert->Active);
        EXPECT_EQ(alert->IntervalSeconds(), 60);
        EXPECT_TRUE(alert->IsDue());
        EXPECT_EQ(alert->NeedAuth, !alert->PageLogin.empty());

        const CheckOutcome outcome = check(*alert, profile.AlertsFolder(), log);
        EXPECT_EQ(outcome.status, "OK");
        EXPECT_TRUE(outcome.balanceFound);
        EXPECT_EQ(alert->CurrentBalance(), DemoBalanceAt(account, period));
        // The profile's balances are those of an hour earlier, so the first check shows a change.
        EXPECT_EQ(alert->LastBalance(), DemoBalanceAt(account, period - 60));
        EXPECT_TRUE(alert->BalanceChanged());
        first[alert->unique_id] = alert->CurrentBalance();
        if (account == TDemoAccount::Mobile) {
            EXPECT_EQ(alert->InfoValues["Plan"], "Demo Talk 300");
            EXPECT_EQ(alert->InfoValues["Tariff"], "Standard");
            EXPECT_FALSE(alert->InfoValues["Minutes left"].empty());
        }
    }

    // A period later.
    ++period;
    int changed = 0;
    for (TAlertItem* alert : alerts) {
        SCOPED_TRACE(alert->unique_id);
        EXPECT_TRUE(check(*alert, profile.AlertsFolder(), log).balanceFound);
        EXPECT_EQ(alert->CurrentBalance(), DemoBalanceAt(kAccountOf.at(alert->unique_id), period));
        EXPECT_EQ(alert->LastBalance(), first[alert->unique_id]);
        changed += alert->BalanceChanged() ? 1 : 0;
    }
    EXPECT_GE(changed, 1);

    // The checks saved their balances where the program reads them, under its password.
    const auto reloaded = LoadAlertFolder(profile.AlertsFolder(), kProgramKey, Md5Hex("demo"), nullptr, {}, &store);
    for (const auto& list : reloaded)
        for (int i = 0; i < list->Count(); ++i)
            EXPECT_EQ(list->Item(i).CurrentBalance(), DemoBalanceAt(kAccountOf.at(list->Item(i).unique_id), period));

    // The bank's pages stay closed to a wrong password: its login step leads nowhere.
    TAlertItem* bank = nullptr;
    for (TAlertItem* alert : alerts)
        if (alert->unique_id == "DEMO_BANK_CURRENT")
            bank = alert;
    ASSERT_NE(bank, nullptr);
    {
        const auto lock = bank->Lock();
        bank->PagePassword = "wrong";
    }
    ++period;
    const CheckOutcome refused = check(*bank, profile.AlertsFolder(), log);
    EXPECT_EQ(refused.status, "ERR");
    EXPECT_FALSE(refused.balanceFound);
}

// What the demo relies on: a profile seeded an hour of periods earlier sees every balance changed at
// its first checks, and checks a period apart see rises, falls and the same balance again.
TEST(DemoTest, BalancesChangeAcrossAnHourAndWalkUpAndDown) {
    for (const TDemoAccount account : kDemoAccounts) {
        int rises = 0, falls = 0, same = 0;
        for (std::int64_t period = 29'000'000; period < 29'020'000; ++period) {
            const std::int32_t balance = DemoBalanceAt(account, period);
            ASSERT_GT(balance, 0);
            for (int gap = 60; gap <= 63; ++gap)
                ASSERT_NE(balance, DemoBalanceAt(account, period - gap)) << period << " " << gap;
            const std::int32_t before = DemoBalanceAt(account, period - 1);
            rises += balance > before ? 1 : 0;
            falls += balance < before ? 1 : 0;
            same += balance == before ? 1 : 0;
        }
        EXPECT_GT(rises, 2000);
        EXPECT_GT(falls, 2000);
        EXPECT_GT(same, 1000);
    }
}

// The rates window of the demo: the shipped ECB provider, pointed at the site, updates the demo's
// list from the site's rates file, and its first update after the start finds every shown rate
// changed; the site's rates move from one period to the next.
TEST(DemoTest, TheShippedRatesProviderReadsTheSitesChangingRates) {
    std::atomic<std::int64_t> period{29'000'000};
    TDemoSite site;
    site.PeriodSource = [&period] { return period.load(); };
    ASSERT_TRUE(site.Start());

    TempDir dir;
    const TDemoProfile profile(dir.file("profile"));
    std::string error;
    ASSERT_TRUE(profile.Reset(error)) << error;
    std::filesystem::create_directories(profile.CurrencyFolder());
    const std::string shipped = ReadFileBytes(BinPath("CurrencyRates/ecb.js"));
    WriteFileBytes(profile.CurrencyFolder() + "ecb.js", shipped);
    ASSERT_TRUE(WriteDemoRatesProvider(profile.CurrencyFolder(), site.Address(), error)) << error;
    ASSERT_TRUE(profile.WriteCurrencyStore(period, error)) << error;

    // Only the address differs from the shipped script.
    std::string original = DecryptBytes(kDefinitionPassphrase, shipped);
    original = original.substr(0, original.find('\0'));
    const std::string url = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
    original.replace(original.find(url), url.size(), site.Address() + "/ecb/eurofxref-daily.xml");

    TRegistry store(profile.StoreFile());
    const auto list = LoadCurrencyScript(profile.CurrencyFolder() + "ecb.js", nullptr, {}, &store);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->ScriptText, original);
    EXPECT_TRUE(list->Active);
    EXPECT_TRUE(list->IsDue());
    EXPECT_EQ(list->IntervalSeconds(), 60);

    TLogFile log;
    const auto update = [&] {
        TGetCurrencyRatesThread thread(TGetCurrencyRatesThread::gmExecute, &log, std::make_shared<TManualResetEvent>(),
                                       *list);
        bool done = false;
        thread.OnDone = [&done](TGetCurrencyRatesThread&) { done = true; };
        thread.Resume();
        EXPECT_TRUE(ProcessEventsUntil([&] { return done; }, 30000));
        EXPECT_FALSE(thread.Failed());
    };
    update();
    int shown = 0;
    for (const TDemoRate& rate : DemoRatesAt(period)) {
        SCOPED_TRACE(rate.Code);
        const TCurrencyObject* currency = list->FindCurrency(rate.Code);
        ASSERT_NE(currency, nullptr);
        const TCurrencyValue value = list->FindCurrency(rate.Code)->Values().at("rate");
        EXPECT_EQ(value.Current, rate.Rate);
        // An hour later every rate but the fixed one has moved.
        EXPECT_EQ(value.Previous != value.Current, rate.Code != "JPY");
        shown += currency->Active ? 1 : 0;
    }
    EXPECT_EQ(shown, static_cast<int>(std::size(kDemoShownCurrencies)));

    ++period;
    update();
    int changed = 0;
    for (const TDemoRate& rate : DemoRatesAt(period)) {
        const TCurrencyValue value = list->FindCurrency(rate.Code)->Values().at("rate");
        EXPECT_EQ(value.Current, rate.Rate);
        changed += value.Current != value.Previous ? 1 : 0;
    }
    EXPECT_GE(changed, 1);
}

// The savings site the demo offers for "Add account from a page...": its login form with a token of
// its own is found, the balance in the German-written table cell picked, and the definition written
// from it checks the balance the site shows, period after period.
TEST(DemoTest, TheSavingsSiteIsAddedFromItsPageAndChecks) {
    std::atomic<std::int64_t> period{29'000'000};
    TDemoSite site;
    site.PeriodSource = [&period] { return period.load(); };
    ASSERT_TRUE(site.Start());

    TAccountDiscovery discovery;
    discovery.PageUrl = site.Address() + "/savings/account";
    discovery.Login = TDemoSite::kSavingsLogin;
    discovery.Password = TDemoSite::kSavingsPassword;
    const TDiscoverResult found = discovery.FindLoginForm();
    ASSERT_TRUE(found.Ok()) << found.Text;
    ASSERT_TRUE(discovery.NeedsLogin());
    EXPECT_EQ(discovery.Tokens, std::vector<std::string>{"form_token"});
    const TDiscoverResult read = discovery.ReadAccountPage();
    ASSERT_TRUE(read.Ok()) << read.Text;
    const std::string shown = "3.210,45"; // 321045 + 29'000'000 % 100'000 * 3
    const TDiscoverResult picked = discovery.PickWritten(shown);
    ASSERT_TRUE(picked.Ok()) << picked.Text;

    TempDir dir;
    const std::string folder = dir.file("BalanceAlerts") + "/";
    ASSERT_TRUE(WriteDefinition(DefinitionPath(folder, "DEMO_SAVINGS"),
                                discovery.DefinitionText({"Demo Savings", "DEMO_SAVINGS", "Demo Savings", "Savings"}),
                                false)
                    .Ok());
    TRegistry store(dir.file("registry.db"));
    auto lists = LoadAlertFolder(folder, kProgramKey, Md5Hex("demo"), nullptr, {}, &store);
    ASSERT_EQ(lists.size(), 1u);
    TAlertItem* alert = lists[0]->FindByUniqueId("DEMO_SAVINGS");
    ASSERT_NE(alert, nullptr);
    alert->PageLogin = TDemoSite::kSavingsLogin;
    alert->PagePassword = TDemoSite::kSavingsPassword;
    TLogFile log;
    log.OpenLog(dir.file("log.txt"));
    log.SetEnabled(true);
    EXPECT_TRUE(check(*alert, folder, log).balanceFound) << ReadFileBytes(dir.file("log.txt"));
    EXPECT_EQ(alert->CurrentBalance(), 321045);
    period += 5;
    EXPECT_TRUE(check(*alert, folder, log).balanceFound) << ReadFileBytes(dir.file("log.txt"));
    EXPECT_EQ(alert->CurrentBalance(), 321060);

    // A wrong PIN brings the login form back: the login did not succeed.
    TAccountDiscovery wrong;
    wrong.PageUrl = discovery.PageUrl;
    wrong.Login = TDemoSite::kSavingsLogin;
    wrong.Password = "not-the-pin";
    ASSERT_TRUE(wrong.FindLoginForm().Ok());
    EXPECT_FALSE(wrong.ReadAccountPage().Ok());
}
