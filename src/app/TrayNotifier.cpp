#include "app/TrayNotifier.h"

#include "alerts/AlertItem.h"
#include "app/ProgramSettings.h"
#include "balancelist/BalanceList.h"
#include "base/LogFile.h"
#include "translate/Messages.h"

TTrayNotifier::TTrayNotifier(TProgramSettings& settings, TLogFile& log, ITrayNotifierHost& host)
    : m_settings(settings), m_log(log), m_host(host) {
    m_timer.setInterval(kBlinkIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TTrayNotifier::tmBlinkBalanceChangedTimer);
}

bool TTrayNotifier::BalanceGrew(const TAlertItem& alert) {
    const TBalances balances = alert.Balances();
    return !(balances.LastBalance > balances.CurrentBalance && balances.LastBalance != NoBalance);
}

void TTrayNotifier::StartBlink(bool grew) {
    if (!m_settings.BlinkTrayIcon)
        return;
    m_blinkIcon = grew ? TTrayIconKind::Growth : TTrayIconKind::Drop;
    m_tick = 0;
    // start() also restarts a running timer, so the next tick is a full interval away.
    m_timer.start();
}

// Ticks 1 to 11 alternate between the resting icon (odd) and the blink icon (even); the 12th ends
// the blink on the resting icon (the normal one, or the one with the warning mark).
void TTrayNotifier::tmBlinkBalanceChangedTimer() {
    ++m_tick;
    if (m_tick >= kBlinkTicks) {
        m_timer.stop();
        m_tick = 0;
        m_blinkIcon = TTrayIconKind::Normal;
        m_host.ShowTrayIconKind(RestIcon());
        return;
    }
    m_host.ShowTrayIconKind(m_tick % 2 == 0 ? m_blinkIcon : RestIcon());
}

void TTrayNotifier::ShowBalloon(const std::string& title, const std::string& text, int timeoutMs) {
    if (!BalloonCapable || !m_settings.ShowBalloonTip)
        return;
    m_host.ShowBalloonMessage(title, text, timeoutMs);
}

void TTrayNotifier::NotifyBalanceChanged(const TAlertItem& alert) {
    m_log.WriteLog(LoadStr(1047), {alert.Name});
    StartBlink(BalanceGrew(alert));
    ShowBalloon(alert.Name, FormatMsg(LoadStr(1015), {alert.Name}), kBalloonTimeoutMs);
    if (m_settings.ActivateBLWindow && !m_host.BalanceListShown()) {
        // Kept in memory; the next save of the settings stores it.
        m_settings.BalanceWindowVisible = true;
        m_host.BringUpBalanceList();
    }
}

void TTrayNotifier::NotifyBalanceUnavailable(const TAlertItem& alert) {
    ShowBalloon(alert.Name, FormatMsg(LoadStr(1023), {alert.Name}), kBalloonTimeoutMs);
}

void TTrayNotifier::NotifyLimits(const TAlertItem& alert, const TLimitVerdict& verdict, const std::string& reason) {
    const auto show = [this, &alert](const std::string& format, std::initializer_list<TMsgArg> args, bool critical) {
        m_log.WriteLog(format, args);
        if (!BalloonCapable)
            return;
        const std::string text = FormatMsg(format, args);
        if (critical)
            m_host.ShowCriticalMessage(alert.Name, text);
        else
            m_host.ShowBalloonMessage(alert.Name, text, kBalloonTimeoutMs);
    };
    if (verdict.NewWarning != TWarnZone::None) {
        const std::string& separator = SystemDecimalSeparator();
        show(LoadStr(verdict.NewWarning == TWarnZone::Below ? 2080 : 2081),
             {alert.Name, BalanceText(alert.CurrentBalance(), separator), BalanceText(verdict.Limit, separator)}, true);
        if (!m_host.BalanceListShown())
            SetWarningMark(true);
    }
    if (verdict.FailureNotice)
        show(LoadStr(2082), {alert.Name, std::int64_t{verdict.FailedInARow}, reason}, false);
    if (verdict.ReadableAgain)
        show(LoadStr(2083), {alert.Name}, false);
}

void TTrayNotifier::SetWarningMark(bool on) {
    if (on == m_warningMark)
        return;
    m_warningMark = on;
    // A running blink ends on the new resting icon by itself.
    if (!Blinking())
        m_host.ShowTrayIconKind(RestIcon());
}
