#pragma once

#include "alerts/AlertLimits.h"
#include "platform/TrayIconKind.h"

#include <QObject>
#include <QTimer>

#include <string>

class TAlertItem;
class TLogFile;
class TProgramSettings;

// What the notifier needs of the tray and the Balance List window.
class ITrayNotifierHost {
public:
    virtual ~ITrayNotifierHost() = default;
    // Shows the icon, leaving the tip alone.
    virtual void ShowTrayIconKind(TTrayIconKind icon) = 0;
    // Puts a notification on screen (the decision to show one is the notifier's).
    virtual void ShowBalloonMessage(const std::string& title, const std::string& text, int timeoutMs) = 0;
    // A notification the desktop keeps until the user dismisses it (critical urgency).
    virtual void ShowCriticalMessage(const std::string& title, const std::string& text) {
        ShowBalloonMessage(title, text, 0);
    }
    virtual bool BalanceListShown() const = 0;
    // Gives "Balance List Window" its check mark and shows the window.
    virtual void BringUpBalanceList() = 0;
};

// How the program tells the user that a balance changed, or could not be read: a blinking tray
// icon, a notification and the Balance List window brought up, each as the settings allow.
class TTrayNotifier : public QObject {
    Q_OBJECT

public:
    static constexpr int kBlinkIntervalMs = 120;
    static constexpr int kBlinkTicks = 12;
    static constexpr int kBalloonTimeoutMs = 10000;

    TTrayNotifier(TProgramSettings& settings, TLogFile& log, ITrayNotifierHost& host);

    // The desktop shows notifications.
    bool BalloonCapable = false;

    // A rise (or a first balance) blinks with the rise icon, anything else with the fall icon.
    static bool BalanceGrew(const TAlertItem& alert);

    // Starts a blink from its first tick, also over one already running; nothing with blinking off.
    void StartBlink(bool grew);
    // One tick of the blink timer.
    void tmBlinkBalanceChangedTimer();
    bool Blinking() const { return m_timer.isActive(); }
    int BlinkTick() const { return m_tick; }
    TTrayIconKind BlinkIcon() const { return m_blinkIcon; }
    const QTimer& BlinkTimer() const { return m_timer; }

    // Shows a notification where the desktop can and the user wants them.
    void ShowBalloon(const std::string& title, const std::string& text, int timeoutMs);
    void NotifyBalanceChanged(const TAlertItem& alert);
    void NotifyBalanceUnavailable(const TAlertItem& alert);
    // What a check told about the alert's limits: a balance newly beyond one is a critical notice
    // and marks the tray icon; enough failed checks in a row, and a balance read again after them,
    // are notices. Each goes to the log as well. These notices come whatever the balloon setting
    // says: the user asked for them with the alert's limits.
    void NotifyLimits(const TAlertItem& alert, const TLimitVerdict& verdict, const std::string& reason);

    // The warning mark stays on the tray icon until the Balance List is shown.
    void SetWarningMark(bool on);
    bool WarningMark() const { return m_warningMark; }
    // The icon between blinks.
    TTrayIconKind RestIcon() const { return m_warningMark ? TTrayIconKind::Warning : TTrayIconKind::Normal; }

private:
    TProgramSettings& m_settings;
    TLogFile& m_log;
    ITrayNotifierHost& m_host;
    QTimer m_timer;
    int m_tick = 0;
    TTrayIconKind m_blinkIcon = TTrayIconKind::Normal;
    bool m_warningMark = false;
};
