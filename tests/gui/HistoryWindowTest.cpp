#include "history/ui/HistoryWindow.h"
#include "alerts/AlertItems.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/LogFile.h"
#include "gui/GuiTestSupport.h"
#include "history/History.h"
#include "history/ui/HistoryChart.h"
#include "platform/Registry.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

const std::int64_t kDay = 86'400'000;

struct SilentOwner : IBalanceListOwner {
    void NotifyBalanceChanged(TAlertItem&) override {}
    void NotifyBalanceUnavailable(TAlertItem&) override {}
    void DeactivateAlert(TAlertItem&) override {}
    void BalanceListClosed() override {}
};

// Pixels of about this colour in the image's rectangle.
int pixelsLike(const QImage& image, const QRect& area, const QColor& colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 30 && std::abs(c.green() - colour.green()) < 30 &&
                std::abs(c.blue() - colour.blue()) < 30)
                ++n;
        }
    return n;
}

} // namespace

TEST(HistoryWindow, OpensFromTheBalanceListFollowsChecksExportsAndKeepsItsPlace) {
    TempDir dir;
    TRegistry store(dir.file("registry.db"));
    auto log = std::make_shared<TLogFile>();
    log->OpenLog(dir.file("log.txt"));
    log->SetEnabled(true);
    auto history = std::make_shared<THistory>(dir.file("history.db"), Md5Hex("pw"), log);
    const std::int64_t now = HistoryNowMs();
    const auto add = [&](std::int64_t ago, std::optional<std::int32_t> balance) {
        TCheckRecord record;
        record.AlertKey = "ID-Bank";
        record.TimeMs = now - ago;
        record.Balance = balance;
        record.Outcome = balance ? THistoryOutcome::BalanceRead : THistoryOutcome::DownloadFailed;
        record.Reason = balance ? "" : "Timeout was reached";
        history->Add(record);
    };
    add(400 * kDay, 15000);
    add(20 * kDay, 9000);
    add(6 * kDay, 3000);
    add(4 * kDay, std::nullopt);
    add(3 * kDay, std::nullopt);
    add(2 * kDay, 7000);
    history->Flush();

    TestServer server;
    server.server().Get("/bank", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("Balance: 77.50", "text/html");
    });
    server.start();

    auto alerts = std::shared_ptr<TAlertItems>(std::make_unique<TAlertItems>());
    alerts->RegistryRoot = "Software\\Brightmoor\\Tallyglass";
    alerts->StateKey = Md5Hex("pw");
    alerts->Store = &store;
    auto item = std::make_unique<TAlertItem>(alerts.get());
    item->Name = "Bank";
    item->unique_id = "ID-Bank";
    item->page_url = server.url("/bank");
    item->pattern = "Balance: (-?\\d+)(\\.)(\\d\\d)";
    item->Limits.WarnBelow = 5000;
    TAlertItem& bank = *alerts->AddAlert(std::move(item));
    bank.Active = true;

    SilentOwner owner;
    TfmBalanceList list(owner, log, dir.path() + "/");
    list.BalanceList().SetHistory(history);
    list.BalanceList().SetConnectivity([] { return true; });
    list.AddAlertRow(bank);
    list.lvList->selectRow(0);
    THistoryWindows& windows = list.HistoryWindows();
    const std::string key = "Alert ID-Bank";

    Control<QAction>(list, "miHistory")->trigger();
    TfmHistory* window = windows.Window(key);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ProcessEventsUntil([&] { return window->isVisible(); }));
    // The records are read on a worker: the window says so until they are in.
    EXPECT_TRUE(window->Loading());
    EXPECT_FALSE(Control<QPushButton>(*window, "btnExport")->isEnabled());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !window->Loading(); }));
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Bank")));
    // Opening it again brings the same window forward.
    Control<QAction>(list, "miHistory")->trigger();
    EXPECT_EQ(windows.Window(key), window);
    EXPECT_EQ(windows.Count(), 1);

    QTableView& table = *Control<QTableView>(*window, "lvRecords");
    const auto rowsAfterClick = [&](const char* button) {
        Control<QPushButton>(*window, button)->click();
        return table.model()->rowCount();
    };
    EXPECT_EQ(rowsAfterClick("btnWeek"), 4);
    EXPECT_EQ(rowsAfterClick("btnYear"), 5);
    EXPECT_EQ(rowsAfterClick("btnAll"), 6);
    EXPECT_EQ(rowsAfterClick("btnMonth"), 5);
    EXPECT_TRUE(Control<QPushButton>(*window, "btnMonth")->isChecked());
    // Newest first: the last check read 70.00, a rise of 40.00 over the failures in between.
    const auto cell = [&](int row, int column) { return table.model()->index(row, column).data().toString(); };
    EXPECT_EQ(cell(0, 1).remove(QLatin1Char(',')).remove(QLatin1Char('.')), QStringLiteral("7000"));
    EXPECT_TRUE(cell(0, 2).startsWith(QLatin1Char('+')));
    EXPECT_EQ(cell(1, 2), QString());
    EXPECT_FALSE(cell(1, 3).isEmpty());

    // The chart as the user sees it: the failures marked red at the foot, the limit drawn.
    window->resize(640, 520);
    const QImage chart = Control<THistoryChart>(*window, "chHistory")->grab().toImage();
    const QRect foot(0, chart.height() * 2 / 3, chart.width(), chart.height() / 3);
    EXPECT_GT(pixelsLike(chart, foot, QColor(210, 30, 30)), 6);
    EXPECT_GT(pixelsLike(chart, chart.rect(), QColor(214, 110, 0)), 40);
    EXPECT_GT(pixelsLike(chart, chart.rect(), QColor(31, 119, 180)), 100);

    // A check that ends while the window is open adds its point at once.
    list.BalanceList().CheckNow(bank);
    ASSERT_TRUE(ProcessEventsUntil([&] { return list.BalanceList().RunningCheckCount() == 0; }, 30000));
    EXPECT_EQ(table.model()->rowCount(), 6);
    EXPECT_EQ(window->Series().Point(window->Series().Count() - 1).Value, 77.5);
    EXPECT_EQ(cell(0, 1).remove(QLatin1Char(',')).remove(QLatin1Char('.')), QStringLiteral("7750"));

    // "Export CSV..." writes what the range shows.
    const std::string csv = dir.file("bank.csv");
    TfmHistory::ExportPathChooser() = [&csv](QWidget*, const QString&) { return QString::fromStdString(csv); };
    Control<QPushButton>(*window, "btnWeek")->click();
    Control<QPushButton>(*window, "btnExport")->click();
    const std::string written = ReadFileBytes(csv);
    EXPECT_TRUE(written.starts_with("time,value,change,outcome\n")) << written;
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 6);
    EXPECT_NE(written.find(",,,download failed: Timeout was reached\n"), std::string::npos) << written;
    EXPECT_TRUE(written.ends_with(",77.50,7.50,balance read\n")) << written;
    // A file that cannot be written is told and logged, never a crash.
    std::vector<SeenDialog> seen;
    AnswerMessageBox(QMessageBox::Ok, &seen);
    TfmHistory::ExportPathChooser() = [&dir](QWidget*, const QString&) { return QString::fromStdString(dir.path()); };
    Control<QPushButton>(*window, "btnExport")->click();
    TfmHistory::ExportPathChooser() = nullptr;
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].group.contains(QString::fromStdString(dir.path())));
    EXPECT_NE(ReadFileBytes(dir.file("log.txt")).find("could not be exported"), std::string::npos);

    // Closed and opened again, it comes back where the user left it.
    window->move(40, 50);
    window->resize(500, 380);
    window->close();
    ASSERT_TRUE(ProcessEventsUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return windows.Window(key) == nullptr;
    }));
    EXPECT_EQ(windows.Count(), 0);
    history->Flush();
    Control<QAction>(list, "miHistory")->trigger();
    window = windows.Window(key);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(500, 380));
    EXPECT_EQ(window->pos(), QPoint(40, 50));
    // A check that ends while the records are read is shown once, whether the read found it or not.
    ASSERT_TRUE(window->Loading());
    list.BalanceList().CheckNow(bank);
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return list.BalanceList().RunningCheckCount() == 0 && !window->Loading(); }, 30000));
    EXPECT_EQ(window->Series().TotalCount(), 8); // the first live check was written meanwhile
}

TEST(HistoryWindow, SaysSoWhenThereIsNoHistory) {
    TempDir dir;
    TRegistry store(dir.file("registry.db"));
    THistorySubject subject;
    subject.AlertKey = "ID-Bank";
    subject.Caption = "Bank";
    TfmHistory window(subject, nullptr, store, nullptr);
    EXPECT_FALSE(Control<QLabel>(window, "lblStatus")->text().isEmpty());
    EXPECT_FALSE(Control<QPushButton>(window, "btnExport")->isEnabled());
    EXPECT_EQ(Control<QTableView>(window, "lvRecords")->model()->rowCount(), 0);
}
