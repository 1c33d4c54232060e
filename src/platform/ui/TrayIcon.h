#pragma once

#include "platform/TrayIconKind.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;
class TDesktopNotifications;
class TTrayHostWatcher;

// The program's icon in each of its looks, drawn from its vector artwork at whatever size is asked.
QIcon TrayIconImage(TTrayIconKind kind);

// The notification-area icon: its look, tip and menu, notifications beside it, and word when a
// tray host (re)appears on the desktop, which drops every icon it showed.
class TTrayIcon : public QObject {
    Q_OBJECT

public:
    explicit TTrayIcon(QObject* parent = nullptr);
    ~TTrayIcon() override;

    // The desktop shows notifications: a notification service runs, or the tray shows messages.
    bool BalloonCapable() const;

    // Puts the icon up (again, when `reshow`: a tray host that came back shows it only when it is
    // handed over anew).
    void Show(bool reshow = false);
    void Hide();
    bool IsShown() const { return m_icon.isVisible(); }
    void SetIcon(TTrayIconKind kind);
    TTrayIconKind Icon() const { return m_kind; }
    void SetToolTip(const QString& tip);
    QString ToolTip() const { return m_icon.toolTip(); }
    // Opens on a right click; not owned.
    void SetContextMenu(QMenu* menu) { m_icon.setContextMenu(menu); }
    // A notification with the program's icon: through the desktop's notification service where
    // one runs (a newer one replaces the last), else as the tray's own message. A critical one
    // asks the desktop to keep it on screen until the user dismisses it.
    void ShowMessage(const QString& title, const QString& text, int timeoutMs, bool critical = false);

signals:
    // The user asked the icon for the program's window: a double click on a tray that embeds the
    // icon (XEmbed), the host's activation (a left click) on a StatusNotifierItem host.
    void Activated();
    // A tray host started (or restarted): the icon must be handed over again.
    void TrayHostAppeared();

private:
    QSystemTrayIcon m_icon;
    TTrayIconKind m_kind = TTrayIconKind::Normal;
    std::unique_ptr<TDesktopNotifications> m_notifications;
    std::unique_ptr<TTrayHostWatcher> m_watcher;
};
