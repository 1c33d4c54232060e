#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <cstdint>

// Notifications through the desktop's notification service (org.freedesktop.Notifications on the
// session bus), sent without waiting for the service. Each one replaces the last still on screen.
class TDesktopNotifications : public QObject {
    Q_OBJECT

public:
    explicit TDesktopNotifications(QIcon icon, QObject* parent = nullptr);

    // A notification service runs on the session bus, or the bus starts one on demand.
    bool Available() const;
    void Notify(const QString& title, const QString& text, int timeoutMs);

    static constexpr const char* kService = "org.freedesktop.Notifications";

private:
    QIcon m_icon;
    bool m_activatable = false;
    // Until the service says otherwise, it reads the text as markup, as nearly every one does.
    bool m_markup = true;
    bool m_capabilitiesAsked = false;
    std::uint32_t m_lastId = 0;
    void AskCapabilities();
};
