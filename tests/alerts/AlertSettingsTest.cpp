#include "support/TestServer.h"

#include "alerts/AlertItems.h"
#include "alerts/AlertSettings.h"
#include "balancelist/BalanceList.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <condition_variable>
#include <mutex>

// The settings tab's decisions against a real store file; the last test edits an alert while a
// real check of it runs (run it under ThreadSanitizer too).
namespace {

const char* const kRoot = "Software\\Brightmoor\\Tallyglass";

class AlertSettingsTest : public ::testing::Test {
protected:
    std::shared_ptr<TAlertItems> makeList(const std::string& name) {
        auto list = std::shared_ptr<TAlertItems>(std::make_unique<TAlertItems>());
        list->RegistryRoot = kRoot;
        list->StateKey = Md5Hex("pw");
        list->Store = &m_store;
        list->ListName = list->list_name = name;
        return list;
    }

    static TAlertItem& add(TAlertItems& list, const std::string& id, const std::string& group, bool needAuth = true) {
        auto alert = std::make_unique<TAlertItem>(&list);
        alert->Name = id;
        alert->unique_id = id;
        alert->group_name = group;
        alert->NeedAuth = needAuth;
        return *list.AddAlert(std::move(alert));
    }

    // The alert as the next start will find it.
    TAlertState stored(const TAlertItem& alert) {
        auto list = makeList("reload");
        TAlertItem copy(list.get());
        copy.unique_id = alert.unique_id;
        list->LoadState(copy);
        return copy.State();
    }

    // From now on the store refuses every change, as a full or read-only disk would.
    void refuseWrites() {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(m_dir.file("registry.db").c_str(), &db), SQLITE_OK);
        for (const char* table : {"keys", "vals"})
            for (const char* change : {"INSERT", "UPDATE", "DELETE"}) {
                const std::string sql = std::string("CREATE TRIGGER refuse_") + change + "_" + table + " BEFORE " +
                                        change + " ON " + table + " BEGIN SELECT RAISE(ABORT, 'read-only'); END;";
                EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
            }
        sqlite3_close(db);
    }

    TempDir m_dir;
    TRegistry m_store{m_dir.file("registry.db")};
};

} // namespace

TEST_F(AlertSettingsTest, TicksAreUndoneInOrderIncompleteAndSharedCredentialsFollowTheRules) {
    std::vector<std::shared_ptr<TAlertItems>> lists{makeList("One"), makeList("Two")};
    TAlertItem& a = add(*lists[0], "A", "Mobile");
    TAlertItem& b = add(*lists[0], "B", "Mobile");
    TAlertItem& c = add(*lists[0], "C", "mobile"); // another group: letter case counts
    TAlertItem& d = add(*lists[1], "D", "Mobile", false);
    TAlertSettings settings(lists);

    // Every real change is saved at once and pending; a non-change is neither.
    EXPECT_TRUE(settings.SetAlertActive(a, true));
    EXPECT_TRUE(settings.SetAlertActive(a, true));
    EXPECT_TRUE(settings.SetAlertActive(b, true));
    EXPECT_TRUE(settings.SetAlertActive(a, false));
    EXPECT_TRUE(settings.SetAlertActive(a, true));
    EXPECT_EQ(settings.PendingAlerts(), (std::vector<TAlertItem*>{&a, &b, &a, &a}));
    EXPECT_TRUE(stored(a).Active && stored(b).Active);
    // Undone first to last: the alerts end as they were, in memory and in the store.
    EXPECT_EQ(settings.UndoPending(), (std::vector<TAlertItem*>{&a, &b, &a, &a}));
    EXPECT_TRUE(settings.PendingAlerts().empty());
    EXPECT_FALSE(a.Active || b.Active || stored(a).Active || stored(b).Active);

    // Incomplete: active, needs authorization, login or password blank after trimming.
    settings.SetAlertActive(d, true);
    settings.SetAlertActive(b, true);
    b.SetCredentials(" \t", "secret");
    EXPECT_EQ(settings.FirstIncompleteAlert(), &b);
    b.SetCredentials("user", "secret");
    EXPECT_EQ(settings.FirstIncompleteAlert(), nullptr); // d needs no authorization
    settings.AcceptPending();
    EXPECT_TRUE(settings.PendingAlerts().empty());
    EXPECT_TRUE(b.Active && d.Active);

    // After the dialog: the group's empty logins and passwords take a's, filled ones stay, other
    // groups and other lists are left alone.
    b.SetCredentials("", "own");
    d.SetCredentials("", "");
    const TAlertState before = a.State();
    a.SetCredentials("shared", "pass");
    a.SetName("  Renamed  ");
    EXPECT_TRUE(TAlertSettings::AcceptEdit(a, before));
    EXPECT_EQ(stored(a).Name, "  Renamed  ");
    EXPECT_EQ(stored(b).PageLogin, "shared");
    EXPECT_EQ(stored(b).PagePassword, "own");
    EXPECT_TRUE(c.PageLogin.empty() && d.PageLogin.empty());

    // Names: blanks alone are refused, blanks around a name are kept.
    EXPECT_FALSE(TAlertSettings::RenameAlert(c, " \t\r\n"));
    EXPECT_EQ(c.Name, "C");
    EXPECT_TRUE(TAlertSettings::RenameAlert(c, " C2 "));
    EXPECT_EQ(stored(c).Name, " C2 ");
    EXPECT_EQ(TAlertSettings::ProposedCustomName(c), " C2  (new)");
    EXPECT_EQ(TAlertSettings::AddCustomAlert(c, ""), nullptr);
    TAlertItem* custom = TAlertSettings::AddCustomAlert(c, "   ");
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->Name, "   ");
    EXPECT_EQ(lists[0]->Groups.at("mobile").back(), custom);

    // A store that refuses writes: nothing is shown that the next start would not find.
    settings.SetAlertActive(c, true);
    refuseWrites();
    EXPECT_FALSE(settings.SetAlertActive(a, true));
    EXPECT_FALSE(a.Active);
    EXPECT_EQ(settings.UndoPending(), std::vector<TAlertItem*>{}); // c stays as stored
    EXPECT_TRUE(c.Active && stored(c).Active);
    EXPECT_FALSE(TAlertSettings::RenameAlert(a, "Other"));
    EXPECT_EQ(a.Name, "  Renamed  ");
    const TAlertState edited = a.State();
    a.SetInterval(45, TPeriodType::days);
    a.SetCredentials("x", "y");
    EXPECT_FALSE(TAlertSettings::AcceptEdit(a, edited));
    EXPECT_EQ(a.Period, edited.Period);
    EXPECT_EQ(a.PeriodType, edited.PeriodType);
    EXPECT_EQ(a.PageLogin, "shared");
    EXPECT_FALSE(settings.Deactivate(b));
    EXPECT_TRUE(b.Active);
    EXPECT_EQ(TAlertSettings::AddCustomAlert(a, "New"), nullptr);
    EXPECT_EQ(lists[0]->Count(), 4);
}

namespace {

// What the check's owner hears; nothing here needs an answer.
struct TQuietOwner : IBalanceListOwner {
    void NotifyBalanceChanged(TAlertItem&) override {}
    void NotifyBalanceUnavailable(TAlertItem&) override {}
    void DeactivateAlert(TAlertItem&) override {}
    void BalanceListClosed() override {}
};

} // namespace

TEST_F(AlertSettingsTest, TheUsersFieldsChangeWhileACheckOfTheAlertRunsAndAllAreKept) {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false, held = false;
    TestServer site;
    site.server().Get("/hold", [&](const httplib::Request&, httplib::Response& response) {
        std::unique_lock lock(mutex);
        held = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
        response.set_content("Balance: 12.34", "text/html");
    });
    site.start();

    auto list = makeList("One");
    std::vector<std::shared_ptr<TAlertItems>> lists{list};
    TAlertItem& alert = add(*list, "A", "G", false);
    alert.page_url = site.url("/hold");
    alert.pattern = "Balance: (-?\\d+)(\\.)(\\d\\d)";
    TAlertSettings settings(lists);
    ASSERT_TRUE(settings.SetAlertActive(alert, true));

    TQuietOwner owner;
    auto log = std::make_shared<TLogFile>();
    log->OpenLog(m_dir.file("log.txt"));
    log->SetEnabled(true);
    TBalanceList balanceList(owner, log, m_dir.path() + "/");
    balanceList.AddAlertRow(alert);
    balanceList.CheckNow(alert);
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            std::lock_guard lock(mutex);
            return held;
        },
        20000))
        << ReadFileBytes(m_dir.file("log.txt"));
    // The check holds its page; the user edits and saves the alert meanwhile, then the page comes
    // and the check sets and saves the balance while the edits go on.
    int round = 0;
    auto edit = [&] {
        ++round;
        alert.SetName("Name " + std::to_string(round));
        alert.SetCredentials("login " + std::to_string(round), "password");
        alert.SetInterval(round % 999 + 1, TPeriodType::minutes);
        alert.SetNeedAuth(round % 2 == 0);
        ASSERT_TRUE(TAlertSettings::AcceptEdit(alert, alert.State()));
    };
    for (int i = 0; i < 20; ++i)
        edit();
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            edit();
            return balanceList.RunningCheckCount() == 0;
        },
        20000));
    EXPECT_TRUE(settings.SetAlertActive(alert, false));
    ASSERT_TRUE(TAlertSettings::AcceptEdit(alert, alert.State()));

    const TAlertState kept = stored(alert);
    EXPECT_EQ(kept.Name, "Name " + std::to_string(round));
    EXPECT_EQ(kept.PageLogin, "login " + std::to_string(round));
    EXPECT_EQ(kept.Period, round % 999 + 1);
    EXPECT_EQ(kept.PeriodType, TPeriodType::minutes);
    EXPECT_FALSE(kept.Active);
    EXPECT_EQ(kept.Balances.CurrentBalance, 1234);
}
