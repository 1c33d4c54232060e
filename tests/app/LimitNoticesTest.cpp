#include "support/TestServer.h"

#include "alerts/AlertItems.h"
#include "app/ProgramSettings.h"
#include "app/TrayNotifier.h"
#include "balancelist/BalanceList.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "history/History.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

const char* const kRoot = "Software\\Brightmoor\\Tallyglass";

// Records what reaches the desktop: notices (critical ones marked) and the tray icon's looks.
class DesktopHost : public ITrayNotifierHost {
public:
    void ShowTrayIconKind(TTrayIconKind icon) override { icons.push_back(icon); }
    void ShowBalloonMessage(const std::string& title, const std::string& text, int) override {
        notices.push_back(title + ": " + text);
    }
    void ShowCriticalMessage(const std::string& title, const std::string& text) override {
        notices.push_back("CRITICAL " + title + ": " + text);
    }
    bool BalanceListShown() const override { return false; }
    void BringUpBalanceList() override {}

    std::vector<std::string> notices;
    std::vector<TTrayIconKind> icons;
};

// The main form's part: the list's word about limits goes to the notifier, as the program does.
struct NotifierOwner : IBalanceListOwner {
    explicit NotifierOwner(TTrayNotifier& n) : notifier(n) {}
    void NotifyBalanceChanged(TAlertItem&) override {}
    void NotifyBalanceUnavailable(TAlertItem&) override {}
    void NotifyLimits(TAlertItem& alert, const TLimitVerdict& verdict, const std::string& reason) override {
        notifier.NotifyLimits(alert, verdict, reason);
    }
    void DeactivateAlert(TAlertItem&) override {}
    void BalanceListClosed() override {}
    TTrayNotifier& notifier;
};

class LimitNoticesTest : public ::testing::Test {
protected:
    LimitNoticesTest() : store(dir.file("registry.db")) {
        log->OpenLog(dir.file("log.txt"));
        log->SetEnabled(true);
        notifier.BalloonCapable = true;
        settings.ShowBalloonTip = false; // limit notices come all the same
        server.server().Get("/page", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex);
            res.status = status;
            res.set_content(body, "text/html");
        });
        server.start();
        balanceList.SetConnectivity([] { return true; });
    }

    std::shared_ptr<TAlertItems> makeAlerts() {
        auto list = std::make_shared<TAlertItems>();
        list->RegistryRoot = kRoot;
        list->StateKey = Md5Hex("program password");
        list->Store = &store;
        return list;
    }
    // The alert as a new start of the program reads it from the store.
    TAlertItem& loadAlert(TAlertItems& list) {
        auto alert = std::make_unique<TAlertItem>(&list);
        alert->Name = "Phone";
        alert->unique_id = "ID-Phone";
        alert->page_url = server.url("/page");
        alert->pattern = "Balance: (-?\\d+)(\\.)(\\d\\d)";
        TAlertItem& added = *list.AddAlert(std::move(alert));
        list.LoadState(added);
        added.Active = true;
        return added;
    }
    void answer(int code, const std::string& text) {
        std::lock_guard lock(mutex);
        status = code;
        body = text;
    }
    // One check of the alert; the notices it brought.
    std::vector<std::string> check(TAlertItem& alert) {
        host.notices.clear();
        balanceList.CheckNow(alert);
        EXPECT_TRUE(ProcessEventsUntil([this] { return balanceList.RunningCheckCount() == 0; }, 30000));
        return host.notices;
    }
    std::string amount(const char* units) { return std::string(units) + SystemDecimalSeparator() + "00"; }

    TempDir dir;
    TRegistry store;
    std::shared_ptr<TLogFile> log = std::make_shared<TLogFile>();
    TProgramSettings settings;
    DesktopHost host;
    TTrayNotifier notifier{settings, *log, host};
    NotifierOwner owner{notifier};
    TBalanceList balanceList{owner, log, dir.path() + "/"};
    TestServer server;
    std::mutex mutex;
    int status = 200;
    std::string body;
};

using Notices = std::vector<std::string>;

} // namespace

TEST_F(LimitNoticesTest, BalanceBelowItsLimitIsToldOncePerStayAndFailuresInARowOnceAtTheCount) {
    auto alerts = makeAlerts();
    // The history file the checks find is damaged: it is set aside and the checks go on with a new one.
    WriteFileBytes(dir.file("history.db"), std::string(8192, 'x'));
    auto history = std::make_shared<THistory>(dir.file("history.db"), alerts->StateKey, log);
    balanceList.SetHistory(history);
    TAlertItem& phone = loadAlert(*alerts);
    TAlertLimits limits;
    limits.WarnBelow = 5000;
    limits.FailuresBeforeNotice = 3;
    phone.SetLimits(limits);
    balanceList.AddAlertRow(phone);
    const auto row = [&] { return balanceList.Row(balanceList.IndexOf(phone)); };

    // 100.00 -> 40.00 -> 30.00 -> 120.00 -> 20.00 with a limit of 50.00: told at 40.00 and at 20.00.
    const std::string below40 =
        "CRITICAL Phone: Phone: the balance " + amount("40") + " is below your limit of " + amount("50") + ".";
    answer(200, "Balance: 100.00");
    EXPECT_EQ(check(phone), Notices{});
    EXPECT_EQ(row().Warning, TWarnZone::None);
    answer(200, "Balance: 40.00");
    EXPECT_EQ(check(phone), Notices{below40});
    EXPECT_EQ(row().Warning, TWarnZone::Below);
    EXPECT_TRUE(notifier.WarningMark());
    EXPECT_EQ(host.icons.back(), TTrayIconKind::Warning);
    answer(200, "Balance: 30.00");
    EXPECT_EQ(check(phone), Notices{});
    EXPECT_EQ(row().Warning, TWarnZone::Below);
    answer(200, "Balance: 120.00");
    EXPECT_EQ(check(phone), Notices{});
    EXPECT_EQ(row().Warning, TWarnZone::None);
    answer(200, "Balance: 20.00");
    EXPECT_EQ(check(phone), Notices{"CRITICAL Phone: Phone: the balance " + amount("20") + " is below your limit of " +
                                    amount("50") + "."});
    // Showing the Balance List takes the mark off the tray icon.
    notifier.SetWarningMark(false);
    EXPECT_EQ(host.icons.back(), TTrayIconKind::Normal);

    // Four failed checks in a row with a notice after three: one notice, with the count and the
    // reason; the row says how many failed, also across a new start.
    answer(500, "down for maintenance");
    EXPECT_EQ(check(phone), Notices{});
    EXPECT_EQ(check(phone), Notices{});
    EXPECT_EQ(
        check(phone),
        Notices{"Phone: Phone: 3 checks in a row have failed. The last one: the server answered with status 500."});
    EXPECT_EQ(row().StatusText, "3 checks failed");
    EXPECT_EQ(check(phone), Notices{});
    EXPECT_EQ(row().StatusText, "4 checks failed");
    balanceList.tmCheckTimerTimer();
    EXPECT_EQ(row().StatusText, "4 checks failed");

    // A new start reads the counts back: the failures go on counting from four, and the stay below
    // the limit that was told is not told again.
    balanceList.ClearRows();
    auto restarted = makeAlerts();
    TAlertItem& again = loadAlert(*restarted);
    EXPECT_EQ(again.Limits.FailedInARow, 4);
    EXPECT_EQ(again.Limits.WarnedZone, TWarnZone::Below);
    EXPECT_EQ(again.Limits.WarnBelow, 5000);
    balanceList.AddAlertRow(again);
    EXPECT_EQ(balanceList.Row(0).StatusText, "4 checks failed");
    EXPECT_EQ(balanceList.Row(0).Warning, TWarnZone::Below);
    answer(200, "Balance: 10.00");
    EXPECT_EQ(check(again), Notices{"Phone: Phone can be read again."});
    EXPECT_EQ(balanceList.Row(0).StatusText, "OK");
    EXPECT_EQ(again.Limits.FailedInARow, 0);

    // The log has each notice.
    const std::string logText = ReadFileBytes(dir.file("log.txt"));
    EXPECT_NE(logText.find("3 checks in a row have failed"), std::string::npos);
    EXPECT_NE(logText.find("Phone can be read again."), std::string::npos);

    // A limit set anew tells a balance already beyond it at the next check.
    TAlertLimits raised = again.Limits;
    raised.WarnBelow = 1500;
    again.SetLimits(raised);
    answer(200, "Balance: 10.00");
    EXPECT_EQ(check(again), Notices{"CRITICAL Phone: Phone: the balance " + amount("10") + " is below your limit of " +
                                    amount("15") + "."});

    // A download that fails names libcurl's reason, in the notice and in the history.
    raised.FailuresBeforeNotice = 1;
    again.SetLimits(raised);
    again.page_url = "http://127.0.0.1:1/page"; // nothing listens there
    const Notices failed = check(again);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].rfind("Phone: Phone: 1 checks in a row have failed. The last one: the page could not be "
                              "downloaded: ",
                              0),
              0u)
        << failed[0];

    // Every check is in the history, in order, with its outcome.
    history->Flush();
    std::vector<std::string> recorded;
    for (const TCheckRecord& record : history->Checks("ID-Phone"))
        recorded.push_back(record.Balance ? std::to_string(*record.Balance) : OutcomeText(record));
    const std::string http500 = "HTTP 500";
    ASSERT_EQ(recorded.size(), 12u);
    EXPECT_EQ(std::vector<std::string>(recorded.begin(), recorded.begin() + 11),
              (std::vector<std::string>{"10000", "4000", "3000", "12000", "2000", http500, http500, http500, http500,
                                        "1000", "1000"}));
    EXPECT_EQ(recorded[11].rfind("download failed: ", 0), 0u) << recorded[11];
    EXPECT_GT(recorded[11].size(), std::string("download failed: ").size());
    int setAside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("history.db.damaged-", 0) == 0)
            ++setAside;
    EXPECT_EQ(setAside, 1);
}
