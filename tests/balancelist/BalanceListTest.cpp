#include "support/TestServer.h"

#include "alerts/AlertItems.h"
#include "balancelist/BalanceList.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "platform/FormatDateTime.h"
#include "platform/Registry.h"
#include "platform/Worker.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace {

const char* const kRoot = "Software\\Brightmoor\\Tallyglass";
constexpr TDateTime kHour = 1.0 / 24.0;

// What the main form hears from the list.
struct RecordingOwner : IBalanceListOwner {
    std::vector<std::string> calls;
    void NotifyBalanceChanged(TAlertItem& alert) override { calls.push_back("changed " + alert.Name); }
    void NotifyBalanceUnavailable(TAlertItem& alert) override { calls.push_back("unavailable " + alert.Name); }
    void DeactivateAlert(TAlertItem& alert) override {
        {
            const auto lock = alert.Lock(); // a check of the alert may be saving it
            alert.Active = false;
        }
        calls.push_back("deactivate " + alert.Name);
    }
    void BalanceListClosed() override { calls.push_back("closed"); }
};

// Account pages: /page/<name> answers with the body the test gives the name; /hold/<name> does
// the same once the test releases the held requests; /status/<code> answers with that code.
class AccountServer {
public:
    AccountServer() {
        m_http.server().Get("/page/(\\w+)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_mutex);
            res.set_content(m_bodies[req.matches[1]], "text/html");
        });
        m_http.server().Get("/hold/(\\w+)", [this](const httplib::Request& req, httplib::Response& res) {
            std::unique_lock lock(m_mutex);
            ++m_held;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
            res.set_content(m_bodies[req.matches[1]], "text/html");
        });
        m_http.server().Get("/status/(\\d+)", [](const httplib::Request& req, httplib::Response& res) {
            res.status = std::stoi(req.matches[1]);
            res.set_content("status page", "text/plain");
        });
        m_http.start();
    }
    ~AccountServer() { release(); }

    std::string url(const std::string& path) const { return m_http.url(path); }
    void setBody(const std::string& name, const std::string& body) {
        std::lock_guard lock(m_mutex);
        m_bodies[name] = body;
    }
    int held() {
        std::lock_guard lock(m_mutex);
        return m_held;
    }
    void release() {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, std::string> m_bodies;
    int m_held = 0;
    bool m_released = false;
    TestServer m_http; // last: stopped first, while the handlers' state still exists
};

class BalanceListTest : public ::testing::Test {
protected:
    BalanceListTest() : store(dir.file("registry.db")) {
        alerts = makeAlerts();
        log->OpenLog(dir.file("log.txt"));
        log->SetEnabled(true);
        balanceList.SetClock([this] { return now; });
        balanceList.SetConnectivity([this] { return online; });
    }

    std::shared_ptr<TAlertItems> makeAlerts() {
        // An allocation of its own, so that AddressSanitizer sees a use after the list is freed.
        auto list = std::shared_ptr<TAlertItems>(std::make_unique<TAlertItems>());
        list->RegistryRoot = kRoot;
        list->StateKey = Md5Hex("program password");
        list->Store = &store;
        return list;
    }

    // An active alert, checked last at `lastChecked`, due every hour.
    TAlertItem& addAlert(const std::string& name, const std::string& url, TDateTime lastChecked,
                         const std::string& pattern = "Balance: (-?\\d+)(\\.)(\\d\\d)", TBalances balances = {}) {
        auto alert = std::make_unique<TAlertItem>(alerts.get());
        alert->Name = name;
        alert->unique_id = "ID-" + name;
        alert->page_url = url;
        alert->pattern = pattern;
        TAlertItem& added = *alerts->AddAlert(std::move(alert));
        added.Active = true;
        added.LastCheckedTime = lastChecked;
        added.SetBalances(balances);
        balanceList.AddAlertRow(added);
        return added;
    }

    // LastCheckedTime as stored for the alert.
    TDateTime storedCheckTime(const TAlertItem& alert) {
        auto reread = makeAlerts();
        TAlertItem copy(reread.get());
        copy.unique_id = alert.unique_id;
        copy.LastCheckedTime = -1;
        reread->LoadState(copy);
        return copy.LastCheckedTime;
    }

    const TBalanceRow& rowOf(const TAlertItem& alert) { return balanceList.Row(balanceList.IndexOf(alert)); }

    bool waitForChecks() {
        return ProcessEventsUntil([this] { return balanceList.RunningCheckCount() == 0; }, 30000);
    }

    TempDir dir;
    TRegistry store;
    std::shared_ptr<TAlertItems> alerts;
    std::shared_ptr<TLogFile> log = std::make_shared<TLogFile>();
    RecordingOwner owner;
    TDateTime now = EncodeDateTime(2026, 12, 6, 14, 5, 0, 0);
    bool online = true;
    TBalanceList balanceList{owner, log, dir.path() + "/"};
};

} // namespace

TEST_F(BalanceListTest, DueAlertsStartOnePerTickOnlyWhileOnline) {
    AccountServer server;
    TAlertItem& a = addAlert("Alpha", server.url("/hold/a"), now - 2 * kHour);
    TAlertItem& b = addAlert("Beta", server.url("/hold/b"), now - 2 * kHour);
    TAlertItem& c = addAlert("Gamma", server.url("/hold/c"), now - 2 * kHour);
    TAlertItem& fresh = addAlert("Fresh", server.url("/hold/f"), now - 0.5 * kHour);
    TAlertItem& off = addAlert("Off", server.url("/hold/o"), now - 2 * kHour);
    off.Active = false;
    server.setBody("a", "Balance: 10.25");
    server.setBody("b", "Balance: -3.50");
    server.setBody("c", "Balance: 7.00");

    // Offline: nothing starts and the alerts stay due.
    online = false;
    balanceList.tmCheckTimerTimer();
    EXPECT_EQ(balanceList.RunningCheckCount(), 0);
    EXPECT_TRUE(a.IsDue(now) && b.IsDue(now) && c.IsDue(now));

    online = true;
    std::vector<TAlertItem*> started;
    for (int tick = 1; tick <= 4; ++tick) {
        now += 5.0 / kSecondsPerDay;
        balanceList.tmCheckTimerTimer();
        for (TAlertItem* alert : {&a, &b, &c, &fresh, &off})
            if (balanceList.IsChecking(*alert) && std::find(started.begin(), started.end(), alert) == started.end()) {
                started.push_back(alert);
                EXPECT_EQ(alert->LastCheckedTime, now) << alert->Name;
                EXPECT_EQ(storedCheckTime(*alert), now) << alert->Name; // saved before the check started
            }
        EXPECT_EQ(balanceList.RunningCheckCount(), std::min(tick, 3)) << "tick " << tick;
    }
    EXPECT_FALSE(balanceList.IsChecking(fresh));
    EXPECT_FALSE(balanceList.IsChecking(off));
    ASSERT_TRUE(ProcessEventsUntil([&] { return server.held() == 3; }));

    // Check Now on a running check only moves its check time.
    now += kHour / 60;
    balanceList.CheckNow(a);
    EXPECT_EQ(a.LastCheckedTime, now);
    EXPECT_EQ(storedCheckTime(a), now);
    EXPECT_EQ(balanceList.RunningCheckCount(), 3);

    server.release();
    ASSERT_TRUE(waitForChecks());
    EXPECT_EQ(rowOf(a).BalanceText, "10.25");
    EXPECT_EQ(rowOf(b).BalanceText, "-3.50");
    EXPECT_EQ(rowOf(c).StatusText, "OK");
    EXPECT_EQ(rowOf(fresh).BalanceText, "-");
    EXPECT_EQ(server.held(), 3);
    EXPECT_TRUE(owner.calls.empty()); // first balances: no change to report

    // The next tick puts the time text back in place of "OK"; the not-yet-due alert keeps its own.
    balanceList.tmCheckTimerTimer();
    EXPECT_EQ(rowOf(a).StatusText, FormatDateTime("t  d mmm", a.LastCheckedTime));
    EXPECT_EQ(rowOf(fresh).StatusText, FormatDateTime("t  d mmm", fresh.LastCheckedTime));
}

TEST_F(BalanceListTest, FinishedChecksUpdateTheirRowsAndTellTheOwner) {
    AccountServer server;
    // A body announced longer than it is: the download breaks off.
    RawServer broken({"HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nBalance: 1"});
    TAlertItem& bank = addAlert("Bank", server.url("/page/bank"), now - 2 * kHour);
    TAlertItem& cut = addAlert("Cut", broken.url("/x"), now - 2 * kHour);
    TAlertItem& badAddress = addAlert("BadAddress", "htp:/nowhere", now - 2 * kHour);
    TAlertItem& badPattern = addAlert("BadPattern", server.url("/page/bank"), now - 2 * kHour, "Balance: (");
    TAlertItem& failing = addAlert("Failing", server.url("/status/500"), now - 2 * kHour);
    server.setBody("bank", "Balance: 10.00");
    std::vector<std::pair<TBalanceList::TRowChange, int>> changes;
    balanceList.SetChangeListener([&](TBalanceList::TRowChange change, int row) { changes.emplace_back(change, row); });

    // Every alert is due: one starts per tick, and the broken ones do not keep the others from
    // being checked. Each row shows its check's outcome until a later tick reaches it.
    std::map<std::string, std::pair<std::string, std::string>> shown; // name -> status, balance
    for (int tick = 0; tick < 5; ++tick) {
        balanceList.tmCheckTimerTimer();
        ASSERT_EQ(balanceList.RunningCheckCount(), 1);
        TAlertItem* started = nullptr;
        for (TAlertItem* alert : {&bank, &cut, &badAddress, &badPattern, &failing})
            if (balanceList.IsChecking(*alert))
                started = alert;
        ASSERT_TRUE(waitForChecks());
        shown[started->Name] = {rowOf(*started).StatusText, rowOf(*started).BalanceText};
    }
    using Shown = std::pair<std::string, std::string>;
    EXPECT_EQ(shown["Bank"], Shown("OK", "10.00"));
    EXPECT_EQ(rowOf(bank).ImageIndex, biNoChange);
    EXPECT_EQ(shown["Cut"], Shown("", "-")); // not downloaded
    EXPECT_EQ(shown["BadAddress"], Shown("", "-"));
    EXPECT_EQ(shown["BadPattern"], Shown("OK", "-"));
    EXPECT_EQ(shown["Failing"], Shown("ERR", "-"));
    // Only the checks that brought no page at all are reported; a page with an error status or
    // without a balance is only shown.
    std::sort(owner.calls.begin(), owner.calls.end());
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"unavailable BadAddress", "unavailable Cut"}));
    // The view heard of each finished row, and only of its own.
    for (TAlertItem* alert : {&bank, &cut, &badAddress, &badPattern, &failing})
        EXPECT_NE(std::find(changes.begin(), changes.end(),
                            std::make_pair(TBalanceList::TRowChange::Changed, balanceList.IndexOf(*alert))),
                  changes.end())
            << alert->Name;

    // A rise: image 1 and the owner hears of it.
    owner.calls.clear();
    server.setBody("bank", "Balance: 12.00");
    balanceList.CheckNow(bank);
    ASSERT_TRUE(waitForChecks());
    EXPECT_EQ(rowOf(bank).BalanceText, "12.00");
    EXPECT_EQ(rowOf(bank).ImageIndex, biGrowthUp);
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"changed Bank"}));

    // Checks after the change that set no balance leave both balances as they were: that is no
    // news. A page without a balance tells nothing; a page that cannot be had tells just that.
    owner.calls.clear();
    server.setBody("bank", "Balance: none today");
    balanceList.CheckNow(bank);
    ASSERT_TRUE(waitForChecks());
    EXPECT_TRUE(bank.BalanceChanged());
    EXPECT_TRUE(owner.calls.empty());
    const std::string bankUrl = bank.page_url;
    bank.page_url = "htp:/nowhere";
    balanceList.CheckNow(bank);
    ASSERT_TRUE(waitForChecks());
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"unavailable Bank"}));
    EXPECT_EQ(rowOf(bank).ImageIndex, biGrowthUp);
    bank.page_url = bankUrl;
    server.setBody("bank", "Balance: 12.00");

    // The same balance again: back to image 0, nothing to report.
    owner.calls.clear();
    balanceList.CheckNow(bank);
    ASSERT_TRUE(waitForChecks());
    EXPECT_EQ(rowOf(bank).ImageIndex, biNoChange);
    EXPECT_TRUE(owner.calls.empty());

    // An alert switched off while its check runs: it still gets the result, the rows stay as they
    // are, and the change of an alert the user no longer watches is not told.
    server.setBody("bank", "Balance: 9.00");
    balanceList.CheckNow(bank);
    balanceList.Disable(bank);
    EXPECT_FALSE(bank.Active);
    EXPECT_FALSE(balanceList.HasRow(bank));
    ASSERT_TRUE(waitForChecks());
    EXPECT_EQ(bank.CurrentBalance(), 900);
    EXPECT_TRUE(bank.BalanceChanged());
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"deactivate Bank"}));
    EXPECT_EQ(balanceList.RowCount(), 4);
}

TEST_F(BalanceListTest, ShutdownWaitIsBoundedAndAStuckCheckTouchesNothingFreed) {
    AccountServer server;
    std::weak_ptr<TAlertItems> alertsGone = alerts;
    std::weak_ptr<TLogFile> logGone;
    {
        auto ownLog = std::shared_ptr<TLogFile>(std::make_unique<TLogFile>());
        ownLog->OpenLog(dir.file("own-log.txt"));
        ownLog->SetEnabled(true);
        logGone = ownLog;
        RecordingOwner shortLived;
        TBalanceList list(shortLived, ownLog, dir.path() + "/");
        auto item = std::make_unique<TAlertItem>(alerts.get());
        item->Name = "Held";
        item->unique_id = "HELD";
        item->page_url = server.url("/hold/h");
        item->pattern = "(\\d+)";
        TAlertItem& alert = *alerts->AddAlert(std::move(item));
        alert.Active = true;
        list.AddAlertRow(alert);
        list.StartCheck(alert);
        ASSERT_TRUE(ProcessEventsUntil([&] { return server.held() == 1; }));

        QElapsedTimer timer;
        timer.start();
        list.WaitForChecks();
        EXPECT_LT(timer.elapsed(), 3500);
        EXPECT_EQ(list.RunningCheckCount(), 0);
        EXPECT_TRUE(list.CancelEvent()->IsSet());
        list.tmCheckTimerTimer(); // a tick after the wait starts nothing
        EXPECT_EQ(list.RunningCheckCount(), 0);
        EXPECT_TRUE(shortLived.calls.empty());
        // The starter lets go of everything; the check keeps what it uses.
        alerts.reset();
        ownLog.reset();
    }
    server.release();
    EXPECT_TRUE(WaitForAllWorkers(30000));
    EXPECT_TRUE(alertsGone.expired());
    EXPECT_TRUE(logGone.expired());
}

TEST_F(BalanceListTest, TextsSortingAndHints) {
    EXPECT_EQ(BalanceText(-50, "."), "-0.50");
    EXPECT_EQ(BalanceText(NoBalance, "."), "-");
    EXPECT_EQ(BalanceText(12345, "."), "123.45");
    EXPECT_EQ(BalanceText(12345, ","), "123,45");
    EXPECT_EQ(BalanceText(5, ","), "0,05");
    EXPECT_EQ(BalanceText(INT32_MIN, "."), "-21474836.48");
    balanceList.SetDecimalSeparator(",");

    const std::string pattern = "(x)";
    TAlertItem& small = addAlert("beta", "", now, pattern, {NoBalance, 500});
    TAlertItem& none = addAlert("Alpha", "", now, pattern);
    TAlertItem& large = addAlert("gamma", "", now, pattern, {1000, 1200});
    const auto order = [&] {
        std::vector<std::string> names;
        for (const TBalanceRow& row : balanceList.Rows())
            names.push_back(row.Caption);
        return names;
    };
    std::vector<TBalanceList::TRowChange> changes;
    balanceList.SetChangeListener([&](TBalanceList::TRowChange change, int) { changes.push_back(change); });
    balanceList.Sort(TBalanceList::colBalance); // first click: largest first, no balance last
    EXPECT_EQ(order(), (std::vector<std::string>{"gamma", "beta", "Alpha"}));
    EXPECT_EQ(changes, (std::vector<TBalanceList::TRowChange>{TBalanceList::TRowChange::BeforeLayout,
                                                              TBalanceList::TRowChange::Layout}));
    EXPECT_EQ(balanceList.IndexOf(none), 2);
    balanceList.Sort(TBalanceList::colBalance);
    EXPECT_EQ(order(), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    balanceList.Sort(TBalanceList::colPartner); // letter case aside, descending
    EXPECT_EQ(order(), (std::vector<std::string>{"gamma", "beta", "Alpha"}));
    // Letters fold to upper case: "_" lies between the upper- and the lower-case letters, so it
    // sorts after every letter.
    EXPECT_LT(CompareText("bank", "BANKz"), 0);
    EXPECT_LT(CompareText("BANKz", "Bank_"), 0);
    EXPECT_EQ(CompareText("Bank_A", "bank_a"), 0);
    EXPECT_GT(CompareText("b\xc3\xa4", "bz"), 0); // bytes beyond ASCII after every ASCII one
    TAlertItem& underscore = addAlert("_Cash", "", now, pattern);
    TAlertItem& beta2 = addAlert("Beta_2", "", now, pattern);
    balanceList.Sort(TBalanceList::colPartner); // ascending
    EXPECT_EQ(order(), (std::vector<std::string>{"Alpha", "beta", "Beta_2", "gamma", "_Cash"}));
    balanceList.RemoveAlertRow(underscore);
    balanceList.RemoveAlertRow(beta2);
    balanceList.Sort(TBalanceList::colPartner); // descending again
    EXPECT_EQ(order(), (std::vector<std::string>{"gamma", "beta", "Alpha"}));
    balanceList.Sort(TBalanceList::colStatus); // all equal: the order stays
    EXPECT_EQ(order(), (std::vector<std::string>{"gamma", "beta", "Alpha"}));
    EXPECT_EQ(balanceList.SortColumn(), TBalanceList::colStatus);

    // The hint, built once per row the pointer comes to.
    large.InfoValues = {{"Tariff", "Flat"}, {"Plan", "Gold"}};
    const int row = balanceList.IndexOf(large);
    const std::string hint = balanceList.HintFor(row);
    const std::string when = FormatDateTime("c", now);
    const std::string next = FormatDateTime("c", now + kHour);
    EXPECT_EQ(hint, "gamma\r\n    Last balance: 10,00\r\n    Current balance: 12,00\r\n    Trend: Growth up.\r\n\r\n"
                    "Additional info:\r\n    Plan: Gold\r\n    Tariff: Flat\r\n\r\n    Last check: " +
                        when + "\r\n    Next check: " + next);
    EXPECT_EQ(balanceList.HintFor(row), ""); // the same row: nothing new
    EXPECT_EQ(balanceList.HintRow(), row);
    EXPECT_EQ(balanceList.HintFor(-1), ""); // off the rows, and back
    EXPECT_EQ(balanceList.HintRow(), -1);
    EXPECT_EQ(balanceList.HintFor(row), hint);
    const std::string plain = balanceList.HintFor(balanceList.IndexOf(none));
    EXPECT_NE(plain.find("Trend: No changes from last check.\r\n\r\n    Last check: "), std::string::npos) << plain;

    // Renaming and removing keep the index in step with the rows.
    balanceList.RenameAlertRow(none, "Omega");
    EXPECT_EQ(rowOf(none).Caption, "Omega");
    balanceList.RemoveAlertRow(small);
    balanceList.RemoveAlertRow(small);
    EXPECT_EQ(order(), (std::vector<std::string>{"gamma", "Omega"}));
    EXPECT_EQ(balanceList.IndexOf(none), 1);
    balanceList.AddAlertRow(large); // already listed
    EXPECT_EQ(balanceList.RowCount(), 2);
}
