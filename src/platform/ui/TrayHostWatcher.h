#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <cstdint>

class QDBusServiceWatcher;

// Tells when a tray host appears on the desktop, which happens when the panel restarts: the
// StatusNotifierItem watcher registering on the session bus, or, on X11, a system-tray manager
// announcing itself to the root window (the MANAGER client message of the XEmbed tray protocol).
class TTrayHostWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit TTrayHostWatcher(QObject* parent = nullptr);
    ~TTrayHostWatcher() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void TrayHostAppeared();

private:
    void WatchX11();

    QDBusServiceWatcher* m_serviceWatcher = nullptr;
    bool m_filtering = false;
    std::uint32_t m_managerAtom = 0;
};
