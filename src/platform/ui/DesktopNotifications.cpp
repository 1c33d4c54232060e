#include "platform/ui/DesktopNotifications.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QImage>
#include <QPixmap>

namespace {

constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr int kImageSize = 64;

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, RGBA bytes.
struct TNotificationImage {
    QImage image;
};

QDBusArgument& operator<<(QDBusArgument& argument, const TNotificationImage& value) {
    const QImage image = value.image.convertToFormat(QImage::Format_RGBA8888);
    argument.beginStructure();
    argument << image.width() << image.height() << static_cast<int>(image.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char*>(image.constBits()), static_cast<int>(image.sizeInBytes()));
    argument.endStructure();
    return argument;
}

// Only sent, never received; the type system wants both directions.
const QDBusArgument& operator>>(const QDBusArgument& argument, TNotificationImage&) {
    return argument;
}

QDBusMessage Call(const char* method) {
    return QDBusMessage::createMethodCall(
        QString::fromLatin1(TDesktopNotifications::kService), QString::fromLatin1(kPath),
        QString::fromLatin1(TDesktopNotifications::kService), QString::fromLatin1(method));
}

} // namespace

Q_DECLARE_METATYPE(TNotificationImage)

TDesktopNotifications::TDesktopNotifications(QIcon icon, QObject* parent) : QObject(parent), m_icon(std::move(icon)) {
    qDBusRegisterMetaType<TNotificationImage>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr)
        return;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    m_activatable = activatable.isValid() && activatable.value().contains(QString::fromLatin1(kService));
    if (bus.interface()->isServiceRegistered(QString::fromLatin1(kService)))
        AskCapabilities();
}

bool TDesktopNotifications::Available() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr)
        return false;
    return m_activatable || bus.interface()->isServiceRegistered(QString::fromLatin1(kService)).value();
}

void TDesktopNotifications::AskCapabilities() {
    m_capabilitiesAsked = true;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(Call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<QStringList> reply = *finished;
        if (reply.isValid())
            m_markup = reply.value().contains(QStringLiteral("body-markup"));
        finished->deleteLater();
    });
}

void TDesktopNotifications::Notify(const QString& title, const QString& text, int timeoutMs, bool critical) {
    TNotice notice{title, text, timeoutMs, critical};
    if (m_replyPending) {
        // Sent now it would not know which notification to replace, and both would stay.
        m_waiting = std::move(notice);
        return;
    }
    Send(notice);
}

void TDesktopNotifications::Send(const TNotice& notice) {
    if (!m_capabilitiesAsked)
        AskCapabilities();
    QVariantMap hints;
    hints.insert(QStringLiteral("image-data"),
                 QVariant::fromValue(TNotificationImage{m_icon.pixmap(kImageSize, kImageSize).toImage()}));
    // Names the installed desktop entry, whose icon and name the notification server may show.
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral(TALLYGLASS_APP_ID));
    // The hint is a byte on the bus: 0 low, 1 normal, 2 critical.
    if (notice.critical)
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(2)));
    QDBusMessage message = Call("Notify");
    message << QStringLiteral("Tallyglass") << static_cast<uint>(m_lastId) << QString() << notice.title
            << (m_markup ? notice.text.toHtmlEscaped() : notice.text) << QStringList() << hints
            << static_cast<int>(notice.timeoutMs);
    m_replyPending = true;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<uint> reply = *finished;
        // A failed call showed nothing: the one before stays the one to replace.
        if (reply.isValid())
            m_lastId = reply.value();
        finished->deleteLater();
        m_replyPending = false;
        if (m_waiting) {
            const TNotice next = std::move(*m_waiting);
            m_waiting.reset();
            Send(next);
        }
    });
}
