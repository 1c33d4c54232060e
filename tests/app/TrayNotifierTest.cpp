#include "app/TrayNotifier.h"
#include "alerts/AlertItem.h"
#include "app/ProgramSettings.h"
#include "base/LogFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records what the notifier asks of the tray and of the Balance List window.
class RecordingHost : public ITrayNotifierHost {
public:
    void ShowTrayIconKind(TTrayIconKind icon) override { icons.push_back(icon); }
    void ShowBalloonMessage(const std::string& title, const std::string& text, int timeoutMs) override {
        balloons.push_back({title, text, timeoutMs});
    }
    bool BalanceListShown() const override { return listShown; }
    void BringUpBalanceList() override {
        ++broughtUp;
        listShown = true;
    }

    struct Balloon {
        std::string title, text;
        int timeoutMs;
    };
    std::vector<TTrayIconKind> icons;
    std::vector<Balloon> balloons;
    bool listShown = false;
    int broughtUp = 0;
};

class TrayNotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_log.OpenLog(m_dir.file("log.txt"));
        m_log.SetEnabled(true);
        m_notifier.BalloonCapable = true;
    }
    std::vector<std::string> logLines() const { return SplitOnCrLf(ReadFileBytes(m_dir.file("log.txt"))); }

    // Runs the blink timer's ticks by hand, as long as it runs (at most `limit` ticks).
    int tickWhileBlinking(int limit = 100) {
        int ticks = 0;
        while (m_notifier.Blinking() && ticks < limit) {
            m_notifier.tmBlinkBalanceChangedTimer();
            ++ticks;
        }
        return ticks;
    }

    TempDir m_dir;
    TLogFile m_log;
    TProgramSettings m_settings;
    RecordingHost m_host;
    TTrayNotifier m_notifier{m_settings, m_log, m_host};
};

constexpr TTrayIconKind N = TTrayIconKind::Normal;
constexpr TTrayIconKind G = TTrayIconKind::Growth;
constexpr TTrayIconKind D = TTrayIconKind::Drop;

} // namespace

TEST_F(TrayNotifierTest, ChangesBlinkRiseOrFallRestartOnANewChangeAndEndOnTheNormalIcon) {
    TAlertItem alert;
    alert.Name = "Bank & Co";
    alert.SetBalances({NoBalance, 5000}); // a first balance counts as a rise
    m_notifier.NotifyBalanceChanged(alert);
    EXPECT_TRUE(m_notifier.Blinking());
    EXPECT_EQ(m_notifier.BlinkTimer().interval(), 120);
    EXPECT_EQ(m_notifier.BlinkIcon(), G);
    EXPECT_TRUE(m_host.icons.empty()); // the first change of look comes with the first tick
    EXPECT_EQ(tickWhileBlinking(), 12);
    EXPECT_EQ(m_host.icons, (std::vector<TTrayIconKind>{N, G, N, G, N, G, N, G, N, G, N, N}));
    EXPECT_EQ(m_notifier.BlinkIcon(), N);
    EXPECT_EQ(m_notifier.BlinkTick(), 0);

    // A fall, and 500 ms (four ticks) later a rise from 100.00 to 120.00: the second change starts
    // the count again with its own icon, and the blink ends twelve ticks after it.
    m_host.icons.clear();
    alert.SetBalances({12000, 10000});
    m_notifier.NotifyBalanceChanged(alert);
    EXPECT_EQ(m_notifier.BlinkIcon(), D);
    for (int i = 0; i < 4; ++i)
        m_notifier.tmBlinkBalanceChangedTimer();
    alert.SetBalances({10000, 12000});
    m_notifier.NotifyBalanceChanged(alert);
    EXPECT_EQ(m_notifier.BlinkTick(), 0);
    EXPECT_EQ(tickWhileBlinking(), 12);
    EXPECT_EQ(m_host.icons, (std::vector<TTrayIconKind>{N, D, N, D, N, G, N, G, N, G, N, G, N, G, N, N}));
    EXPECT_FALSE(m_notifier.Blinking());

    // An unchanged balance blinks as a rise.
    alert.SetBalances({12000, 12000});
    EXPECT_TRUE(TTrayNotifier::BalanceGrew(alert));
    alert.SetBalances({12000, NoBalance});
    EXPECT_FALSE(TTrayNotifier::BalanceGrew(alert));

    // Each change: a log line, and a notification titled with the alert's name for ten seconds.
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines)
        EXPECT_TRUE(line.ends_with(": Balance for 'Bank & Co' changed.")) << line;
    ASSERT_EQ(m_host.balloons.size(), 3u);
    EXPECT_EQ(m_host.balloons[0].title, "Bank & Co");
    EXPECT_EQ(m_host.balloons[0].text,
              "Balance in 'Bank & Co' changed. You can find the detailed information in Balance List window.");
    EXPECT_EQ(m_host.balloons[0].timeoutMs, 10000);
    // The Balance List window came up once; later changes found it shown and left it alone.
    EXPECT_EQ(m_host.broughtUp, 1);
    EXPECT_TRUE(m_settings.BalanceWindowVisible);
}

TEST_F(TrayNotifierTest, SettingsSwitchOffTheBlinkTheBalloonAndTheWindowAndFailuresOnlyNotify) {
    TAlertItem alert;
    alert.Name = "Shop";
    alert.SetBalances({100, 50});
    m_settings.BlinkTrayIcon = false;
    m_notifier.NotifyBalanceChanged(alert);
    EXPECT_FALSE(m_notifier.Blinking());
    EXPECT_EQ(m_notifier.BlinkIcon(), N);
    EXPECT_EQ(m_host.balloons.size(), 1u); // the rest still happens
    EXPECT_EQ(m_host.broughtUp, 1);

    m_host.listShown = false;
    m_settings.ActivateBLWindow = false;
    m_settings.BalanceWindowVisible = false;
    m_settings.ShowBalloonTip = false;
    m_notifier.NotifyBalanceChanged(alert);
    EXPECT_EQ(m_host.balloons.size(), 1u);
    EXPECT_EQ(m_host.broughtUp, 1);
    EXPECT_FALSE(m_settings.BalanceWindowVisible);

    // A desktop without notifications gets none, whatever the setting says.
    m_settings.ShowBalloonTip = true;
    m_notifier.BalloonCapable = false;
    m_notifier.NotifyBalanceUnavailable(alert);
    EXPECT_EQ(m_host.balloons.size(), 1u);

    // A failed check: a notification, no blink and no log line.
    m_settings.BlinkTrayIcon = true;
    m_notifier.BalloonCapable = true;
    m_notifier.NotifyBalanceUnavailable(alert);
    ASSERT_EQ(m_host.balloons.size(), 2u);
    EXPECT_EQ(m_host.balloons[1].title, "Shop");
    EXPECT_EQ(m_host.balloons[1].text, "Balance for 'Shop' cannot be retrieved - probably service down.");
    EXPECT_EQ(m_host.balloons[1].timeoutMs, 10000);
    EXPECT_FALSE(m_notifier.Blinking());
    EXPECT_TRUE(m_host.icons.empty());
    EXPECT_EQ(logLines().size(), 2u);
}
