#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

// Notifications through the desktop's notification service (org.freedesktop.Notifications on the
// session bus), sent without waiting for the service. Each one replaces the last still on screen:
// the service names the notification it shows in its reply, and a notification asked for before
// that reply came waits for it (only the newest one waits; it would replace the others at once).
class TDesktopNotifications : public QObject {
    Q_OBJECT

public:
    explicit TDesktopNotifications(QIcon icon, QObject* parent = nullptr);

    // A notification service runs on the session bus, or the bus starts one on demand.
    bool Available() const;
    // `critical` sends the urgency hint 2, which the desktop keeps on screen until dismissed.
    void Notify(const QString& title, const QString& text, int timeoutMs, bool critical = false);

    static constexpr const char* kService = "org.freedesktop.Notifications";

private:
    QIcon m_icon;
    bool m_activatable = false;
    // Until the service says otherwise, it reads the text as markup, as nearly every one does.
    bool m_markup = true;
    bool m_capabilitiesAsked = false;
    std::uint32_t m_lastId = 0;
    // A Notify call whose reply has not come yet, and what is to follow it.
    struct TNotice {
        QString title;
        QString text;
        int timeoutMs = 0;
        bool critical = false;
    };
    bool m_replyPending = false;
    std::optional<TNotice> m_waiting;
    void AskCapabilities();
    void Send(const TNotice& notice);
};
